// The said form of a written line; see told.h.
#include "base/told.h"

namespace qr {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A word (between blanks) with a slash in it is a path: its last part, or
// the part before a final slash ("dir/").
std::string_view lastPart(std::string_view word) {
  while (word.size() > 1 && word.back() == '/') word.remove_suffix(1);
  const size_t slash = word.find_last_of('/');
  return slash == std::string_view::npos ? word : word.substr(slash + 1);
}

}  // namespace

std::string saidForm(std::string_view written) {
  std::string words;
  for (size_t p = 0; p < written.size();) {
    if (isBlank(written[p])) {
      words += written[p++];
      continue;
    }
    size_t end = p;
    while (end < written.size() && !isBlank(written[end])) ++end;
    const std::string_view word = written.substr(p, end - p);
    words += word.find('/') != std::string_view::npos && word.size() > 1 ? lastPart(word) : word;
    p = end;
  }
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    const char c = words[i];
    if (c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '}') continue;
    if (c == ':' || c == ';') {
      const bool joins = i + 1 >= words.size() || isBlank(words[i + 1]);
      if (joins) {
        // A comma between two parts; nothing at the end of the line.
        if (words.find_first_not_of(" \t", i + 1) != std::string::npos) out += ',';
        continue;
      }
    }
    out += c;
  }
  // Blanks left twice where a mark was dropped.
  std::string tidy;
  for (char c : out)
    if (!(isBlank(c) && !tidy.empty() && isBlank(tidy.back()))) tidy += c;
  while (!tidy.empty() && isBlank(tidy.back())) tidy.pop_back();
  return tidy;
}

}  // namespace qr
