// ftpRede: the client's sockets. The control connection, one data
// connection at a time (passive: we connect; active: we listen on a port the
// system chooses and accept only the control connection's peer), and the one
// wait of the FTP client: every loop says here what it waits for and for how
// long. TCP over IPv6 or IPv4: a name is looked up with getaddrinfo (in a
// helper thread, so that ESC and the deadline can end the wait) and its
// addresses are tried in the order given until one connects; the data
// connections use the control connection's family. The data socket is
// non-blocking once open, so neither a receive nor a send can stall the loop
// that called it; the control socket blocks only in short sends bounded by a
// wait for writability. Nothing here talks to the user: what failed comes
// back as a NetResult, and the dialogue (Dlg::sayNetFailure) says it.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

struct ClientState;
class Tela;
class TlsContext;
class TlsChannel;

enum PollResult : int { kNone = -1, REDE = 1, PEDCONEXAO = 2, CANALARQ = 3 };

enum class WaitResult { Ready, Escape, NoSocket, TimedOut };

inline constexpr size_t kDataBlock = 8192;
// Blocks one system call may move while data flows: progress, the caption
// and the keys are still looked at between calls, a fraction of a
// millisecond apart at loopback speed.
inline constexpr size_t kBlocksPerCall = 32;

// Kilobytes as the user hears them: (bytes + 1023) / 1024.
[[nodiscard]] constexpr int64_t KilobytesRoundedUp(int64_t bytes) {
  return bytes <= 0 ? 0 : (bytes + 1023) / 1024;
}

// What a loop waits for, and what was found ready.
struct WaitFor {
  bool control = false;    // a reply (or the connection's end)
  bool accept = false;     // an incoming data connection
  bool dataRead = false;   // data (or its end) on the data connection
  bool dataWrite = false;  // room to send on the data connection
  bool keys = false;       // a key in the queue (the caller reads it)
  bool escape = false;     // keys that came since Tela::takeEscape last looked
};
struct Ready {
  bool control = false;
  bool listen = false;
  bool data = false;
  bool dataWrite = false;
  bool key = false;
  [[nodiscard]] bool any() const { return control || listen || data || dataWrite || key; }
};

// What went wrong opening or accepting a connection.
enum class NetFailure {
  None,
  NoSocket,      // no socket could be made
  NameNotFound,  // the computer's name gave no address
  GaveUp,        // ESC during the name's lookup
  Unreachable,   // the connection was refused or timed out
  NoBind,        // no local port for the data connection
  NoListen,      // listen failed
  NoAccept,      // accepting the server's data connection failed
};
struct NetResult {
  NetFailure failure = NetFailure::None;
  int error = 0;  // the errno, where it tells more
  [[nodiscard]] bool ok() const { return failure == NetFailure::None; }
};

// One receive or send on the data connection.
enum class DataIo { Moved, Ended, Failed, WouldBlock };

class Rede {
 public:
  Rede(ClientState& state, Tela& ui);
  ~Rede();
  Rede(const Rede&) = delete;
  Rede& operator=(const Rede&) = delete;

  [[nodiscard]] NetResult OpenControlConnection();
  void CloseConnections();
  [[nodiscard]] NetResult OpenDataConnection();
  // reset: end the data connection with a reset rather than a clean close,
  // so that the server cannot take what it received for a whole file.
  void CloseDataConnection(bool reset = false);
  // Accepts the waiting connection when it comes from the control
  // connection's peer; any other is closed and the listening goes on.
  [[nodiscard]] NetResult AcceptDataConnection();
  // One receive of up to kDataBlock bytes into block (replaced).
  [[nodiscard]] DataIo ReceiveDataBlock(std::string& block);
  // One receive of up to capacity bytes (whole blocks: one system call may
  // move several) into buffer; got tells how many came (and are counted).
  [[nodiscard]] DataIo ReceiveDataBlocks(char* buffer, size_t capacity, size_t& got);
  // One send of as much of bytes as the connection takes now; sent tells
  // how much went (and is counted).
  [[nodiscard]] DataIo SendDataBlock(std::string_view bytes, size_t& sent);
  // The command loop's look at the sockets, without waiting.
  [[nodiscard]] int PollEvent();

  // The one wait: until something asked for is ready, or at most ms
  // milliseconds (0: only look). A key wakes it only when keys are asked.
  [[nodiscard]] Ready wait(const WaitFor& what, int ms);

  // Control connection, for ftpDlg.
  [[nodiscard]] long receiveControl(char* buffer, size_t capacity);
  // Sends all of bytes; false when the connection failed or did not take
  // them within ms milliseconds.
  [[nodiscard]] bool sendControl(std::string_view bytes, int ms);
  // Waits until the control connection is readable, at most ms; ESC
  // interrupts when asked to (keys typed meanwhile stay queued otherwise).
  [[nodiscard]] WaitResult waitForControl(int ms, bool escapeInterrupts = true);
  // The control connection is over: no poll looks at it again.
  void closeControl();
  // Bytes waiting on the control connection, left there for whoever reads
  // it next: their count, -2 when none came yet, 0 when the server closed
  // the connection, -1 on an error.
  [[nodiscard]] long peekControl(char* buffer, size_t capacity);
  // waitForControl for more than the `have` bytes already peeked at (they
  // keep the socket readable): the end of the connection, a key or ms also
  // end it.
  [[nodiscard]] WaitResult waitForMoreControl(size_t have, int ms);
  // Hands the control connection's socket over to another layer (the SSH
  // library), which closes it; Rede forgets it. The socket sends at once.
  [[nodiscard]] int releaseControl();
  // The idle wait: a reply, a data connection or data, or a key; at most ms.
  void waitIdle(int milliseconds);

  // Further connections to the control connection's server, for those
  // that move a folder's files beside it (ftpPool), which drives them in
  // its own wait: a non-blocking socket whose connection to port (0: the
  // control connection's) is begun; -1 with errno when none could be made.
  [[nodiscard]] int startConnection(uint16_t port) const;
  // How the connection begun by startConnection ended, once the socket is
  // writable: 0, or the errno of its failure.
  [[nodiscard]] static int connectError(int fd);
  // One receive or send on such a socket: the count, -2 when it would wait,
  // 0 (receive) at the peer's end, -1 on an error.
  [[nodiscard]] static long receiveOn(int fd, char* buffer, size_t capacity);
  [[nodiscard]] static long sendOn(int fd, const char* bytes, size_t size);
  // Lets such a socket hold short writes back until a segment fills, as
  // suits a stream of bulk data (every socket here starts sending at once).
  static void sendInBulk(int fd);
  // Closes such a socket; reset: with a reset, so that the server cannot
  // take what it received for a whole file.
  static void closeConnection(int fd, bool reset);
  // The TLS context of protected data connections, nullptr without PROT P.
  [[nodiscard]] TlsContext* dataProtection() const { return dataContext_; }

  // The local IPv4 address in network order; 0 over IPv6.
  [[nodiscard]] uint32_t localAddress() const;
  // The control connection runs over IPv6.
  [[nodiscard]] bool ipv6() const { return server_.ss_family == AF_INET6; }
  // The local address in text form, as EPRT names it.
  [[nodiscard]] std::string localAddressText() const;
  // The control connection's ends, for the report after connecting.
  [[nodiscard]] std::string serverAddressText() const;
  [[nodiscard]] uint16_t localPort() const;
  [[nodiscard]] static std::string localHostName();
  // The port an active-mode data connection is awaited on.
  [[nodiscard]] uint16_t listeningPort() const { return listenPort_; }

  // TLS (ftpTls). Once the control connection's channel is open, replies
  // and commands go through it; with data protection on, every data
  // connection gets a channel of its own that resumes the control
  // connection's session, its handshake begun by the transfer loop's first
  // read or write.
  // A channel's wish to read or write first steers what the wait looks at,
  // and decrypted bytes it holds count as ready.
  [[nodiscard]] bool startControlTls(TlsContext& context);
  [[nodiscard]] TlsChannel* controlTls() const { return controlTls_.get(); }
  void protectData(TlsContext* context) { dataContext_ = context; }
  // The last data connection failed because its peer was not the server
  // accepted for the control connection.
  [[nodiscard]] bool dataPeerRefused() const { return dataRefused_; }
  // Bytes have come on the control connection and are not read yet.
  [[nodiscard]] bool controlHasUnreadBytes() const;

 private:
  [[nodiscard]] bool attachDataTls();
  void closeDataTls(bool reset);
  enum class Connect { Done, Failed, Escape };
  [[nodiscard]] Connect connectInterruptible(int fd, const sockaddr_storage& address, int limitMs);
  // The addresses of the remote computer, numeric or looked up.
  [[nodiscard]] NetResult resolve(std::vector<sockaddr_storage>& found);

  ClientState& st_;
  Tela& ui_;
  int control_ = -1;
  int listen_ = -1;
  int data_ = -1;
  sockaddr_storage server_{};  // the control connection's peer
  sockaddr_storage local_{};   // and its own end
  uint16_t listenPort_ = 0;
  std::unique_ptr<TlsChannel> controlTls_;
  std::unique_ptr<TlsChannel> dataTls_;
  TlsContext* dataContext_ = nullptr;
  bool dataRefused_ = false;
};

// The address of a socket address in text form ("127.0.0.1", "::1").
[[nodiscard]] std::string AddressText(const sockaddr_storage& address);
// Whether two socket addresses name the same host (ports aside); an
// IPv4-mapped IPv6 address is the same host as its IPv4 address.
[[nodiscard]] bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b);

}  // namespace ftp
