// sftpSsh: the session, its identification and its host key.
#include "sftp/sftpSsh.h"

#include <libssh/libssh.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "base/cp1252.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "sftp/sftpHostKey.h"
#include "sftp/sftpSshHandles.h"

namespace sftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 20;
// How long the server's identification is waited for before the socket is
// handed to libssh anyway (a server may wait for ours first), and how long
// lines that are not an identification may stand alone before the server
// counts as speaking another protocol.
constexpr int kIdentifyMs = 10000;
constexpr int kOtherProtocolGraceMs = 1000;
constexpr uint8_t kEscape = 27;
constexpr const char* kCiphers =
    "aes128-gcm@openssh.com,aes256-gcm@openssh.com,chacha20-poly1305@openssh.com,"
    "aes256-ctr,aes192-ctr,aes128-ctr";

int msLeft(Clock::time_point until) {
  const auto left = until - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
}

// A line of the server as it may be shown: printable, at most 80
// characters, from UTF-8 when it is.
std::string shownLine(std::string_view line) {
  std::string out = qr::fromUtf8(line.substr(0, 80));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

Identification IdentificationOf(std::string_view received) {
  Identification id;
  size_t start = 0;
  for (;;) {
    const size_t end = received.find('\n', start);
    if (end == std::string_view::npos) break;
    const std::string_view line = received.substr(start, end - start);
    if (line.starts_with("SSH-")) {
      id.kind = Identification::Kind::Ssh;
      return id;
    }
    if (id.firstLine.empty()) {
      id.kind = Identification::Kind::Other;
      id.firstLine = std::string(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);
    }
    start = end + 1;
  }
  return id;
}

std::string UserSshDirectory() {
  const char* home = std::getenv("HOME");
  std::string dir = home && *home ? home : "";
  if (dir.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) dir = pw->pw_dir;
  }
  if (dir.empty()) dir = "/";
  if (dir.back() != '/') dir += '/';
  return dir + ".ssh";
}

Ssh::Ssh(ftp::Tela& ui, ftp::Messages& msg, int deadlineMs)
    : ui_(ui), msg_(msg), deadlineMs_(deadlineMs), h_(std::make_unique<SshHandles>()) {}

Ssh::~Ssh() {
  Close();
}

void Ssh::warn(std::string_view key) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce(key, 1);
  ui_.setForeground(15);
}

void Ssh::warnWith(std::string_view key, std::string_view detail) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce(key, 0);
  ui_.writeLineSpoken(detail);
  ui_.setForeground(15);
}

void Ssh::failWith(std::string why) {
  if (failure_.empty()) failure_ = std::move(why);
}

Ssh::Step Ssh::drive(const std::function<int()>& step, int again, int& rc, int deadlineMs) {
  const auto until = Clock::now() + std::chrono::milliseconds(deadlineMs);
  for (;;) {
    rc = step();
    if (rc != again) return Step::Done;
    if (ui_.keyPending() && ui_.takeEscape()) return Step::Escape;
    const int left = msLeft(until);
    if (left <= 0) return Step::TimedOut;
    wait(std::min(left, kSliceMs));
  }
}

// Says why a step did not end well; true when it did.
bool Ssh::stepFailed(Step s, std::string_view key) {
  switch (s) {
    case Step::Done:
      return false;
    case Step::Escape:
      if (ui_.cursorColumn() != 1) ui_.endLine();
      msg_.Announce("FTDESIS", 1);
      failWith("desistiu");
      return true;
    case Step::TimedOut:
      ui_.errorBeep();
      warnWith(key, qr::W("o servidor não respondeu"));
      failWith("o servidor não respondeu");
      return true;
    case Step::Failed:
      ui_.errorBeep();
      warnWith(key, qr::fromUtf8(failure_));
      return true;
  }
  return true;
}

bool Ssh::identify(ftp::Rede& rede) {
  const auto until = Clock::now() + std::chrono::milliseconds(std::min(kIdentifyMs, deadlineMs_));
  std::optional<Clock::time_point> otherSince;
  char seen[1024];
  for (;;) {
    const long n = rede.peekControl(seen, sizeof seen);
    if (n == 0 || n == -1) {
      ui_.errorBeep();
      warn("FTSSHMUD");
      failWith("a conexão terminou antes da identificação");
      return false;
    }
    if (n > 0) {
      const Identification id = IdentificationOf(std::string_view(seen, static_cast<size_t>(n)));
      if (id.kind == Identification::Kind::Ssh) return true;
      if (id.kind == Identification::Kind::Other) {
        if (!otherSince) otherSince = Clock::now();
        if (Clock::now() - *otherSince >= std::chrono::milliseconds(kOtherProtocolGraceMs) ||
            n == static_cast<long>(sizeof seen)) {
          ui_.errorBeep();
          warnWith("FTSSHNAO", shownLine(id.firstLine));
          ui_.logEvent("ssh", "not an SSH server: " + shownLine(id.firstLine));
          failWith("outro protocolo");
          return false;
        }
      }
    }
    if (msLeft(until) <= 0) return true;  // libssh sends ours and waits for theirs
    // Bytes peeked at stay readable: the wait is for more than those, the
    // end of another protocol's grace, or a key.
    const Clock::time_point next =
        otherSince ? std::min(until, *otherSince + std::chrono::milliseconds(kOtherProtocolGraceMs))
                   : until;
    const ftp::WaitResult w =
        rede.waitForMoreControl(n > 0 ? static_cast<size_t>(n) : 0, msLeft(next));
    if (w == ftp::WaitResult::Escape) {
      (void)stepFailed(Step::Escape, "FTSSHERR");
      return false;
    }
  }
}

bool Ssh::Start(ftp::Rede& rede, const std::string& host, uint16_t port) {
  host_ = host;
  port_ = port;
  failure_.clear();
  if (!identify(rede)) return false;
  const int fd = rede.releaseControl();
  ssh_session session = ssh_new();
  if (session == nullptr || fd < 0) {
    if (fd >= 0) ::close(fd);
    if (session) ssh_free(session);
    warn("FTSSHBIB");
    return false;
  }
  h_->session = session;
  h_->fd = fd;
  const std::string name = qr::toUtf8(host);
  const unsigned int portNumber = port;
  const std::string dir = UserSshDirectory();
  const std::string known = dir + "/known_hosts";
  int socket = fd;
  const bool no = false;
  ssh_options_set(session, SSH_OPTIONS_HOST, name.c_str());
  ssh_options_set(session, SSH_OPTIONS_PORT, &portNumber);
  ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &no);
  ssh_options_set(session, SSH_OPTIONS_SSH_DIR, dir.c_str());
  ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, known.c_str());
  ssh_options_set(session, SSH_OPTIONS_FD, &socket);
  ssh_set_counters(session, &h_->socket, nullptr);
  // AES-GCM first: libssh runs it through OpenSSL with the processor's AES
  // instructions, at several times the speed of its ChaCha20-Poly1305; the
  // others stay offered for servers without it.
  ssh_options_set(session, SSH_OPTIONS_CIPHERS_C_S, kCiphers);
  ssh_options_set(session, SSH_OPTIONS_CIPHERS_S_C, kCiphers);
  ssh_set_blocking(session, 0);

  msg_.Announce("FTSSHINI", 1);
  int rc = SSH_ERROR;
  Step s = drive([&] { return ssh_connect(session); }, SSH_AGAIN, rc, deadlineMs_);
  if (s == Step::Done && rc != SSH_OK) {
    failWith(ssh_get_error(session));
    // No identification at all: whatever answered is no SSH server.
    if (ssh_get_serverbanner(session) == nullptr) {
      ui_.errorBeep();
      warn("FTSSHMUD");
      return false;
    }
    s = Step::Failed;
  }
  if (stepFailed(s, "FTSSHERR")) return false;
  if (!checkHostKey()) return false;
  msg_.Announce("FTSSHOK", 0);
  ui_.write(" (" + description() + ")");
  ui_.endLine();
  ui_.logEvent("ssh", "connected: " + description());
  return true;
}

std::string Ssh::description() const {
  if (h_->session == nullptr) return {};
  const char* cipher = ssh_get_cipher_in(h_->session);
  const int version = ssh_get_version(h_->session);
  return "SSH-" + std::to_string(version) + ", " + (cipher ? cipher : "?");
}

bool Ssh::checkHostKey() {
  ssh_session session = h_->session;
  ssh_key key = nullptr;
  if (ssh_get_server_publickey(session, &key) != SSH_OK || key == nullptr) {
    failWith(ssh_get_error(session));
    return !stepFailed(Step::Failed, "FTSSHERR");
  }
  const char* typeText = ssh_key_type_to_char(ssh_key_type(key));
  const std::string type = typeText ? typeText : "?";
  unsigned char* hash = nullptr;
  size_t length = 0;
  std::string fingerprint;
  if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == SSH_OK) {
    if (char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length)) {
      fingerprint = text;
      ssh_string_free_char(text);
    }
    ssh_clean_pubkey_hash(&hash);
  }
  ssh_key_free(key);

  KnownState state = KnownState::Unreadable;
  switch (ssh_session_is_known_server(session)) {
    case SSH_KNOWN_HOSTS_OK:
      state = KnownState::Known;
      break;
    case SSH_KNOWN_HOSTS_CHANGED:
      state = KnownState::Changed;
      break;
    case SSH_KNOWN_HOSTS_OTHER:
      state = KnownState::OtherType;
      break;
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND:
      state = KnownState::Unknown;
      break;
    case SSH_KNOWN_HOSTS_ERROR:
      state = KnownState::Unreadable;
      break;
  }
  switch (JudgeHostKey(state)) {
    case HostKeyVerdict::Trust:
      ui_.logEvent("ssh", "host key known: " + fingerprint);
      return true;
    case HostKeyVerdict::Ask:
      return askAboutKey(type, fingerprint);
    case HostKeyVerdict::Impostor:
      ui_.errorBeep();
      warn("FTHKMUD");
      ui_.setForeground(4);
      describeKey(type, fingerprint);
      ui_.setForeground(15);
      ui_.logEvent("ssh", "host key changed: " + fingerprint);
      failWith("a chave do servidor mudou");
      return false;
    case HostKeyVerdict::CannotCheck:
      ui_.errorBeep();
      warnWith("FTHKERR", qr::fromUtf8(ssh_get_error(session)));
      failWith("known_hosts");
      return false;
  }
  return false;
}

void Ssh::describeKey(const std::string& type, const std::string& fingerprint) {
  msg_.Announce("FTHKTIP", 0);
  ui_.writeLineSpoken(KeyTypeName(type));
  // Written whole, for comparing; too long to be heard whole.
  msg_.Announce("FTHKIMP", 0);
  ui_.write(fingerprint);
  ui_.endLine();
  msg_.Announce("FTHKFIM", 0);
  const std::string tail = FingerprintTail(fingerprint);
  ui_.write(tail);
  ui_.endLine();
  ui_.speakText(SpokenCharacters(tail));
}

bool Ssh::askAboutKey(const std::string& type, const std::string& fingerprint) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(14);
  msg_.Announce("FTHKDES", 1);
  describeKey(type, fingerprint);
  ui_.setForeground(15);
  msg_.Announce("FTHKACE", 0);
  uint8_t answer = ui_.readKeySpoken();
  if (answer == 0) (void)ui_.readKey();  // an extended key is no yes
  if (answer >= 32) ui_.write(std::string(1, static_cast<char>(answer)));
  ui_.endLine();
  if (answer != 'S' && answer != 's') {
    if (answer == kEscape) msg_.Announce("FTDESIS", 1);
    warn("FTHKREC");
    failWith("chave recusada");
    return false;
  }
  if (ssh_session_update_known_hosts(h_->session) == SSH_OK) {
    ui_.logEvent("ssh", "host key kept: " + fingerprint);
    msg_.Announce("FTHKMEM", 1);
  } else {
    ui_.logEvent("ssh", "host key not kept");
    msg_.Announce("FTHKNGU", 0);
    ui_.writeLineSpoken(qr::fromUtf8(ssh_get_error(h_->session)));
  }
  return true;
}

bool Ssh::OpenChannel() {
  ssh_session session = h_->session;
  if (session == nullptr) return false;
  h_->channel = ssh_channel_new(session);
  if (h_->channel == nullptr) {
    failWith(ssh_get_error(session));
    return !stepFailed(Step::Failed, "FTSSHERR");
  }
  ssh_channel channel = h_->channel;
  int rc = SSH_ERROR;
  Step s = drive([&] { return ssh_channel_open_session(channel); }, SSH_AGAIN, rc, deadlineMs_);
  if (s == Step::Done && rc != SSH_OK) {
    failWith(ssh_get_error(session));
    s = Step::Failed;
  }
  if (stepFailed(s, "FTSSHERR")) return false;
  s = drive([&] { return ssh_channel_request_subsystem(channel, "sftp"); }, SSH_AGAIN, rc,
            deadlineMs_);
  if (s == Step::Done && rc != SSH_OK) {
    failWith(ssh_get_error(session));
    ui_.errorBeep();
    warn("FTSFTPNA");
    return false;
  }
  return !stepFailed(s, "FTSSHERR");
}

long Ssh::send(std::string_view bytes) {
  if (h_->channel == nullptr || !failure_.empty()) return -1;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(bytes.size(), 1u << 30));
  const int sent = ssh_channel_write(h_->channel, bytes.data(), n);
  if (sent == SSH_ERROR || sent < 0) {
    failWith(ssh_get_error(h_->session));
    return -1;
  }
  return sent;
}

long Ssh::receive(char* buffer, size_t capacity) {
  if (h_->channel == nullptr || !failure_.empty()) return -1;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(capacity, 1u << 30));
  // A read without waiting (timeout 0) that may ask for more than has
  // come: libssh opens the channel's window to what a read asks for, so the
  // server may send that much ahead.
  const int got = ssh_channel_read_timeout(h_->channel, buffer, n, 0, 0);
  if (got > 0) return got;
  if (got == SSH_EOF || ssh_channel_is_eof(h_->channel) || ssh_channel_is_closed(h_->channel)) {
    failWith("o servidor fechou o canal");
    return -1;
  }
  if (got < 0) {
    const char* why = ssh_get_error(h_->session);
    failWith(why && *why ? why : "a conexão caiu");
    return -1;
  }
  return 0;
}

void Ssh::wait(int ms) {
  if (h_->session == nullptr) {
    ui_.waitFor({}, ms);
    return;
  }
  const int fd = ssh_get_fd(h_->session);
  const bool write = (ssh_get_poll_flags(h_->session) & SSH_WRITE_PENDING) != 0;
  qr::WaitFd f{.fd = fd, .wantRead = true, .wantWrite = write};
  ui_.waitFor(std::span<qr::WaitFd>(&f, 1), ms);
}

uint64_t Ssh::bytesReadFromSocket() const {
  return h_->socket.in_bytes;
}

bool Ssh::connected() const {
  return h_->session != nullptr && ssh_is_connected(h_->session) && failure_.empty();
}

void Ssh::Close() {
  if (h_->channel) {
    if (failure_.empty()) (void)ssh_channel_close(h_->channel);
    ssh_channel_free(h_->channel);
    h_->channel = nullptr;
  }
  if (h_->session) {
    ssh_disconnect(h_->session);
    ssh_free(h_->session);
    h_->session = nullptr;
  }
  if (h_->fd >= 0) ::close(h_->fd);
  h_->fd = -1;
}

}  // namespace sftp
