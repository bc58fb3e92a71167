#include "base/loop.h"

#include <algorithm>
#include <thread>

namespace qr {

int msUntil(Deadline deadline, Clock::time_point now) {
  constexpr long long kDayMs = 24LL * 3600 * 1000;
  if (deadline <= now) return 0;
  if (deadline - now > std::chrono::milliseconds(kDayMs)) return static_cast<int>(kDayMs);
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

void Loop::add(LoopSource& source) {
  if (std::find(sources_.begin(), sources_.end(), &source) == sources_.end())
    sources_.push_back(&source);
}

void Loop::remove(LoopSource& source) {
  std::erase(sources_, &source);
}

bool Loop::hasDescriptors() const {
  return std::any_of(sources_.begin(), sources_.end(),
                     [](const LoopSource* s) { return s->descriptor() >= 0; });
}

Deadline Loop::nextDeadline() const {
  Deadline first = kNoDeadline;
  for (const LoopSource* s : sources_) first = std::min(first, s->deadline());
  return first;
}

int Loop::waitOnce(std::span<WaitFd> extra, Deadline until) {
  if (waiter_ != nullptr) {
    // A nested wait (inside a dispatch) does not watch the sources: their
    // news waits for the outer loop.
    fds_.assign(extra.begin(), extra.end());
    if (!dispatching_) {
      for (const LoopSource* s : sources_) {
        if (s->descriptor() >= 0) fds_.push_back(WaitFd{s->descriptor()});
      }
      until = std::min(until, nextDeadline());
    }
    (void)waiter_->wait(fds_, msUntil(until));
    std::copy(fds_.begin(), fds_.begin() + static_cast<long>(extra.size()), extra.begin());
  }
  dispatch();
  return static_cast<int>(std::count_if(extra.begin(), extra.end(), [](const WaitFd& f) {
    return f.fd >= 0 && (f.readable || f.writable || f.closed);
  }));
}

void Loop::pause(Deadline until) {
  const int ms = msUntil(until);
  if (ms <= 0) return;
  if (waiter_ != nullptr)
    (void)waiter_->wait({}, ms);
  else
    std::this_thread::sleep_until(until);
}

void Loop::dispatch() {
  if (dispatching_) return;
  dispatching_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{dispatching_};
  // A source may remove itself while dispatched: walk a copy.
  const std::vector<LoopSource*> now = sources_;
  for (LoopSource* s : now) {
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->dispatch();
  }
}

}  // namespace qr
