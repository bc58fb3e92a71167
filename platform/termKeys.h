// Decoding of terminal input into key events: UTF-8 text, control bytes and
// the xterm/VT escape sequences of the special keys with their modifier
// parameter. Pure: bytes in, events out; the caller keeps what was not yet
// consumed and calls again with final set once the escape time-out passed.
//
// Characters are read in the terminal's code set (UTF-8 when none is given).
//
// Conventions: a lone ESC is the Escape key; ESC before a character is Alt
// with that character; the terminal's erase byte (127 or 8) is Backspace and
// the other one Ctrl+Backspace; CR is Enter and LF Ctrl+Enter.
#pragma once

#include <string_view>
#include <vector>

#include "console/frontend.h"
#include "platform/terminalCodeSet.h"

namespace platform {

struct DecodedKeys {
  std::vector<qr::KeyEvent> events;
  size_t consumed = 0;  // bytes taken; the rest is an unfinished sequence
};

// final: no more bytes will complete a sequence that has begun (the escape
// time-out passed), so a trailing ESC or partial sequence is decoded as is.
[[nodiscard]] DecodedKeys decodeTerminalInput(std::string_view input, bool final,
                                              uint8_t eraseByte = 127,
                                              const CodeSet* codes = nullptr);

}  // namespace platform
