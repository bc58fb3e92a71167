// ftpRede: POSIX sockets standing for the original sockets library.
// SIGPIPE is ignored so that a send on a closed connection fails instead of
// ending the program.
#include "ftp/ftpRede.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

constexpr int kConnectTimeoutMs = 20000;
constexpr int kWaitSliceMs = 20;

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::string DottedAddress(uint32_t networkOrder) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = networkOrder;
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

Rede::Rede(ClientState& state, Tela& ui, Messages& msg) : st_(state), ui_(ui), msg_(msg) {
  std::signal(SIGPIPE, SIG_IGN);
}

Rede::~Rede() {
  CloseConnections();
}

void Rede::failConnect() {
  ui_.flushKeys();
  ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce("FTNAOCON", 1);
  ui_.setForeground(15);
}

// A blocking connect that cannot be interrupted would leave the user
// without a way out while an unreachable host times out; wait in slices.
bool Rede::connectInterruptible(int fd, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  bool ok = rc == 0;
  if (rc != 0 && errno == EINPROGRESS) {
    for (int waited = 0; waited < kConnectTimeoutMs; waited += kWaitSliceMs) {
      pollfd p{fd, POLLOUT, 0};
      const int n = ::poll(&p, 1, kWaitSliceMs);
      if (n > 0) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        ok = err == 0;
        break;
      }
      if (n < 0 && errno != EINTR) break;
      if (ui_.keyPending() && ui_.takeEscape()) break;
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  return ok;
}

bool Rede::OpenControlConnection() {
  ui_.endLine();
  msg_.Announce("FTCONEC", 1);
  ui_.write("Soquetes POSIX, IPv4 TCP");
  ui_.endLine();
  ui_.write("Em funcionamento");
  ui_.endLine();

  control_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (control_ < 0) {
    msg_.Announce("FTERRSOQ", 1);
    return false;
  }
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = 0;
  if (::bind(control_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
    msg_.Announce("FTERBIND", 1);
    closeFd(control_);
    return false;
  }

  const std::string& host = st_.remoteHost;
  if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
    // A name that starts with a digit is taken as a dotted address as it is.
    serverAddress_ = ::inet_addr(host.c_str());
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
      ui_.flushKeys();
      msg_.Announce("FTERCOMP", 1);
      closeFd(control_);
      return false;
    }
    serverAddress_ = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
  }

  if (!connectInterruptible(control_, serverAddress_, st_.controlPort)) {
    failConnect();
    closeFd(control_);
    return false;
  }

  sockaddr_in local{};
  socklen_t len = sizeof local;
  ::getsockname(control_, reinterpret_cast<sockaddr*>(&local), &len);
  // The address the server reached us on is the one it can reach again for
  // active-mode data; a lookup of our own host name often gives a loopback
  // alias (127.0.1.1) that no other machine can reach.
  localAddress_ = local.sin_addr.s_addr;

  msg_.WriteLabel("FTENDRED", 0);
  ui_.write(DottedAddress(serverAddress_));
  ui_.endLine();
  msg_.WriteLabel("FTPOLOC", 0);
  ui_.write(std::to_string(ntohs(local.sin_port)));
  ui_.endLine();
  char name[81] = {};
  ::gethostname(name, sizeof name - 1);
  msg_.WriteLabel("FTNOMELO", 0);
  ui_.write(std::string(name) + " (" + DottedAddress(localAddress_) + ")");
  ui_.endLine();
  ui_.endLine();
  return true;
}

void Rede::CloseConnections() {
  CloseDataConnection();
  closeTransferFile();
  closeFd(control_);
}

bool Rede::OpenDataConnection() {
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) {
    msg_.Announce("FTERRSOQ", 1);
    return false;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  if (st_.passive) {
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = 0;
  } else {
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sa.sin_addr.s_addr = localAddress_;
    sa.sin_port = htons(st_.dataPortCounter);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    msg_.Announce("FTERBNDD", 1);
    return false;
  }
  if (st_.passive) {
    data_ = fd;
    if (connectInterruptible(data_, serverAddress_, st_.passiveDataPort)) {
      st_.dataOpen = true;
      return true;
    }
    closeFd(data_);
    failConnect();
    return false;
  }
  if (::listen(fd, 1) != 0) {
    ::close(fd);
    msg_.Announce("FTERLSTN", 1);
    return false;
  }
  listen_ = fd;
  st_.listening = true;
  return true;
}

void Rede::CloseDataConnection() {
  closeFd(listen_);
  closeFd(data_);
  st_.dataOpen = false;
  st_.listening = false;
  dataFlowing_ = false;
}

void Rede::AcceptDataConnection() {
  st_.dataOpen = true;
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  const int fd = listen_ >= 0 ? ::accept(listen_, reinterpret_cast<sockaddr*>(&peer), &len) : -1;
  if (fd < 0) {
    const int err = listen_ >= 0 ? errno : EBADF;
    st_.dataOpen = false;
    msg_.Announce("FTACECON", 0);
    ui_.writeSpoken(std::to_string(err));
    ui_.endLine();
    return;
  }
  closeFd(data_);
  data_ = fd;
}

void Rede::setTransferFile(std::FILE* file) {
  closeTransferFile();
  file_ = file;
}

void Rede::closeTransferFile() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void Rede::ReceiveDataBlock() {
  char block[kDataBlock];
  const ssize_t n = data_ >= 0 ? ::recv(data_, block, sizeof block, MSG_DONTWAIT) : -1;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    dataFlowing_ = false;  // nothing yet: the next pass polls
    return;
  }
  dataFlowing_ = n == static_cast<ssize_t>(sizeof block);
  if (n <= 0) {
    closeTransferFile();
    CloseDataConnection();
    return;
  }
  st_.transferBytes += n;
  if (file_) std::fwrite(block, 1, static_cast<size_t>(n), file_);
}

void Rede::SendDataBlock() {
  char block[kDataBlock];
  const size_t n = file_ ? std::fread(block, 1, sizeof block, file_) : 0;
  if (n == 0) {
    closeTransferFile();
    CloseDataConnection();
    return;
  }
  size_t sent = 0;
  while (sent < n) {
    const ssize_t r = data_ >= 0 ? ::send(data_, block + sent, n - sent, MSG_NOSIGNAL) : -1;
    if (r <= 0) {
      ui_.setForeground(4);
      msg_.Announce("FTCOMCAI", 1);
      ui_.setForeground(15);
      closeTransferFile();
      CloseDataConnection();
      return;
    }
    sent += static_cast<size_t>(r);
    st_.transferBytes += r;
  }
}

void Rede::AnnounceTransferred() {
  msg_.Announce("FTTRANS", 0);
  ui_.writeSpoken(std::to_string(KilobytesRoundedUp(st_.transferBytes)) + " K");
  ui_.endLine();
}

int Rede::PollEvent() {
  if (dataFlowing_ && st_.dataOpen && data_ >= 0 && !st_.listening &&
      ++streamingPasses_ < kPollEvery)
    return CANALARQ;
  streamingPasses_ = 0;
  dataFlowing_ = false;
  pollfd fds[3];
  int n = 0;
  int iControl = -1, iListen = -1, iData = -1;
  if (control_ >= 0) {
    iControl = n;
    fds[n++] = {control_, POLLIN, 0};
  }
  if (st_.listening && listen_ >= 0) {
    iListen = n;
    fds[n++] = {listen_, POLLIN, 0};
  }
  if (st_.dataOpen && data_ >= 0) {
    iData = n;
    fds[n++] = {data_, POLLIN, 0};
  }
  if (n == 0 || ::poll(fds, static_cast<nfds_t>(n), 0) <= 0) return kNone;
  auto ready = [&](int i) { return i >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)); };
  if (ready(iListen)) return PEDCONEXAO;
  if (ready(iControl)) return REDE;
  if (ready(iData)) return CANALARQ;
  return kNone;
}

bool Rede::PollAndServe(int& event) {
  event = PollEvent();
  switch (event) {
    case PEDCONEXAO:
      AcceptDataConnection();
      return st_.dataOpen;
    case CANALARQ:
      ReceiveDataBlock();
      return st_.dataOpen;
    case REDE:
      if (dlg_) dlg_->ReceiveControlData();
      return true;
    default:
      return true;
  }
}

long Rede::receiveControl(char* buffer, size_t capacity) {
  if (control_ < 0) return -1;
  ssize_t n;
  do {
    n = ::recv(control_, buffer, capacity, 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

bool Rede::sendControl(std::string_view bytes) {
  if (control_ < 0) return false;
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t r = ::send(control_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    sent += static_cast<size_t>(r);
  }
  return true;
}

WaitResult Rede::waitForControl() {
  if (control_ < 0) return WaitResult::NoSocket;
  for (;;) {
    if (ui_.keyPending() && ui_.takeEscape()) return WaitResult::Escape;
    pollfd fds[2] = {{control_, POLLIN, 0}, {ui_.inputDescriptor(), POLLIN, 0}};
    const nfds_t n = fds[1].fd >= 0 ? 2 : 1;
    const int r = ::poll(fds, n, kWaitSliceMs);
    if (r > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) return WaitResult::Ready;
    if (r < 0 && errno != EINTR) return WaitResult::Ready;  // the receive reports the error
  }
}

void Rede::waitIdle(int milliseconds) {
  pollfd fds[4];
  nfds_t n = 0;
  if (control_ >= 0) fds[n++] = {control_, POLLIN, 0};
  if (st_.listening && listen_ >= 0) fds[n++] = {listen_, POLLIN, 0};
  if (st_.dataOpen && data_ >= 0) fds[n++] = {data_, POLLIN, 0};
  const int input = ui_.inputDescriptor();
  if (input >= 0) fds[n++] = {input, POLLIN, 0};
  if (n == 0) {
    ui_.delay(milliseconds);
    return;
  }
  (void)::poll(fds, n, milliseconds);
}

}  // namespace ftp
