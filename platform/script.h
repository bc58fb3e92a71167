// The script console: no screen, keys from a key script, offered at the pace
// of a person who waits for the program to finish talking. A key (or a
// dump) is offered only when the program asks for a key, is not waiting
// for sound to end, nothing it shows or logs has changed for 30 ms (nor
// has sound ended) and it has asked at least twice since.
//
// The run ends with exit code 3 when the script is used up and the program
// has waited 3 s for a key, and with 124 when {until} waited 20 s in vain.
// The screen and attribute dumps are written on every way out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/eventlog.h"
#include "console/frontend.h"
#include "platform/keyScript.h"

namespace platform {

inline constexpr int kQuietMs = 30;
inline constexpr int kUsedUpMs = 3000;
inline constexpr int kUntilMs = 20000;

struct ScriptFiles {
  std::string screen;     // QUIRAL_SCREEN
  std::string attrs;      // QUIRAL_ATTRS
  std::string clipboard;  // QUIRAL_CLIPBOARD
};

// The clock, the sleep and the process end, replaceable by tests.
struct ScriptClock {
  std::function<int64_t()> nowMs;
  std::function<void(int)> sleepMs;
  // Told the exit code before the run ends (tests); may be empty.
  std::function<void(int)> exit;
};
[[nodiscard]] ScriptClock realClock();

// The 25 rows as UTF-8, trailing blanks removed, one line each.
[[nodiscard]] std::string screenDumpText(const qr::ScreenImage& screen);
// The 25 rows of 80 attribute bytes, two lower-case hex digits each.
[[nodiscard]] std::string attrsDumpText(const qr::ScreenImage& screen);
// Writes both dumps to $QUIRAL_SCREEN and $QUIRAL_ATTRS, when they are set:
// the window and terminal consoles call it as the program ends.
void writeScreenDumps(const qr::ScreenImage& screen);

[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeScriptFrontend(
    std::vector<ScriptStep> steps, qr::EventLog& log, ScriptFiles files,
    ScriptClock clock = realClock());

// Reads QUIRAL_KEYS and the other variables; on a script that cannot be read
// or understood writes the reason on stderr and ends the process (code 2).
[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeScriptFrontendFromEnvironment(
    qr::EventLog& log);

}  // namespace platform
