// ftpPump: the data loop of every transfer and listing. The local file is
// read and written with plain descriptors, so a failed read or write is
// seen at once with its errno; the loop waits only in Rede::wait, for the
// network and the keys.
#include "ftp/ftpPump.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ftp/ftpOutcome.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kEscape = 27;
constexpr int kIdleWaitMs = 100;
constexpr auto kCaptionEvery = std::chrono::milliseconds(100);
// An upload reads the local file a megabyte at a time.
constexpr size_t kReadBuffer = 1024 * 1024;
// While data flows, up to this many system calls (each of up to
// kBlocksPerCall blocks) move data per look at the keyboard and the control
// connection: at loopback speed a call takes well under a millisecond and
// each look is a system call too.
constexpr int kCallsPerLook = 8;
// A watch that took longer than this was asking the user (a question).
constexpr auto kUserTime = std::chrono::milliseconds(500);

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

// Reads up to buffer's size; the count, or -1 with errno.
ssize_t readSome(int fd, std::string& buffer) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

std::chrono::milliseconds since(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t);
}

}  // namespace

bool IsFinalReply(const Reply& r) {
  return r.complete && !(r.code >= 100 && r.code < 200);
}

CaptionThrottle::CaptionThrottle(Tela& ui, std::string_view remoteName)
    : ui_(ui), remote_(remoteName) {}

void CaptionThrottle::update(int64_t bytes) {
  const auto now = Clock::now();
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

Pump::Pump(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede)
    : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede) {}

void Pump::sayProgress(const PumpJob& job, bool dataDone, Clock::time_point began) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  if (dataDone) {
    const std::string text = TransferText(job.upload ? "enviados" : "recebidos");
    ui_.write(text);
    ui_.endLine();
    ui_.speakAndGoOn(text);
    return;
  }
  SayProgress(ui_, msg_, st_.transferBytes, job.offset, job.total, since(began));
}

void Pump::sayMilestone(int percent) {
  SayMilestone(ui_, percent);
}

void SayProgress(Tela& ui, Messages& msg, int64_t moved, int64_t offset,
                 std::optional<int64_t> total, std::chrono::milliseconds took) {
  if (ui.cursorColumn() != 1) ui.endLine();
  msg.AnnounceAndGoOn("FTTRANS", 0);
  const std::string tail = ProgressText(moved, offset, total, took);
  ui.write(tail);
  ui.endLine();
  ui.speakAndGoOn(tail);
}

void SayMilestone(Tela& ui, int percent) {
  if (ui.cursorColumn() != 1) ui.endLine();
  const std::string text = std::to_string(percent) + ResumeText("porcento");
  ui.write(text);
  ui.endLine();
  ui.speakAndGoOn(text);
}

Pumped Pump::run(const PumpJob& job) {
  Pumped out;
  CaptionThrottle caption(ui_, st_.remoteName);
  const auto began = Clock::now();
  // The server's last sign of life: a reply, a connection, data or room to
  // send. Keys are the user's and do not count.
  auto heard = Clock::now();
  const auto silence = std::chrono::milliseconds(dlg_.replyInactivityTimeoutMs());
  std::string buffer(job.upload ? kReadBuffer : kDataBlock * kBlocksPerCall, '\0');
  size_t at = 0, have = 0;  // an upload's bytes read and not yet sent
  bool endOfFile = false;
  bool dataDone = false;  // the data ended cleanly
  const auto ended = [&] {
    dataDone = true;
    if (job.dataEnded) job.dataEnded();
  };
  const auto finish = [&](DataEnd how) {
    out.data = how;
    caption.flush(st_.transferBytes);
    return out;
  };

  for (;;) {
    if (job.upload && !dataDone) {
      if (at == have && !endOfFile) {
        const ssize_t n = readSome(job.fd, buffer);
        if (n < 0) {
          out.localError = errno;
          return finish(DataEnd::LocalFailed);
        }
        at = 0;
        have = static_cast<size_t>(n);
        endOfFile = n == 0;
      }
      if (at == have && endOfFile && st_.dataOpen) {
        // All went: the clean end of the data connection marks the file's end.
        rede_.CloseDataConnection();
        ended();
        heard = Clock::now();
      }
    }
    const bool moving = !dataDone;
    const Ready r = rede_.wait({.control = !dlg_.closed(),
                                .accept = moving,
                                .dataRead = moving && !job.upload,
                                .dataWrite = moving && job.upload && st_.dataOpen && at < have,
                                .keys = true},
                               kIdleWaitMs);
    if (r.control || r.listen || r.data || r.dataWrite) heard = Clock::now();
    if (r.listen) dlg_.sayNetFailure(rede_.AcceptDataConnection());

    if (r.data && moving) {
      for (int i = 0; i < kCallsPerLook; ++i) {
        size_t got = 0;
        const DataIo io = rede_.ReceiveDataBlocks(buffer.data(), buffer.size(), got);
        if (io == DataIo::WouldBlock) break;
        if (io == DataIo::Failed) {
          rede_.CloseDataConnection();
          return finish(DataEnd::Failed);
        }
        if (io == DataIo::Ended) {
          rede_.CloseDataConnection();
          ended();
          break;
        }
        out.localError = writeAll(job.fd, std::string_view(buffer).substr(0, got));
        if (out.localError != 0) return finish(DataEnd::LocalFailed);
        if (got < buffer.size()) break;
      }
    }
    bool broken = false;
    for (int i = 0; r.dataWrite && moving && i < kCallsPerLook && at < have; ++i) {
      size_t sent = 0;
      const DataIo io = rede_.SendDataBlock(
          std::string_view(buffer).substr(at, std::min(kDataBlock * kBlocksPerCall, have - at)),
          sent);
      if (io == DataIo::WouldBlock) break;
      if (io != DataIo::Moved) {
        broken = true;
        break;
      }
      at += sent;
      if (at == have && !endOfFile) {
        const ssize_t n = readSome(job.fd, buffer);
        if (n < 0) break;  // seen again, with its errno, at the top
        at = 0;
        have = static_cast<size_t>(n);
        endOfFile = n == 0;
      }
    }
    caption.update(st_.transferBytes);
    if (job.milestones && moving) {
      if (const int m = job.milestones->update(job.offset + st_.transferBytes,
                                               since(job.since.value_or(began))))
        sayMilestone(m);
    }
    if (broken) {
      rede_.CloseDataConnection(true);
      return finish(DataEnd::Failed);
    }

    if (r.control) dlg_.ReceiveControlData();
    // Only whole replies count, and a preliminary one (1xx) ends nothing.
    // A reply may be queued already: it came in one piece with the one
    // that opened the transfer.
    while (dlg_.hasWholeReply()) {
      const Reply got = dlg_.awaitReply();
      if (IsFinalReply(got)) out.final = got;
    }
    const Clock::time_point watched = Clock::now();
    if (job.watch && !job.watch(st_.transferBytes)) {
      if (!dataDone) return finish(DataEnd::Aborted);
      out.gaveUp = true;
      return finish(DataEnd::Ended);
    }
    // A watch that asked the user something took the user's time, not the
    // server's silence.
    if (job.watch && Clock::now() - watched > kUserTime) heard = Clock::now();
    if (r.key && !job.watch) {
      const uint8_t key = ui_.readKey();
      if (key == kEscape && job.confirmStop && !job.confirmStop()) {
        heard = Clock::now();  // the question is the user's time, not the server's
      } else if (key == kEscape) {
        if (!dataDone) return finish(DataEnd::Aborted);
        out.gaveUp = true;
        return finish(DataEnd::Ended);
      } else {
        if (key == 0) (void)ui_.readKey();
        if (job.progress)
          job.progress();
        else
          sayProgress(job, dataDone, began);
        ui_.flushKeys();  // keys typed together ask once
      }
    }

    if (!dataDone && !st_.dataOpen && !st_.listening) {
      // The data connection is gone without its clean end (its TLS refused).
      return finish(DataEnd::Failed);
    }
    if (IsFinalReply(out.final) && !dataDone) {
      // A receive's 226 may come before the end of its data is seen: the
      // data is read on. Any other final reply ends the transfer, and so
      // does any for an upload: the file did not arrive whole.
      if (job.upload || ServerEndOf(out.final.code) != ServerEnd::Completed) {
        rede_.CloseDataConnection(job.upload);
        return finish(DataEnd::Answered);
      }
    }
    if (dataDone && (IsFinalReply(out.final) || !job.awaitFinal || dlg_.closed()))
      return finish(DataEnd::Ended);
    if (dlg_.closed() && job.upload) {
      rede_.CloseDataConnection(true);
      return finish(DataEnd::Lost);
    }
    // With the control connection gone a receive's data is still read to
    // its end; a server silent on both for the whole deadline is gone. In
    // active mode a server that never connects is told apart: it may well
    // be alive.
    if (Clock::now() - heard > silence) {
      if (st_.listening && !st_.dataOpen) {
        rede_.CloseDataConnection();
        return finish(DataEnd::NeverConnected);
      }
      rede_.CloseDataConnection(job.upload);  // before the server can take it for the end
      dlg_.connectionLost();
      return finish(DataEnd::Lost);
    }
  }
}

}  // namespace ftp
