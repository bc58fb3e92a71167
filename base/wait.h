// The one wait of the program: every loop that waits (for a key, a reply,
// the data connection, a voice) says which descriptors it watches and for
// how long, and waits here. The implementation (poll) is in platform/; tests
// may hand in their own.
#pragma once

#include <span>

namespace qr {

struct WaitFd {
  int fd = -1;  // -1: the entry is skipped
  bool wantRead = true;
  bool wantWrite = false;
  // Set by wait(): what the descriptor is ready for; closed covers a hang-up
  // or an error (a read then tells which).
  bool readable = false;
  bool writable = false;
  bool closed = false;
};

class Waiter {
 public:
  virtual ~Waiter() = default;
  // Blocks until one of the descriptors is ready or timeoutMs (>= 0; there
  // is no "forever") has passed. Returns the number of ready descriptors,
  // 0 on time-out, -1 on an error other than an interrupted wait. A wait
  // interrupted by a signal returns 0 early (its handler may have news for
  // a front end); callers wait again until their own deadline.
  virtual int wait(std::span<WaitFd> fds, int timeoutMs) = 0;
};

}  // namespace qr
