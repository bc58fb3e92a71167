// The window front end: the console in an SDL2 window, drawn with a font
// found by fontconfig, with the magnifier under the right mouse button and
// key-down, character and key-up events for the key translation (so the
// six-key Braille keyboard works here).
//
// Keys: SDL's key-down gives the Down event; the characters come from SDL's
// text input, except those SDL does not send as text (Enter, Backspace, Tab,
// Esc, and every character typed with Ctrl), which are made from the key as
// a desktop keyboard makes them; key-up gives the Up event. So one key press
// reaches the translation as Down, Char, Up, as from the other front ends.
//
// Waiting sleeps in poll() on SDL's X connection (SDL_WaitEventTimeout on
// other window systems); inputDescriptor() is that connection's descriptor,
// so the program's one wait watches the window with its sockets.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "console/frontend.h"
#include "console/qrCrt.h"
#include "platform/keyEvents.h"

namespace platform {

// nullptr with the reason in error when no window can be opened (no display,
// no font).
[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeWindowFrontend(
    const qr::ConsoleSettings& settings, std::string& error);

// Our key for an SDL keycode; keypad keys are digits with Num Lock on and
// the navigation keys without it.
[[nodiscard]] qr::VKey keyOfSdl(int sdlKeycode, bool numLock);

// The character a key-down must bring with it because SDL sends no text for
// it: Enter, Backspace, Tab and Esc, and anything typed with Ctrl.
[[nodiscard]] std::optional<uint8_t> characterWithoutText(qr::VKey key, Modifiers mods);

}  // namespace platform
