// A fresh directory under the system's temporary one for a test's servers
// and files, removed with all it holds when its owner is gone. path() is
// empty when none could be made.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testing_support {

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string pattern =
        std::filesystem::temp_directory_path().string() + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testing_support
