// ftpDlg: reply lines and commands on the control connection.
#include "ftp/ftpDlg.h"

#include <algorithm>
#include <climits>
#include <string>

#include "base/ascii.h"
#include "base/cp1252.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

ReplyCode ParseReplyCode(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  long value = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    if (value < INT_MAX / 10)
      value = value * 10 + (line[i] - '0');  // saturates
    else
      value = INT_MAX;
    ++i;
  }
  ReplyCode r;
  r.code = static_cast<int>(value);
  r.continuation = r.code == 0 || (i < line.size() && line[i] == '-');
  return r;
}

void ReplySplitter::endLine() {
  std::string line = qr::fromUtf8(partial_);
  for (char& c : line) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127) c = ' ';
  }
  if (!ParseReplyCode(line).continuation) ++wholeReplies_;
  lines_.push_back(std::move(line));
  partial_.clear();
}

void ReplySplitter::feed(std::string_view bytes) {
  for (char c : bytes) {
    if (pendingCr_) {
      pendingCr_ = false;
      if (c == '\n') {
        endLine();
        continue;
      }
      if (partial_.size() < kMaxReplyLine) partial_ += '\r';  // a blank once the line ends
    }
    if (c == '\r') {
      pendingCr_ = true;
      continue;
    }
    if (c == '\n') {
      endLine();
      continue;
    }
    if (partial_.size() < kMaxReplyLine) partial_ += c;
  }
}

bool ReplySplitter::hasWholeReply() const {
  return wholeReplies_ > 0;
}

std::string ReplySplitter::take() {
  if (lines_.empty()) return {};
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  if (!ParseReplyCode(line).continuation && wholeReplies_ > 0) --wholeReplies_;
  return line;
}

void ReplySplitter::clear() {
  lines_.clear();
  partial_.clear();
  pendingCr_ = false;
  wholeReplies_ = 0;
}

RemoteName RemoteName::typed(std::string_view text) {
  return {std::string(text), qr::toUtf8(text)};
}

bool SafeInCommand(std::string_view bytes) {
  return bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string LoggedCommand(std::string_view text) {
  const std::string head = qr::asciiUpper(text.substr(0, 5));
  if (head == "PASS " || head == "ACCT ") return std::string(text.substr(0, 5)) + "****";
  return std::string(text);
}

Dlg::Dlg(ClientState& state, Tela& ui, Messages& msg, Rede& rede)
    : st_(state), ui_(ui), msg_(msg), rede_(rede) {}

int Dlg::replyInactivityTimeoutMs() {
  if (deadlineMs_ < 0) {
    const std::string value = ui_.setting("PRAZO");
    double seconds = 0;
    try {
      seconds = value.empty() ? 0 : std::stod(value);
    } catch (...) {
      seconds = 0;
    }
    deadlineMs_ =
        seconds > 0 && seconds < 86400 ? static_cast<int>(seconds * 1000) : kDefaultReplyDeadlineMs;
  }
  return deadlineMs_;
}

void Dlg::connectionLost() {
  if (closed_) return;
  closed_ = true;
  pending_.clear();
  st_.running = false;
  rede_.closeControl();
  if (goodbye_) return;
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce("FTCOMCAI", 1);
  ui_.setForeground(15);
}

void Dlg::sayNetFailure(const NetResult& result) {
  switch (result.failure) {
    case NetFailure::None:
      return;
    case NetFailure::NoSocket:
      msg_.Announce("FTERRSOQ", 1);
      return;
    case NetFailure::NameNotFound:
      ui_.flushKeys();
      msg_.Announce("FTERCOMP", 1);
      return;
    case NetFailure::GaveUp:
      ui_.flushKeys();
      ui_.endLine();
      msg_.Announce("FTDESIS", 1);
      return;
    case NetFailure::Unreachable:
      ui_.flushKeys();
      ui_.endLine();
      ui_.setForeground(4);
      msg_.Announce("FTNAOCON", 1);
      ui_.setForeground(15);
      return;
    case NetFailure::NoBind:
      msg_.Announce("FTERBNDD", 1);
      return;
    case NetFailure::NoListen:
      msg_.Announce("FTERLSTN", 1);
      return;
    case NetFailure::NoAccept:
      msg_.Announce("FTACECON", 0);
      ui_.writeSpoken(std::to_string(result.error));
      ui_.endLine();
      return;
  }
}

void Dlg::ReceiveControlData(int boundMs) {
  interrupted_ = false;
  if (closed_) return;
  // A short, bounded wait leaves the keys alone: they belong to the prompt.
  const WaitResult w =
      boundMs > 0 ? rede_.waitForControl(boundMs, false) : rede_.waitForControl(replyInactivityTimeoutMs());
  if (w == WaitResult::Escape) {
    interrupted_ = true;
    ui_.endLine();
    msg_.Announce("FTDESIS", 1);
    return;
  }
  if (w == WaitResult::TimedOut) {
    // A bounded wait gives up quietly; the deadline's end is a lost server.
    if (boundMs > 0)
      interrupted_ = true;
    else
      connectionLost();
    return;
  }
  char buffer[8192];
  const long n = w == WaitResult::Ready ? rede_.receiveControl(buffer, sizeof buffer) : -1;
  if (n == -2) return;  // woken for nothing
  if (n <= 0) {
    connectionLost();
    return;
  }
  queue_.feed(std::string_view(buffer, static_cast<size_t>(n)));
}

ReplyLine Dlg::TakeReplyLine(bool quiet) {
  ReplyLine r;
  if (!queue_.hasLines()) return r;
  r.text = queue_.take();
  if (quiet) {
    ui_.logEvent("reply", r.text);
  } else {
    ui_.setForeground(14);
    if (st_.verbose) {
      ui_.writeLineSpoken(r.text);
    } else {
      ui_.write(r.text);
      ui_.endLine();
    }
    ui_.setForeground(15);
  }
  const ReplyCode c = ParseReplyCode(r.text);
  r.code = c.code;
  r.continuation = c.continuation;
  if (r.code == 221 && !r.continuation) goodbye_ = true;  // the server says goodbye
  return r;
}

Reply Dlg::awaitReply(const ReadOptions& how) {
  for (;;) {
    // A late reply is not spoken as if it were the caller's.
    ReadOptions one = how;
    if (!pending_.empty() && pending_.front().late) one.speak = false;
    const Reply r = readOneReply(one);
    if (!r.complete) {
      // ESC: the reply is owed. A bounded wait (QUIT, ABOR) that ended owes
      // nothing: such a server may never answer.
      if (interrupted_ && how.boundMs == 0) giveUp();
      return r;
    }
    // A late reply was its own command's; the caller's comes after it,
    // when the caller sent one.
    if (!settle(r) || pending_.empty()) return r;
  }
}

bool Dlg::settle(const Reply& reply) {
  if (pending_.empty()) return false;
  const bool preliminary = reply.code >= 100 && reply.code < 200;
  if (!pending_.front().late) {
    if (!preliminary) pending_.pop_front();
    return false;
  }
  if (preliminary) return true;  // more of the late command's to come
  Pending late = std::move(pending_.front());
  pending_.pop_front();
  if (late.judge)
    late.judge(reply);
  else if (!st_.verbose)
    ui_.speakText(reply.line);  // as any line nobody asked for
  return true;
}

void Dlg::giveUp() {
  for (Pending& p : pending_) {
    if (!p.late) {
      p.late = true;
      return;
    }
  }
}

void Dlg::onLateReply(LateJudge judge) {
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
    if (it->late) {
      it->judge = std::move(judge);
      return;
    }
  }
}

bool Dlg::owesReply() const {
  for (const Pending& p : pending_)
    if (p.late) return true;
  return false;
}

bool Dlg::takeLateReplies() {
  while (owesReply() && queue_.hasWholeReply()) (void)settle(readOneReply({}));
  return !owesReply();
}

Reply Dlg::readOneReply(const ReadOptions& how) {
  Reply reply;
  bool tookOne = false;
  interrupted_ = false;  // a wait given up before is no reason to give up this one
  for (;;) {
    while (queue_.hasLines()) {
      if (!how.quiet && ui_.cursorColumn() != 1) ui_.endLine();
      const ReplyLine r = TakeReplyLine(how.quiet);
      if (!r.text.empty() || r.code != 0) reply.line = r.text;
      if (!tookOne) reply.first = r.text;
      reply.lines.push_back(r.text);
      tookOne = true;
      if (how.speak && !how.quiet) {
        // A refusal's meaning before the server's words.
        if (reply.lines.size() == 1 && r.code >= 400) {
          const std::string meaning = ReplyMeaning(r.code);
          if (!meaning.empty()) ui_.speakText(meaning);
        }
        std::string_view spoken = r.text;
        if (!how.keepCodes && !spoken.empty() && spoken[0] >= '0' && spoken[0] <= '9')
          spoken.remove_prefix(std::min<size_t>(4, spoken.size()));
        ui_.speakText(spoken);
      }
      if (!r.continuation) {
        reply.code = r.code;
        reply.complete = true;
        return reply;
      }
    }
    if (!mayWait() && !queue_.hasLines()) return reply;  // it will not be finished
    ReceiveControlData(how.boundMs);
    if (!mayWait() && !queue_.hasLines()) return reply;
  }
}

int Dlg::ReadReply() {
  const Reply r = awaitReply();
  return r.complete ? r.code : 0;
}

int Dlg::ReadAndSpeakReply(bool keepCodes) {
  const Reply r = awaitReply({.speak = true, .keepCodes = keepCodes});
  return r.complete ? r.code : 0;
}

bool Dlg::SendCommand(std::string_view text) {
  return SendCommand(text, std::string_view());
}

bool Dlg::SendCommand(std::string_view verb, std::string_view wireArgument) {
  // A command longer than the original 253-character buffer is sent whole:
  // cutting it would send a different command than the one typed.
  ui_.logEvent("send", LoggedCommand(std::string(verb) + qr::fromUtf8(wireArgument)));
  const std::string line = qr::toUtf8(verb) + std::string(wireArgument) + "\r\n";
  if (!SafeInCommand(std::string_view(line).substr(0, line.size() - 2))) {
    ui_.errorBeep();
    return false;
  }
  if (closed_ || !rede_.sendControl(line, replyInactivityTimeoutMs())) {
    msg_.Announce("FTCOMINT", 1);
    return false;
  }
  // Replies some command never got (a raw command's second reply taken as
  // a line nobody asked for) leave it here; the oldest go first.
  if (pending_.size() >= kMaxPending) pending_.pop_front();
  pending_.push_back({});
  return true;
}

}  // namespace ftp
