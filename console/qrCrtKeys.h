// qrCrt, key translation: turns the front end's key events into the bytes of
// the console's key queue, and runs the six-key Braille keyboard.
//
// Plain characters become one byte; special keys become an extended key, 0
// followed by a key code. Event types follow the window system this program
// grew up on:
//  - Char: a character the keyboard produced (Windows-1252). Ctrl with a
//    letter may come either as the control code (1-26) or as the letter with
//    ctrl set; both give the control code. A Char with Alt and without Ctrl
//    is a system character and is ignored.
//  - Down: a key went down. A Down with Alt held and Ctrl not held, or of F10
//    without Ctrl, is a system key-down and is handled as SysDown.
//  - SysDown: a system key-down (Alt+key, F10).
//  - Up: a key was released (chords complete here; front ends without key-up
//    events cannot offer Braille chords).
// The chord logic and the tone image are pure functions; KeyTranslator
// holds the state and talks to the console.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "console/frontend.h"

namespace qr {

class AudioOutput;
class Console;
class EventLog;

// An extended key's code (the byte queued after 0) for a special key, or
// nullopt when the key is not in the table.
[[nodiscard]] std::optional<uint8_t> specialKeyCode(VKey key, bool ctrl, bool shift);
// The code queued after 0 for Alt with a letter or digit.
[[nodiscard]] std::optional<uint8_t> altKeyCode(VKey key);

// The Braille table: the Windows-1252 byte of a 6-dot pattern (bit 0 dot 1
// ... bit 5 dot 6).
[[nodiscard]] uint8_t brailleChar(uint8_t dots);

inline constexpr uint8_t kCapitalSign = 123;  // "{", dots 4-6
inline constexpr uint8_t kNumberSign = 35;    // "#", dots 3-4-5-6
inline constexpr uint8_t kNoCharacter = 254;
inline constexpr uint8_t kSpaceBit = 0x40;

struct BrailleState {
  int mode = 0;       // 0 off, 1 six-key, 2 six-key with capital and number signs
  uint8_t chord = 0;  // bits 0-5 dots 1-6, bit 6 space
  uint8_t held = 0;   // chord keys still down, same bits
  bool capitalNext = false;
  bool capitalsLocked = false;
  bool numberMode = false;
  bool operator==(const BrailleState&) const = default;
};

// The chord bit of a key in Braille mode (F D S J K L and the space bar), or 0.
[[nodiscard]] uint8_t chordBit(VKey key);

// Turns a completed chord into a byte (kNoCharacter when it yields none),
// updating the sign flags; clears the chord.
[[nodiscard]] uint8_t completeChord(BrailleState& state);

// The looping tone image: a 44-byte-header 8-bit mono 11,025 Hz WAV of a
// square wave of f Hz. Empty for f = 0.
[[nodiscard]] std::vector<uint8_t> toneImage(uint16_t hz);

class KeyTranslator {
 public:
  KeyTranslator(Console& console, AudioOutput& audio, EventLog& log);

  // Routes one event to the handler of its (normalised) type.
  void handle(const KeyEvent& event);

  void charMessage(const KeyEvent& event);
  bool keyDown(const KeyEvent& event);     // always true
  bool sysKeyDown(const KeyEvent& event);  // false: left to the platform
  bool keyUp(const KeyEvent& event);       // false: left to the platform

  void setBrailleMode(int mode);
  [[nodiscard]] int brailleMode() const { return braille_.mode; }
  [[nodiscard]] const BrailleState& braille() const { return braille_; }

  void toneStart(uint16_t hz);
  void toneStop();

  // The modifier states as of the latest key event (a Shift, Ctrl or Alt
  // key's own down and up events move them too).
  [[nodiscard]] bool shiftHeld() const { return shift_; }
  [[nodiscard]] bool altHeld() const { return alt_; }

  // Ctrl+Break ends the program while this is on (from the start until the
  // program ends normally); system keys other than Alt+Left/Right are left
  // to the platform while it is on.
  void setBreakChecking(bool on) { breakChecking_ = on; }

 private:
  Console& console_;
  AudioOutput& audio_;
  EventLog& log_;
  BrailleState braille_;
  bool breakChecking_ = true;
  bool toneOn_ = false;
  bool shift_ = false;
  bool ctrl_ = false;
  bool alt_ = false;
  std::vector<uint8_t> toneImage_;
};

}  // namespace qr
