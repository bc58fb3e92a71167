// The console's view of its platform: a front end that produces key events
// and shows the screen planes, and the audio device that plays sound.
//
// Front ends live in platform/ (window, terminal, script); the console core
// never includes a platform header. Key events carry our own virtual-key
// numbers (VKey) and the Ctrl/Alt/Shift states at the moment of the event.
// Text crossing this interface is Windows-1252; front ends convert at their
// own edge.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qr {

inline constexpr int kColumns = 80;
inline constexpr int kRows = 25;

// Virtual keys of this program (not Windows numbers).
enum class VKey : uint16_t {
  None = 0,
  Backspace,
  Tab,
  Enter,
  Escape,
  Space,
  PageUp,
  PageDown,
  End,
  Home,
  Left,
  Up,
  Right,
  Down,
  Insert,
  Delete,
  Break,
  F1,
  F2,
  F3,
  F4,
  F5,
  F6,
  F7,
  F8,
  F9,
  F10,
  F11,
  F12,
  Shift,
  Ctrl,
  Alt,
  // Letters and digits: LetterA + n, Digit0 + n.
  LetterA = 0x100,
  Digit0 = 0x200,
  Other = 0x300,  // a key with no virtual number of its own (punctuation)
};

[[nodiscard]] constexpr VKey letterKey(char upper) {
  return static_cast<VKey>(static_cast<uint16_t>(VKey::LetterA) + (upper - 'A'));
}
[[nodiscard]] constexpr VKey digitKey(char digit) {
  return static_cast<VKey>(static_cast<uint16_t>(VKey::Digit0) + (digit - '0'));
}

struct KeyEvent {
  enum class Type : uint8_t { Down, SysDown, Up, Char };
  Type type = Type::Char;
  VKey key = VKey::None;
  uint8_t ch = 0;  // Windows-1252 byte, for Char events
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
  bool operator==(const KeyEvent&) const = default;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The 80x25 screen as the front end draws it. colours[] is the palette after
// the colour map: attribute nibble n is drawn in colours[n].
struct ScreenImage {
  std::array<uint8_t, kColumns * kRows> chars{};
  std::array<uint8_t, kColumns * kRows> attrs{};
  std::array<Rgb, 16> colours{};
  int cursorColumn = 0;  // 0-based; may be 80 (one past the right edge)
  int cursorRow = 0;
  bool caretVisible = false;
  // Scrolls of the screen and new lines since the console opened, so that a
  // front end can tell text that moved up or a line that ended from a
  // redraw.
  uint32_t scrolls = 0;
  uint32_t newLines = 0;
  bool operator==(const ScreenImage&) const = default;
};

class KeySink {
 public:
  virtual ~KeySink() = default;
  virtual void keyEvent(const KeyEvent& event) = 0;
};

class ConsoleFrontend {
 public:
  virtual ~ConsoleFrontend() = default;

  // Waits up to maxWaitMs for input and hands every event that arrived to
  // the sink. askingForKey is true when the program is testing for or
  // reading a key (the script front end offers its keys only then).
  virtual void poll(int maxWaitMs, bool askingForKey, KeySink& sink) = 0;
  // The planes changed: draw what differs from the last picture.
  virtual void present(const ScreenImage& screen) = 0;
  virtual void setCaption(std::string_view text) = 0;
  virtual void clipboardPut(std::string_view text) = 0;
  [[nodiscard]] virtual std::string clipboardGet() = 0;
  virtual void beep() = 0;
  // A descriptor that becomes readable when input arrives, or -1; lets a
  // caller wait on its sockets and the keyboard in one poll().
  [[nodiscard]] virtual int inputDescriptor() const { return -1; }
  // Something the user must be told about the front end (a terminal too
  // small for the console), handed over once; the program writes and
  // speaks it. Windows-1252; empty when there is nothing.
  [[nodiscard]] virtual std::string takeNotice() { return {}; }
  // The program is waiting for sound to end (speech, a click, a tone):
  // a key now would cut it short. The script front end holds its keys
  // meanwhile, as a person waits for the program to finish talking.
  virtual void soundPlaying(bool /*on*/) {}
  // Ends the run: restores the terminal, writes the dumps, and throws
  // qr::ProgramEnd{code} (base/programEnd.h), which unwinds to main.
  [[noreturn]] virtual void exitProgram(int code) = 0;
};

}  // namespace qr
