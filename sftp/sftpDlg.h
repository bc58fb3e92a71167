// sftpDlg: the file transfer dialogue over the SSH channel (SFTP version
// 3): requests with ids, each reply awaited with a deadline (the server may
// be silent for at most the configured time), ESC giving up; and the two
// transfer loops, which keep many requests in flight (reads of the next
// pieces while earlier ones arrive; writes without waiting for each answer)
// so that a transfer runs at the speed of the connection, not of its round
// trips.
//
// It reports data, not sentences: each operation gives a Result, and the
// layer above says it. Names and paths are the server's bytes. A receive
// writes each piece at its place in the local file and, however it ends,
// leaves the file holding exactly the bytes that arrived without a gap
// from its start, so a partial file can be gone on with.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sftp/sftpWire.h"

namespace ftp {
class Tela;
}

namespace sftp {

class Ssh;

enum class Outcome {
  Ok,
  NotFound,     // no such file or directory
  Denied,       // permission denied
  Failed,       // the server could not do it (its message says why)
  Unsupported,  // the server does not do this
  Lost,         // the connection broke, or the server went silent
  Escaped,      // ESC, or the transfer's watcher stopped it
  LocalFailed,  // the local file could not be read or written
};

struct Result {
  Outcome outcome = Outcome::Ok;
  std::string message;  // the server's message, or why (Windows-1252)
  int localError = 0;   // the errno of LocalFailed
  [[nodiscard]] bool ok() const { return outcome == Outcome::Ok; }
};

// One name of a directory listing: the name as the server gives it, the
// line an "ls -l" would show, and its attributes.
struct Entry {
  std::string name;
  std::string longname;
  Attributes attrs;
};

// Watches a transfer: told after every pass how many bytes were moved so
// far; false stops the transfer (the user pressed ESC).
class Progress {
 public:
  virtual ~Progress() = default;
  [[nodiscard]] virtual bool carryOn(uint64_t moved) = 0;
};

struct TransferReport {
  // Receive: bytes written without a gap after the starting offset. Send:
  // bytes the server confirmed, without a gap after the starting offset.
  uint64_t moved = 0;
  std::optional<uint64_t> size;  // receive: the remote file's size when opened
  bool reachedEnd = false;       // receive: the server said the file ends there
};

// What each read of the channel asks for. libssh tops the server's window
// up to what a read asks for whenever the window is below that, each time
// with a message that wakes the server: reads that all asked for the whole
// room sent one per packet received. So the whole room is asked for only
// once a quarter of it has come since the last time (the window stays
// above three quarters of the room), and other reads ask for plain bytes,
// less than that.
class Asks {
 public:
  Asks(size_t room, size_t plain) : room_(room), plain_(plain), since_(room) {}
  [[nodiscard]] size_t room() const { return room_; }
  [[nodiscard]] size_t next() const {
    return since_ >= room_ / 4 ? room_ : std::min(room_, plain_);
  }
  // A read that asked for asked bytes brought got.
  void took(size_t asked, size_t got) {
    if (asked == room_) since_ = 0;
    since_ += got;
  }

 private:
  size_t room_;
  size_t plain_;  // what the other reads ask for
  size_t since_;  // bytes come since the whole room was last asked for
};

class Dlg {
 public:
  Dlg(ftp::Tela& ui, Ssh& ssh, int deadlineMs);

  // INIT and VERSION; the server's limits, when it tells them.
  [[nodiscard]] Result Start();
  [[nodiscard]] Result RealPath(std::string_view path, std::string& resolved);
  // Follows symbolic links.
  [[nodiscard]] Result Stat(std::string_view path, Attributes& attrs);
  // Every name but "." and "..", in the server's order.
  [[nodiscard]] Result List(std::string_view dir, std::vector<Entry>& entries);
  [[nodiscard]] Result MakeDirectory(std::string_view path);
  [[nodiscard]] Result RemoveDirectory(std::string_view path);
  [[nodiscard]] Result Remove(std::string_view path);
  [[nodiscard]] Result Rename(std::string_view from, std::string_view to);
  // Receives the remote file from offset on into fd at the same offset;
  // on return fd holds exactly offset + report.moved bytes.
  [[nodiscard]] Result Get(std::string_view path, int fd, uint64_t offset, Progress& progress,
                           TransferReport& report);
  // Sends fd from offset on to the remote file at the same offset; from 0
  // the remote file is created or emptied, from elsewhere it is kept.
  [[nodiscard]] Result Put(int fd, uint64_t offset, std::string_view path, Progress& progress,
                           TransferReport& report);

  [[nodiscard]] uint32_t readChunk() const { return readChunk_; }
  [[nodiscard]] uint32_t writeChunk() const { return writeChunk_; }
  [[nodiscard]] bool lost() const { return !lost_.empty(); }
  // Time a transfer's watcher took (a question to the user, "Parar a pasta
  // inteira?"): the server's silence meanwhile is not held against it.
  void notCounted(std::chrono::steady_clock::duration took) { heard_ += took; }

 private:
  struct Reply {
    Type type{};
    std::string body;  // after the id
  };
  void queue(std::string packet);
  // Sends what is queued and takes what came, waiting up to ms when
  // nothing moved. False once the connection is gone.
  [[nodiscard]] bool pump(int ms);
  // The reply to id; other replies met on the way are dropped (answers to
  // requests of a transfer that was stopped).
  [[nodiscard]] Result await(uint32_t id, Reply& reply, bool escapable = true);
  [[nodiscard]] Result call(std::string packet, uint32_t id, Reply& reply);
  [[nodiscard]] Result statusCall(std::string packet, uint32_t id);
  [[nodiscard]] Result openHandle(Type type, std::string_view path, uint32_t flags,
                                  std::string& handle);
  [[nodiscard]] Result closeHandle(const std::string& handle);
  [[nodiscard]] Result lostResult() const;
  // Whether more requests may be queued: the connection takes what was.
  [[nodiscard]] bool outboxHasRoom() const;
  // The end of a transfer loop's pass: false, with failure set, when the
  // connection is gone, the watcher stops it (ESC) or the server has been
  // silent past the deadline.
  [[nodiscard]] bool passGoesOn(bool alive, uint64_t moved, Progress& progress, Result& failure);
  [[nodiscard]] Result queryLimits();

  ftp::Tela& ui_;
  Ssh& ssh_;
  int deadlineMs_;
  Splitter in_;
  // What receives ask for (and the server is allowed to send ahead):
  // a large room during a transfer, a small one otherwise.
  Asks asks_;
  // A transfer's large room while it lives; the buffer given back after.
  class TransferRoom;
  std::string out_;
  size_t outAt_ = 0;
  uint32_t nextId_ = 1;
  std::string lost_;  // why the connection is gone; empty while it stands
  std::chrono::steady_clock::time_point heard_{};  // the server's last bytes
  uint32_t version_ = 0;
  bool hasLimits_ = false;
  uint32_t readChunk_ = kSafeChunk;
  uint32_t writeChunk_ = kSafeChunk;
};

}  // namespace sftp
