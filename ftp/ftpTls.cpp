// ftpTls: AUTH TLS, the certificate question and data protection.
#include "ftp/ftpTls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTlsCanal.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kEscape = 27;

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Why the check failed, as the user reads it.
std::string reasonText(const CertificateInfo& c) {
  if (c.selfSigned) return qr::W("ele é autoassinado");
  if (c.nameMismatch) return qr::W("ele não é deste computador");
  if (c.expired) return qr::W("ele está vencido");
  if (c.notYetValid) return qr::W("ele ainda não é válido");
  return qr::W("o emissor é desconhecido");
}

// The same, short, for the ear.
std::string reasonWords(const CertificateInfo& c) {
  if (c.selfSigned) return qr::W("é autoassinado");
  if (c.nameMismatch) return qr::W("é de outro computador");
  if (c.expired) return qr::W("venceu");
  if (c.notYetValid) return qr::W("ainda não vale");
  return qr::W("o emissor é desconhecido");
}

// Hexadecimal digits said one by one, the groups of four joined by "e":
// no punctuation for the voice to name.
std::string digitsForTheEar(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i < hex.size(); ++i) {
    if (i > 0) out += i % 4 == 0 ? " e " : " ";
    out += hex[i];
  }
  return out;
}

}  // namespace

std::string CommonName(std::string_view dn) {
  // "CN=host,O=Firma" (RFC 2253 order): the CN's value, or else the first.
  std::string first;
  size_t at = 0;
  while (at <= dn.size()) {
    size_t end = at;
    while (end < dn.size() && dn[end] != ',') end += dn[end] == '\\' ? 2 : 1;
    end = std::min(end, dn.size());
    const std::string_view part = dn.substr(at, end - at);
    const size_t eq = part.find('=');
    std::string value(eq == std::string_view::npos ? part : part.substr(eq + 1));
    std::erase(value, '\\');
    if (eq != std::string_view::npos && SameAsciiText(part.substr(0, eq), "CN")) return value;
    if (first.empty()) first = value;
    at = end + 1;
  }
  return first;
}

std::string FingerprintTail(const std::string& hex) {
  return hex.size() <= 8 ? hex : hex.substr(hex.size() - 8);
}

TlsMode TlsModeFromSetting(std::string_view value) {
  if (!value.empty() && upper(value[0]) == 'S') return TlsMode::Required;
  if (!value.empty() && upper(value[0]) == 'N') return TlsMode::Never;
  return TlsMode::Auto;
}

std::optional<std::string> RememberedFingerprint(std::string_view fileText,
                                                 std::string_view hostKey) {
  std::istringstream in{std::string(fileText)};
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t blank = line.find(' ');
    if (blank == std::string::npos || blank == 0) continue;
    if (!SameAsciiText(std::string_view(line).substr(0, blank), hostKey)) continue;
    return line.substr(blank + 1);
  }
  return std::nullopt;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

Tls::Tls(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede)
    : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede) {}

Tls::~Tls() = default;

void Tls::warn(std::string_view key) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce(key, 1);
  ui_.setForeground(15);
}

std::string Tls::hostKey() const {
  std::string host = st_.remoteHost;
  for (char& c : host) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return host + ":" + std::to_string(st_.controlPort);
}

std::string Tls::trustFile() const {
  const std::string dir = ui_.configDirectory();
  return dir.empty() ? std::string() : dir + "/" + kTrustFileName;
}

bool Tls::Secure() {
  const TlsMode mode =
      st_.remoteScheme == "ftps" ? TlsMode::Required : TlsModeFromSetting(ui_.setting("TLS"));
  if (mode == TlsMode::Never) return true;
  // Asked quietly: the ear hears about encryption only when it is missing
  // or in doubt.
  msg_.Write("FTTLSINI", 1);
  if (!dlg_.SendCommand("AUTH TLS")) return false;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return false;
  if (r.code != 234) {
    if (mode == TlsMode::Required) {
      ui_.errorBeep();
      warn("FTTLSEXI");
      return false;
    }
    // A server that spoke TLS before keeps speaking it: a refusal now may
    // be someone in the middle who wants the password in clear text.
    if (RememberedFingerprint(readTrustFile(), hostKey())) {
      ui_.errorBeep();
      warn("FTTLSANT");
      ui_.write(qr::W("Para entrar sem criptografia: TLS=N na seção NAVIRO,"));
      ui_.endLine();
      ui_.write("ou apague a linha de " + hostKey() + " em " + kTrustFileName + ".");
      ui_.endLine();
      ui_.logEvent("tls", "AUTH TLS refused by a server kept in " + std::string(kTrustFileName));
      return false;
    }
    // Written whole, said in a few words: it is heard at every connection.
    if (ui_.cursorColumn() != 1) ui_.endLine();
    ui_.setForeground(4);
    sayLine("FTTLSNAO", "", qr::W("Sem criptografia neste servidor"));
    ui_.setForeground(15);
    return true;
  }
  // RFC 4217 section 4: the handshake follows the 234 at once, and no
  // server writes before it. Bytes already here (behind the 234 in one
  // read, or waiting on the socket) were put there by someone else, and
  // would be taken as replies that came through TLS.
  if (dlg_.hasUnreadBytes() || rede_.controlHasUnreadBytes()) {
    dlg_.clearQueue();
    ui_.errorBeep();
    warn("FTTLSINJ");
    ui_.logEvent("tls", "bytes before the handshake, after 234");
    return false;
  }
  if (!context_) context_ = TlsContext::create();
  if (!context_ || !rede_.startControlTls(*context_)) {
    warn("FTTLSBIB");
    return false;
  }
  if (!handshake() || !judgeCertificate()) return false;
  // Every data connection must prove it comes from this very server.
  context_->trustPeer(rede_.controlTls()->certificate().fingerprint);
  msg_.Write("FTTLSOK", 0);
  ui_.write(" (" + rede_.controlTls()->description() + ")");
  ui_.endLine();
  ui_.logEvent("tls", "control: " + rede_.controlTls()->description());
  return protectData(mode);
}

bool Tls::handshake() {
  TlsChannel* ch = rede_.controlTls();
  const auto until = Clock::now() + std::chrono::milliseconds(dlg_.replyInactivityTimeoutMs());
  for (;;) {
    const TlsIo io = ch->handshake();
    if (io == TlsIo::Moved) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (io == TlsIo::Failed || left.count() <= 0) {
      ui_.errorBeep();
      warn("FTTLSERR");
      const std::string why = io == TlsIo::Failed ? ch->failure() : "o servidor não respondeu";
      ui_.writeLineSpoken(qr::fromUtf8(why));
      ui_.logEvent("tls", "control: " + why);
      return false;
    }
    const Ready got = rede_.wait({.control = true, .escape = true}, static_cast<int>(left.count()));
    if (got.key && ui_.takeEscape()) {
      if (ui_.cursorColumn() != 1) ui_.endLine();
      msg_.Announce("FTDESIS", 1);
      return false;
    }
  }
}

void Tls::describeCertificate(const CertificateInfo& c) {
  msg_.Announce("FTCERSUJ", 0);
  ui_.writeLineSpoken(qr::fromUtf8(c.subject));
  msg_.Announce("FTCEREMI", 0);
  ui_.writeLineSpoken(qr::fromUtf8(c.issuer));
  msg_.Announce("FTCERIMP", 1);
  ui_.write(FingerprintGroups(c.fingerprint));
  ui_.endLine();
  ui_.speakText(SpokenFingerprint(c.fingerprint));
}

void Tls::sayLine(std::string_view key, std::string_view writtenTail, std::string_view said) {
  ui_.logEvent("announce", key);
  ui_.writeLineSaying(MessageText(key) + std::string(writtenTail), said);
}

bool Tls::askAboutCertificate(const CertificateInfo& c) {
  // Whose, by whom, why not trusted and the end of the fingerprint, said in
  // a few seconds, without punctuation the voice would name; the whole of
  // each written, and F1 says the whole fingerprint.
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(14);
  const std::string whose = qr::fromUtf8(CommonName(c.subject));
  const std::string issuer = qr::fromUtf8(CommonName(c.issuer));
  sayLine("FTCERDES", reasonText(c), qr::W("Certificado não confiável porque ") + reasonWords(c));
  sayLine("FTCERSUJ", qr::fromUtf8(c.subject), qr::W("É de ") + whose);
  sayLine("FTCEREMI", qr::fromUtf8(c.issuer),
          whose == issuer ? qr::W("emitido por ele mesmo") : qr::W("emitido por ") + issuer);
  // The fingerprint on a line of its own, as it is copied from.
  ui_.logEvent("announce", "FTCERIMP");
  ui_.write(MessageText("FTCERIMP"));
  ui_.endLine();
  ui_.writeLineSaying(FingerprintGroups(c.fingerprint),
                      qr::W("Impressão digital termina em ") +
                          digitsForTheEar(FingerprintTail(c.fingerprint)));
  ui_.setForeground(15);
  uint8_t key = 0;
  for (;;) {
    ui_.logEvent("announce", "FTCERACE");
    ui_.write(MessageText("FTCERACE") + qr::W("(F1 soletra a impressão digital) "));
    ui_.speakText(qr::W("Aceita e guarda tecle S ou N ou F1 para ouvir a impressão toda"));
    key = ui_.readKeySpoken();
    if (key != 0) break;
    const uint8_t extended = ui_.readKey();  // an extended key is no yes
    if (extended != qr::ext::kF1 && extended != qr::ext::kCtrlF1) break;
    ui_.endLine();
    ui_.write(FingerprintGroups(c.fingerprint));
    ui_.endLine();
    ui_.speakText(SpokenFingerprint(c.fingerprint));
  }
  if (key >= 32) ui_.write(std::string(1, static_cast<char>(key)));
  ui_.endLine();
  if (key != 'S' && key != 's') {
    if (key == kEscape) msg_.Announce("FTDESIS", 1);
    warn("FTCERREC");
    return false;
  }
  const std::string file = trustFile();
  const int error = file.empty() ? ENOENT : appendLine(file, hostKey() + ' ' + c.fingerprint);
  if (error == 0) {
    ui_.logEvent("tls", "certificate kept in " + qr::fromUtf8(file));
    msg_.Announce("FTCERMEM", 1);
    return true;
  }
  // Taken for this connection all the same: the user said yes.
  ui_.logEvent("tls",
               "certificate not kept in " + qr::fromUtf8(file) + ": " + std::strerror(error));
  msg_.Announce("FTCERTMP", 0);
  ui_.writeLineSpoken(SystemReason(error));
  return true;
}

int Tls::appendLine(const std::string& file, const std::string& line) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return ec ? ec.value() : errno;
  const std::string bytes = line + '\n';
  size_t done = 0;
  int error = 0;
  while (done < bytes.size() && error == 0) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n == 0)
      error = EIO;
    else if (errno != EINTR)
      error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

std::string Tls::readTrustFile() const {
  const std::string file = trustFile();
  if (file.empty()) return {};
  std::ifstream in(file);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool Tls::judgeCertificate() {
  const CertificateInfo c = rede_.controlTls()->certificate();
  if (!c.present) {
    warn("FTTLSERR");
    ui_.writeLineSpoken(qr::W("o servidor não apresentou certificado"));
    return false;
  }
  if (c.verified) return true;
  const std::optional<std::string> known = RememberedFingerprint(readTrustFile(), hostKey());
  if (known && SameAsciiText(*known, c.fingerprint)) {
    ui_.logEvent("tls", "certificate known: " + hostKey());
    return true;
  }
  if (known) {
    ui_.errorBeep();
    warn("FTCERMUD");
    ui_.setForeground(4);
    describeCertificate(c);
    ui_.setForeground(15);
    return false;
  }
  return askAboutCertificate(c);
}

bool Tls::protectData(TlsMode mode) {
  // RFC 4217: PBSZ 0 before PROT; PROT P puts every data connection in TLS.
  bool ok = dlg_.SendCommand("PBSZ 0");
  Reply r;
  if (ok) r = dlg_.awaitReply();
  ok = ok && r.complete && r.code >= 200 && r.code < 300 && dlg_.SendCommand("PROT P");
  if (ok) r = dlg_.awaitReply();
  ok = ok && r.complete && r.code >= 200 && r.code < 300;
  if (ok) {
    rede_.protectData(context_.get());
    return true;
  }
  if (dlg_.closed() || dlg_.interrupted()) return false;
  rede_.protectData(nullptr);
  if (mode == TlsMode::Required) {
    ui_.errorBeep();
    warn("FTTLSEXI");
    return false;
  }
  warn("FTDADNAO");
  return true;
}

}  // namespace ftp
