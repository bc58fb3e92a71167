// The generators' worker pool: work(i) for every i below count, each in its
// own child process, at most `jobs` at once.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <functional>

namespace tools {

// Returns how many children could not start or did not end with 0. A child
// leaves with _exit: the parent's buffers and exit handlers are not its own.
inline int RunInChildren(size_t count, unsigned jobs, const std::function<int(size_t)>& work) {
  std::fflush(nullptr);
  int failures = 0;
  size_t next = 0;
  unsigned running = 0;
  while (next < count || running > 0) {
    if (next < count && running < jobs) {
      const size_t i = next++;
      const pid_t pid = fork();
      if (pid == 0) {
        const int rc = work(i);
        std::fflush(nullptr);
        _exit(rc);
      }
      if (pid < 0)
        ++failures;
      else
        ++running;
      continue;
    }
    int status = 0;
    if (wait(&status) < 0) break;
    --running;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  return failures;
}

}  // namespace tools
