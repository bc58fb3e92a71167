// ftpSites: the saved sites, parsed and written as INI text.
#include "ftp/ftpSites.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "base/cp1252.h"
#include "base/ini.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpHost.h"
#include "ftp/ftpRemote.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

constexpr std::string_view kRecentSection = "RECENTES";

struct Field {
  std::string_view key;
  std::string Site::*member;
};
constexpr std::array<Field, 6> kFields{{
    {"HOST", &Site::host},
    {"CONTA", &Site::account},
    {"TLS", &Site::tls},
    {"PASSIVO", &Site::passive},
    {"DIRREMOTO", &Site::remoteDir},
    {"DIRLOCAL", &Site::localDir},
}};

std::string trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

// The section names of the text, in order.
std::vector<std::string> sections(std::string_view text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = trim(text.substr(at, end - at));
    at = end + 1;
    if (line.size() > 2 && line.front() == '[' && line.back() == ']')
      out.push_back(line.substr(1, line.size() - 2));
  }
  return out;
}

// A value as the file may hold it: no line end, and quoted when its ends
// are blank (the reader strips one pair of quotes and the blanks around).
std::string fileValue(const std::string& cp1252) {
  std::string v;
  for (char c : cp1252)
    if (c != '\r' && c != '\n') v += c;
  if (!v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '"')) v = '"' + v + '"';
  return qr::toUtf8(v);
}

}  // namespace

SiteBook ParseSites(std::string_view utf8) {
  SiteBook book;
  for (const std::string& section : sections(utf8)) {
    if (qr::iniSameName(section, kRecentSection)) {
      if (!book.recent.empty()) continue;
      for (size_t i = 1; i <= kRecentHosts; ++i) {
        const auto host = qr::iniLookup(utf8, section, std::to_string(i));
        if (host && !host->empty()) book.recent.push_back(*host);
      }
      continue;
    }
    const std::string name = qr::fromUtf8(section);
    if (FindSite(book, name)) continue;  // the first section of a name wins
    Site site;
    site.name = name;
    for (const Field& f : kFields)
      site.*f.member = qr::iniLookup(utf8, section, f.key).value_or(std::string());
    if (!site.host.empty()) book.sites.push_back(std::move(site));
  }
  return book;
}

std::string FormatSites(const SiteBook& book) {
  std::string out = "; Sites guardados do Naviro. Nenhuma senha fica aqui.\n";
  for (const Site& s : book.sites) {
    out += "\n[" + qr::toUtf8(s.name) + "]\n";
    for (const Field& f : kFields) {
      const std::string& v = s.*f.member;
      if (!v.empty()) out += std::string(f.key) + "=" + fileValue(v) + "\n";
    }
  }
  if (!book.recent.empty()) {
    out += "\n[" + std::string(kRecentSection) + "]\n";
    for (size_t i = 0; i < book.recent.size() && i < kRecentHosts; ++i)
      out += std::to_string(i + 1) + "=" + fileValue(book.recent[i]) + "\n";
  }
  return out;
}

const Site* FindSite(const SiteBook& book, std::string_view name) {
  for (const Site& s : book.sites)
    if (qr::iniSameName(s.name, name)) return &s;
  return nullptr;
}

const Site* SiteOfHost(const SiteBook& book, std::string_view host) {
  for (const Site& s : book.sites)
    if (qr::iniSameName(s.host, host)) return &s;
  return nullptr;
}

void RememberHost(SiteBook& book, std::string_view host) {
  if (host.empty()) return;
  std::erase_if(book.recent, [&](const std::string& h) { return qr::iniSameName(h, host); });
  book.recent.insert(book.recent.begin(), std::string(host));
  if (book.recent.size() > kRecentHosts) book.recent.resize(kRecentHosts);
}

std::string NameForHost(const SiteBook& book, std::string_view host) {
  std::string base;
  for (char c : ParseHost(host).host)
    if (c != '[' && c != ']' && c != ';' && c != '=' && static_cast<unsigned char>(c) >= 32)
      base += c;
  if (base.empty() || qr::iniSameName(base, kRecentSection)) base = "site";
  std::string name = base;
  for (int n = 2; FindSite(book, name); ++n) name = base + " " + std::to_string(n);
  return name;
}

std::vector<HostChoice> HostChoices(const SiteBook& book) {
  std::vector<HostChoice> out;
  for (const Site& s : book.sites) {
    std::string text = s.name + ", " + s.host;
    if (!s.account.empty()) text += ", conta " + s.account;
    out.push_back({text, s.host, &s});
  }
  for (const std::string& h : book.recent)
    if (!SiteOfHost(book, h)) out.push_back({h, h, nullptr});
  return out;
}

namespace {

constexpr uint8_t kDownCode = 80;  // Down ends the line editor with its code

// The host to connect to: a site that requires TLS is reached as ftps://.
std::string hostOf(const Site& site) {
  const bool tls = !site.tls.empty() && (site.tls[0] == 'S' || site.tls[0] == 's');
  if (tls && site.host.find("://") == std::string::npos) return "ftps://" + site.host;
  return site.host;
}

}  // namespace

SiteKeeper::SiteKeeper(ClientState& state, Tela& ui, Messages& msg)
    : st_(state), ui_(ui), msg_(msg) {}

void SiteKeeper::load() {
  if (!path_.empty()) return;
  const std::string dir = ui_.configDirectory();
  if (dir.empty()) return;
  path_ = dir + (dir.back() == '/' ? "" : "/") + kSitesFile;
  std::ifstream in(path_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  book_ = ParseSites(text.str());
}

bool SiteKeeper::save() {
  if (path_.empty()) return false;
  // A new file beside the old, put in its place whole; only the user may
  // read it (it names accounts and hosts).
  const std::string fresh = path_ + ".novo";
  (void)::unlink(fresh.c_str());
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text = FormatSites(book_);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(fresh.c_str(), path_.c_str()) != 0) {
    (void)::unlink(fresh.c_str());
    return false;
  }
  return true;
}

void SiteKeeper::choose(const Site* site) {
  if (!site) return;
  site_ = *site;
  if (!site->localDir.empty() && ::chdir(qr::toUtf8(site->localDir).c_str()) != 0) {
    ui_.writeLineSpoken(qr::W("Não consegui ir ao diretório local do site: ") +
                        site->localDir);
  }
}

std::string SiteKeeper::resolve(const std::string& argument) {
  load();
  const Site* site = FindSite(book_, argument);
  if (!site) site = SiteOfHost(book_, argument);
  choose(site);
  return site ? hostOf(*site) : argument;
}

std::string SiteKeeper::askHost() {
  load();
  const std::vector<HostChoice> choices = HostChoices(book_);
  for (;;) {
    msg_.Announce("FTCOMPUT", 0);
    uint8_t end = 13;
    const std::string typed = ui_.readLineOffered("", end);
    if (end != kDownCode || choices.empty()) {
      choose(FindSite(book_, typed) ? FindSite(book_, typed) : SiteOfHost(book_, typed));
      typed_ = !site_;
      return site_ ? hostOf(*site_) : typed;
    }
    MenuBox box;
    box.column = 1;
    box.row = ui_.cursorRow();
    box.width = 60;
    box.height = static_cast<int>(std::min<size_t>(choices.size(), 10));
    std::vector<MenuChoice> items;
    for (const HostChoice& c : choices) items.push_back({"", c.text});
    const int chosen = ui_.runMenu(box, items);
    if (chosen < 1 || chosen > static_cast<int>(choices.size())) continue;
    const HostChoice& c = choices[static_cast<size_t>(chosen - 1)];
    choose(c.site);
    ui_.writeLineSpoken(c.host);
    return site_ ? hostOf(*site_) : c.host;
  }
}

void SiteKeeper::afterLogin(RemoteDirectories& remote) {
  load();
  if (!st_.loggedIn || st_.remoteName.empty()) return;
  // Asked once: the first time a host typed at the question lets the user in.
  const bool known = std::any_of(book_.recent.begin(), book_.recent.end(), [&](const std::string& h) {
    return qr::iniSameName(h, st_.remoteName);
  });
  const bool offer = typed_ && !known && !site_ && !asked_ && !path_.empty() &&
                     !SiteOfHost(book_, st_.remoteName);
  RememberHost(book_, st_.remoteName);
  if (site_ && !site_->remoteDir.empty() && remote.connected()) {
    const RemoteName dir = RemoteName::typed(site_->remoteDir);
    const RemoteResult r = remote.nameUsable(dir) ? remote.changeDirectory(dir)
                                                  : RemoteResult{RemoteStatus::Refused, {}, 0, false};
    // A lost connection, or ESC while the server was slow, was said there.
    if (!r.ok() && !r.said && r.status != RemoteStatus::Lost && r.status != RemoteStatus::GaveUp)
      ui_.writeLineSpoken(qr::W("Não consegui ir ao diretório remoto do site: ") +
                          site_->remoteDir);
  }
  if (offer) {
    asked_ = true;
    if (AskYesNo(ui_, msg_, "Guardar este site?  ")) {
      Site site;
      site.name = NameForHost(book_, st_.remoteName);
      site.host = st_.remoteName;
      site.account = st_.userName;
      // SFTP has no data connection, so no mode to keep.
      if (ParseHost(st_.remoteName).scheme != "sftp") site.passive = st_.passive ? "S" : "N";
      std::string here(4096, '\0');
      if (::getcwd(here.data(), here.size())) site.localDir = qr::fromUtf8(here.c_str());
      book_.sites.push_back(site);
      site_ = site;
      if (save()) {
        ui_.writeLineSpoken("Site guardado como " + site.name);
        return;
      }
      ui_.writeLineSpoken(qr::W("Não consegui guardar o site: ") + SystemReason(errno));
      return;
    }
  }
  (void)save();
}

std::optional<std::string> SiteKeeper::storedPassword(const std::string& account) {
  if (!keyring_ || account.empty() || !keyring_->available()) return std::nullopt;
  return keyring_->lookup(st_.remoteName, account);
}

void SiteKeeper::offerKeyring(const std::string& typedPassword) {
  if (typedPassword.empty() || keyringAsked_ || !keyring_ || !keyring_->available()) return;
  if (keyring_->lookup(st_.remoteName, st_.userName) == typedPassword) return;
  keyringAsked_ = true;
  if (!AskYesNo(ui_, msg_, qr::W("Guardar a senha no chaveiro do sistema?  "))) return;
  ui_.writeLineSpoken(keyring_->store(st_.remoteName, st_.userName, typedPassword)
                          ? "Senha guardada no chaveiro"
                          : qr::W("Não consegui guardar a senha no chaveiro"));
}

}  // namespace ftp
