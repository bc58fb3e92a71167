// Program starting with posix_spawnp: each child in a session of its own
// (the terminal's signals do not reach it), standard input and output on
// /dev/null, reaped without waiting at the next start and at the end.
#pragma once

#include <sys/types.h>

#include <vector>

#include "console/launcher.h"

namespace platform {

class SpawnLauncher final : public qr::Launcher {
 public:
  SpawnLauncher() = default;
  ~SpawnLauncher() override;
  SpawnLauncher(const SpawnLauncher&) = delete;
  SpawnLauncher& operator=(const SpawnLauncher&) = delete;

  bool startDetached(const std::string& program, const std::string& parameter) override;

 private:
  void reap();
  std::vector<pid_t> children_;
};

}  // namespace platform
