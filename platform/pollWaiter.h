// The one wait on this system: poll(2) over the descriptors a loop watches.
#pragma once

#include "base/wait.h"

namespace platform {

class PollWaiter final : public qr::Waiter {
 public:
  int wait(std::span<qr::WaitFd> fds, int timeoutMs) override;
};

}  // namespace platform
