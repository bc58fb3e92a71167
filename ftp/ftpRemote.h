// ftpRemote: the remote computer as the commands see it, whichever
// protocol reaches it: FTP (the dialogue of ftpDlg, through ftpFiles: the
// directories so far) or SFTP (sftp/). The
// commands ask, the spoken layer says what came of it; neither knows which
// protocol speaks. Each operation does its own protocol talk, waits with
// its deadlines, and returns a result; what only one protocol has (passive
// mode, raw commands) stays outside, and a text mode is a capability asked
// of the remote computer.
//
// Names are RemoteName: the text the user hears and the bytes the server
// gave or takes. Relative names are in the current remote directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/ftpDlg.h"
#include "ftp/ftpJudge.h"

namespace ftp {

enum class RemoteStatus {
  Done,
  NotFound,     // no such file or directory
  Denied,       // permission denied
  Refused,      // the server would not (reason holds its words)
  Lost,         // the connection broke or the server went silent (said)
  GaveUp,       // ESC
  LocalFailed,  // the local file could not be read or written (localError)
};

struct RemoteResult {
  RemoteStatus status = RemoteStatus::Done;
  std::string reason;  // the server's line or message, Windows-1252
  int localError = 0;  // the errno of LocalFailed
  bool said = false;   // already told where it happened (an ESC, a lost connection)
  [[nodiscard]] bool ok() const { return status == RemoteStatus::Done; }
};

struct RemoteEntry {
  RemoteName name;
  std::string line;  // the entry as a listing shows it
  bool directory = false;
  bool link = false;  // a symbolic link, or anything neither a file nor a directory
  std::optional<int64_t> size;
  std::string modified;  // "YYYYMMDDHHMMSS" (UTC); empty when not told
  // A listing made of the server's own lines (FTP's) also gives each line
  // as the server sent it, whether name is the server's own (a machine
  // listing's) or read out of the line by the listing's rules, and the time
  // as the line shows it: YYYYMMDDhhmm in the server's own time, -1 when it
  // shows none (a line's time is no UTC time, so modified stays empty).
  std::string raw;
  bool exact = true;
  int64_t lineTime = -1;
};

// Watches a transfer: told after every pass how many bytes moved so far;
// false stops it (the user pressed ESC). The protocol also tells it what it
// learns on the way, each where it happens, for the user to hear.
class TransferWatch {
 public:
  virtual ~TransferWatch() = default;
  [[nodiscard]] virtual bool carryOn(int64_t moved) = 0;
  // The whole file's size, told by the server as the data began (a receive
  // from the start only).
  virtual void sizeTold(int64_t /*whole*/) {}
  // The transfer goes on from offset, as asked.
  virtual void offsetTaken(int64_t /*offset*/) {}
  // The server will not start a receive at the offset asked: true when the
  // local file was emptied, so that the receive begins at 0; false ends it,
  // refused.
  [[nodiscard]] virtual bool startOver() { return false; }
  // All the data moved; the server's last word is awaited.
  virtual void dataEnded() {}
  // A stopped transfer is being ended with the server, which may take
  // seconds.
  virtual void stopping() {}
};

struct TransferTally {
  int64_t moved = 0;            // bytes after the starting offset
  std::optional<int64_t> size;  // the whole size as told when the data began
  bool whole = false;           // the server confirmed the end of the file
  // How the data ended and the server's last word, where the protocol
  // tells more than the result does; unset when the data never began.
  std::optional<DataEnd> data;
  ServerEnd server = ServerEnd::None;
};

// One file handed to a parallel mover: a receive into fd or a send from
// it, from the file's start; the name as receive and send take it.
struct ParallelFile {
  size_t index = 0;  // the caller's own number for it
  bool upload = false;
  RemoteName name;
  int fd = -1;  // the caller's to close
};

// How a file of a parallel mover ended: the judge's facts and the words.
struct ParallelEnd {
  DataEnd data = DataEnd::Ended;
  ServerEnd server = ServerEnd::None;
  TransferTally tally;      // moved; a receive's size when told; whole
  std::string reason;       // the server's last words on it, Windows-1252
  int localError = 0;       // the errno of the local read or write
  bool noChannel = false;   // no way for its data could be had
};

// What a parallel mover asks of its caller, all from its one wait.
class ParallelUser {
 public:
  virtual ~ParallelUser() = default;
  // The next file to move; nullopt when there is none now.
  [[nodiscard]] virtual std::optional<ParallelFile> next() = 0;
  virtual void ended(const ParallelFile& file, const ParallelEnd& end) = 0;
  // Bytes of the files moving now, after every turn of the wait.
  virtual void progress(int64_t moving) = 0;
  // A key the user typed (read already); true: stop every file.
  [[nodiscard]] virtual bool key(uint8_t key) = 0;
};

// Further connections to the same computer that move files side by side
// beside the one the session holds; a file whose connection is lost under
// it ends Lost, and the caller may give it to another. Nothing is said
// here: the caller tells the user.
class ParallelMover {
 public:
  virtual ~ParallelMover() = default;
  enum class End {
    Done,          // nothing more to move
    Stopped,       // the caller stopped it; every file moving ended Aborted
    NoConnection,  // no further connection is left (none came up, or all were lost)
  };
  [[nodiscard]] virtual End run(ParallelUser& user) = 0;
};

// The remote computer's directories and the removal and renaming of its
// files: what needs no transfer.
class RemoteDirectories {
 public:
  virtual ~RemoteDirectories() = default;

  [[nodiscard]] virtual bool connected() const = 0;
  // Whether the protocol can carry the name at all; a name it cannot is
  // refused before anything is asked of the server.
  [[nodiscard]] virtual bool nameUsable(const RemoteName& /*name*/) const { return true; }

  // path: the current directory; reason, when given, is the server's own
  // words about it.
  [[nodiscard]] virtual RemoteResult currentDirectory(std::string& path) = 0;
  [[nodiscard]] virtual RemoteResult changeDirectory(const RemoteName& dir) = 0;
  // The parent of the current directory.
  [[nodiscard]] virtual RemoteResult changeToParent() = 0;
  [[nodiscard]] virtual RemoteResult makeDirectory(const RemoteName& dir) = 0;
  [[nodiscard]] virtual RemoteResult removeDirectory(const RemoteName& dir) = 0;
  [[nodiscard]] virtual RemoteResult removeFile(const RemoteName& file) = 0;
  [[nodiscard]] virtual RemoteResult rename(const RemoteName& from, const RemoteName& to) = 0;
};

class RemoteFiles : public RemoteDirectories {
 public:
  // The connection and what comes before the login (greeting, encryption,
  // host key); false, said, when there is no going on.
  [[nodiscard]] virtual bool Connect() = 0;
  // Key L, and the first login. False, said, when refused.
  [[nodiscard]] virtual bool Login() = 0;
  // ESC: the session ends politely.
  virtual void Quit() = 0;
  // Between commands: what the server said unasked is heard; true when
  // there was something.
  [[nodiscard]] virtual bool serveNews() { return false; }

  [[nodiscard]] virtual RemoteResult stat(const RemoteName& name, RemoteEntry& entry) = 0;
  // The size alone of a file (empty when not told, and for a directory),
  // where a protocol tells it with less than all of stat. The result's
  // reason, where the protocol words a size itself, holds the server's
  // words about it, told or refused.
  [[nodiscard]] virtual RemoteResult size(const RemoteName& name, std::optional<int64_t>& bytes) {
    RemoteEntry entry;
    RemoteResult r = stat(name, entry);
    bytes = entry.directory ? std::nullopt : entry.size;
    r.reason.clear();  // not words about a size
    return r;
  }
  // The current directory's entries.
  [[nodiscard]] virtual RemoteResult list(std::vector<RemoteEntry>& entries) = 0;
  // The entries of the directory named (relative names in the current
  // directory), the current directory left as it is: what a walk over a
  // tree asks. Without it a tree cannot be walked.
  [[nodiscard]] virtual RemoteResult listDirectory(const RemoteName& /*dir*/,
                                                   std::vector<RemoteEntry>& entries) {
    entries.clear();
    return {RemoteStatus::Refused, {}, 0, false};
  }
  // Whether the remote computer has a text mode besides the binary one
  // (line ends changed on the way, so no offset and no size check).
  [[nodiscard]] virtual bool offersTextMode() const { return false; }
  // The mode of the transfers that follow; false, said, when the remote
  // computer would not take it.
  [[nodiscard]] virtual bool chooseTextMode(bool text) { return !text; }
  // Whether stat's NotFound and Denied are certain. Where they are not (a
  // protocol that only asks the size), a transfer is left to decide.
  [[nodiscard]] virtual bool statCertain() const { return true; }
  // A file into fd from offset on (fd at offset); a file from fd (from
  // offset) to the remote name, created or emptied when offset is 0.
  [[nodiscard]] virtual RemoteResult receive(const RemoteName& file, int fd, int64_t offset,
                                             TransferWatch& watch, TransferTally& facts) = 0;
  [[nodiscard]] virtual RemoteResult send(int fd, int64_t offset, const RemoteName& file,
                                          TransferWatch& watch, TransferTally& facts) = 0;
  // At most `connections` further connections that move files beside this
  // one, as the session's settings allow; nullptr where the protocol or
  // the session has none (the files then move one at a time through
  // receive and send).
  [[nodiscard]] virtual std::unique_ptr<ParallelMover> parallelMover(size_t /*connections*/) {
    return nullptr;
  }
};

}  // namespace ftp
