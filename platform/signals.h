// Process-wide settings of the program, made once by main at start-up
// before any thread runs (and by tests that need the same): which signals
// are ignored and the file creation mask. No other layer changes them.
#pragma once

namespace platform {

// Ignores SIGPIPE, so that writing to a connection or a voice daemon that
// went away fails (sends also say MSG_NOSIGNAL), and SIGXFSZ, so that a
// write past the file size limit fails with EFBIG: neither ends the program.
void ignoreProcessSignals();

// The process's file creation mask (umask). Reading it means setting it and
// setting it back, which is safe only while no other thread creates files:
// read it at start-up and hand the value on.
[[nodiscard]] unsigned fileCreationMask();

}  // namespace platform
