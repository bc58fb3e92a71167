// sftpSsh: the SSH connection under the file transfers, carried by libssh
// (transport, key exchange, host keys, authentication, the channel) over a
// socket that ftpRede connected. libssh runs non-blocking: every step is
// driven here, and every wait is the program's one wait (Tela::waitFor) on
// the session's socket, with a deadline, ESC giving up.
//
// Host keys as OpenSSH keeps them: ~/.ssh/known_hosts (HOME, else the
// account's home), hashed names too, and /etc/ssh/ssh_known_hosts. A known
// key goes on silently; an unknown one is described (type, fingerprint)
// and S accepts it and adds it to ~/.ssh/known_hosts in that file's
// format; a changed one is refused before any authentication, so no
// password or key signature ever reaches the server that showed it.
//
// Authentication: the keys of ssh-agent, then the user's keys in ~/.ssh
// (id_ed25519, id_ecdsa, id_rsa; a key's passphrase asked with the hidden
// reader when the server would take that key), then the password, or the
// server's own questions (keyboard-interactive). A password or passphrase
// lives only for the call that uses it: never logged, drawn or kept.
// ~/.ssh/config is not read: the server is the one typed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ftp {
class Tela;
class Messages;
class Rede;
}  // namespace ftp

namespace sftp {

struct SshHandles;

// What a server sent before the key exchange: its identification
// ("SSH-2.0-..."), lines of another protocol ("220 FTP pronto"), or not a
// whole line yet. RFC 4253 section 4.2 lets a server send other lines
// before its identification, so Other is final only once no
// identification followed them.
struct Identification {
  enum class Kind { Incomplete, Ssh, Other };
  Kind kind = Kind::Incomplete;
  std::string firstLine;  // the first line that was not one
};
[[nodiscard]] Identification IdentificationOf(std::string_view received);

// Where the user's SSH files are: $HOME/.ssh, else the account's home.
[[nodiscard]] std::string UserSshDirectory();

class Ssh {
 public:
  // deadlineMs: how long the server may be silent in any one step.
  Ssh(ftp::Tela& ui, ftp::Messages& msg, int deadlineMs);
  ~Ssh();
  Ssh(const Ssh&) = delete;
  Ssh& operator=(const Ssh&) = delete;

  // Takes over the connection rede opened (closed with the session): the
  // server's identification, the key exchange and the host key, for host
  // and port as typed (the names the known hosts files use). False, said,
  // when the connection must not go on.
  [[nodiscard]] bool Start(ftp::Rede& rede, const std::string& host, uint16_t port);
  // Logs user in (UTF-8 for the server, Windows-1252 on screen); the
  // caller says that access was granted. False, said, when nothing was
  // accepted or the connection ended.
  [[nodiscard]] bool Authenticate(const std::string& user);
  // The channel of the "sftp" subsystem. False, said, when refused.
  [[nodiscard]] bool OpenChannel();

  // Bytes on the channel, without waiting. send: how many were taken
  // (0 while the server's window is full); receive: how many came (0 for
  // none now), the capacity being also how much the server may send ahead.
  // Both -1 once the connection or the channel is gone (failure() tells
  // why).
  [[nodiscard]] long send(std::string_view bytes);
  [[nodiscard]] long receive(char* buffer, size_t capacity);
  // The one wait: until the socket can move something, a key comes, or ms
  // pass. Call receive() until it gives 0 first: libssh may hold bytes.
  void wait(int ms);
  // How many bytes libssh has read from the socket so far: a receive()
  // that gave nothing but read some may have left more there.
  [[nodiscard]] uint64_t bytesReadFromSocket() const;
  [[nodiscard]] bool connected() const;
  [[nodiscard]] const std::string& failure() const { return failure_; }
  // The negotiated ciphers, for the connection's description.
  [[nodiscard]] std::string description() const;
  // Ends the session (a disconnect message when the connection still
  // stands) and closes the socket.
  void Close();

 private:
  enum class Step { Done, Failed, Escape, TimedOut };
  // Calls step until it stops answering again, waiting between calls.
  [[nodiscard]] Step drive(const std::function<int()>& step, int again, int& rc, int deadlineMs);
  [[nodiscard]] bool identify(ftp::Rede& rede);
  [[nodiscard]] bool checkHostKey();
  [[nodiscard]] bool askAboutKey(const std::string& type, const std::string& fingerprint);
  void describeKey(const std::string& type, const std::string& fingerprint);
  void warn(std::string_view key);
  void warnWith(std::string_view key, std::string_view detail);
  [[nodiscard]] bool stepFailed(Step s, std::string_view key);
  // Authentication steps: each gives the libssh answer (SSH_AUTH_*).
  [[nodiscard]] int tryAgent();
  [[nodiscard]] int tryKeyFiles(bool& refused);
  [[nodiscard]] int tryKeyFile(const std::string& path, bool& refused);
  [[nodiscard]] int tryPassword();
  [[nodiscard]] int tryQuestions();
  [[nodiscard]] std::string readSecret();
  void failWith(std::string why);

  ftp::Tela& ui_;
  ftp::Messages& msg_;
  int deadlineMs_;
  std::unique_ptr<SshHandles> h_;
  std::string failure_;
  std::string host_;
  uint16_t port_ = 22;
};

}  // namespace sftp
