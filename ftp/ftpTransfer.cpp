// ftpArq, the transfers. The loops read and write the local file with plain
// descriptors, so a failed read or write is seen at once with its errno.
#include "ftp/ftpTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/cp1252.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kEscape = 27;
constexpr int kIdleWaitMs = 100;
constexpr auto kCaptionEvery = std::chrono::milliseconds(100);
constexpr size_t kReadBuffer = 1024 * 1024;
// While data flows, up to this many system calls (each of up to
// kBlocksPerCall blocks) move data per look at the keyboard and the control
// connection: at loopback speed a call takes well under a millisecond and
// each look is a system call too.
constexpr int kCallsPerLook = 8;
// The replies to ABOR: each awaited this long at most; a reply that comes
// apart from them within the grace is taken too.
constexpr int kAbortWaitMs = 5000;
constexpr int kAbortGraceMs = 300;

struct Reason {
  int error;
  std::string_view text;
};
constexpr std::array<Reason, 12> kReasons{{
    {ENOSPC, "não há espaço no disco"},
    {EDQUOT, "a cota de disco acabou"},
    {EFBIG, "o arquivo passou do tamanho permitido"},
    {EACCES, "permissão negada"},
    {EPERM, "operação não permitida"},
    {EROFS, "o disco só permite leitura"},
    {EIO, "erro de entrada e saída"},
    {ENOENT, "o arquivo ou diretório não existe"},
    {EISDIR, "é um diretório"},
    {ENOTDIR, "o caminho não é um diretório"},
    {ENAMETOOLONG, "o nome é longo demais"},
    {EEXIST, "o arquivo já existe"},
}};

// The .part of target, new and created exclusively (an old one, or a
// symbolic link of that name, is removed first: nothing is written through
// a link), with target's permissions when target is a regular file, else
// those of a new file under the process's file creation mask.
int createPartial(const std::string& target, const std::string& name, unsigned creationMask) {
  (void)::unlink(name.c_str());
  struct stat st {};
  mode_t mode = 0666 & ~static_cast<mode_t>(creationMask);
  if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) (void)::fchmod(fd, mode);
  return fd;
}

// An existing .part to go on writing, cut to offset; -1 when it is not a
// regular file of ours.
int reopenPartial(const std::string& name, int64_t offset) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, offset) != 0 ||
      ::lseek(fd, offset, SEEK_SET) != offset) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The size of a regular file that is not a link; 0 otherwise.
int64_t regularSize(const std::string& name) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

// Writes all of bytes; the errno of the failure, else 0.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

template <class F>
struct OnExit {
  F f;
  ~OnExit() { f(); }
};

[[nodiscard]] bool isFinal(const Reply& r) {
  return r.complete && !(r.code >= 100 && r.code < 200);
}

}  // namespace

std::string PlainFileDialogs::chooseLocalFile(int) {
  return ui_.readLineSpoken();
}

uint8_t PlainFileDialogs::reviewLine(std::string_view text, bool& extended) {
  ui_.write(text);
  ui_.endLine();
  uint8_t key = ui_.readKey();
  extended = key == 0;
  if (extended) key = ui_.readKey();
  return key;
}

void PlainFileDialogs::putClipboard(std::string_view text) {
  ui_.logEvent("clipboard", text);
}

std::string IdleCaption(std::string_view remoteName) {
  return "NAVIRO " + std::string(remoteName);
}

std::string TransferCaption(std::string_view remoteName, int64_t bytes) {
  return IdleCaption(remoteName) + " " + std::to_string(KilobytesRoundedUp(bytes)) + "K";
}

std::string SafeLocalName(std::string_view remoteName) {
  const size_t slash = remoteName.rfind('/');
  const std::string_view last =
      slash == std::string_view::npos ? remoteName : remoteName.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return {};
  return std::string(last);
}

std::string RemoteNameFromLocal(std::string_view localPath) {
  const size_t slash = localPath.rfind('/');
  return std::string(slash == std::string_view::npos ? localPath : localPath.substr(slash + 1));
}

std::string PartialName(std::string_view target) {
  return std::string(target) + ".part";
}

std::string SystemReason(int error) {
  for (const Reason& r : kReasons)
    if (r.error == error) return qr::W(r.text);
  return qr::fromUtf8(std::strerror(error));
}

CaptionThrottle::CaptionThrottle(Tela& ui, std::string_view remoteName)
    : ui_(ui), remote_(remoteName) {}

void CaptionThrottle::update(int64_t bytes) {
  const auto now = std::chrono::steady_clock::now();
  if (shown_ >= 0 && now - last_ < kCaptionEvery) return;
  last_ = now;
  flush(bytes);
}

void CaptionThrottle::flush(int64_t bytes) {
  const int64_t kb = KilobytesRoundedUp(bytes);
  if (kb == shown_) return;
  shown_ = kb;
  ui_.setCaption(TransferCaption(remote_, bytes));
}

Transfer::Transfer(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede, Port& port,
                   FileDialogs& dialogs)
    : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede), port_(port), dialogs_(dialogs) {}

bool Transfer::AskTransferType() {
  msg_.Announce("FTMODIMG", 0);
  const uint8_t key = ui_.readKeySpoken();
  if (key == 0) (void)ui_.readKey();  // an extended key counts as "yes"
  if (key == kEscape) {
    msg_.Announce("FTDESIS", 2);
    return false;
  }
  if (key >= 32) ui_.write(std::string(1, static_cast<char>(key)));
  ui_.endLine();
  const char type = (key == 'n' || key == 'N') ? 'A' : 'I';
  type_ = type;
  if (!dlg_.SendCommand(std::string("TYPE ") + type)) {
    msg_.Announce("FTERRMOD", 1);
    return false;
  }
  (void)dlg_.ReadReply();
  return !dlg_.closed();
}

bool Transfer::openDataPath(bool portMustSucceed) {
  if (st_.passive) return port_.RequestPassive() && rede_.OpenDataConnection();
  // A server may connect as soon as it reads PORT (RFC 959 section 3.2 lets
  // it): listen on the port first, then announce it.
  if (!rede_.OpenDataConnection()) return false;
  if (!port_.SelectDataPort() && (portMustSucceed || dlg_.closed())) {
    rede_.CloseDataConnection();
    return false;
  }
  return true;
}

bool Transfer::escapeOrProgress() {
  const uint8_t key = ui_.readKey();
  if (key == kEscape) return true;
  if (key == 0) (void)ui_.readKey();
  rede_.AnnounceTransferred();
  ui_.flushKeys();
  return false;
}

void Transfer::abortTransfer(bool upload) {
  rede_.CloseDataConnection(upload);
  if (dlg_.closed() || !dlg_.SendCommand("ABOR")) return;
  // RFC 959 section 4.1.3: an aborted transfer is answered 426 and then
  // 226; a transfer that had ended already, by one reply.
  const int bound = std::min(kAbortWaitMs, dlg_.replyDeadlineMs());
  Reply r = dlg_.awaitReply({.boundMs = bound});
  if (r.complete && r.code >= 400) r = dlg_.awaitReply({.boundMs = bound});
  while (r.complete) r = dlg_.awaitReply({.boundMs = kAbortGraceMs});
}

void Transfer::announceKept(const std::string& kept) {
  struct stat st {};
  if (kept.empty() || ::stat(kept.c_str(), &st) != 0) return;
  if (ui_.cursorColumn() != 1) ui_.endLine();
  msg_.Announce("FTPARTE", 0);
  ui_.writeLineSpoken(qr::fromUtf8(kept));
}

void Transfer::announceInterrupted(const std::string& kept) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  msg_.Announce("FTINTERR", 1);
  announceKept(kept);
}

void Transfer::announceLocalError(std::string_view key, int error) {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce(key, 0);
  ui_.write(": ");
  ui_.writeLineSpoken(SystemReason(error));
  ui_.setForeground(15);
}

void Transfer::announceFailure(const std::string& line) {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce("FTERRENV", 1);
  ui_.writeLineSpoken(line);
  ui_.setForeground(15);
}

DataEnd Transfer::receiveData(int fd, Reply& final, int& localError, Milestones* milestones,
                              int64_t offset) {
  CaptionThrottle caption(ui_, st_.remoteName);
  const auto began = Clock::now();
  std::string block(kDataBlock * kBlocksPerCall, '\0');
  auto heard = Clock::now();
  const auto silence = std::chrono::milliseconds(dlg_.replyDeadlineMs());
  for (;;) {
    const bool flowing = st_.dataOpen || st_.listening;
    const Ready r = rede_.wait(
        {.control = !dlg_.closed(), .accept = true, .dataRead = true, .keys = true}, kIdleWaitMs);
    if (r.any()) heard = Clock::now();
    if (r.listen) rede_.AcceptDataConnection();
    if (r.data) {
      for (int i = 0; i < kCallsPerLook; ++i) {
        size_t got = 0;
        const DataIo io = rede_.ReceiveDataBlocks(block.data(), block.size(), got);
        if (io == DataIo::WouldBlock) break;
        if (io == DataIo::Failed) {
          rede_.CloseDataConnection();
          caption.flush(st_.transferBytes);
          return DataEnd::Failed;
        }
        if (io == DataIo::Ended) {
          rede_.CloseDataConnection();
          break;
        }
        localError = writeAll(fd, std::string_view(block).substr(0, got));
        if (localError != 0) {
          caption.flush(st_.transferBytes);
          return DataEnd::LocalFailed;
        }
        if (got < block.size()) break;
      }
    }
    caption.update(st_.transferBytes);
    if (milestones) {
      const int m = milestones->update(
          offset + st_.transferBytes,
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began));
      if (m) sayMilestone(m);
    }
    if (r.control) {
      dlg_.ReceiveControlData();
      // Only whole replies count, and a preliminary one (1xx) ends nothing.
      while (dlg_.hasWholeReply()) {
        const Reply got = dlg_.awaitReply();
        if (isFinal(got)) final = got;
      }
    }
    if (r.key && escapeOrProgress()) {
      caption.flush(st_.transferBytes);
      return DataEnd::Aborted;
    }
    if (!st_.dataOpen && !st_.listening && flowing) {
      caption.flush(st_.transferBytes);
      return DataEnd::Ended;
    }
    // A refusal or an error reply ends the wait for data that will not come.
    if (isFinal(final) && !TransferCompleted(final.code)) {
      caption.flush(st_.transferBytes);
      return DataEnd::Refused;
    }
    // With the control connection gone, the data is still read to its end;
    // a server silent on both for the whole deadline is gone.
    if (Clock::now() - heard > silence) {
      dlg_.connectionLost();
      caption.flush(st_.transferBytes);
      return DataEnd::Lost;
    }
  }
}

void Transfer::SendFile() {
  ui_.setBackground(5);
  msg_.Announce("FTTRANSM", 0);
  ui_.setBackground(0);
  ui_.endLine();

  msg_.Announce("FTNOMLOC", 0);
  const std::string local = dialogs_.chooseLocalFile(6);
  ui_.write(local);
  ui_.endLine();
  if (local.empty()) return;

  int fd = ::open(qr::toUtf8(local).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    msg_.Announce("FTARQNAO", 1);
    return;
  }
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};

  msg_.Announce("FTNOMREM", 0);
  std::string remote = ui_.readLineSpoken();
  if (remote.empty()) {
    remote = RemoteNameFromLocal(local);
    ui_.write("(Assumindo " + remote + ")");
    ui_.endLine();
  }

  if (!AskTransferType()) return;
  // A remote file shorter than ours may be an interrupted send of it: the
  // user may go on from its end (binary mode only, as for a receive).
  const int64_t localSize = static_cast<int64_t>(st.st_size);
  int64_t offset = 0;
  if (type_ == 'I' && localSize > 0) {
    const std::optional<int64_t> there = remoteSize(qr::toUtf8(remote));
    if (dlg_.closed()) return;
    if (there && *there > 0 && *there < localSize && askYes("enviar")) offset = *there;
  }
  if (!openDataPath(false)) return;

  std::string verb = "STOR ";
  if (offset > 0 && !restartAt(offset)) {
    if (dlg_.closed()) {
      rede_.CloseDataConnection();
      return;
    }
    // RFC 959 section 4.1.3: APPE adds to the end of the remote file, which
    // is what REST and STOR would have done from there.
    verb = "APPE ";
  }
  if (offset > 0 && ::lseek(fd, offset, SEEK_SET) != offset) {
    announceLocalError("FTERRENV", errno);
    rede_.CloseDataConnection();
    return;
  }

  st_.transferBytes = 0;
  const auto began = Clock::now();
  if (!dlg_.SendCommand(verb + remote)) {
    msg_.Announce("FTTRAREC", 1);
    rede_.CloseDataConnection();
    return;
  }
  const Reply started = dlg_.awaitReply();
  if (!started.complete || !TransferStarts(started.code)) {
    if (started.complete) msg_.Announce("FTTRAREC", 1);
    rede_.CloseDataConnection();
    return;
  }

  enum class SendEnd { AllSent, Failed, LocalFailed, Aborted, Lost, Answered };
  Milestones milestones(localSize, offset, milestonesWanted());
  CaptionThrottle caption(ui_, st_.remoteName);
  std::string buffer(kReadBuffer, '\0');
  size_t at = 0, have = 0;
  bool endOfFile = false;
  int localError = 0;
  Reply final;
  auto heard = Clock::now();
  const auto silence = std::chrono::milliseconds(dlg_.replyDeadlineMs());
  SendEnd end;
  for (;;) {
    if (at == have && !endOfFile) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        localError = errno;
        end = SendEnd::LocalFailed;
        break;
      }
      at = 0;
      have = static_cast<size_t>(n);
      endOfFile = n == 0;
    }
    if (at == have && endOfFile && st_.dataOpen) {
      // All went: the clean end of the data connection marks the file's end.
      rede_.CloseDataConnection();
      end = SendEnd::AllSent;
      break;
    }
    const Ready r = rede_.wait({.control = !dlg_.closed(),
                                .accept = true,
                                .dataWrite = st_.dataOpen && at < have,
                                .keys = true},
                               kIdleWaitMs);
    if (r.any()) heard = Clock::now();
    if (r.listen) rede_.AcceptDataConnection();
    bool failed = false;
    for (int i = 0; r.dataWrite && i < kCallsPerLook && at < have; ++i) {
      size_t sent = 0;
      const DataIo io = rede_.SendDataBlock(
          std::string_view(buffer).substr(at, std::min(kDataBlock * kBlocksPerCall, have - at)),
          sent);
      if (io == DataIo::WouldBlock) break;
      if (io != DataIo::Moved) {
        failed = true;
        break;
      }
      at += sent;
      if (at == have && !endOfFile) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) break;  // seen again, with its errno, at the top
        at = 0;
        have = static_cast<size_t>(n);
        endOfFile = n == 0;
      }
    }
    caption.update(st_.transferBytes);
    if (const int m = milestones.update(
            offset + st_.transferBytes,
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began)))
      sayMilestone(m);
    if (failed) {
      end = SendEnd::Failed;
      break;
    }
    if (r.control) {
      dlg_.ReceiveControlData();
      while (dlg_.hasWholeReply()) {
        const Reply got = dlg_.awaitReply();
        if (isFinal(got)) final = got;
      }
    }
    if (dlg_.closed()) {
      end = SendEnd::Lost;
      break;
    }
    // A final reply before all was sent ends the transfer, whatever it says:
    // the file did not arrive whole.
    if (isFinal(final)) {
      end = SendEnd::Answered;
      break;
    }
    if (r.key && escapeOrProgress()) {
      end = SendEnd::Aborted;
      break;
    }
    if (Clock::now() - heard > silence) {
      rede_.CloseDataConnection(true);  // before the server can take it for the end
      dlg_.connectionLost();
      end = SendEnd::Lost;
      break;
    }
  }
  caption.flush(st_.transferBytes);

  switch (end) {
    case SendEnd::LocalFailed:
      abortTransfer(true);
      announceLocalError("FTERRENV", localError);
      break;
    case SendEnd::Aborted:
      abortTransfer(true);
      announceInterrupted({});
      break;
    case SendEnd::Lost:
      rede_.CloseDataConnection(true);
      break;
    case SendEnd::Failed:
      rede_.CloseDataConnection(true);
      ui_.setForeground(4);
      msg_.Announce("FTCOMCAI", 1);
      ui_.setForeground(15);
      if (!isFinal(final)) (void)dlg_.awaitReply();
      break;
    case SendEnd::Answered:
      rede_.CloseDataConnection(true);
      announceFailure(final.line);
      break;
    case SendEnd::AllSent:
      // Only this transfer's own final reply can complete it.
      if (!isFinal(final)) final = dlg_.awaitReply();
      if (isFinal(final) && TransferCompleted(final.code)) {
        msg_.Announce("FTFIMENV", 1);
        announceOutcome(RemoteNameFromLocal(local), localSize, began);
      } else if (isFinal(final))
        announceFailure(final.line);
      else if (dlg_.interrupted())
        announceInterrupted({});
      break;
  }
  ui_.setCaption(IdleCaption(st_.remoteName));
}

void Transfer::ReceiveFile(std::string_view remoteName) {
  receive(RemoteName::typed(remoteName));
}

void Transfer::ReceiveFile(const RemoteName& remote) {
  receive(remote);
}

void Transfer::receive(const RemoteName& given) {
  ui_.setBackground(5);
  msg_.Announce("FTRECEBE", 0);
  ui_.setBackground(0);
  ui_.endLine();

  RemoteName remote = given;
  if (remote.text.empty() && remote.wire.empty()) {
    msg_.Announce("FTNOMREM", 0);
    remote = RemoteName::typed(ui_.readLineSpoken());
    if (remote.text.empty()) return;
  }
  msg_.Announce("FTNOMLOC", 0);
  std::string local = ui_.readLineSpoken();
  if (local.empty()) {
    // A name from the server never chooses where we write: only its last
    // component, in the working directory.
    local = SafeLocalName(remote.text);
    if (local.empty()) {
      ui_.errorBeep();
      return;
    }
    ui_.write(local == remote.text ? qr::W("(Assumindo nomes idênticos)")
                                   : "(Assumindo " + local + ")");
    ui_.endLine();
  }

  const std::string target = qr::toUtf8(local);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    msg_.Announce("FTNAOCRI", 1);
    return;
  }
  const std::string partial = PartialName(target);

  if (!AskTransferType()) return;
  // Binary transfers only: in text mode the bytes on disk are not the
  // server's, so neither the sizes nor an offset can be compared.
  const bool binary = type_ == 'I';
  // What an earlier attempt received cannot be gone on with in text mode:
  // starting over throws it away, so the user chooses (a no keeps it for a
  // receive in binary mode).
  if (!binary && regularSize(partial) > 0) {
    if (ui_.cursorColumn() != 1) ui_.endLine();
    ui_.writeLineSpoken(ResumeText("textonao"));
    if (!askYes("textorecomeca")) {
      msg_.Announce("FTDESIS", 2);
      return;
    }
  }
  const int64_t partSize = binary ? regularSize(partial) : 0;
  const bool wantResume = partSize > 0 && askYes("receber");
  const std::optional<int64_t> serverSize =
      binary && SafeInCommand(remote.wire) ? remoteSize(remote.wire) : std::nullopt;
  if (dlg_.closed()) return;
  int64_t offset = wantResume ? resumePoint(partial, partSize, serverSize) : 0;

  int fd = offset > 0 ? reopenPartial(partial, offset)
                      : createPartial(target, partial, st_.fileCreationMask);
  if (fd < 0) {
    msg_.Announce("FTNAOCRI", 1);
    return;
  }
  auto mark = [&] {
    const std::string size = serverSize ? std::to_string(*serverSize) : std::string();
    if (size.empty())
      (void)::fremovexattr(fd, kPartSizeAttribute);
    else
      (void)::fsetxattr(fd, kPartSizeAttribute, size.data(), size.size(), 0);
  };
  if (offset == 0) mark();

  enum class Outcome { Discard, KeepPartial, Complete };
  // Closes the local file and puts it where the outcome says; the errno of
  // a failed close or rename, else 0. kept names the partial copy, if any.
  // What an earlier attempt left is never thrown away by a failed resume.
  std::string kept;
  bool closed = false;
  auto finish = [&](Outcome outcome) {
    if (closed) return 0;
    closed = true;
    if (outcome == Outcome::Complete) (void)::fremovexattr(fd, kPartSizeAttribute);
    int error = ::close(fd) == 0 ? 0 : errno;
    if (outcome == Outcome::Complete && error == 0) {
      if (::rename(partial.c_str(), target.c_str()) == 0) return 0;
      error = errno;
    }
    if (offset > 0 || (outcome != Outcome::Discard && st_.transferBytes > 0)) {
      kept = partial;
      return error;
    }
    ::unlink(partial.c_str());
    return error;
  };
  OnExit guard{[&] { (void)finish(Outcome::KeepPartial); }};
  auto refuse = [&](int code) {
    if (code == 550) msg_.Announce("FTARQNAO", 1);
    (void)finish(Outcome::Discard);
    msg_.Announce("FTTRAREC", 1);
    ui_.setCaption(IdleCaption(st_.remoteName));
    rede_.CloseDataConnection();
  };

  if (!openDataPath(false)) {
    if (dlg_.closed()) {
      (void)finish(Outcome::Discard);
      return;
    }
    refuse(0);
    return;
  }
  if (offset > 0 && !restartAt(offset)) {
    if (dlg_.closed()) {
      (void)finish(Outcome::Discard);
      return;
    }
    // Received whole after all: the file begins again, marked anew.
    offset = 0;
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
      (void)finish(Outcome::Discard);
      msg_.Announce("FTNAOCRI", 1);
      rede_.CloseDataConnection();
      return;
    }
    mark();
  }
  st_.transferBytes = 0;
  const auto began = Clock::now();
  if (!SafeInCommand(remote.wire) || !dlg_.SendCommand("RETR ", remote.wire)) {
    refuse(0);
    return;
  }
  const Reply started = dlg_.awaitReply();
  if (!started.complete) {
    (void)finish(Outcome::Discard);
    rede_.CloseDataConnection();
    return;
  }
  if (!TransferStarts(started.code)) {
    refuse(started.code);
    return;
  }

  Milestones milestones(serverSize.value_or(0), offset, milestonesWanted());
  Reply final;
  int localError = 0;
  const DataEnd end = receiveData(fd, final, localError, &milestones, offset);
  switch (end) {
    case DataEnd::LocalFailed:
      // Disk full, permission lost, size limit: stop the server and say why.
      abortTransfer(false);
      (void)finish(Outcome::KeepPartial);
      announceLocalError("FTNAOCRI", localError);
      announceKept(kept);
      break;
    case DataEnd::Aborted:
      abortTransfer(false);
      (void)finish(Outcome::KeepPartial);
      announceInterrupted(kept);
      break;
    case DataEnd::Lost:
      rede_.CloseDataConnection();
      (void)finish(Outcome::KeepPartial);
      announceKept(kept);
      break;
    case DataEnd::Failed:
      // A broken data connection is no end of file, whatever the server
      // says afterwards.
      (void)finish(Outcome::KeepPartial);
      ui_.errorBeep();
      ui_.setForeground(4);
      msg_.Announce("FTCOMCAI", 1);
      ui_.setForeground(15);
      if (!isFinal(final) && !dlg_.closed()) (void)dlg_.awaitReply();
      announceKept(kept);
      break;
    case DataEnd::Refused:
      rede_.CloseDataConnection();
      (void)finish(Outcome::KeepPartial);
      announceFailure(final.line);
      announceKept(kept);
      break;
    case DataEnd::Ended: {
      if (!isFinal(final) && !dlg_.closed()) final = dlg_.awaitReply();
      if (isFinal(final) && TransferCompleted(final.code)) {
        const int error = finish(Outcome::Complete);
        if (error == 0) {
          msg_.Announce("FTFIMREC", 1);
          announceOutcome(SafeLocalName(remote.text), offset + st_.transferBytes, began);
        } else
          announceLocalError("FTNAOCRI", error);
      } else {
        (void)finish(Outcome::KeepPartial);
        if (isFinal(final))
          announceFailure(final.line);
        else if (!dlg_.closed())
          msg_.Announce("FTINTERR", 1);
        announceKept(kept);
      }
      break;
    }
  }
  ui_.setCaption(IdleCaption(st_.remoteName));
  rede_.CloseDataConnection();
}

}  // namespace ftp
