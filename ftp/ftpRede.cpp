// ftpRede: POSIX sockets standing for the original sockets library.
// Sends say MSG_NOSIGNAL so that a send on a closed connection fails instead
// of ending the program. Every wait of the FTP client is Rede::wait, over the
// console's one wait (Tela::waitFor) on the sockets the caller named, in
// slices short enough that the key test runs between them.
#include "ftp/ftpRede.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "base/loop.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTlsCanal.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

constexpr int kConnectTimeoutMs = 20000;
// How long a clean end of a protected data connection may wait for room to
// send its close_notify.
constexpr int kTlsCloseMs = 5000;

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void setNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// A TLS handshake is a few short messages each way; held back for a full
// segment (Nagle) against a delayed acknowledgement, each would wait tens of
// milliseconds.
void sendAtOnce(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool wouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

using Clock = std::chrono::steady_clock;

// Whole milliseconds until a time, rounded up (the loop's one rule): the
// last fraction of a millisecond is waited for, not polled for in a spin.
int msLeft(Clock::time_point until) {
  return qr::msUntil(until);
}

socklen_t addressLength(const sockaddr_storage& a) {
  return a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

void setPort(sockaddr_storage& a, uint16_t port) {
  if (a.ss_family == AF_INET6)
    reinterpret_cast<sockaddr_in6&>(a).sin6_port = htons(port);
  else
    reinterpret_cast<sockaddr_in&>(a).sin_port = htons(port);
}

uint16_t portOf(const sockaddr_storage& a) {
  return ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(a).sin6_port
                                       : reinterpret_cast<const sockaddr_in&>(a).sin_port);
}

// The IPv4 address of an IPv4 or IPv4-mapped IPv6 address; false for others.
bool ipv4Of(const sockaddr_storage& a, in_addr& out) {
  if (a.ss_family == AF_INET) {
    out = reinterpret_cast<const sockaddr_in&>(a).sin_addr;
    return true;
  }
  if (a.ss_family != AF_INET6) return false;
  const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(a).sin6_addr;
  if (!IN6_IS_ADDR_V4MAPPED(&v6)) return false;
  std::memcpy(&out, v6.s6_addr + 12, 4);
  return true;
}

// A lookup in a thread of its own: getaddrinfo cannot be interrupted, and
// the user must be able to give up on a name server that does not answer.
// The thread owns its half of the result; a lookup given up on ends alone.
// A lookup on its own thread (getaddrinfo blocks); it reports its end
// through a pipe the program's wait watches. Shared with the thread, so
// that a lookup given up (Esc) ends in its own time.
struct Lookup {
  Lookup() {
    if (::pipe(done_pipe) != 0) done_pipe[0] = done_pipe[1] = -1;
  }
  ~Lookup() {
    for (const int fd : done_pipe)
      if (fd >= 0) ::close(fd);
  }
  Lookup(const Lookup&) = delete;
  Lookup& operator=(const Lookup&) = delete;
  std::mutex m;
  bool done = false;
  int rc = 0;
  std::vector<sockaddr_storage> found;
  int done_pipe[2];
};

void lookUp(const std::shared_ptr<Lookup>& lookup, std::string host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
  std::vector<sockaddr_storage> found;
  for (addrinfo* a = res; rc == 0 && a; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    sockaddr_storage s{};
    std::memcpy(&s, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof s));
    found.push_back(s);
  }
  if (res) ::freeaddrinfo(res);
  std::lock_guard<std::mutex> g(lookup->m);
  lookup->rc = rc;
  lookup->found = std::move(found);
  lookup->done = true;
  if (lookup->done_pipe[1] >= 0) (void)!::write(lookup->done_pipe[1], "", 1);
}

}  // namespace


std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                sizeof text);
  else if (address.ss_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                sizeof text);
  return text;
}

bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b) {
  in_addr a4{}, b4{};
  const bool aIs4 = ipv4Of(a, a4), bIs4 = ipv4Of(b, b4);
  if (aIs4 || bIs4) return aIs4 && bIs4 && a4.s_addr == b4.s_addr;
  if (a.ss_family != AF_INET6 || b.ss_family != AF_INET6) return false;
  return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                     &reinterpret_cast<const sockaddr_in6&>(b).sin6_addr, sizeof(in6_addr)) == 0;
}

Rede::Rede(ClientState& state, Tela& ui) : st_(state), ui_(ui) {}

Rede::~Rede() {
  CloseConnections();
}

// A blocking connect that cannot be interrupted would leave the user
// without a way out while an unreachable host times out; wait in slices.
Rede::Connect Rede::connectInterruptible(int fd, const sockaddr_storage& address, int limitMs) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), addressLength(address));
  Connect result = rc == 0 ? Connect::Done : Connect::Failed;
  if (rc != 0 && errno == EINPROGRESS) {
    const auto until = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Clock::now() < until) {
      qr::WaitFd f{.fd = fd, .wantRead = false, .wantWrite = true};
      ui_.waitFor(std::span<qr::WaitFd>(&f, 1), msLeft(until));
      if (f.writable || f.closed) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        result = err == 0 ? Connect::Done : Connect::Failed;
        break;
      }
      if (ui_.keyPending() && ui_.takeEscape()) {
        result = Connect::Escape;
        break;
      }
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  return result;
}

NetResult Rede::resolve(std::vector<sockaddr_storage>& found) {
  const std::string& host = st_.remoteHost;
  found.clear();
  if (host.empty()) return {NetFailure::NameNotFound};
  // An address needs no lookup (and no thread).
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) == 0 && res) {
    sockaddr_storage s{};
    std::memcpy(&s, res->ai_addr, std::min<size_t>(res->ai_addrlen, sizeof s));
    ::freeaddrinfo(res);
    found.push_back(s);
    return {};
  }
  auto lookup = std::make_shared<Lookup>();
  std::thread(lookUp, lookup, host).detach();
  const auto until = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> g(lookup->m);
      if (lookup->done) {
        found = lookup->found;
        break;
      }
    }
    if (ui_.keyPending() && ui_.takeEscape()) return {NetFailure::GaveUp};
    if (Clock::now() >= until) break;
    qr::WaitFd f{.fd = lookup->done_pipe[0]};
    ui_.waitFor(std::span<qr::WaitFd>(&f, 1), msLeft(until));
  }
  if (found.empty()) return {NetFailure::NameNotFound};
  return {};
}

NetResult Rede::OpenControlConnection() {
  std::vector<sockaddr_storage> candidates;
  if (const NetResult r = resolve(candidates); !r.ok()) return r;

  // The first address that connects, all within one deadline; each gets
  // at least a few seconds, so that an unreachable first family (IPv6
  // without a route, say) does not use up the time of the next.
  const auto until = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  bool connected = false;
  bool socketFailed = false;
  for (size_t i = 0; i < candidates.size() && !connected; ++i) {
    sockaddr_storage target = candidates[i];
    setPort(target, st_.controlPort);
    const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
      socketFailed = true;
      continue;
    }
    const int left = msLeft(until);
    const int share =
        std::max(left / static_cast<int>(candidates.size() - i), std::min(left, 3000));
    ui_.logEvent("connect", AddressText(target));
    const Connect c = connectInterruptible(fd, target, share);
    if (c == Connect::Done) {
      control_ = fd;
      server_ = target;
      connected = true;
      break;
    }
    ::close(fd);
    if (c == Connect::Escape || msLeft(until) <= 0) break;
  }
  if (!connected) {
    if (socketFailed && candidates.size() == 1) return {NetFailure::NoSocket};
    return {NetFailure::Unreachable};
  }

  socklen_t len = sizeof local_;
  ::getsockname(control_, reinterpret_cast<sockaddr*>(&local_), &len);
  // The address the server reached us on is the one it can reach again for
  // active-mode data; a lookup of our own host name often gives a loopback
  // alias (127.0.1.1) that no other machine can reach.
  return {};
}

std::string Rede::serverAddressText() const {
  return AddressText(server_);
}

uint16_t Rede::localPort() const {
  return portOf(local_);
}

std::string Rede::localHostName() {
  char name[81] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

uint32_t Rede::localAddress() const {
  in_addr a{};
  return local_.ss_family == AF_INET && ipv4Of(local_, a) ? a.s_addr : 0;
}

std::string Rede::localAddressText() const {
  return AddressText(local_);
}

void Rede::CloseConnections() {
  CloseDataConnection();
  // One try at close_notify: the server is told the session ended on purpose.
  if (controlTls_ && controlTls_->failure().empty()) (void)controlTls_->shutdown();
  controlTls_.reset();
  closeFd(control_);
}

void Rede::closeControl() {
  controlTls_.reset();
  closeFd(control_);
}

bool Rede::startControlTls(TlsContext& context) {
  if (control_ < 0) return false;
  setNonBlocking(control_);
  sendAtOnce(control_);
  controlTls_ = TlsChannel::open(context, control_, st_.remoteHost, true);
  return controlTls_ != nullptr;
}

bool Rede::controlHasUnreadBytes() const {
  char c;
  return control_ >= 0 && ::recv(control_, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

bool Rede::attachDataTls() {
  dataRefused_ = false;
  if (!dataContext_) return true;
  sendAtOnce(data_);
  dataTls_ = TlsChannel::open(*dataContext_, data_, st_.remoteHost, false);
  // The transfer loop's first read or write begins the handshake.
  if (dataTls_) return true;
  ui_.logEvent("tls", "data: no session");
  return false;
}

// A clean end: our close_notify, then the server's (or its end of the
// connection, or its reply on the control connection). Closing the socket
// with the server's close_notify unread would reset the connection, and a
// reset can throw away data the server has not read yet.
void Rede::closeDataTls(bool reset) {
  if (!dataTls_) return;
  if (!reset && data_ >= 0 && dataTls_->failure().empty()) {
    const auto until = Clock::now() + std::chrono::milliseconds(kTlsCloseMs);
    TlsIo io;
    for (;;) {
      io = dataTls_->shutdown();
      if ((io != TlsIo::WantRead && io != TlsIo::WantWrite) || msLeft(until) <= 0) break;
      (void)wait({.dataRead = io == TlsIo::WantRead, .dataWrite = io == TlsIo::WantWrite},
                 msLeft(until));
    }
    char scratch[4096];
    while (io == TlsIo::Moved && !dataTls_->peerEnded() && msLeft(until) > 0) {
      size_t got = 0;
      io = dataTls_->read(scratch, sizeof scratch, got);
      if (io == TlsIo::Moved) break;  // still sending (an abort): nothing to wait for
      if (io != TlsIo::WantRead && io != TlsIo::WantWrite) break;
      const Ready r = wait({.control = true, .dataRead = true}, msLeft(until));
      if (r.control && !r.data) break;
      io = TlsIo::Moved;
    }
  }
  dataTls_.reset();
}

NetResult Rede::OpenDataConnection() {
  int fd = ::socket(server_.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return {NetFailure::NoSocket, errno};
  if (st_.passive) {
    data_ = fd;
    sockaddr_storage target = server_;
    setPort(target, st_.passiveDataPort);
    if (connectInterruptible(data_, target, kConnectTimeoutMs) == Connect::Done) {
      setNonBlocking(data_);
      st_.dataOpen = true;
      if (attachDataTls()) return {};
      CloseDataConnection(true);
      return {NetFailure::Unreachable};
    }
    closeFd(data_);
    return {NetFailure::Unreachable};
  }
  // Port 0: the system chooses the port, so nobody can guess where the
  // next data connection will be awaited.
  sockaddr_storage sa = local_;
  setPort(sa, 0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), addressLength(sa)) != 0) {
    const int error = errno;
    ::close(fd);
    return {NetFailure::NoBind, error};
  }
  if (::listen(fd, 1) != 0) {
    const int error = errno;
    ::close(fd);
    return {NetFailure::NoListen, error};
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  listenPort_ = portOf(sa);
  listen_ = fd;
  st_.listening = true;
  return {};
}

void Rede::CloseDataConnection(bool reset) {
  if (reset && data_ >= 0) {
    const linger abrupt{1, 0};
    ::setsockopt(data_, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
  }
  closeDataTls(reset);
  closeFd(listen_);
  closeFd(data_);
  st_.dataOpen = false;
  st_.listening = false;
}

NetResult Rede::AcceptDataConnection() {
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  const int fd = listen_ >= 0 ? ::accept(listen_, reinterpret_cast<sockaddr*>(&peer), &len) : -1;
  if (fd < 0) {
    const int err = listen_ >= 0 ? errno : EBADF;
    if (wouldBlock(err) || err == ECONNABORTED) return {};  // the caller gone already
    return {NetFailure::NoAccept, err};
  }
  // Only the server may bring the data: a connection from anywhere else is
  // a stranger's, and the wait for the server's goes on.
  if (!SameHost(peer, server_)) {
    ui_.logEvent("refused", AddressText(peer));
    ::close(fd);
    return {};
  }
  // One data connection per transfer: nobody can replace it once it is in.
  closeFd(listen_);
  st_.listening = false;
  closeFd(data_);
  data_ = fd;
  setNonBlocking(data_);
  st_.dataOpen = true;
  if (!attachDataTls()) CloseDataConnection(true);
  return {};
}

DataIo Rede::ReceiveDataBlock(std::string& block) {
  block.resize(kDataBlock);
  size_t got = 0;
  const DataIo io = ReceiveDataBlocks(block.data(), block.size(), got);
  block.resize(got);
  return io;
}

DataIo Rede::ReceiveDataBlocks(char* buffer, size_t capacity, size_t& got) {
  got = 0;
  if (data_ < 0) return DataIo::Failed;
  if (dataTls_) {
    // Record after record until the buffer is full or the socket has no
    // more; an end or a failure after some bytes comes again at the next
    // call (both stay with the session).
    while (got < capacity) {
      size_t n = 0;
      const TlsIo io = dataTls_->read(buffer + got, capacity - got, n);
      got += n;
      if (io == TlsIo::Moved) continue;
      if (got > 0) break;
      if (io == TlsIo::Ended) return DataIo::Ended;
      if (io == TlsIo::Failed) {
        // A connection cut without close_notify is no end of file.
        ui_.logEvent("tls", "data: " + dataTls_->failure());
        dataRefused_ = dataTls_->peerRefused();
        return DataIo::Failed;
      }
      return DataIo::WouldBlock;
    }
    st_.transferBytes += static_cast<int64_t>(got);
    return DataIo::Moved;
  }
  const ssize_t n = ::recv(data_, buffer, capacity, MSG_DONTWAIT);
  if (n < 0) return wouldBlock(errno) ? DataIo::WouldBlock : DataIo::Failed;
  if (n == 0) return DataIo::Ended;
  got = static_cast<size_t>(n);
  st_.transferBytes += n;
  return DataIo::Moved;
}

DataIo Rede::SendDataBlock(std::string_view bytes, size_t& sent) {
  sent = 0;
  if (data_ < 0) return DataIo::Failed;
  if (dataTls_) {
    // A record at a time, as many as the socket takes now; what could not
    // go is offered again, the same bytes, by the next call.
    TlsIo io = TlsIo::Moved;
    while (sent < bytes.size() && io == TlsIo::Moved) {
      size_t n = 0;
      io = dataTls_->write(bytes.data() + sent, bytes.size() - sent, n);
      sent += n;
    }
    st_.transferBytes += static_cast<int64_t>(sent);
    if (sent > 0 || io == TlsIo::Moved) return DataIo::Moved;
    if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return DataIo::WouldBlock;
    ui_.logEvent("tls", "data: " + dataTls_->failure());
    dataRefused_ = dataTls_->peerRefused();
    return DataIo::Failed;
  }
  const ssize_t n = ::send(data_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) return wouldBlock(errno) ? DataIo::WouldBlock : DataIo::Failed;
  sent = static_cast<size_t>(n);
  st_.transferBytes += n;
  return DataIo::Moved;
}

int Rede::startConnection(uint16_t port) const {
  const int fd = ::socket(server_.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  setNonBlocking(fd);
  sendAtOnce(fd);
  sockaddr_storage target = server_;
  if (port != 0) setPort(target, port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), addressLength(target)) != 0 &&
      errno != EINPROGRESS) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int Rede::connectError(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
  return error;
}

long Rede::receiveOn(int fd, char* buffer, size_t capacity) {
  ssize_t n;
  do {
    n = ::recv(fd, buffer, capacity, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return wouldBlock(errno) ? -2 : -1;
  return static_cast<long>(n);
}

long Rede::sendOn(int fd, const char* bytes, size_t size) {
  ssize_t n;
  do {
    n = ::send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return wouldBlock(errno) ? -2 : -1;
  return static_cast<long>(n);
}

void Rede::sendInBulk(int fd) {
  const int off = 0;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off);
}

void Rede::closeConnection(int fd, bool reset) {
  if (fd < 0) return;
  if (reset) {
    const linger abrupt{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
  }
  ::close(fd);
}

int Rede::PollEvent() {
  const Ready r = wait({.control = true, .accept = true, .dataRead = true}, 0);
  if (r.listen) return PEDCONEXAO;
  if (r.control) return REDE;
  if (r.data) return CANALARQ;
  return kNone;
}

Ready Rede::wait(const WaitFor& what, int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  for (;;) {
    qr::WaitFd fds[3];
    size_t n = 0;
    int iControl = -1, iListen = -1, iData = -1;
    if (what.control && control_ >= 0) {
      iControl = static_cast<int>(n);
      const bool write = controlTls_ && controlTls_->wantsWrite();
      fds[n++] = {.fd = control_, .wantRead = !write, .wantWrite = write};
    }
    if (what.accept && st_.listening && listen_ >= 0) {
      iListen = static_cast<int>(n);
      fds[n++] = {.fd = listen_};
    }
    if ((what.dataRead || what.dataWrite) && st_.dataOpen && data_ >= 0) {
      iData = static_cast<int>(n);
      bool read = what.dataRead, write = what.dataWrite;
      if (dataTls_ && (dataTls_->wantsRead() || dataTls_->wantsWrite())) {
        read = dataTls_->wantsRead();
        write = !read;
      }
      fds[n++] = {.fd = data_, .wantRead = read, .wantWrite = write};
    }
    Ready r;
    if ((what.keys && ui_.keyPending()) || (what.escape && ui_.keysArrived())) r.key = true;
    if (iControl >= 0 && controlTls_ && !controlTls_->wantsWrite() && controlTls_->pending())
      r.control = true;
    if (iData >= 0 && what.dataRead && dataTls_ && dataTls_->pending()) r.data = true;
    const int slice = r.any() ? 0 : msLeft(until);
    ui_.waitFor(std::span<qr::WaitFd>(fds, n), slice);
    const auto at = [&](int i) -> const qr::WaitFd* { return i >= 0 ? &fds[i] : nullptr; };
    if (const auto* f = at(iControl)) r.control |= f->readable || f->writable || f->closed;
    if (const auto* f = at(iListen)) r.listen = f->readable || f->closed;
    if (const auto* f = at(iData)) {
      // A channel that waits for the other way is ready for what was asked
      // once the socket is ready for what it waits for.
      const bool ready = f->readable || f->writable || f->closed;
      const bool steered = dataTls_ && fds[iData].wantRead != what.dataRead;
      r.data |= what.dataRead && (steered ? ready : (f->readable || f->closed));
      r.dataWrite = what.dataWrite && (steered ? ready : (f->writable || f->closed));
    }
    if (r.any() || msLeft(until) <= 0) return r;
  }
}

long Rede::receiveControl(char* buffer, size_t capacity) {
  if (control_ < 0) return -1;
  if (controlTls_) {
    size_t got = 0;
    const TlsIo io = controlTls_->read(buffer, capacity, got);
    if (io == TlsIo::Moved) return static_cast<long>(got);
    if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return -2;
    if (io == TlsIo::Failed) ui_.logEvent("tls", "control: " + controlTls_->failure());
    return io == TlsIo::Ended ? 0 : -1;
  }
  ssize_t n;
  do {
    n = ::recv(control_, buffer, capacity, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return -2;  // nothing after all
  return static_cast<long>(n);
}

bool Rede::sendControl(std::string_view bytes, int ms) {
  if (control_ < 0) return false;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  size_t sent = 0;
  while (controlTls_ && sent < bytes.size()) {
    size_t took = 0;
    const TlsIo io = controlTls_->write(bytes.data() + sent, bytes.size() - sent, took);
    sent += took;
    if (io == TlsIo::Moved) continue;
    if (io != TlsIo::WantRead && io != TlsIo::WantWrite) return false;
    const int left = msLeft(until);
    if (left <= 0) return false;
    (void)wait({.control = true}, left);
  }
  while (sent < bytes.size()) {
    const ssize_t r =
        ::send(control_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r > 0) {
      sent += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && wouldBlock(errno)) {
      const int left = msLeft(until);
      if (left <= 0) return false;
      qr::WaitFd f{.fd = control_, .wantRead = false, .wantWrite = true};
      ui_.waitFor(std::span<qr::WaitFd>(&f, 1), left);
      continue;
    }
    return false;
  }
  return true;
}

WaitResult Rede::waitForControl(int ms, bool escapeInterrupts) {
  if (control_ < 0) return WaitResult::NoSocket;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const Ready r = wait({.control = true, .escape = escapeInterrupts}, msLeft(until));
    if (r.control) return WaitResult::Ready;
    if (r.key && ui_.takeEscape()) return WaitResult::Escape;
    // Another key waits for its command; it is not news again until more
    // come (keysArrived).
    if (msLeft(until) <= 0) return WaitResult::TimedOut;
  }
}

// The socket's low-water mark makes it readable only once more than the
// bytes already seen are there.
WaitResult Rede::waitForMoreControl(size_t have, int ms) {
  if (control_ < 0) return WaitResult::NoSocket;
  int mark = static_cast<int>(std::min<size_t>(have + 1, 1 << 20));
  (void)::setsockopt(control_, SOL_SOCKET, SO_RCVLOWAT, &mark, sizeof mark);
  const WaitResult w = waitForControl(ms);
  mark = 1;
  if (control_ >= 0) (void)::setsockopt(control_, SOL_SOCKET, SO_RCVLOWAT, &mark, sizeof mark);
  return w;
}

long Rede::peekControl(char* buffer, size_t capacity) {
  if (control_ < 0) return -1;
  ssize_t n;
  do {
    n = ::recv(control_, buffer, capacity, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && wouldBlock(errno)) return -2;
  return static_cast<long>(n);
}

int Rede::releaseControl() {
  controlTls_.reset();
  const int fd = control_;
  control_ = -1;
  // SSH carries SFTP's many short requests, often written in two pieces (a
  // window adjustment, then the request): held back by Nagle until the
  // server acknowledged the first, which it delays, each would wait about
  // 40 ms, seconds for a folder of small files.
  if (fd >= 0) sendAtOnce(fd);
  return fd;
}

void Rede::waitIdle(int milliseconds) {
  (void)wait({.control = true, .accept = true, .dataRead = true, .keys = true}, milliseconds);
}

}  // namespace ftp
