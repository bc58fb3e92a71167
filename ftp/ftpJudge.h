// ftpJudge: the one place where a transfer is judged. How its data ended,
// what the server said at the end, how many bytes are there and how many
// were announced, and what went wrong on this side give one verdict:
// completed, failed, or failed with what arrived kept. Pure: no I/O, so the
// whole decision is a table test. Nothing here is particular to FTP but
// ServerEndOf, which reads an FTP reply code; another protocol maps its own
// final status to a ServerEnd and is judged alike.
#pragma once

#include <cstdint>
#include <optional>

namespace ftp {

// How the data of a transfer (a file or a listing) ended, as the pump saw it.
enum class DataEnd {
  Ended,           // a clean end: the server closed it, or all was sent and closed
  Failed,          // the data connection broke (a reset, an error, TLS cut short)
  LocalFailed,     // the local file could not give or take the bytes
  Aborted,         // ESC while the data moved
  Lost,            // the control connection is gone, or the server went silent
  Answered,        // the server's final reply came while the data still moved
  NeverConnected,  // the server never opened the data connection
};

// What the server's final word on the transfer says.
enum class ServerEnd {
  None,       // nothing final came (or only preliminary replies)
  Completed,  // the transfer is complete on its side
  Failed,     // any other final reply
  GaveUp,     // the data had ended; the user gave up waiting for the reply
};

// RFC 959 section 4.2: 1xx is preliminary and ends nothing; of the final
// replies only 226 (closing data connection, action successful) and 250
// (requested file action completed) tell that the file went whole. Other
// 2xx replies (200, 202, 225) do not say so.
[[nodiscard]] constexpr ServerEnd ServerEndOf(int code) {
  if (code >= 100 && code < 200) return ServerEnd::None;
  if (code == 226 || code == 250) return ServerEnd::Completed;
  return ServerEnd::Failed;
}

struct TransferFacts {
  bool upload = false;
  bool binary = true;  // text mode changes the bytes, so sizes differ
  DataEnd data = DataEnd::Ended;
  ServerEnd server = ServerEnd::None;
  int64_t have = 0;                 // bytes of the file at the end, with those of a resumed part
  std::optional<int64_t> expected;  // the whole file's size, when announced
};

enum class Verdict {
  Completed,    // the file is whole where it was going
  Failed,       // nothing worth keeping on this side
  PartialKept,  // a receive kept what arrived, as the .part
};

// What the user is told of it.
enum class Account {
  Done,            // completed
  SizesDiffer,     // completed in text mode with another size than announced
  Short,           // the server said complete, fewer bytes came than announced
  ServerFailed,    // the server's final reply is a failure: its line is said
  DataBroken,      // the data connection broke
  LocalError,      // this side's file failed: the system's reason
  Interrupted,     // ESC, or the user gave up waiting for the final reply
  Lost,            // the control connection is gone or silent
  NeverConnected,  // the server never opened the data connection
};

struct Judgement {
  Verdict verdict = Verdict::Failed;
  Account account = Account::Lost;
  bool operator==(const Judgement&) const = default;
};

[[nodiscard]] Judgement JudgeTransfer(const TransferFacts& facts);

}  // namespace ftp
