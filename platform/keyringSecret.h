// The Secret Service keyring through libsecret, when the build has it.
#pragma once

#include <memory>

#include "base/keyring.h"

namespace qr {

// The session's keyring; NoKeyring when libsecret is not built in.
[[nodiscard]] std::unique_ptr<Keyring> makeSystemKeyring();

}  // namespace qr
