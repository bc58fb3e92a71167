// Data files are read whole; a file of the engine is a few hundred kilobytes.
#include "tts/dataFile.h"

#include <fstream>
#include <sstream>

#include "base/cp1252.h"

namespace tts {

std::optional<std::vector<std::string>> readDataLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream all;
  all << in.rdbuf();
  const std::string text = qr::fromUtf8(all.str());
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace tts
