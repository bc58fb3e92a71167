// ftpDlg: the dialogue on the control connection. Received bytes are cut
// into reply lines and queued; lines are taken off the queue with their
// codes, written in yellow and, in verbose mode, spoken.
//
// Reply rule (kept on purpose, it is not RFC 959 section 4.2's): the code is
// the run of digits after leading blanks; a line continues its reply when a
// hyphen follows the digits or when it has no code at all. Any other line
// ends the reply, whatever its code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Rede;

struct ReplyCode {
  int code = 0;
  bool continuation = true;
  bool operator==(const ReplyCode&) const = default;
};

// Code and continuation flag of one reply line.
[[nodiscard]] ReplyCode ParseReplyCode(std::string_view line);

// Longest reply line kept; the rest of a longer line is dropped.
inline constexpr size_t kMaxReplyLine = 16384;

// The partial line and the queue of complete lines. CR ends a line, and so
// does a bare LF (a server that ends lines with LF alone would otherwise
// never finish a reply); CR LF is one line end. Lines are decoded from UTF-8
// to Windows-1252 when they are valid UTF-8, and control bytes become blanks.
class ReplySplitter {
 public:
  void feed(std::string_view bytes);
  // Receives until at least one complete line is queued; false when the
  // connection closed or the wait was given up first.
  bool waitForLine();
  [[nodiscard]] bool hasLines() const { return !lines_.empty(); }
  [[nodiscard]] size_t size() const { return lines_.size(); }
  [[nodiscard]] std::string take();
  [[nodiscard]] const std::string& partial() const { return partial_; }
  void clear();

 private:
  void endLine();
  std::string partial_;
  std::deque<std::string> lines_;
  bool afterCr_ = false;
};

struct ReplyLine {
  std::string text;
  int code = 0;
  bool continuation = true;
};

class Dlg {
 public:
  Dlg(ClientState& state, Tela& ui, Messages& msg, Rede& rede);

  [[nodiscard]] bool SendCommand(std::string_view text);
  void ReceiveControlData();
  ReplyLine TakeReplyLine();
  int ReadReply();
  int ReadAndSpeakReply(bool keepCodes);

  // Receives until at least one complete line is queued; false when the
  // connection closed or the wait was given up first.
  bool waitForLine();
  [[nodiscard]] bool hasLines() const { return queue_.hasLines(); }
  void clearQueue() { queue_.clear(); }
  // The connection was found closed; every reader stops waiting.
  [[nodiscard]] bool closed() const { return closed_; }
  // ESC ended the last wait for the server; readers stop waiting.
  [[nodiscard]] bool interrupted() const { return interrupted_; }

 private:
  [[nodiscard]] bool mayWait() const { return !closed_ && !interrupted_; }

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Rede& rede_;
  ReplySplitter queue_;
  bool closed_ = false;
  bool interrupted_ = false;
};

// What the log shows of a command: the argument of PASS and ACCT hidden.
[[nodiscard]] std::string LoggedCommand(std::string_view text);

}  // namespace ftp
