// Key press events shared by the terminal and script front ends.
#include "platform/keyEvents.h"

#include "base/ascii.h"

namespace platform {

using qr::KeyEvent;
using qr::VKey;

namespace {

bool isLetterKey(VKey key) {
  const auto v = static_cast<uint16_t>(key);
  return v >= static_cast<uint16_t>(VKey::LetterA) && v < static_cast<uint16_t>(VKey::LetterA) + 26;
}
bool isDigitKey(VKey key) {
  const auto v = static_cast<uint16_t>(key);
  return v >= static_cast<uint16_t>(VKey::Digit0) && v < static_cast<uint16_t>(VKey::Digit0) + 10;
}

}  // namespace

std::optional<uint8_t> keyCharacter(VKey key, Modifiers mods) {
  // Alt turns characters into system characters, which reach no program.
  if (mods.alt) return std::nullopt;
  if (isLetterKey(key)) {
    const int n = static_cast<uint16_t>(key) - static_cast<uint16_t>(VKey::LetterA);
    if (mods.ctrl) return static_cast<uint8_t>(n + 1);
    return static_cast<uint8_t>((mods.shift ? 'A' : 'a') + n);
  }
  if (isDigitKey(key)) {
    if (mods.ctrl) return std::nullopt;
    return static_cast<uint8_t>('0' +
                                (static_cast<uint16_t>(key) - static_cast<uint16_t>(VKey::Digit0)));
  }
  switch (key) {
    case VKey::Enter:
      return static_cast<uint8_t>(mods.ctrl ? 10 : 13);
    case VKey::Backspace:
      return static_cast<uint8_t>(mods.ctrl ? 127 : 8);
    case VKey::Tab:
      return mods.ctrl ? std::nullopt : std::optional<uint8_t>(9);
    case VKey::Escape:
      return static_cast<uint8_t>(27);
    case VKey::Space:
      return static_cast<uint8_t>(32);
    default:
      return std::nullopt;
  }
}

CharKey keyOfCharacter(uint8_t ch) {
  if (qr::isAsciiLetter(ch))
    return {qr::letterKey(static_cast<char>(qr::asciiUpper(ch))), ch <= 'Z'};
  if (ch >= '0' && ch <= '9') return {qr::digitKey(static_cast<char>(ch)), false};
  switch (ch) {
    case ' ':
      return {VKey::Space, false};
    case 13:
      return {VKey::Enter, false};
    case 9:
      return {VKey::Tab, false};
    case 8:
      return {VKey::Backspace, false};
    case 27:
      return {VKey::Escape, false};
    default:
      return {VKey::Other, false};
  }
}

std::vector<KeyEvent> pressEvents(VKey key, Modifiers mods, std::optional<uint8_t> ch) {
  // A key pressed with Alt and without Ctrl is a system key; Ctrl+Alt is an
  // ordinary key-down, as the translation expects for Ctrl+Alt+letter.
  const auto down = mods.alt && !mods.ctrl ? KeyEvent::Type::SysDown : KeyEvent::Type::Down;
  std::vector<KeyEvent> events;
  events.push_back({down, key, 0, mods.ctrl, mods.alt, mods.shift});
  if (ch) events.push_back({KeyEvent::Type::Char, key, *ch, mods.ctrl, mods.alt, mods.shift});
  events.push_back({KeyEvent::Type::Up, key, 0, mods.ctrl, mods.alt, mods.shift});
  return events;
}

std::vector<KeyEvent> pressKey(VKey key, Modifiers mods) {
  return pressEvents(key, mods, keyCharacter(key, mods));
}

std::vector<KeyEvent> typeCharacter(uint8_t ch) {
  const CharKey k = keyOfCharacter(ch);
  return pressEvents(k.key, Modifiers{false, false, k.shift}, ch);
}

}  // namespace platform
