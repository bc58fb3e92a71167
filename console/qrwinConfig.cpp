// qrwin, configuration: where "QUIRAL.INI" is found and the value reader
// with its "@" expansion (the parsing itself is base/ini). Every read opens and parses
// the file afresh; a missing, unreadable or malformed file gives defaults.
// Values in the file may be UTF-8 or Windows-1252; they come back as
// Windows-1252 like every text inside the program.
#include "console/qrwinConfig.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/cp1252.h"
#include "base/ini.h"

#ifndef QUIRAL_INSTALL_ROOT
#define QUIRAL_INSTALL_ROOT "/usr/local/share/quiral"
#endif
// The QUIRAL root relative to the directory the program is installed in.
#ifndef QUIRAL_ROOT_FROM_BIN
#define QUIRAL_ROOT_FROM_BIN "../share/quiral"
#endif

namespace qr {

namespace {

constexpr std::string_view kIniName = "QUIRAL.INI";
// A configuration file is a few kilobytes; anything past this is not read.
constexpr std::streamsize kMaxIniBytes = 4 << 20;

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string joinPath(std::string dir, std::string_view name) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  dir += name;
  return dir;
}

// The configuration file of a directory. File names on the system this
// environment came from ignore case, so "quiral.ini" is found as well.
std::string iniPath(const std::string& dir) {
  std::string exact = joinPath(dir, kIniName);
  if (fileExists(exact)) return exact;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir.empty() ? "/" : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (iniSameName(name, kIniName) && fileExists(it->path().string())) return it->path().string();
  }
  return exact;
}

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

}  // namespace

std::optional<std::string> iniRead(const std::string& path, std::string_view section,
                                   std::string_view key, size_t maxLength) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;  // not a regular file
  in.seekg(0, std::ios::beg);
  data.resize(static_cast<size_t>(std::min<std::streamoff>(size, kMaxIniBytes)));
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  return iniLookup(data, section, key, maxLength);
}

Config::Config() {
  windowsDir_ = envOr("QUIRAL_SYSDIR");
  if (windowsDir_.empty()) {
    const std::string xdg = envOr("XDG_CONFIG_HOME");
    if (!xdg.empty()) {
      windowsDir_ = joinPath(xdg, "quiral");
    } else {
      windowsDir_ = joinPath(joinPath(envOr("HOME"), ".config"), "quiral");
    }
  }
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) != nullptr) {
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  } else {
    cwd = ".";
  }
  while (cwd.size() > 1 && cwd.back() == '/') cwd.pop_back();
  if (cwd == "/") cwd.clear();
  startDir_ = cwd;
  defaultsFile_ = joinPath(quiralRoot(), kIniName);
}

Config::Config(std::string windowsDir, std::string startDir, std::string defaultsFile)
    : windowsDir_(std::move(windowsDir)),
      startDir_(std::move(startDir)),
      defaultsFile_(std::move(defaultsFile)) {
  while (!startDir_.empty() && startDir_.back() == '/') startDir_.pop_back();
}

std::string Config::userFile() const {
  return iniPath(windowsDir_);
}

bool Config::usingDefaults() const {
  return !fileExists(userFile()) && !defaultsFile_.empty() && fileExists(defaultsFile_);
}

std::string Config::readFile() const {
  std::string file = iniPath(windowsDir_);
  if (fileExists(file)) return file;
  file = iniPath(startDir_);
  if (!fileExists(file) && usingDefaults()) return defaultsFile_;
  return file;
}

std::optional<std::string> Config::read(const std::string& file, std::string_view section,
                                        std::string_view key, size_t maxLength) const {
  std::optional<std::string> value = iniRead(file, section, key, maxLength);
  if (!value || value->find('\0') == std::string::npos) return value;
  std::string problem = fromUtf8(file) + ": [" + std::string(section) + "] " + std::string(key) +
                        W(": o valor tem um caractere nulo; foi ignorado");
  if (std::find(problems_.begin(), problems_.end(), problem) == problems_.end()) {
    problems_.push_back(std::move(problem));
    // As it is heard: no path.
    spoken_.push_back(W("Na configuração, a chave ") + std::string(key) + W(" da seção ") +
                      std::string(section) + W(" tem um caractere nulo e foi ignorada."));
  }
  return std::nullopt;
}

std::vector<std::string> Config::takeProblems() const {
  std::vector<std::string> fresh(spoken_.begin() + static_cast<std::ptrdiff_t>(taken_),
                                 spoken_.end());
  taken_ = spoken_.size();
  return fresh;
}

std::string Config::configValue(std::string_view section, std::string_view key) const {
  if (section.empty()) section = "QUIRAL";
  const std::string file = readFile();
  std::string value = read(file, section, key, 255).value_or(std::string());
  if (value.empty() || value.find('@') == std::string::npos) return value;

  std::string programs = read(file, "QUIRAL", "PGMQUIRAL", 255).value_or(std::string());
  if (programs.empty() || programs.front() == '@') programs = startDir_;

  // Each "@" of the value as read is expanded once: a leading one, then every
  // "@/" (or the Windows "@\", whose separator becomes "/"). Inserted text is
  // not looked at again.
  std::string out;
  size_t pos = 0;
  if (value.front() == '@') {
    out = programs;
    pos = 1;
    if (value.size() > 1 && value[1] == '\\') {
      out += '/';
      pos = 2;
    }
  }
  while (pos < value.size()) {
    size_t at = pos;
    while (at + 1 < value.size() &&
           !(value[at] == '@' && (value[at + 1] == '/' || value[at + 1] == '\\')))
      ++at;
    if (at + 1 >= value.size()) break;
    out.append(value, pos, at - pos);
    out += programs;
    out += '/';
    pos = at + 2;
  }
  if (pos < value.size()) out.append(value, pos, std::string::npos);
  return out;
}

std::string Config::bareFile() const {
  return usingDefaults() ? defaultsFile_ : userFile();
}

std::string Config::bareRead(std::string_view section, std::string_view key,
                             std::string_view fallback, size_t maxLength) const {
  auto v = read(bareFile(), section, key, maxLength);
  if (v) return *v;
  std::string d(fallback);
  if (d.size() > maxLength) d.resize(maxLength);
  return d;
}

DiphoneDirectories diphoneDirectories(const Config& config) {
  const std::string root = Config::quiralRoot();
  DiphoneDirectories d;
  d.letters = config.bareRead("TRADUTOR", "dirLetras", root + "/som/letras/");
  d.database = config.configValue("TRADUTOR", "DIRDIFONES");
  if (d.database.empty()) d.database = root + "/som/difones";
  return d;
}

std::string Config::quiralRoot() {
  std::string root = envOr("QUIRAL_ROOT");
  if (!root.empty()) return root;
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path beside =
        (program.parent_path() / QUIRAL_ROOT_FROM_BIN).lexically_normal();
    if (std::filesystem::is_directory(beside, ec)) return beside.string();
  }
  return QUIRAL_INSTALL_ROOT;
}

std::string noticeStateDir() {
  const std::string state = envOr("XDG_STATE_HOME");
  if (!state.empty()) return joinPath(state, "naviro");
  const std::string home = envOr("HOME");
  if (home.empty()) return {};
  return joinPath(joinPath(home, ".local/state"), "naviro");
}

std::vector<Told> defaultsNotice(const Config& config, const std::string& stateDir) {
  if (!config.usingDefaults()) return {};
  if (!stateDir.empty()) {
    const std::string note = joinPath(stateDir, "aviso-configuracao");
    if (fileExists(note)) return {};
    std::error_code ec;
    std::filesystem::create_directories(stateDir, ec);
    std::ofstream(note) << config.userFile() << '\n';
  }
  // The home directory as "~": shorter to hear.
  std::string user = config.userFile();
  const std::string home = envOr("HOME");
  if (home.size() > 1 && user.starts_with(home + "/")) user = "~" + user.substr(home.size());
  // Said in a few words; where the files are is written.
  return {{W("A configuração fica em ") + fromUtf8(user) + W(", que ainda não existe."),
           W("Usando a configuração padrão; veja o manual para mudá-la.")},
          {W("Por ora valem os padrões de ") + fromUtf8(config.defaultsFile()) + ".", ""}};
}

}  // namespace qr
