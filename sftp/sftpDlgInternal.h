// What the source files of sftpDlg share: sizes of the loops and the
// reading of STATUS replies.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "sftp/sftpDlg.h"
#include "sftp/sftpWire.h"

namespace sftp {

using Clock = std::chrono::steady_clock;

// The longest wait between looks at the keys.
inline constexpr int kSliceMs = 20;
// The receives of one pass (each takes at most 4 KiB from the socket), so
// that the loop looks at its replies (and the keyboard) every 256 KiB or
// so. The room is the window the server is given during a transfer (see
// Asks), half of what a transfer keeps in flight: the server keeps the
// replies it may not send yet and sends them as the window opens again
// (three quarters of it stay open). With a 16 MiB window OpenSSH's server
// spent about 1.8 CPU-s per GiB sent on a loaded two-core machine, against
// 1.0 at 4 MiB, and the receive was slower; 2 MiB was no better than 4.
// The buffer is given back after each transfer.
inline constexpr size_t kReceiveWindow = 4 * 1024 * 1024;
inline constexpr int kReceivesPerPump = 64;
// What one receive may take outside transfers: a directory's names, a
// status.
inline constexpr size_t kCommandRoom = 256 * 1024;
// Sent bytes not yet taken by the connection, past which the loop stops
// queueing (the server's window is full).
inline constexpr size_t kOutboxLimit = 1024 * 1024;
// The largest read or write asked for, even of a server that takes more.
inline constexpr uint32_t kMaxChunk = 256 * 1024;

// How much a transfer keeps in flight: requests of its chunk size up to
// this many bytes, and between these many requests. On a busy computer the
// server (and we) run in short turns; what it is allowed to send in one
// turn bounds the speed: at 2 MiB a loaded machine's receives fell to a
// third of an idle one's, at 8 MiB they stay near OpenSSH's client.
inline constexpr uint64_t kInFlightBytes = 8 * 1024 * 1024;
inline constexpr size_t kMinRequests = 4;
inline constexpr size_t kMaxRequests = 64;

// The pieces of a file that arrived (or were confirmed), in any order, and
// the end of the run of them without a gap from the start.
class Arrivals {
 public:
  explicit Arrivals(uint64_t start) : contiguous_(start) {}
  void add(uint64_t offset, uint64_t length);
  [[nodiscard]] uint64_t contiguous() const { return contiguous_; }

 private:
  uint64_t contiguous_;
  std::map<uint64_t, uint64_t> later_;  // start -> end of pieces after a gap
};

// A piece of a file: what a READ asks for or a WRITE carries.
struct Piece {
  uint64_t offset = 0;
  uint32_t length = 0;
};

// The requests of one transfer in flight, both ways: at most depth() at a
// time (pieces of chunk bytes up to kInFlightBytes, within kMinRequests and
// kMaxRequests), each id with its piece; and the pieces done (arrived, or
// confirmed), in any order, with the run of them without a gap from start.
class Window {
 public:
  Window(uint64_t start, uint32_t chunk);
  [[nodiscard]] uint32_t chunk() const { return chunk_; }
  [[nodiscard]] size_t depth() const { return depth_; }
  [[nodiscard]] bool full() const { return asked_.size() >= depth_; }
  [[nodiscard]] bool idle() const { return asked_.empty(); }
  void ask(uint32_t id, Piece piece) { asked_[id] = piece; }
  // The piece a reply answers, no longer in flight; nothing for an id this
  // transfer did not ask with.
  [[nodiscard]] std::optional<Piece> answer(uint32_t id);
  void done(uint64_t offset, uint64_t length) { done_.add(offset, length); }
  [[nodiscard]] uint64_t contiguous() const { return done_.contiguous(); }

 private:
  uint32_t chunk_;
  size_t depth_;
  std::unordered_map<uint32_t, Piece> asked_;
  Arrivals done_;
};

// The Result of a STATUS code and message (Ok for Status::Ok).
[[nodiscard]] Result StatusResult(Status code, std::string_view message);
// The Result of a reply that should be a STATUS (body after the id).
[[nodiscard]] Result ReplyStatus(Type type, std::string_view body);

}  // namespace sftp
