// qrwin, configuration: the private-profile reader, the number conversion
// and the value reader with its "@" expansion. Every read opens and parses
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

#include "console/cp1252.h"

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

constexpr char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

constexpr bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

int digitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9')
    d = c - '0';
  else if (c >= 'a' && c <= 'f')
    d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    d = c - 'A' + 10;
  return d < base ? d : -1;
}

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
    if (sameName(name, kIniName) && fileExists(it->path().string())) return it->path().string();
  }
  return exact;
}

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

}  // namespace

NumberValue convertNumber(std::string_view text) {
  NumberValue r;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  long long value = 0;
  bool anyDigit = false;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    const int d = digitValue(text[i], base);
    if (d < 0) break;
    anyDigit = true;
    if (!overflow) {
      value = value * base + d;
      if (value > static_cast<long long>(INT_MAX) + 1) overflow = true;
    }
  }
  if (overflow) value = static_cast<long long>(INT_MAX) + 1;
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  r.value = static_cast<long>(value);
  r.valid = anyDigit && !overflow && i == text.size();
  return r;
}

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
  if (data.starts_with("\xEF\xBB\xBF")) data.erase(0, 3);  // UTF-8 byte order mark

  const std::string_view wantSection = trim(section);
  const std::string_view wantKey = trim(key);
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    const std::string_view line = trim(std::string_view(data).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // The first section of the name is the one read; a later one of the
      // same name is not searched.
      if (inSection) return std::nullopt;
      std::string_view name = line.substr(1);
      const size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      inSection = !sectionSeen && sameName(trim(name), wantSection);
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!sameName(trim(line.substr(0, eq)), wantKey)) continue;
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    std::string text = fromUtf8(value);
    if (text.size() > maxLength) text.resize(maxLength);
    return text;
  }
  return std::nullopt;
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

std::string Config::configValue(std::string_view section, std::string_view key) const {
  if (section.empty()) section = "QUIRAL";
  const std::string file = readFile();
  std::string value = iniRead(file, section, key).value_or(std::string());
  if (value.empty() || value.find('@') == std::string::npos) return value;

  std::string programs = iniRead(file, "QUIRAL", "PGMQUIRAL").value_or(std::string());
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

std::string Config::bareRead(std::string_view section, std::string_view key,
                             std::string_view fallback, size_t maxLength) const {
  auto v = iniRead(usingDefaults() ? defaultsFile_ : userFile(), section, key, maxLength);
  if (v) return *v;
  std::string d(fallback);
  if (d.size() > maxLength) d.resize(maxLength);
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

std::vector<std::string> defaultsNotice(const Config& config, const std::string& stateDir) {
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
  return {W("A configuração fica em ") + fromUtf8(user) + ".",
          W("Por ora valem os padrões de ") + fromUtf8(config.defaultsFile()) + "."};
}

}  // namespace qr
