// The key events of one key press, as a desktop keyboard delivers them: a
// key-down (a system key-down when Alt is held without Ctrl), the character
// the key types with its modifiers, and the key-up. The terminal and script
// front ends both build their events here so the key translation sees the
// same sequence for the same key, whichever front end is in use.
#pragma once

#include <optional>
#include <vector>

#include "console/frontend.h"

namespace platform {

struct Modifiers {
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
  bool operator==(const Modifiers&) const = default;
};

// The Windows-1252 character a key types with these modifiers, if any
// (Ctrl+letter 1-26, Ctrl+Enter 10, Ctrl+Backspace 127; nothing with Alt).
[[nodiscard]] std::optional<uint8_t> keyCharacter(qr::VKey key, Modifiers mods);

// The key a typed Windows-1252 character comes from (letters, digits, space
// and the control keys; Other for the rest) and the Shift it needs.
struct CharKey {
  qr::VKey key = qr::VKey::Other;
  bool shift = false;
};
[[nodiscard]] CharKey keyOfCharacter(uint8_t ch);

// Down (or SysDown), the optional character, Up.
[[nodiscard]] std::vector<qr::KeyEvent> pressEvents(qr::VKey key, Modifiers mods,
                                                    std::optional<uint8_t> ch);
// A key press that types its usual character for these modifiers.
[[nodiscard]] std::vector<qr::KeyEvent> pressKey(qr::VKey key, Modifiers mods);
// A character typed without modifiers other than the Shift it needs.
[[nodiscard]] std::vector<qr::KeyEvent> typeCharacter(uint8_t ch);

}  // namespace platform
