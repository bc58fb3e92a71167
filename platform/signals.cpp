#include "platform/signals.h"

#include <sys/stat.h>

#include <csignal>
#include <initializer_list>

namespace platform {

void ignoreProcessSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int sig : {SIGPIPE, SIGXFSZ}) ::sigaction(sig, &ignore, nullptr);
}

unsigned fileCreationMask() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

}  // namespace platform
