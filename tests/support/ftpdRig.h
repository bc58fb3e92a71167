// The private FTP server of the tests that need a real one, through
// tests/support/ftpd-rig.py (pyftpdlib on loopback): started over a fresh
// directory, stopped by its PID. start() is false when it cannot run here
// (no Python or no pyftpdlib): the test skips.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "scratchDir.h"

namespace testing_support {

class FtpdRig {
 public:
  FtpdRig() = default;
  // The server stops before its directory goes.
  ~FtpdRig() { stop(); }
  FtpdRig(const FtpdRig&) = delete;
  FtpdRig& operator=(const FtpdRig&) = delete;

  // old: a server that knows neither MLST nor MLSD.
  bool start(bool old = false) {
    if (dir_.empty()) return false;
    std::filesystem::create_directories(home() + "/ro");
    int out[2];
    if (::pipe(out) != 0) return false;
    const std::string script = std::string(TEST_SOURCE_DIR) + "/tests/support/ftpd-rig.py";
    const std::string root = home();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      ::execl("/usr/bin/python3", "python3", script.c_str(), root.c_str(), old ? "old" : nullptr,
              nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* in = ::fdopen(out[0], "r");
    unsigned port = 0;
    const bool told = in && std::fscanf(in, "%u", &port) == 1;
    if (in) std::fclose(in);
    if (pid_ < 0 || !told) {
      stop();
      return false;
    }
    port_ = static_cast<uint16_t>(port);
    return true;
  }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  uint16_t port() const { return port_; }
  // The user's directory: where her files are.
  std::string home() const { return dir_ + "/home"; }

 private:
  ScratchDir scratch_{"ftpd-rig"};
  const std::string& dir_ = scratch_.path();
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace testing_support
