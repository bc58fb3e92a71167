// qrwin, configuration: the shared "QUIRAL.INI" of the speech environment.
//
// Two ways of reading: bare reads look only in the Windows-directory
// equivalent ($QUIRAL_SYSDIR, else $XDG_CONFIG_HOME/quiral, else
// ~/.config/quiral); configValue looks there first and then in the start
// directory, and expands "@" to the programs directory. Where the user has
// no file of their own, the QUIRAL root's QUIRAL.INI (the installed
// defaults) stands in for it. The file is read afresh at every call; the
// configuration is never written.
//
// Every value is untrusted input: one that cannot be what it names (a NUL
// byte, which would cut a path short where the system reads it) is ignored,
// as if the key were absent, and reported once with its file, section and
// key (problems()).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ini.h"
#include "base/told.h"

namespace qr {

// Reads one value of a private-profile file; nullopt when the file, section
// or key is absent. At most maxLength bytes of the value are kept.
[[nodiscard]] std::optional<std::string> iniRead(const std::string& path, std::string_view section,
                                                 std::string_view key, size_t maxLength = 255);

class Config {
 public:
  // Takes the start directory (the working directory now) and the
  // Windows-directory equivalent from the environment.
  Config();
  // defaultsFile: the installed defaults read when neither directory has a
  // QUIRAL.INI; empty for none.
  Config(std::string windowsDir, std::string startDir, std::string defaultsFile = {});

  // Empty section means "QUIRAL"; always returns a text (empty when absent).
  [[nodiscard]] std::string configValue(std::string_view section, std::string_view key) const;
  // Bare read: the Windows-directory copy only, with a default.
  [[nodiscard]] std::string bareRead(std::string_view section, std::string_view key,
                                     std::string_view fallback, size_t maxLength = 255) const;

  [[nodiscard]] const std::string& windowsDir() const { return windowsDir_; }
  [[nodiscard]] const std::string& startDir() const { return startDir_; }
  [[nodiscard]] const std::string& defaultsFile() const { return defaultsFile_; }
  // The user's own file: QUIRAL.INI in the Windows-directory equivalent.
  [[nodiscard]] std::string userFile() const;
  // The file configValue reads, and the one bare reads read.
  [[nodiscard]] std::string sourceFile() const { return readFile(); }
  [[nodiscard]] std::string bareFile() const;
  // Values ignored as bad, one line each, Windows-1252: all of the run
  // ("FILE: [SECTION] KEY: why"), and those not taken yet as they are said
  // (section and key, no path).
  [[nodiscard]] const std::vector<std::string>& problems() const { return problems_; }
  [[nodiscard]] std::vector<std::string> takeProblems() const;
  // True when the user has no QUIRAL.INI of their own and the installed
  // defaults are read instead.
  [[nodiscard]] bool usingDefaults() const;
  // The QUIRAL root: $QUIRAL_ROOT, else share/quiral beside the directory
  // of the running program (an installed program finds its own data
  // wherever the prefix is), else the data directory of the configured
  // install prefix.
  [[nodiscard]] static std::string quiralRoot();

 private:
  [[nodiscard]] std::string readFile() const;
  // iniRead, a bad value reported and ignored.
  [[nodiscard]] std::optional<std::string> read(const std::string& file, std::string_view section,
                                                std::string_view key, size_t maxLength) const;

  std::string windowsDir_;
  std::string startDir_;
  std::string defaultsFile_;
  mutable std::vector<std::string> problems_;
  mutable std::vector<std::string> spoken_;
  mutable size_t taken_ = 0;
};

// What an installed program says at its first start without a QUIRAL.INI of
// the user's: where the configuration lives and which defaults are in use,
// as lines to write and speak. It is said once: a note in stateDir
// ($XDG_STATE_HOME/naviro, else ~/.local/state/naviro) records that it was
// said; when the note cannot be written it is said at every start. Empty
// when there is nothing to say. The paths are written, not said: read out
// they are a long string of "barra" and letter groups. Texts are
// Windows-1252.
[[nodiscard]] std::vector<Told> defaultsNotice(const Config& config, const std::string& stateDir);
// The directory of that note, from the environment.
[[nodiscard]] std::string noticeStateDir();

// Where the syllable-unit synthesiser finds its recorded letters
// ("dirLetras" of "TRADUTOR", a bare read) and its unit database
// ("DIRDIFONES"); both default to the QUIRAL root's sound library.
struct DiphoneDirectories {
  std::string letters;
  std::string database;
};
[[nodiscard]] DiphoneDirectories diphoneDirectories(const Config& config);

}  // namespace qr
