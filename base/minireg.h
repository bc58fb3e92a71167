// The registry as the engines read it: one string value at a time from the
// registry file ($QUIRAL_REGISTRY, else registry.reg in the configuration
// directory). The file is read again at every lookup, so a change made while
// the program runs is seen at the next start of a voice; a missing file is an
// empty registry. The parsing itself is base/registry.
#pragma once

#include <string>
#include <string_view>

namespace qr {

class MiniReg {
 public:
  explicit MiniReg(std::string file) : file_(std::move(file)) {}
  // $QUIRAL_REGISTRY when set, else registry.reg in windowsDir.
  [[nodiscard]] static MiniReg forWindowsDir(const std::string& windowsDir);

  // The string at root\path, the path split at its last backslash into key
  // and value name (empty: the key's default value). False without a
  // backslash, without the value, or when it is not a plain string.
  [[nodiscard]] bool ReadRegistryString(std::string_view root, std::string_view path,
                                        std::string& result) const;

  [[nodiscard]] const std::string& file() const { return file_; }

 private:
  std::string file_;
};

}  // namespace qr
