// ftpPool: each connection is a small machine that moves on when its
// sockets are ready: connect, greeting, TLS, login, TYPE I, then for each
// file EPSV or PASV, the data connection, RETR or STOR, the data both ways
// and the final reply. Replies come in the order of the commands, so one
// command is outstanding at a time and each reply belongs to the phase
// that sent its command.
#include "ftp/ftpPool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <utility>

#include "base/wait.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTls.h"
#include "ftp/ftpTlsCanal.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxConnections = 8;
constexpr int kDefaultConnections = 4;
constexpr int kTurnMs = 100;          // the longest wait: the caption and the keys
constexpr size_t kBuffer = 256 * 1024;
constexpr int kCallsPerTurn = 8;      // data calls per connection and turn
constexpr int kPipeBytes = 1024 * 1024;  // a received file's pipe, when the system allows
// A call of the user that took longer than this was the user's time (a
// question), not the server's silence.
constexpr auto kUserTime = std::chrono::milliseconds(500);

int writeAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

// A pipe between a received file's socket and the file, so that its bytes
// pass from one to the other inside the system; its size is a wish.
struct Pipe {
  int read = -1, write = -1;
  Pipe() = default;
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() { close(); }
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    (void)::fcntl(write, F_SETPIPE_SZ, kPipeBytes);
    return true;
  }
  void close() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
    read = write = -1;
  }
};

// The whole reply at the front of a queue that holds one.
Reply takeReply(ReplySplitter& q) {
  Reply r;
  while (q.hasLines()) {
    std::string line = q.take();
    const ReplyCode c = ParseReplyCode(line);
    if (r.lines.empty()) r.first = line;
    r.lines.push_back(line);
    if (!c.continuation) {
      r.code = c.code;
      r.line = std::move(line);
      r.complete = true;
      break;
    }
  }
  return r;
}

}  // namespace

int ConnectionsSetting(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  if (i == value.size() || value[i] < '0' || value[i] > '9') return kDefaultConnections;
  long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
    n = std::min<long>(n * 10 + (value[i] - '0'), 1000);
  return static_cast<int>(std::clamp<long>(n, 1, kMaxConnections));
}

struct Pool::Worker {
  enum class Phase {
    Connecting, Greeting, Auth, Handshake, Pbsz, Prot, User, Pass, Opts, Type,
    Idle, Passive, DataConnecting, Transfer, Dead,
  };
  // Closing: an upload's close_notify is going; Draining: it went, and the
  // server's is awaited (or its final reply), so that the socket is not
  // closed on unread bytes, which would reset it.
  enum class Data { None, Connecting, Open, Closing, Draining, Done };
  int number = 0;
  Phase phase = Phase::Connecting;
  int control = -1;
  std::unique_ptr<TlsContext> context;
  std::unique_ptr<TlsChannel> tls;
  ReplySplitter replies;
  std::string out;  // commands not yet taken by the socket
  bool epsv = true;
  // EPSV or PASV has given a port here: the next file's RETR or STOR goes
  // right behind it, the server waiting for the data connection it names.
  bool passiveKnown = false;
  bool pipelined = false;  // the file's command went behind EPSV or PASV
  Clock::time_point heard = Clock::now();
  // The file moving.
  std::optional<PoolTask> task;
  PoolEnd end;
  int data = -1;
  std::unique_ptr<TlsChannel> dataTls;
  Data dataState = Data::None;
  std::optional<DataEnd> decided;  // how the data ended, the final reply still owed
  std::string buffer;
  Pipe pipe;  // a plain receive's, while it works
  bool spliceFailed = false;  // the system would not: plain reads and writes
  size_t at = 0, have = 0;  // an upload's bytes read and not yet sent
  bool endOfFile = false;
};

Pool::Pool(ClientState& state, Tela& ui, Rede& rede, int silenceMs)
    : st_(state), ui_(ui), rede_(rede), silenceMs_(silenceMs) {
  if (const TlsChannel* main = rede_.controlTls()) fingerprint_ = main->certificate().fingerprint;
}

Pool::~Pool() {
  for (auto& w : workers_) {
    closeData(*w, true);
    w->tls.reset();
    Rede::closeConnection(w->control, false);
  }
}

void Pool::open(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    auto w = std::make_unique<Worker>();
    w->number = static_cast<int>(workers_.size()) + 2;  // the main connection is the first
    w->control = rede_.startConnection(0);
    if (w->control < 0) {
      ui_.logEvent("conexao", std::to_string(w->number) + " not opened: " + std::strerror(errno));
      w->phase = Worker::Phase::Dead;
    }
    workers_.push_back(std::move(w));
  }
}

size_t Pool::live() const {
  return static_cast<size_t>(std::count_if(workers_.begin(), workers_.end(), [](const auto& w) {
    return w->phase >= Worker::Phase::Idle && w->phase != Worker::Phase::Dead;
  }));
}

void Pool::send(Worker& w, const std::string& command) {
  // The login is logged; a file's commands only when it fails (the log
  // is written as it goes, and a line per command costs as much as the
  // command on a small file).
  if (w.phase < Worker::Phase::Idle) {
    const std::string shown = command.rfind("PASS ", 0) == 0 ? "PASS ****" : command;
    ui_.logEvent("conexao", std::to_string(w.number) + "> " + shown);
  }
  w.out += command + "\r\n";
  flush(w);
}

void Pool::flush(Worker& w) {
  while (!w.out.empty() && w.phase != Worker::Phase::Dead) {
    long n;
    if (w.tls) {
      size_t sent = 0;
      const TlsIo io = w.tls->write(w.out.data(), w.out.size(), sent);
      if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
      n = io == TlsIo::Moved ? static_cast<long>(sent) : -1;
    } else {
      n = Rede::sendOn(w.control, w.out.data(), w.out.size());
      if (n == -2) return;
    }
    if (n < 0) return lose(w, "send failed");
    w.out.erase(0, static_cast<size_t>(n));
  }
}

void Pool::lose(Worker& w, const std::string& why) {
  if (w.phase == Worker::Phase::Dead) return;
  ui_.logEvent("conexao", std::to_string(w.number) + " left out: " + why);
  closeData(w, true);
  w.phase = Worker::Phase::Dead;
  w.tls.reset();
  Rede::closeConnection(w.control, false);
  w.control = -1;
  if (w.task) {
    const PoolTask task = *w.task;
    PoolEnd end = w.end;
    end.data = DataEnd::Lost;
    w.task.reset();
    user_->ended(task, end);
  }
}

void Pool::closeData(Worker& w, bool reset) {
  if (w.data < 0) return;
  // A clean end says close_notify (once, without waiting): a session
  // freed without it may not be resumed, and the tickets that came on
  // this connection are the next data connection's.
  if (w.dataTls && !reset && w.dataState != Worker::Data::Closing &&
      w.dataState != Worker::Data::Draining)
    (void)w.dataTls->shutdown();
  w.dataTls.reset();
  Rede::closeConnection(w.data, reset);
  w.data = -1;
  w.dataState = Worker::Data::Done;
}

void Pool::endFile(Worker& w, DataEnd how) {
  closeData(w, how != DataEnd::Ended);
  const PoolTask task = *w.task;
  PoolEnd end = w.end;
  end.data = how;
  w.task.reset();
  w.end = {};
  w.decided.reset();
  w.dataState = Worker::Data::None;
  w.phase = Worker::Phase::Idle;
  if (how != DataEnd::Ended || !IsFinalReply(end.final) ||
      ServerEndOf(end.final.code) != ServerEnd::Completed)
    ui_.logEvent("conexao", std::to_string(w.number) + " " + task.path + ": " +
                                std::to_string(end.have) + " bytes, " + end.final.line);
  user_->ended(task, end);
}

bool Pool::startTls(Worker& w) {
  w.context = TlsContext::create();
  if (!w.context) return false;
  w.context->trustPeer(fingerprint_);
  w.tls = TlsChannel::open(*w.context, w.control, st_.remoteHost, true);
  return w.tls != nullptr;
}

void Pool::afterSecure(Worker& w) {
  if (rede_.dataProtection()) {
    w.phase = Worker::Phase::Pbsz;
    send(w, "PBSZ 0");
  } else {
    w.phase = Worker::Phase::User;
    send(w, "USER " + st_.userName);
  }
}

void Pool::noDataPath(Worker& w) {
  w.end.noDataPath = true;
  if (!w.pipelined) return endFile(w, DataEnd::NeverConnected);
  // The file's command is answered still.
  closeData(w, true);
  w.dataState = Worker::Data::Done;
  w.decided = DataEnd::NeverConnected;
  w.phase = Worker::Phase::Transfer;
}

std::string Pool::command(const Worker& w) {
  return std::string(w.task->upload ? "STOR " : "RETR ") + w.task->path;
}

void Pool::startData(Worker& w, uint16_t port) {
  w.data = rede_.startConnection(port);
  if (w.data < 0) return noDataPath(w);
  // A plain upload's bytes may wait for the segment to fill: the end of
  // the file closes the connection, which sends what is left at once.
  if (!rede_.dataProtection()) Rede::sendInBulk(w.data);
  w.dataState = Worker::Data::Connecting;
  w.phase = w.pipelined ? Worker::Phase::Transfer : Worker::Phase::DataConnecting;
}

void Pool::onReply(Worker& w, const Reply& r) {
  using P = Worker::Phase;
  if (w.phase < P::Idle) ui_.logEvent("conexao", std::to_string(w.number) + "< " + r.line);
  const bool ok = r.code >= 200 && r.code < 300;
  const bool preliminary = r.code >= 100 && r.code < 200;
  switch (w.phase) {
    case P::Greeting:
      if (preliminary) return;  // 120: ready in a while
      if (r.code != 220) return lose(w, "refused: " + r.line);
      if (!fingerprint_.empty()) {
        w.phase = P::Auth;
        return send(w, "AUTH TLS");
      }
      w.phase = P::User;
      return send(w, "USER " + st_.userName);
    case P::Auth:
      // Bytes after the 234 and before the handshake come from someone in
      // the middle.
      if (r.code != 234 || !w.replies.empty() || !startTls(w)) return lose(w, "no TLS: " + r.line);
      w.phase = P::Handshake;
      return;
    case P::Pbsz:
      if (!ok) return lose(w, "PBSZ: " + r.line);
      w.phase = P::Prot;
      return send(w, "PROT P");
    case P::Prot:
      if (!ok) return lose(w, "PROT: " + r.line);
      w.phase = P::User;
      return send(w, "USER " + st_.userName);
    case P::User:
      if (r.code == 331) {
        w.phase = P::Pass;
        return send(w, "PASS " + st_.password);
      }
      if (r.code != 230) return lose(w, "login: " + r.line);
      [[fallthrough]];
    case P::Pass:
      if (r.code != 230 && r.code != 202) return lose(w, "login: " + r.line);
      w.phase = P::Opts;
      return send(w, "OPTS UTF8 ON");
    case P::Opts:
      w.phase = P::Type;  // whatever it said: the names go as listed
      return send(w, "TYPE I");
    case P::Type:
      if (!ok) return lose(w, "TYPE: " + r.line);
      w.phase = P::Idle;
      ui_.logEvent("conexao", std::to_string(w.number) + " ready");
      return;
    case P::Passive: {
      std::optional<uint16_t> port;
      if (r.code == 229) {
        port = ExtendedPassivePort(r.line);
      } else if (r.code == 227) {
        if (const auto n = PassiveNumbers(r.line)) port = static_cast<uint16_t>((*n)[4] * 256 + (*n)[5]);
      } else if (w.epsv && (r.code == 500 || r.code == 501 || r.code == 502)) {
        w.epsv = false;
        return send(w, "PASV");
      }
      if (!port || *port == 0) {
        w.end.final = r;
        return noDataPath(w);
      }
      w.passiveKnown = true;
      return startData(w, *port);
    }
    case P::Transfer:
      if (preliminary) {
        w.end.began = true;
        w.end.started = r.line;
        // A protected data connection's hello goes once the command is
        // taken, as on the main connection.
        if (rede_.dataProtection() && w.context && w.data >= 0 && !w.dataTls) {
          w.dataTls = TlsChannel::open(*w.context, w.data, st_.remoteHost, false);
          if (!w.dataTls) {
            closeData(w, true);
            w.decided = DataEnd::Failed;
          }
        }
        return;
      }
      w.end.final = r;
      if (w.dataState == Worker::Data::Done) return endFile(w, w.decided.value_or(DataEnd::Ended));
      // A receive's 226 may come before the end of its data is seen: the
      // data is read on. Any other final reply ends the file, and so does
      // any for an upload: it did not arrive whole.
      if (!w.task->upload && ServerEndOf(r.code) == ServerEnd::Completed) return;
      // An upload whose close_notify went is over: the reply is its end.
      if (w.dataState == Worker::Data::Draining) return endFile(w, DataEnd::Ended);
      return endFile(w, DataEnd::Answered);
    default:
      return lose(w, "reply out of turn: " + r.line);
  }
}

void Pool::readControl(Worker& w) {
  char block[4096];
  for (;;) {
    long n;
    if (w.tls) {
      size_t got = 0;
      const TlsIo io = w.tls->read(block, sizeof block, got);
      if (io == TlsIo::WantRead || io == TlsIo::WantWrite) break;
      n = io == TlsIo::Moved ? static_cast<long>(got) : (io == TlsIo::Ended ? 0 : -1);
    } else {
      n = Rede::receiveOn(w.control, block, sizeof block);
      if (n == -2) break;
    }
    if (n <= 0) return lose(w, n == 0 ? "closed by the server" : "receive failed");
    w.heard = Clock::now();
    w.replies.feed(std::string_view(block, static_cast<size_t>(n)));
    if (static_cast<size_t>(n) < sizeof block && !(w.tls && w.tls->pending())) break;
  }
  while (w.phase != Worker::Phase::Dead && w.replies.hasWholeReply())
    onReply(w, takeReply(w.replies));
}

void Pool::moveData(Worker& w) {
  PoolEnd& e = w.end;
  const auto dataEnded = [&](DataEnd how) {
    closeData(w, how != DataEnd::Ended);
    w.decided = how;
    if (IsFinalReply(e.final)) endFile(w, how);
  };
  if (w.buffer.empty()) w.buffer.resize(kBuffer);
  if (!w.task->upload && !w.dataTls && !w.spliceFailed && receiveSpliced(w)) return;
  if (!w.task->upload) {
    for (int i = 0; i < kCallsPerTurn && w.dataState == Worker::Data::Open; ++i) {
      long n;
      if (w.dataTls) {
        size_t got = 0;
        const TlsIo io = w.dataTls->read(w.buffer.data(), w.buffer.size(), got);
        if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
        n = io == TlsIo::Moved ? static_cast<long>(got) : (io == TlsIo::Ended ? 0 : -1);
      } else {
        n = Rede::receiveOn(w.data, w.buffer.data(), w.buffer.size());
        if (n == -2) return;
      }
      w.heard = Clock::now();
      if (n == 0) return dataEnded(DataEnd::Ended);
      if (n < 0) return dataEnded(DataEnd::Failed);
      e.began = true;
      e.localError = writeAll(w.task->fd, w.buffer.data(), static_cast<size_t>(n));
      if (e.localError != 0) return dataEnded(DataEnd::LocalFailed);
      e.have += n;
      if (static_cast<size_t>(n) < w.buffer.size() && !(w.dataTls && w.dataTls->pending())) return;
    }
    return;
  }
  if (!e.began) return;  // an upload's data goes once the server has taken STOR
  if (w.dataState == Worker::Data::Closing) {
    const TlsIo io = w.dataTls->shutdown();
    if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
    if (io != TlsIo::Moved) return dataEnded(DataEnd::Failed);
    w.dataState = Worker::Data::Draining;
  }
  if (w.dataState == Worker::Data::Draining) {
    for (int i = 0; i < kCallsPerTurn; ++i) {
      char none[4096];
      size_t got = 0;
      const TlsIo io = w.dataTls->read(none, sizeof none, got);
      if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
      if (io != TlsIo::Moved) return dataEnded(DataEnd::Ended);  // its close_notify, or its end
    }
    return;
  }
  // The file is read and its bytes sent, plain or under TLS. Not sendfile:
  // on the server's own machine, a page of our file cache sent by
  // reference costs the server more to take in than a copy costs us (about
  // 0.3 s more of its processor per gigabyte against vsftpd on loopback).
  for (int i = 0; i < kCallsPerTurn && w.dataState == Worker::Data::Open; ++i) {
    if (w.at == w.have && !w.endOfFile) {
      ssize_t n;
      do {
        n = ::read(w.task->fd, w.buffer.data(), w.buffer.size());
      } while (n < 0 && errno == EINTR);
      if (n < 0) {
        e.localError = errno;
        return dataEnded(DataEnd::LocalFailed);
      }
      w.at = 0;
      w.have = static_cast<size_t>(n);
      w.endOfFile = n == 0;
    }
    if (w.at == w.have && w.endOfFile) {
      // All went: the clean end of the data connection marks the file's end.
      if (!w.dataTls) return dataEnded(DataEnd::Ended);
      w.dataState = Worker::Data::Closing;
      return moveData(w);
    }
    long n;
    if (w.dataTls) {
      size_t sent = 0;
      const TlsIo io = w.dataTls->write(w.buffer.data() + w.at, w.have - w.at, sent);
      if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
      n = io == TlsIo::Moved ? static_cast<long>(sent) : -1;
    } else {
      n = Rede::sendOn(w.data, w.buffer.data() + w.at, w.have - w.at);
      if (n == -2) return;
    }
    if (n < 0) return dataEnded(DataEnd::Failed);
    w.heard = Clock::now();
    w.at += static_cast<size_t>(n);
    e.have += n;
  }
}

bool Pool::receiveSpliced(Worker& w) {
  PoolEnd& e = w.end;
  const auto dataEnded = [&](DataEnd how) {
    closeData(w, how != DataEnd::Ended);
    w.decided = how;
    if (IsFinalReply(e.final)) endFile(w, how);
    return true;
  };
  if (w.pipe.read < 0 && !w.pipe.open()) {
    w.spliceFailed = true;
    return false;
  }
  for (int i = 0; i < kCallsPerTurn && w.dataState == Worker::Data::Open; ++i) {
    const ssize_t n = ::splice(w.data, nullptr, w.pipe.write, nullptr, kPipeBytes,
                               SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // nothing waits on the socket
    if (n < 0 && errno == EINVAL) {
      // This socket will not splice: the bytes are read and written.
      w.spliceFailed = true;
      return false;
    }
    if (n < 0) return dataEnded(DataEnd::Failed);
    w.heard = Clock::now();
    if (n == 0) return dataEnded(DataEnd::Ended);
    e.began = true;
    // Into the file, all of it; a file that cannot take them is this
    // side's failure, and the pipe goes with what it still holds.
    for (ssize_t left = n; left > 0;) {
      ssize_t m = ::splice(w.pipe.read, nullptr, w.task->fd, nullptr, static_cast<size_t>(left),
                           SPLICE_F_MOVE);
      if (m < 0 && errno == EINTR) continue;
      if (m < 0 && errno == EINVAL) {
        // The file's system will not: what the pipe holds is read and
        // written, and later files do without the pipe.
        w.spliceFailed = true;
        m = ::read(w.pipe.read, w.buffer.data(), std::min(w.buffer.size(), static_cast<size_t>(left)));
        if (m > 0) e.localError = writeAll(w.task->fd, w.buffer.data(), static_cast<size_t>(m));
        if (m <= 0 && e.localError == 0) e.localError = m < 0 ? errno : EIO;
      } else if (m <= 0) {
        e.localError = m < 0 ? errno : ENOSPC;
      }
      if (e.localError != 0) {
        w.pipe.close();
        return dataEnded(DataEnd::LocalFailed);
      }
      left -= m;
      e.have += m;
    }
  }
  return true;
}

void Pool::drive(Worker& w, bool controlReady, bool dataReady) {
  using P = Worker::Phase;
  if (w.phase == P::Dead) return;
  if (w.phase == P::Connecting) {
    if (!controlReady) return;
    if (const int error = Rede::connectError(w.control)) return lose(w, std::strerror(error));
    w.phase = P::Greeting;
    w.heard = Clock::now();
    return;
  }
  if (w.phase == P::Handshake) {
    const TlsIo io = w.tls->handshake();
    if (io == TlsIo::WantRead || io == TlsIo::WantWrite) return;
    if (io != TlsIo::Moved) return lose(w, "TLS: " + w.tls->failure());
    // The connection beside the main one must show the very certificate
    // the user accepted there.
    if (!SameAsciiText(w.tls->certificate().fingerprint, fingerprint_))
      return lose(w, "another certificate");
    w.heard = Clock::now();
    return afterSecure(w);
  }
  if (controlReady || (w.tls && w.tls->pending())) readControl(w);
  if (w.phase == P::Dead) return;
  flush(w);
  if (w.dataState == Worker::Data::Connecting && dataReady) {
    if (const int error = Rede::connectError(w.data)) {
      ui_.logEvent("conexao", std::to_string(w.number) + " data: " + std::strerror(error));
      return noDataPath(w);
    }
    w.dataState = Worker::Data::Open;
    w.at = w.have = 0;
    w.endOfFile = false;
    w.heard = Clock::now();
    if (w.phase == P::DataConnecting) {
      w.phase = P::Transfer;
      return send(w, command(w));
    }
  }
  if (w.phase == P::Transfer && (w.dataState == Worker::Data::Open ||
                                 w.dataState == Worker::Data::Closing ||
                                 w.dataState == Worker::Data::Draining) &&
      (dataReady || (w.dataTls && w.dataTls->pending())))
    moveData(w);
}

Pool::End Pool::run(PoolUser& user) {
  using P = Worker::Phase;
  user_ = &user;
  bool exhausted = false;
  std::vector<qr::WaitFd> fds;
  std::vector<int> controlAt, dataAt;
  const auto silence = std::chrono::milliseconds(silenceMs_);
  const auto heardAll = [&] {
    for (auto& w : workers_) w->heard = Clock::now();
  };
  size_t ends = 0;  // files ended, so that one given back is taken again
  struct Counting : PoolUser {
    PoolUser& inner;
    size_t& ends;
    Counting(PoolUser& u, size_t& e) : inner(u), ends(e) {}
    std::optional<PoolTask> next() override { return inner.next(); }
    void ended(const PoolTask& t, const PoolEnd& e) override {
      ++ends;
      inner.ended(t, e);
    }
    void progress(int64_t m) override { inner.progress(m); }
    bool key(uint8_t k) override { return inner.key(k); }
  } counting(user, ends);
  user_ = &counting;

  for (;;) {
    for (auto& w : workers_) {
      if (w->phase != P::Idle || w->task || exhausted) continue;
      const auto asked = Clock::now();
      std::optional<PoolTask> task = user.next();
      if (Clock::now() - asked > kUserTime) heardAll();
      if (!task) {
        exhausted = true;
        break;
      }
      w->task = std::move(task);
      w->end = {};
      w->phase = P::Passive;
      w->pipelined = w->passiveKnown;
      send(*w, w->epsv ? "EPSV" : "PASV");
      if (w->pipelined) send(*w, command(*w));
    }
    size_t alive = 0, busy = 0;
    for (auto& w : workers_) {
      if (w->phase == P::Dead) continue;
      ++alive;
      if (w->phase != P::Idle) ++busy;
    }
    if (alive == 0) return End::NoConnection;
    if (exhausted && busy == 0) {
      for (auto& w : workers_)
        if (w->phase != P::Dead) send(*w, "QUIT");
      return End::Done;
    }

    fds.clear();
    controlAt.assign(workers_.size(), -1);
    dataAt.assign(workers_.size(), -1);
    bool now = false;
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = *workers_[i];
      if (w.phase == P::Dead) continue;
      bool read = true, write = w.phase == P::Connecting || !w.out.empty();
      if (w.tls && (w.tls->wantsWrite() || w.tls->wantsRead())) {
        write = w.tls->wantsWrite();
        read = !write;
      }
      if (w.tls && w.tls->pending()) now = true;
      controlAt[i] = static_cast<int>(fds.size());
      fds.push_back({.fd = w.control, .wantRead = read, .wantWrite = write});
      if (w.data < 0) continue;
      bool dRead = false, dWrite = false;
      if (w.dataState == Worker::Data::Connecting || w.dataState == Worker::Data::Closing) {
        dWrite = true;
      } else if (w.dataState == Worker::Data::Draining) {
        dRead = true;
      } else if (w.dataState == Worker::Data::Open &&
                 (w.dataTls || !rede_.dataProtection() || !w.context)) {
        dRead = !w.task->upload;
        dWrite = w.task->upload && w.end.began;
      }
      if (w.dataTls && (w.dataTls->wantsRead() || w.dataTls->wantsWrite())) {
        dRead = w.dataTls->wantsRead();
        dWrite = !dRead;
      }
      if (w.dataTls && w.dataTls->pending()) now = true;
      if (!dRead && !dWrite) continue;
      dataAt[i] = static_cast<int>(fds.size());
      fds.push_back({.fd = w.data, .wantRead = dRead, .wantWrite = dWrite});
    }
    if (ui_.keyPending()) now = true;
    ui_.waitFor(std::span<qr::WaitFd>(fds.data(), fds.size()), now ? 0 : kTurnMs);

    if (ui_.keyPending()) {
      const uint8_t key = ui_.readKey();
      if (user.key(key)) {
        for (auto& w : workers_) {
          if (w->task) endFile(*w, DataEnd::Aborted);
          lose(*w, "stopped");
        }
        return End::Stopped;
      }
      heardAll();  // the question is the user's time, not the server's
    }
    const size_t endsBefore = ends;
    int64_t moving = 0;
    for (size_t i = 0; i < workers_.size(); ++i) {
      Worker& w = *workers_[i];
      const auto ready = [&](int at) {
        return at >= 0 && (fds[at].readable || fds[at].writable || fds[at].closed);
      };
      drive(w, ready(controlAt[i]), ready(dataAt[i]));
      if (w.phase != P::Dead && w.phase != P::Idle && Clock::now() - w.heard > silence)
        lose(w, "silent");
      if (w.task) moving += w.end.have;
    }
    if (ends != endsBefore) exhausted = false;
    user.progress(moving);
  }
}

PoolMover::PoolMover(ClientState& state, Tela& ui, Dlg& dlg, Rede& rede, std::string base,
                     size_t connections)
    : st_(state), ui_(ui), dlg_(dlg), rede_(rede), base_(std::move(base)),
      connections_(connections) {}

struct PoolMover::Feed : PoolUser {
  PoolMover& mover;
  ParallelUser& user;
  std::map<size_t, ParallelFile> files;  // by task index
  Clock::time_point lastNoop = Clock::now();
  int noops = 0;  // replies owed
  Feed(PoolMover& m, ParallelUser& u) : mover(m), user(u) {}

  std::optional<PoolTask> next() override {
    std::optional<ParallelFile> f = user.next();
    if (!f) return std::nullopt;
    std::string path = mover.base_;
    if (path.empty() || path.back() != '/') path += '/';
    path += f->name.wire;
    PoolTask task{.index = f->index, .upload = f->upload, .path = std::move(path), .fd = f->fd};
    files[f->index] = std::move(*f);
    return task;
  }

  void ended(const PoolTask& task, const PoolEnd& end) override {
    const auto it = files.find(task.index);
    const ParallelFile file = it->second;
    files.erase(it);
    ParallelEnd out;
    out.data = end.data;
    out.server = IsFinalReply(end.final) ? ServerEndOf(end.final.code) : ServerEnd::None;
    out.tally.moved = end.have;
    // The count the 150 announced is of the whole file.
    if (!task.upload) out.tally.size = AnnouncedSize(end.started);
    out.tally.whole = end.data == DataEnd::Ended && out.server == ServerEnd::Completed;
    out.reason = end.final.line;
    out.localError = end.localError;
    out.noChannel = end.noDataPath;
    user.ended(file, out);
  }

  void progress(int64_t moving) override {
    user.progress(moving);
    // The main connection waits meanwhile; a server may end a connection
    // silent for minutes.
    if (Clock::now() - lastNoop > std::chrono::seconds(60) && !mover.dlg_.closed()) {
      lastNoop = Clock::now();
      if (mover.dlg_.SendCommand("NOOP")) ++noops;
    }
  }

  bool key(uint8_t key) override { return user.key(key); }
};

ParallelMover::End PoolMover::run(ParallelUser& user) {
  Pool pool(st_, ui_, rede_, dlg_.replyInactivityTimeoutMs());
  pool.open(connections_);
  Feed feed(*this, user);
  const Pool::End end = pool.run(feed);
  for (; feed.noops > 0 && !dlg_.closed(); --feed.noops) (void)dlg_.awaitReply({.quiet = true});
  switch (end) {
    case Pool::End::Done:
      return End::Done;
    case Pool::End::Stopped:
      return End::Stopped;
    case Pool::End::NoConnection:
      break;
  }
  return End::NoConnection;
}

}  // namespace ftp
