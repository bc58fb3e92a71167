// ftpArq, the transfers. The local file reaches the block pump of ftpRede as
// a stdio stream over our own descriptor (fopencookie), so that a failed
// read or write is seen here with its errno even though the pump only
// counts bytes; the pump closes the stream, the descriptor stays ours.
#include "ftp/ftpTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "base/cp1252.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

constexpr uint8_t kEscape = 27;
constexpr int kIdleWaitMs = 100;
constexpr int kFinalWaits = 11;
constexpr int kFinalWaitMs = 500;
constexpr auto kCaptionEvery = std::chrono::milliseconds(100);
constexpr size_t kReadBuffer = 64 * 1024;
constexpr auto kLookEvery = std::chrono::milliseconds(1);

// While blocks flow, the keyboard (and, when sending, the control
// connection) is looked at once a millisecond rather than once a block: at
// loopback speed a block takes a few microseconds and each look is a system
// call. ESC and a reply are still seen within a millisecond.
class Pacer {
 public:
  [[nodiscard]] bool due() {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return false;
    next_ = now + kLookEvery;
    return true;
  }

 private:
  std::chrono::steady_clock::time_point next_{};
};

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

// The local file as the pump sees it.
struct LocalFile {
  int fd = -1;
  int error = 0;  // errno of the first failed read or write
  bool pumpClosed = false;
  Transfer* abortOnReadError = nullptr;
  Dlg* dlg = nullptr;
  bool aborted = false;
};

ssize_t cookieRead(void* cookie, char* buffer, size_t size) {
  auto* f = static_cast<LocalFile*>(cookie);
  for (;;) {
    const ssize_t n = ::read(f->fd, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    f->error = errno;
    // The pump ends the data connection as soon as this read fails, and the
    // server would take that end for a whole file: abort first.
    if (f->dlg && !f->aborted) f->aborted = f->dlg->SendCommand("ABOR");
    return -1;
  }
}

ssize_t cookieWrite(void* cookie, const char* buffer, size_t size) {
  auto* f = static_cast<LocalFile*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(f->fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (f->error == 0) f->error = n < 0 ? errno : ENOSPC;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

int cookieClose(void* cookie) {
  static_cast<LocalFile*>(cookie)->pumpClosed = true;
  return 0;
}

std::FILE* streamOver(LocalFile& file, bool writing) {
  cookie_io_functions_t io{};
  io.read = writing ? nullptr : cookieRead;
  io.write = writing ? cookieWrite : nullptr;
  io.close = cookieClose;
  std::FILE* stream = ::fopencookie(&file, writing ? "w" : "r", io);
  if (!stream) return nullptr;
  // Writes go straight through, so that a full disk is seen at the block
  // that met it; reads are buffered, the pump takes 8 KiB at a time.
  if (writing)
    std::setvbuf(stream, nullptr, _IONBF, 0);
  else
    std::setvbuf(stream, nullptr, _IOFBF, kReadBuffer);
  return stream;
}

mode_t currentUmask() {
  const mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

// A new file beside target, created exclusively; its name in name.
int createBeside(const std::string& target, std::string& name) {
  name = target + ".XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat st {};
  mode_t mode = 0666 & ~currentUmask();
  if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  (void)::fchmod(fd, mode);
  return fd;
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
    : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede), port_(port), dialogs_(dialogs) {
  // Past a file size limit a write must fail with EFBIG, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
}

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
  if (!dlg_.SendCommand(std::string("TYPE ") + type)) {
    msg_.Announce("FTERRMOD", 1);
    return false;
  }
  (void)dlg_.ReadReply();
  return true;
}

bool Transfer::openDataPath(bool portMustSucceed) {
  if (st_.passive) return port_.RequestPassive() && rede_.OpenDataConnection();
  // A server may connect as soon as it reads PORT (RFC 959 section 3.2 lets
  // it): listen on the port first, then announce it.
  ++st_.dataPortCounter;
  const bool listening = rede_.OpenDataConnection();
  --st_.dataPortCounter;
  if (!listening) return false;
  if (!port_.SelectDataPort() && portMustSucceed) {
    rede_.CloseDataConnection();
    return false;
  }
  return true;
}

void Transfer::idleWait(int milliseconds) {
  rede_.waitIdle(milliseconds);
}

bool Transfer::escapeOrProgress() {
  const uint8_t key = ui_.readKey();
  if (key == kEscape) return true;
  if (key == 0) (void)ui_.readKey();
  rede_.AnnounceTransferred();
  ui_.flushKeys();
  return false;
}

// One whole reply, keeping its last line's text.
void Transfer::readReplyLine(int& code, std::string& line) {
  ReplyLine r;
  do {
    if (ui_.cursorColumn() != 1) ui_.endLine();
    r = dlg_.TakeReplyLine();
    if (!r.text.empty() || r.code != 0) line = r.text;
    if (r.continuation && !dlg_.hasLines()) {
      if (dlg_.closed() || dlg_.interrupted()) {
        code = 0;
        return;
      }
      dlg_.ReceiveControlData();
    }
  } while (r.continuation);
  code = r.code;
}

void Transfer::awaitFinalReply(int& code, std::string& line) {
  for (int i = 0; i < kFinalWaits; ++i) {
    if (TransferCompleted(code) || code == 425) return;
    if (dlg_.closed()) return;
    if (!dlg_.hasLines()) {
      rede_.waitIdle(kFinalWaitMs);
      (void)ui_.keyPending();  // a key that woke the wait goes to the queue
    }
    int event = kNone;
    (void)rede_.PollAndServe(event);
    if (dlg_.hasLines()) {
      readReplyLine(code, line);
      if (dlg_.hasLines()) return;
    }
  }
}

bool Transfer::abort() {
  if (!dlg_.SendCommand("ABOR")) return false;
  int code = 0;
  std::string line;
  readReplyLine(code, line);
  // RFC 959 section 4.1.3: an aborted transfer is answered 426 and then 226;
  // take the second reply too, so it is not heard later as a completion.
  if (code == 426 || code == 451) {
    code = 0;
    awaitFinalReply(code, line);
  }
  return true;
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

  LocalFile file;
  file.fd = ::open(qr::toUtf8(local).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (file.fd >= 0 && (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(file.fd);
    file.fd = -1;
  }
  if (file.fd < 0) {
    msg_.Announce("FTARQNAO", 1);
    return;
  }
  struct FdCloser {
    LocalFile& f;
    Rede& rede;
    ~FdCloser() {
      if (!f.pumpClosed) rede.setTransferFile(nullptr);
      ::close(f.fd);
    }
  };

  msg_.Announce("FTNOMREM", 0);
  std::string remote = ui_.readLineSpoken();
  if (remote.empty()) {
    remote = RemoteNameFromLocal(local);
    ui_.write("(Assumindo " + remote + ")");
    ui_.endLine();
  }

  std::FILE* stream = streamOver(file, false);
  if (!stream) {
    ::close(file.fd);
    msg_.Announce("FTARQNAO", 1);
    return;
  }
  rede_.setTransferFile(stream);
  FdCloser closer{file, rede_};

  if (!AskTransferType()) return;
  if (!openDataPath(false)) return;

  st_.transferBytes = 0;
  if (!dlg_.SendCommand("STOR " + remote)) {
    msg_.Announce("FTTRAREC", 1);
    rede_.CloseDataConnection();
    return;
  }
  int code = 0;
  std::string line;
  readReplyLine(code, line);
  if (!TransferStarts(code)) {
    msg_.Announce("FTTRAREC", 1);
    rede_.CloseDataConnection();
    return;
  }

  file.dlg = &dlg_;
  CaptionThrottle caption(ui_, st_.remoteName);
  bool failed = false;
  bool finished = false;  // the reply that ends the transfer was taken
  Pacer pacer;
  for (;;) {
    if (rede_.transferFile() == nullptr || file.pumpClosed) break;
    int event = kNone;
    const bool look = !st_.dataOpen || pacer.due();
    if (look && !rede_.PollAndServe(event)) break;
    if (st_.dataOpen) {
      rede_.SendDataBlock();
    } else if (event == kNone) {
      idleWait(kIdleWaitMs);
    }
    caption.update(st_.transferBytes);
    if (look && ui_.keyPending() && escapeOrProgress()) {
      if (abort()) {
        rede_.CloseDataConnection();
        ui_.setCaption(IdleCaption(st_.remoteName));
        return;
      }
    }
    while (dlg_.hasLines()) {
      const ReplyLine r = dlg_.TakeReplyLine();
      if (TransferCompleted(r.code)) {
        finished = true;
        continue;
      }
      if (r.continuation) continue;
      ui_.errorBeep();
      ui_.setForeground(4);
      msg_.Announce("FTERRENV", 1);
      ui_.writeLineSpoken(r.text);
      ui_.setForeground(15);
      failed = finished = true;
      break;
    }
    if (failed || file.error != 0) break;
  }
  file.dlg = nullptr;
  caption.flush(st_.transferBytes);

  if (file.error != 0) {
    // The pump has closed the data connection after ABOR went out.
    rede_.CloseDataConnection();
    announceLocalError("FTERRENV", file.error);
    if (file.aborted) {
      code = 0;
      awaitFinalReply(code, line);
    }
    ui_.setCaption(IdleCaption(st_.remoteName));
    return;
  }
  if (!failed) {
    msg_.Announce("FTFIMENV", 1);
    ui_.setCaption(IdleCaption(st_.remoteName));
  }
  rede_.CloseDataConnection();
  if (failed) {
    // After an error reply the server may say nothing more: a bounded wait.
    code = 0;
    awaitFinalReply(code, line);
    ui_.setCaption(IdleCaption(st_.remoteName));
    return;
  }
  if (!finished) (void)dlg_.ReadReply();
}

void Transfer::ReceiveFile(std::string_view remoteName) {
  ui_.setBackground(5);
  msg_.Announce("FTRECEBE", 0);
  ui_.setBackground(0);
  ui_.endLine();

  std::string remote(remoteName);
  if (remote.empty()) {
    msg_.Announce("FTNOMREM", 0);
    remote = ui_.readLineSpoken();
    if (remote.empty()) return;
  }
  msg_.Announce("FTNOMLOC", 0);
  std::string local = ui_.readLineSpoken();
  if (local.empty()) {
    // A name from the server never chooses where we write: only its last
    // component, in the working directory.
    local = SafeLocalName(remote);
    if (local.empty()) {
      ui_.errorBeep();
      return;
    }
    ui_.write(local == remote ? qr::W("(Assumindo nomes idênticos)") : "(Assumindo " + local + ")");
    ui_.endLine();
  }

  const std::string target = qr::toUtf8(local);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    msg_.Announce("FTNAOCRI", 1);
    return;
  }
  LocalFile file;
  std::string tempName;
  file.fd = createBeside(target, tempName);
  std::FILE* stream = file.fd >= 0 ? streamOver(file, true) : nullptr;
  if (!stream) {
    if (file.fd >= 0) {
      ::close(file.fd);
      ::unlink(tempName.c_str());
    }
    msg_.Announce("FTNAOCRI", 1);
    return;
  }
  rede_.setTransferFile(stream);

  enum class Outcome { Discard, KeepPartial, Complete };
  // Closes the local file and puts it where the outcome says; the errno of
  // a failed close or rename, else 0.
  auto finish = [&](Outcome outcome) {
    if (!file.pumpClosed) rede_.setTransferFile(nullptr);
    int error = ::close(file.fd) == 0 ? 0 : errno;
    if (outcome == Outcome::Complete && error == 0) {
      if (::rename(tempName.c_str(), target.c_str()) == 0) return 0;
      error = errno;
    }
    if (outcome != Outcome::Discard && st_.transferBytes > 0 &&
        ::rename(tempName.c_str(), PartialName(target).c_str()) == 0)
      return error;
    ::unlink(tempName.c_str());
    return error;
  };
  auto refuse = [&](int code) {
    if (code == 550) msg_.Announce("FTARQNAO", 1);
    (void)finish(Outcome::Discard);
    msg_.Announce("FTTRAREC", 1);
    ui_.setCaption(IdleCaption(st_.remoteName));
    rede_.CloseDataConnection();
  };

  if (!AskTransferType()) {
    (void)finish(Outcome::Discard);
    return;
  }
  if (!openDataPath(false)) {
    refuse(0);
    return;
  }
  st_.transferBytes = 0;
  if (!dlg_.SendCommand("RETR " + remote)) {
    refuse(0);
    return;
  }
  int code = 0;
  std::string line;
  readReplyLine(code, line);
  if (!TransferStarts(code)) {
    refuse(code);
    return;
  }

  CaptionThrottle caption(ui_, st_.remoteName);
  Pacer pacer;
  for (;;) {
    int event = kNone;
    const bool open = rede_.PollAndServe(event);
    caption.update(st_.transferBytes);
    if (file.error != 0) break;
    if (!open) break;
    if (dlg_.hasLines()) readReplyLine(code, line);
    if ((event == kNone || pacer.due()) && ui_.keyPending() && escapeOrProgress()) {
      if (abort()) {
        rede_.CloseDataConnection();
        caption.flush(st_.transferBytes);
        (void)finish(Outcome::KeepPartial);
        ui_.setCaption(IdleCaption(st_.remoteName));
        return;
      }
    }
    if (event == kNone) idleWait(kIdleWaitMs);
  }
  caption.flush(st_.transferBytes);

  if (file.error != 0) {
    // Disk full, permission lost, size limit: stop the server and say why.
    const int error = file.error;
    (void)abort();
    rede_.CloseDataConnection();
    (void)finish(Outcome::KeepPartial);
    announceLocalError("FTNAOCRI", error);
    ui_.setCaption(IdleCaption(st_.remoteName));
    return;
  }

  awaitFinalReply(code, line);
  if (TransferCompleted(code)) {
    const int error = finish(Outcome::Complete);
    if (error == 0)
      msg_.Announce("FTFIMREC", 1);
    else
      announceLocalError("FTNAOCRI", error);
  } else {
    (void)finish(Outcome::KeepPartial);
    ui_.errorBeep();
    ui_.setForeground(4);
    msg_.Announce("FTERRENV", 1);
    ui_.writeLineSpoken(line);
    ui_.setForeground(15);
  }
  ui_.setCaption(IdleCaption(st_.remoteName));
  rede_.CloseDataConnection();
}

}  // namespace ftp
