// The terminal front end: the console drawn on a text terminal's alternate
// screen (or written as plain lines in linear mode), keys read in raw mode. The terminal is put
// back as it was at every way out: exitProgram, normal exit, destruction and SIGINT/SIGTERM/SIGHUP.
#pragma once

#include <memory>
#include <string>

#include "console/frontend.h"

namespace platform {

// Takes over the terminal on standard input and output; nullptr with a
// message in error when they are not a terminal. Linear: plain lines for
// screen readers instead of the drawn screen.
[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeTerminalFrontend(std::string& error,
                                                                        bool linear = false);

// Base64 of bytes, for the clipboard escape (OSC 52).
[[nodiscard]] std::string base64(std::string_view bytes);

}  // namespace platform
