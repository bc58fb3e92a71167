#include "platform/launcher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "base/cp1252.h"

extern char** environ;

namespace platform {

SpawnLauncher::~SpawnLauncher() {
  reap();
}

void SpawnLauncher::reap() {
  std::erase_if(children_, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

bool SpawnLauncher::startDetached(const std::string& program, const std::string& parameter) {
  reap();
  const std::string prog = qr::toUtf8(program);
  const std::string param = qr::toUtf8(parameter);
  std::vector<char*> argv{const_cast<char*>(prog.c_str())};
  if (!param.empty()) argv.push_back(const_cast<char*>(param.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const bool started =
      ::posix_spawnp(&pid, prog.c_str(), &actions, &attr, argv.data(), environ) == 0;
  if (started) children_.push_back(pid);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return started;
}

}  // namespace platform
