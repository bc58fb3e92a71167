// Test helper: key events written as short text, one press per word:
// "Ctrl+Up", "A:97" (key A typing byte 97), "sys Alt+A" (a system key-down),
// so expected values in tables read like the keys a person pressed.
#pragma once

#include <string>
#include <vector>

#include "console/frontend.h"

namespace platform_test {

inline std::string keyName(qr::VKey key) {
  static const char* const kNames[] = {
      "None", "Backspace", "Tab",  "Enter", "Esc", "Space", "PgUp", "PgDn",  "End",  "Home", "Left",
      "Up",   "Right",     "Down", "Ins",   "Del", "Break", "F1",   "F2",    "F3",   "F4",   "F5",
      "F6",   "F7",        "F8",   "F9",    "F10", "F11",   "F12",  "Shift", "Ctrl", "Alt"};
  const auto v = static_cast<uint16_t>(key);
  if (v >= 0x100 && v < 0x100 + 26) return std::string(1, static_cast<char>('A' + v - 0x100));
  if (v >= 0x200 && v < 0x200 + 10) return std::string(1, static_cast<char>('0' + v - 0x200));
  if (key == qr::VKey::Other) return "Other";
  if (v < sizeof kNames / sizeof kNames[0]) return kNames[v];
  return "?";
}

// Presses as words; events that do not form Down [Char] Up are shown raw.
inline std::string describe(const std::vector<qr::KeyEvent>& events) {
  using T = qr::KeyEvent::Type;
  std::string out;
  auto word = [](const qr::KeyEvent& e) {
    std::string w;
    if (e.type == T::SysDown) w += "sys ";
    if (e.ctrl) w += "Ctrl+";
    if (e.alt) w += "Alt+";
    if (e.shift) w += "Shift+";
    return w + keyName(e.key);
  };
  for (size_t i = 0; i < events.size();) {
    if (!out.empty()) out += ' ';
    const auto& e = events[i];
    if ((e.type == T::Down || e.type == T::SysDown) && i + 1 < events.size()) {
      std::string w = word(e);
      size_t j = i + 1;
      if (events[j].type == T::Char && events[j].key == e.key) {
        w += ":" + std::to_string(events[j].ch);
        ++j;
      }
      if (j < events.size() && events[j].type == T::Up && events[j].key == e.key) {
        out += w;
        i = j + 1;
        continue;
      }
    }
    const char* kinds[] = {"down", "sysdown", "up", "char"};
    out += std::string("[") + kinds[static_cast<int>(e.type)] + " " + word(e) + " " +
           std::to_string(e.ch) + "]";
    ++i;
  }
  return out;
}

}  // namespace platform_test
