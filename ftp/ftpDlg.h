// ftpDlg: the dialogue on the control connection. Received bytes are cut
// into reply lines and queued; lines are taken off the queue with their
// codes, written in yellow and, in verbose mode, spoken.
//
// Reply rule (kept on purpose, it is not RFC 959 section 4.2's): the code is
// the run of digits after leading blanks; a line continues its reply when a
// hyphen follows the digits or when it has no code at all. Any other line
// ends the reply, whatever its code.
//
// Every reply is read by one reader with a deadline: the server may be
// silent for at most the configured time (key PRAZO of section NAVIRO, in
// seconds, 120 when absent) before the connection is taken for lost. Short,
// bounded waits (the replies to QUIT and ABOR) give up quietly instead.
//
// Replies come in the order of the commands (RFC 959 section 4.2). A wait
// the user gave up (ESC) leaves its command's reply owed: when it comes it
// goes to that command's late judge (by default it is spoken), never to a
// command sent after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpFeat.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Rede;
struct NetResult;

struct ReplyCode {
  int code = 0;
  bool continuation = true;
  bool operator==(const ReplyCode&) const = default;
};

// Code and continuation flag of one reply line.
[[nodiscard]] ReplyCode ParseReplyCode(std::string_view line);

// Longest reply line kept; the rest of a longer line is dropped.
inline constexpr size_t kMaxReplyLine = 16384;

// The partial line and the queue of complete lines. CR LF ends a line, and
// so does a bare LF (a server that ends lines with LF alone would otherwise
// never finish a reply). A CR followed by anything else is part of its line
// (RFC 959 section 4.1.3 ends lines with CR LF; a name holding a CR must not
// cut a reply in two). Lines are decoded from UTF-8 to Windows-1252 when
// they are valid UTF-8, and control bytes become blanks.
class ReplySplitter {
 public:
  void feed(std::string_view bytes);
  [[nodiscard]] bool hasLines() const { return !lines_.empty(); }
  // Whether the queue holds the last line of a reply.
  [[nodiscard]] bool hasWholeReply() const;
  [[nodiscard]] size_t size() const { return lines_.size(); }
  [[nodiscard]] std::string take();
  [[nodiscard]] const std::string& partial() const { return partial_; }
  [[nodiscard]] bool empty() const { return lines_.empty() && partial_.empty() && !pendingCr_; }
  void clear();

 private:
  void endLine();
  std::string partial_;
  std::deque<std::string> lines_;
  bool afterCr_ = false;
  bool pendingCr_ = false;
  size_t wholeReplies_ = 0;
};

struct ReplyLine {
  std::string text;
  int code = 0;
  bool continuation = true;
};

// A whole reply: the code and text of its last line; complete is false
// when the reply did not end (connection lost, wait given up or bounded).
struct Reply {
  int code = 0;
  std::string line;
  std::string first;               // its first line
  std::vector<std::string> lines;  // all its lines, in order
  bool complete = false;
};

inline constexpr int kDefaultReplyDeadlineMs = 120000;

// How a reply is read: spoken or not, and how long the server may be
// silent. boundMs > 0: a short wait that ends quietly; 0: the configured
// deadline, whose end is a lost connection.
struct ReadOptions {
  bool speak = false;
  bool keepCodes = false;
  int boundMs = 0;
  bool quiet = false;  // logged only: neither written nor spoken
};

// What is done with the reply of a command whose wait was given up.
using LateJudge = std::function<void(const Reply&)>;

class Dlg {
 public:
  Dlg(ClientState& state, Tela& ui, Messages& msg, Rede& rede);

  // Sends one command line (text in Windows-1252, sent as UTF-8); it does
  // not wait for the reply. A text holding CR or LF is never sent.
  [[nodiscard]] bool SendCommand(std::string_view text);
  // The same with an argument sent as the very bytes given, such as a
  // name as the server listed it.
  [[nodiscard]] bool SendCommand(std::string_view verb, std::string_view wireArgument);
  // One wait for the control connection (the reply deadline, or boundMs)
  // and one receive into the queue.
  void ReceiveControlData(int boundMs = 0);
  ReplyLine TakeReplyLine(bool quiet = false);
  // The code of the next whole reply, 0 when it did not end; the reply is
  // written (and spoken in verbose mode) as it is taken.
  int ReadReply();
  int ReadAndSpeakReply(bool keepCodes);
  // The one reader of whole replies, the two above included: it waits for
  // the reply's last line as `how` says and gives all of it.
  Reply awaitReply(const ReadOptions& how = {});

  [[nodiscard]] bool hasLines() const { return queue_.hasLines(); }
  [[nodiscard]] bool hasWholeReply() const { return queue_.hasWholeReply(); }
  void clearQueue() { queue_.clear(); }
  // The connection was found closed or lost; every reader stops waiting.
  [[nodiscard]] bool closed() const { return closed_; }
  // ESC ended the last wait for the server; readers stop waiting.
  [[nodiscard]] bool interrupted() const { return interrupted_; }
  // The longest silence of the server before the connection is lost, ms:
  // an inactivity timeout (every byte that comes starts it again), not a
  // bound on the whole reply.
  [[nodiscard]] int replyInactivityTimeoutMs();
  // QUIT went out: the server closing the connection is no loss.
  void expectClose() { goodbye_ = true; }
  // The connection's end found by someone else (a send that failed).
  void connectionLost();
  // Says what the socket layer could not do (make a socket, find the
  // computer, connect, listen, accept); nothing for a success.
  void sayNetFailure(const NetResult& result);
  // What the server can do: FEAT asked on the first call of the
  // connection (and OPTS UTF8 ON sent when it lists UTF8), then kept.
  [[nodiscard]] const Features& features();

  // The last wait for a reply was given up (ESC): judge decides what its
  // late reply means to the user.
  void onLateReply(LateJudge judge);
  // Replies owed to commands whose wait was given up.
  [[nodiscard]] bool owesReply() const;
  // Late replies already queued whole go to their judges; false when one
  // is owed still.
  bool takeLateReplies();
  // Bytes received and not yet taken as replies (a line or a piece).
  [[nodiscard]] bool hasUnreadBytes() const { return !queue_.empty(); }

 private:
  [[nodiscard]] bool mayWait() const { return !closed_ && !interrupted_; }
  // One whole reply from the queue and the connection (the old reader).
  Reply readOneReply(const ReadOptions& how);
  // A whole reply came: the command it answers is settled. True when it
  // belonged to a command whose wait was given up (and was judged).
  bool settle(const Reply& reply);
  void giveUp();

  // Commands sent and not yet answered, oldest first; late: its wait was
  // given up.
  struct Pending {
    bool late = false;
    LateJudge judge;
  };
  std::deque<Pending> pending_;
  static constexpr size_t kMaxPending = 100;

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Rede& rede_;
  ReplySplitter queue_;
  bool closed_ = false;
  bool interrupted_ = false;
  bool goodbye_ = false;
  int deadlineMs_ = -1;
  Features features_;
};

// A remote name as the user hears it (Windows-1252) and as it goes into a
// command: for a name the server listed, its very bytes, so that a name in
// another code set, or with characters Windows-1252 lacks, still reaches the
// same file.
struct RemoteName {
  std::string text;
  std::string wire;
  // A name the user typed: sent as UTF-8.
  [[nodiscard]] static RemoteName typed(std::string_view text);
};

// A name that may go into a command: no CR, LF or NUL, which would end the
// command line early and let the rest be taken for a command of its own.
[[nodiscard]] bool SafeInCommand(std::string_view bytes);

// What the log shows of a command: the argument of PASS and ACCT hidden.
[[nodiscard]] std::string LoggedCommand(std::string_view text);

}  // namespace ftp
