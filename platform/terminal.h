// The terminal front end: the console drawn on a text terminal's alternate
// screen, keys read in raw mode. The terminal is put back as it was at every
// way out: exitProgram, normal exit, destruction and SIGINT/SIGTERM/SIGHUP.
#pragma once

#include <memory>
#include <string>

#include "console/frontend.h"

namespace platform {

// Takes over the terminal on standard input and output; nullptr with a
// message in error when they are not a terminal.
[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeTerminalFrontend(std::string& error);

// Base64 of bytes, for the clipboard escape (OSC 52).
[[nodiscard]] std::string base64(std::string_view bytes);

}  // namespace platform
