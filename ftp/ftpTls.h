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
// kept there is refused with a warning. A host kept there spoke TLS before:
// with AUTO, its refusal of AUTH TLS is refused in turn (TLS=N, or its line
// deleted, lets it go on in clear text).
//
// Bytes that came on the control connection after the 234 and before the
// handshake refuse the connection: only someone in the middle sends them.
// The certificate accepted here is the one every data connection must show
// (or resume this session): see ftpTlsCanal.
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

// The fingerprint kept for a host key in a trust file's text; the host
// key ("host:port") is found whatever the case of its letters.
[[nodiscard]] std::optional<std::string> RememberedFingerprint(std::string_view fileText,
                                                               std::string_view hostKey);
// Texts equal but for the case of ASCII letters (host keys, fingerprints).
[[nodiscard]] bool SameAsciiText(std::string_view a, std::string_view b);
// The name a certificate is for, from its subject or issuer line ("CN=host,
// O=Firma" gives host); the first value when there is no CN.
[[nodiscard]] std::string CommonName(std::string_view dn);
// The last two groups (eight digits) of a fingerprint.
[[nodiscard]] std::string FingerprintTail(const std::string& hex);

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
  // A line written whole and said short, heard as the key's message.
  void sayLine(std::string_view key, std::string_view writtenTail, std::string_view said);
  [[nodiscard]] bool protectData(TlsMode mode);
  void warn(std::string_view key);
  [[nodiscard]] std::string hostKey() const;
  [[nodiscard]] std::string trustFile() const;
  [[nodiscard]] std::string readTrustFile() const;
  // Appends a line to a file (made, and its directory, when missing); the
  // errno value of a failure, 0 when the line is there.
  [[nodiscard]] static int appendLine(const std::string& file, const std::string& line);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
  std::unique_ptr<TlsContext> context_;
};

}  // namespace ftp
