// ftpSites: the saved sites and the last hosts connected to, kept in
// SITES.INI beside QUIRAL.INI. One section per site, named by the user:
//
//   [trabalho]
//   HOST=ftp.exemplo.com.br:2121
//   CONTA=ana
//   TLS=S
//   PASSIVO=N
//   DIRREMOTO=/pub/site
//   DIRLOCAL=/home/ana/site
//
// and the section RECENTES with the last ten hosts, the latest first
// (1=host ... 10=host). A password is never written here. Texts are
// Windows-1252 inside the program; the file is UTF-8. Pure: the caller reads
// and writes the file.
#pragma once

#include <optional>

#include "base/keyring.h"
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

inline constexpr const char* kSitesFile = "SITES.INI";
inline constexpr size_t kRecentHosts = 10;

struct Site {
  std::string name;
  std::string host;     // as typed: name[:port], ftp:// or ftps:// in front
  std::string account;  // empty: asked
  std::string tls;      // "S", "N", "AUTO" or empty (the configuration's)
  std::string passive;  // "S", "N" or empty (the configuration's)
  std::string remoteDir;
  std::string localDir;
  bool operator==(const Site&) const = default;
};

struct SiteBook {
  std::vector<Site> sites;
  std::vector<std::string> recent;  // the latest first
  bool operator==(const SiteBook&) const = default;
};

[[nodiscard]] SiteBook ParseSites(std::string_view utf8);
// The file's text, UTF-8; the same book comes back from ParseSites.
[[nodiscard]] std::string FormatSites(const SiteBook& book);

// The site of that name (letters compared without regard to case).
[[nodiscard]] const Site* FindSite(const SiteBook& book, std::string_view name);
// The site whose host is that host, if any.
[[nodiscard]] const Site* SiteOfHost(const SiteBook& book, std::string_view host);
// The host put first in the recent list, once, the list cut to ten.
void RememberHost(SiteBook& book, std::string_view host);
// A section name for a new site from its host: the host without scheme,
// port or characters a section name cannot hold, made unique in the book.
[[nodiscard]] std::string NameForHost(const SiteBook& book, std::string_view host);

// One entry of the host menu: what is heard ("trabalho, ftp.x.com, conta
// ana"; a recent host alone) and the host it gives.
struct HostChoice {
  std::string text;
  std::string host;
  const Site* site = nullptr;
};
[[nodiscard]] std::vector<HostChoice> HostChoices(const SiteBook& book);

struct ClientState;
class Tela;
class Messages;
class RemoteDirectories;

// The sites at the start of a run: the host question with its menu (Down),
// a site named on the command line, and after the login the remote start
// directory, the recent hosts and, for a new host, "Guardar este site?".
class SiteKeeper {
 public:
  SiteKeeper(ClientState& state, Tela& ui, Messages& msg);

  // "Nome do computador": typed, or chosen with Down from the saved sites
  // and the recent hosts. Empty when given up.
  [[nodiscard]] std::string askHost();
  // A command-line argument that names a saved site stands for its host.
  [[nodiscard]] std::string resolve(const std::string& argument);
  // The account the site keeps, offered at the login; empty when none.
  [[nodiscard]] std::string account() const { return site_ ? site_->account : std::string(); }
  // The site's passive mode, when it sets one.
  [[nodiscard]] std::optional<bool> passive() const {
    if (!site_ || site_->passive.empty()) return std::nullopt;
    return site_->passive[0] != 'N' && site_->passive[0] != 'n';
  }
  // After a login, whichever protocol: the host remembered, the site's
  // remote directory made current, and a host typed at the question that
  // was never connected to offered for saving (a host from the command line
  // is not asked about).
  void afterLogin(RemoteDirectories& remote);
  // After a login with a typed password: "Guardar a senha no chaveiro do
  // sistema?", once a run, where a keyring answers and keeps another.
  void offerKeyring(const std::string& typedPassword);

  void setKeyring(qr::Keyring* keyring) { keyring_ = keyring; }
  // The keyring's password for the account on this host, if any.
  [[nodiscard]] std::optional<std::string> storedPassword(const std::string& account);

 private:
  void load();
  [[nodiscard]] bool save();
  void choose(const Site* site);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  SiteBook book_;
  std::string path_;
  std::optional<Site> site_;
  bool asked_ = false;
  bool typed_ = false;  // the host was typed at the question
  qr::Keyring* keyring_ = nullptr;
  bool keyringAsked_ = false;
};

}  // namespace ftp
