// ftpDlg: reply lines and commands on the control connection.
#include "ftp/ftpDlg.h"

#include <climits>

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
  bool digits = false;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    digits = true;
    if (value < INT_MAX / 10) value = value * 10 + (line[i] - '0');  // saturates
    else value = INT_MAX;
    ++i;
  }
  (void)digits;
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
  lines_.push_back(std::move(line));
  partial_.clear();
}

void ReplySplitter::feed(std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\r') {
      endLine();
      afterCr_ = true;
      continue;
    }
    if (c == '\n') {
      if (!afterCr_) endLine();
      afterCr_ = false;
      continue;
    }
    afterCr_ = false;
    if (partial_.size() < kMaxReplyLine) partial_ += c;
  }
}

std::string ReplySplitter::take() {
  if (lines_.empty()) return {};
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

void ReplySplitter::clear() {
  lines_.clear();
  partial_.clear();
  afterCr_ = false;
}

std::string LoggedCommand(std::string_view text) {
  auto upper = [](std::string_view s) {
    std::string u(s);
    for (char& c : u)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return u;
  };
  const std::string head = upper(text.substr(0, 5));
  if (head == "PASS " || head == "ACCT ") return std::string(text.substr(0, 5)) + "****";
  return std::string(text);
}

Dlg::Dlg(ClientState& state, Tela& ui, Messages& msg, Rede& rede)
    : st_(state), ui_(ui), msg_(msg), rede_(rede) {}

void Dlg::ReceiveControlData() {
  (void)ui_.keyPending();  // lets the window work
  interrupted_ = false;
  const WaitResult w = rede_.waitForControl();
  if (w == WaitResult::Escape) {
    interrupted_ = true;
    ui_.endLine();
    msg_.Announce("FTDESIS", 1);
    return;
  }
  char buffer[8192];
  const long n = w == WaitResult::Ready ? rede_.receiveControl(buffer, sizeof buffer) : -1;
  if (n <= 0) {
    ui_.endLine();
    st_.running = false;
    closed_ = true;
    return;
  }
  queue_.feed(std::string_view(buffer, static_cast<size_t>(n)));
}

ReplyLine Dlg::TakeReplyLine() {
  ReplyLine r;
  if (!queue_.hasLines()) return r;
  r.text = queue_.take();
  ui_.setForeground(14);
  if (st_.verbose) {
    ui_.writeLineSpoken(r.text);
  } else {
    ui_.write(r.text);
    ui_.endLine();
  }
  ui_.setForeground(15);
  const ReplyCode c = ParseReplyCode(r.text);
  r.code = c.code;
  r.continuation = c.continuation;
  return r;
}

int Dlg::ReadReply() {
  ReplyLine r;
  do {
    if (ui_.cursorColumn() != 1) ui_.endLine();
    r = TakeReplyLine();
    if (r.continuation && !queue_.hasLines()) {
      if (!mayWait()) return 0;  // the reply will not be finished
      ReceiveControlData();
    }
  } while (r.continuation);
  return r.code;
}

int Dlg::ReadAndSpeakReply(bool keepCodes) {
  ReplyLine r;
  do {
    while (queue_.hasLines()) {
      r = TakeReplyLine();
      std::string_view spoken = r.text;
      if (!keepCodes && !spoken.empty() && spoken[0] >= '0' && spoken[0] <= '9')
        spoken.remove_prefix(std::min<size_t>(4, spoken.size()));
      ui_.speakText(spoken);
    }
    if (r.continuation) {
      if (!mayWait()) return 0;
      ReceiveControlData();
    }
  } while (r.continuation);
  return r.code;
}

bool Dlg::waitForLine() {
  while (!queue_.hasLines()) {
    if (!mayWait()) return false;
    ReceiveControlData();
  }
  return true;
}

bool Dlg::SendCommand(std::string_view text) {
  // A command longer than the original 253-character buffer is sent whole:
  // cutting it would send a different command than the one typed.
  ui_.logEvent("send", LoggedCommand(text));
  const std::string line = qr::toUtf8(text) + "\r\n";
  if (closed_ || !rede_.sendControl(line)) {
    msg_.Announce("FTCOMINT", 1);
    return false;
  }
  ReceiveControlData();
  return true;
}

}  // namespace ftp
