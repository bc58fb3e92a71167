// The libssh handles of an Ssh object, shared by its source files only.
#pragma once

#include <libssh/libssh.h>

namespace sftp {

struct SshHandles {
  ssh_session session = nullptr;
  ssh_channel channel = nullptr;
};

}  // namespace sftp
