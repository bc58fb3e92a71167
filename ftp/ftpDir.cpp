// ftpDir: the directory replies of FTP.
#include "ftp/ftpDir.h"

namespace ftp {

std::string QuotedPath(std::string_view line) {
  const size_t open = line.find('"');
  if (open == std::string_view::npos) return {};
  std::string path;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] != '"') {
      path += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      path += '"';  // a quote of the name, doubled
      ++i;
    } else {
      break;
    }
  }
  return path;
}

bool ChangeSucceeded(int code) {
  return code == 250 || code == 200;
}

}  // namespace ftp
