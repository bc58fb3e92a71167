// What the source files of sftpDlg share: sizes of the loops and the
// reading of STATUS replies.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "sftp/sftpDlg.h"
#include "sftp/sftpWire.h"

namespace sftp {

using Clock = std::chrono::steady_clock;

// The longest wait between looks at the keys.
inline constexpr int kSliceMs = 20;
// Received bytes are taken in blocks, a few per pass, so that the loop
// looks at its replies (and the keyboard) often.
inline constexpr size_t kReceiveBlock = 64 * 1024;
inline constexpr int kReceivesPerPump = 16;
// Sent bytes not yet taken by the connection, past which the loop stops
// queueing (the server's window is full).
inline constexpr size_t kOutboxLimit = 1024 * 1024;
// The largest read or write asked for, even of a server that takes more.
inline constexpr uint32_t kMaxChunk = 256 * 1024;

// How much a transfer keeps in flight: requests of its chunk size up to
// this many bytes, and between these many requests.
inline constexpr uint64_t kInFlightBytes = 2 * 1024 * 1024;
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

// The Result of a STATUS code and message (Ok for Status::Ok).
[[nodiscard]] Result StatusResult(Status code, std::string_view message);
// The Result of a reply that should be a STATUS (body after the id).
[[nodiscard]] Result ReplyStatus(Type type, std::string_view body);

}  // namespace sftp
