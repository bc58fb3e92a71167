#include "platform/pollWaiter.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace platform {

int PollWaiter::wait(std::span<qr::WaitFd> fds, int timeoutMs) {
  timeoutMs = std::max(timeoutMs, 0);
  std::vector<pollfd> p;
  p.reserve(fds.size());
  for (qr::WaitFd& f : fds) {
    f.readable = f.writable = f.closed = false;
    short events = 0;
    if (f.wantRead) events |= POLLIN;
    if (f.wantWrite) events |= POLLOUT;
    // A negative descriptor is ignored by poll() and keeps the indices.
    p.push_back({f.fd, events, 0});
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    // Rounded up: a wait of 1 ms that has run for a few microseconds still
    // has a millisecond to go, not none (which would make a busy loop of
    // every caller that waits in 1 ms steps).
    const int left = static_cast<int>(std::max<long long>(
        0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    const int n = p.empty() ? 0 : ::poll(p.data(), static_cast<nfds_t>(p.size()), left);
    if (p.empty()) {
      if (left > 0) std::this_thread::sleep_for(std::chrono::milliseconds(left));
      return 0;
    }
    // A signal's handler may have news for a front end (a resized
    // terminal): the wait ends as a time-out and its caller waits again.
    if (n < 0 && errno == EINTR) return 0;
    if (n <= 0) return n;
    for (size_t i = 0; i < p.size(); ++i) {
      fds[i].readable = (p[i].revents & POLLIN) != 0;
      fds[i].writable = (p[i].revents & POLLOUT) != 0;
      fds[i].closed = (p[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return n;
  }
}

}  // namespace platform
