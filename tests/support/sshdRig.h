// The private OpenSSH server of the SFTP tests, through
// tests/support/sshd-rig.sh: a fresh directory per rig, the server started
// and stopped by its PID. start() is false when it cannot run here (no
// openssh-server, no right to make a mount namespace): the test skips.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "scratchDir.h"

namespace testing_support {

class SshdRig {
 public:
  SshdRig() = default;
  // The server stops before its directory goes.
  ~SshdRig() { stop(); }
  SshdRig(const SshdRig&) = delete;
  SshdRig& operator=(const SshdRig&) = delete;

  static std::string script() {
    return std::string(TEST_SOURCE_DIR) + "/tests/support/sshd-rig.sh";
  }

  // Starts the server, or starts it again (same port, same keys unless a
  // test replaced them).
  bool start() {
    if (dir_.empty()) return false;
    const std::string cmd = script() + " start '" + dir_ + "' 2>'" + dir_ + "/rig.err'";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return false;
    unsigned port = 0, pid = 0;
    const int got = std::fscanf(p, "%u %u", &port, &pid);
    const int status = ::pclose(p);
    if (got != 2 || status != 0) return false;
    port_ = static_cast<uint16_t>(port);
    running_ = true;
    return true;
  }
  void stop() {
    if (!running_) return;
    running_ = false;
    const std::string cmd = script() + " stop '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "sshd rig: stop failed\n");
  }
  // A new host key: the server shows another key at its next start.
  void replaceHostKey() {
    std::filesystem::remove(dir_ + "/hostkey");
    std::filesystem::remove(dir_ + "/hostkey.pub");
    const std::string cmd = "ssh-keygen -q -t ed25519 -N '' -f '" + dir_ + "/hostkey'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "sshd rig: no new host key\n");
  }
  // The server's log: one line per event, authentication requests among
  // them.
  std::string log() const { return read(dir_ + "/sshd.log"); }
  uint16_t port() const { return port_; }
  const std::string& dir() const { return dir_; }
  std::string home() const { return dir_ + "/home"; }
  std::string clientKey() const { return dir_ + "/id"; }
  // A file in the user's home, owned by the user, with these bytes.
  void putFile(const std::string& name, const std::string& bytes) const {
    const std::string path = home() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    struct stat st {};
    if (::stat(home().c_str(), &st) == 0 && ::chown(path.c_str(), st.st_uid, st.st_gid) != 0)
      std::fprintf(stderr, "sshd rig: %s keeps its owner\n", path.c_str());
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

 private:
  ScratchDir scratch_{"sshd-rig"};
  const std::string& dir_ = scratch_.path();
  uint16_t port_ = 0;
  bool running_ = false;
};

}  // namespace testing_support
