// Choice of the platform back ends at start-up: the console front end
// (window, terminal, linear or script, from QUIRAL_CONSOLE, the key
// "LINEAR" of section "VIDEO" and the display) and the audio output
// (QUIRAL_AUDIO: sdl, null or file:PATH).
#pragma once

#include <memory>
#include <string>

#include "base/eventlog.h"
#include "console/frontend.h"
#include "speech/audio.h"

namespace platform {

enum class FrontendKind { Window, Terminal, Linear, Script };

// QUIRAL_CONSOLE; else linear when "LINEAR" in section "VIDEO" of
// QUIRAL.INI begins with S; else window when a display is present,
// terminal otherwise.
[[nodiscard]] FrontendKind chooseFrontend();

// Makes the front end; on failure (for example terminal mode without a
// terminal) writes a clear message on standard error and returns nullptr.
// A key script that cannot be read or names an unknown key ends the run
// with code 2 (qr::ProgramEnd) after saying why. A window that cannot be
// opened (no display reachable, no font) falls back to the terminal after
// saying why.
// The event log is the one the program writes to; the script front end
// watches it and the terminal/window front ends ignore it.
[[nodiscard]] std::unique_ptr<qr::ConsoleFrontend> makeFrontend(FrontendKind kind,
                                                                qr::EventLog& log);

// QUIRAL_AUDIO, defaulting to null in script mode and sdl otherwise; a
// device that cannot be opened falls back to null with one line on stderr
// and, when notice is given, a line for the screen in it (Windows-1252).
[[nodiscard]] std::unique_ptr<qr::AudioOutput> makeAudio(FrontendKind kind,
                                                         std::string* notice = nullptr);

}  // namespace platform
