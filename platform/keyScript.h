// The key script language of the script console (UTF-8 text):
//   any character other than "{" types that character; "{{" types "{";
//   {Name} presses and releases a named key (Enter Esc Tab Backspace Space
//   Up Down Left Right Home End PgUp PgDn Ins Del F1..F12, a letter or a
//   digit), with modifiers joined by "+": {Ctrl+Up}, {Ctrl+Alt+F11};
//   {chord F D} presses keys together, then releases them;
//   {wait N} lets N ms pass; {until TEXT} holds the next key until TEXT is
//   on the screen; {dump PATH} writes a snapshot of the screen.
// Line breaks are ignored. Parsing is pure and reports the first bad name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/frontend.h"

namespace platform {

struct ScriptStep {
  enum class Kind { Key, Wait, Until, Dump };
  Kind kind = Kind::Key;
  std::vector<qr::KeyEvent> events;  // Key
  int milliseconds = 0;              // Wait
  std::string text;                  // Until: UTF-8 text; Dump: path
  bool operator==(const ScriptStep&) const = default;
};

struct ParsedScript {
  std::vector<ScriptStep> steps;
  std::string error;  // empty when the whole script was understood
};

[[nodiscard]] ParsedScript parseKeyScript(std::string_view utf8);

}  // namespace platform
