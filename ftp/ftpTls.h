// ftpTls: the encrypted connection (explicit TLS, RFC 4217). After the
// greeting: AUTH TLS, the handshake, the server's certificate, PBSZ 0 and
// PROT P, so that the login and every data connection travel encrypted.
//
// When: key TLS of section NAVIRO: AUTO (the default) uses TLS when the
// server accepts AUTH TLS and otherwise goes on in clear text after a
// spoken and written warning; S requires it (no login without it); N never
// asks. "ftps://" before the computer's name requires it for that run.
//
// The certificate: one the system's authorities vouch for, for this name, is
// taken silently. Any other is described (whose it is, who issued it, its
// SHA-256 fingerprint in groups) and the user answers S or N; a yes is kept
// in CERTIFIC.TXT beside QUIRAL.INI ("host:port FINGERPRINT" lines), so the
// next connection takes it silently, and a different certificate for a host
// kept there is refused with a warning.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;
class TlsContext;
struct CertificateInfo;

enum class TlsMode { Auto, Required, Never };

// The mode a TLS= value names: "S..." required, "N..." never, else AUTO.
[[nodiscard]] TlsMode TlsModeFromSetting(std::string_view value);

inline constexpr const char* kTrustFileName = "CERTIFIC.TXT";

// The fingerprint kept for a host key in a trust file's text.
[[nodiscard]] std::optional<std::string> RememberedFingerprint(std::string_view fileText,
                                                               std::string_view hostKey);

class Tls {
 public:
  Tls(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede);
  ~Tls();
  Tls(const Tls&) = delete;
  Tls& operator=(const Tls&) = delete;

  // After the greeting. False when the connection must not go on to the
  // login (TLS required and refused, the handshake failed, the certificate
  // was refused); the user has been told why.
  [[nodiscard]] bool Secure();

 private:
  [[nodiscard]] bool handshake();
  [[nodiscard]] bool judgeCertificate();
  [[nodiscard]] bool askAboutCertificate(const CertificateInfo& c);
  void describeCertificate(const CertificateInfo& c);
  [[nodiscard]] bool protectData(TlsMode mode);
  void warn(std::string_view key);
  [[nodiscard]] std::string hostKey() const;
  [[nodiscard]] std::string trustFile() const;

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
  std::unique_ptr<TlsContext> context_;
};

}  // namespace ftp
