// ftpPlan: how a transfer begins, decided before any byte moves. Where a
// receive writes and what it asks first (an existing file is replaced only
// when the user says so; a .part left by an earlier attempt may be gone on
// with), from which offset it starts, and whether a send goes on from the
// end of a shorter remote file. Pure: the facts come in, the decisions go
// out; asking, sending and touching files are the caller's. The decisions
// hold for any file-transfer protocol with sizes, modification times and
// restart offsets; the reply readers at the end are FTP's.
//
// Resuming is safe only from the very file that was begun: a .part records
// the server's size and modification time of the whole file when it was
// begun, and is gone on with only while both are still the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

// What the server tells of a remote file before a transfer.
struct RemoteFacts {
  std::optional<int64_t> size;
  std::string modified;  // "YYYYMMDDHHMMSS[.fff]" (UTC); empty when not told
};

// What a .part records of the file it was begun from.
struct PartMark {
  std::optional<int64_t> size;
  std::string modified;
};

// The extended attributes of a .part that hold its mark.
inline constexpr const char* kPartSizeAttribute = "user.naviro.tamanho";
inline constexpr const char* kPartTimeAttribute = "user.naviro.modificado";

// What lies at the local name a receive is to write.
struct LocalTarget {
  bool exists = false;     // something of that name
  bool directory = false;  // and it is a directory
};

enum class TargetStep {
  Refuse,      // a directory: nothing can be written there
  AskReplace,  // "Já existe NOME. Substituir?"
  Write,       // nothing there: go on
};
[[nodiscard]] TargetStep PlanTarget(const LocalTarget& target);

// What an earlier attempt's .part asks of the user.
enum class PartStep {
  None,        // no .part, or an empty one
  AskResume,   // binary mode: go on from where it stopped?
  AskRestart,  // text mode cannot go on: start over, throwing it away?
};
[[nodiscard]] PartStep PlanPart(bool binary, int64_t partSize);

// Whether a .part may be gone on with from its end.
enum class ResumeCheck {
  GoOn,     // the server's file is the one begun
  Changed,  // it changed since: start over
  Unknown,  // nothing tells whether it changed: start over
};
[[nodiscard]] ResumeCheck CheckResume(const PartMark& mark, int64_t partSize,
                                      const RemoteFacts& server);

// Where a receive starts: at the end of the .part when the user wants to go
// on and CheckResume allows it, else at 0 (check tells why when the user
// wanted to go on).
struct ReceiveStart {
  int64_t offset = 0;
  std::optional<ResumeCheck> check;
};
[[nodiscard]] ReceiveStart PlanReceiveStart(bool wantResume, int64_t partSize, const PartMark& mark,
                                            const RemoteFacts& server);

// A send may go on from the end of a remote file that is shorter than the
// local one (an interrupted send of it, the user decides); binary mode only.
[[nodiscard]] bool OfferSendResume(bool binary, int64_t localSize,
                                   std::optional<int64_t> remoteSize);

// How a send that goes on from offset is asked for: REST and STOR, or, when
// the server refuses REST, APPE (which adds to the end of the remote file,
// what REST and STOR would have done from there; RFC 959 section 4.1.3).
enum class SendVerb { Stor, Appe };
[[nodiscard]] SendVerb PlanSendVerb(int64_t offset, bool restAccepted);

// FTP replies that tell of a file.
// RFC 3659 section 4.2: "213 <size>", in octets.
[[nodiscard]] std::optional<int64_t> SizeFromReply(int code, std::string_view line);
// RFC 3659 section 3: "213 YYYYMMDDHHMMSS[.sss]", UTC; empty when not so.
[[nodiscard]] std::string TimeFromReply(int code, std::string_view line);
// The byte count many servers put in the 150 that opens a RETR, as in
// "150 Opening BINARY mode data connection for a.bin (12345 bytes)".
[[nodiscard]] std::optional<int64_t> AnnouncedSize(std::string_view line);
// A size as marked on a .part: digits only.
[[nodiscard]] std::optional<int64_t> MarkedSize(std::string_view text);

}  // namespace ftp
