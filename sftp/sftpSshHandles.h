// The libssh handles of an Ssh object, shared by its source files only.
#pragma once

#include <libssh/libssh.h>

namespace sftp {

struct SshHandles {
  ssh_session session = nullptr;
  ssh_channel channel = nullptr;
  // The socket handed to the session: libssh does not close a socket it
  // was given (SSH_OPTIONS_FD), so the session's end closes it.
  int fd = -1;
  // What libssh has read from the socket and written to it, counted by
  // libssh itself.
  ssh_counter_struct socket{};
};

}  // namespace sftp
