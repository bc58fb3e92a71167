// qrwin, configuration: the shared "QUIRAL.INI" of the speech environment.
//
// Two ways of reading: bare reads look only in the Windows-directory
// equivalent ($QUIRAL_SYSDIR, else $XDG_CONFIG_HOME/quiral, else
// ~/.config/quiral); configValue looks there first and then in the start
// directory, and expands "@" to the programs directory. The file is read
// afresh at every call; nothing is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/ini.h"

namespace qr {

// Reads one value of a private-profile file; nullopt when the file, section
// or key is absent. At most maxLength bytes of the value are kept.
[[nodiscard]] std::optional<std::string> iniRead(const std::string& path,
                                                 std::string_view section,
                                                 std::string_view key,
                                                 size_t maxLength = 255);

class Config {
 public:
  // Takes the start directory (the working directory now) and the
  // Windows-directory equivalent from the environment.
  Config();
  Config(std::string windowsDir, std::string startDir);

  // Empty section means "QUIRAL"; always returns a text (empty when absent).
  [[nodiscard]] std::string configValue(std::string_view section, std::string_view key) const;
  // Bare read: the Windows-directory copy only, with a default.
  [[nodiscard]] std::string bareRead(std::string_view section, std::string_view key,
                                     std::string_view fallback, size_t maxLength = 255) const;

  [[nodiscard]] const std::string& windowsDir() const { return windowsDir_; }
  [[nodiscard]] const std::string& startDir() const { return startDir_; }
  // The QUIRAL root: $QUIRAL_ROOT, else the installed data directory.
  [[nodiscard]] static std::string quiralRoot();

 private:
  std::string windowsDir_;
  std::string startDir_;
};

// Where the syllable-unit synthesiser finds its recorded letters
// ("dirLetras" of "TRADUTOR", a bare read) and its unit database
// ("DIRDIFONES"); both default to the QUIRAL root's sound library.
struct DiphoneDirectories {
  std::string letters;
  std::string database;
};
[[nodiscard]] DiphoneDirectories diphoneDirectories(const Config& config);

}  // namespace qr
