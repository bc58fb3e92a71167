// The program's event loop. Everything that can wake the program — the
// front end's keys, the control and data sockets, a voice, the audio
// player — is a source: it offers a descriptor and/or its next deadline,
// and is dispatched after every wait it took part in. Deadlines are
// steady_clock time points; msUntil is the one place where a deadline
// becomes a poll timeout.
#pragma once

#include <chrono>
#include <span>
#include <vector>

#include "base/wait.h"

namespace qr {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;
inline constexpr Deadline kNoDeadline = Deadline::max();

// Whole milliseconds from now to the deadline, rounded UP: a deadline a
// fraction of a millisecond away is 1, never 0 (a 0 would poll without
// waiting and spin through that last fraction). 0 once it has passed;
// capped at a day for kNoDeadline.
[[nodiscard]] int msUntil(Deadline deadline, Clock::time_point now = Clock::now());
[[nodiscard]] inline Deadline deadlineIn(int ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}
[[nodiscard]] inline bool passed(Deadline deadline) {
  return Clock::now() >= deadline;
}

// What may end a wait besides the loop's own sources: a descriptor with
// news, and a time at which the waited-for condition may have changed by
// itself (the audio device has played a block).
struct Wake {
  int fd = -1;
  Deadline at = kNoDeadline;
};

class LoopSource {
 public:
  virtual ~LoopSource() = default;
  // A descriptor whose readability is news for this source, or -1.
  [[nodiscard]] virtual int descriptor() const { return -1; }
  // When the source wants to be dispatched even without news.
  [[nodiscard]] virtual Deadline deadline() const { return kNoDeadline; }
  // Moves the source's work on; called after every wait of the loop.
  virtual void dispatch() = 0;
};

class Loop {
 public:
  Loop() = default;
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  void useWaiter(Waiter& waiter) { waiter_ = &waiter; }
  [[nodiscard]] Waiter* waiter() const { return waiter_; }
  void add(LoopSource& source);
  void remove(LoopSource& source);

  // Whether a source offers a descriptor now.
  [[nodiscard]] bool hasDescriptors() const;
  // The earliest deadline of the sources (kNoDeadline for none).
  [[nodiscard]] Deadline nextDeadline() const;

  // One wait: on the caller's descriptors and the sources' until `until` or
  // a source's deadline, whichever is first; then the sources are
  // dispatched. The caller's entries get their ready flags. Returns the
  // number of the caller's descriptors that are ready. Without a waiter
  // the loop only dispatches.
  int waitOnce(std::span<WaitFd> extra, Deadline until);

  // Lets time pass until the deadline without looking at anything (a
  // front end that returns at once must not make a busy loop of a wait).
  void pause(Deadline until);

  // Dispatches every source now. A dispatch that waits (a voice handing
  // samples to a full device) comes back here: the nested call does
  // nothing, so no source runs inside itself.
  void dispatch();

 private:
  Waiter* waiter_ = nullptr;
  std::vector<LoopSource*> sources_;
  std::vector<WaitFd> fds_;  // kept so that a wait allocates nothing
  bool dispatching_ = false;
};

}  // namespace qr
