// The bytes of the key queue, named: the ordinary keys that are control
// codes (qr::key) and the codes that follow a 0 byte for the special keys
// (qr::ext), as the key translation queues them. One list for every reader
// of keys; nobody writes a bare key number.
#pragma once

#include <cstdint>

namespace qr::key {

enum : uint8_t {
  kCtrlC = 3,  // copy the selection
  kCtrlD = 4,  // blank from the position to the end
  kBackspace = 8,
  kTab = 9,
  kLineFeed = 10,  // Ctrl+Enter
  kCtrlK = 11,     // say the position
  kEnter = 13,
  kCtrlS = 19,  // keep from the position on
  kCtrlU = 21,  // undo: back to the text on entry
  kCtrlV = 22,  // paste
  kCtrlY = 25,  // blank the whole field
  kEsc = 27,
  kCtrlBackslash = 28,  // dial the text as tones
  kSpace = 32,
  kCtrlBackspace = 127,  // delete the word before the position
  kThorn = 222,          // "Þ": say the whole field
  kSharpS = 223,         // "ß": does nothing in the editor
};

}  // namespace qr::key

namespace qr::ext {

enum : uint8_t {
  kAltQ = 16,
  kAltW = 17,
  kAltE = 18,
  kAltR = 19,
  kF1 = 59,
  kF2 = 60,
  kF3 = 61,
  kF4 = 62,
  kF5 = 63,
  kF6 = 64,
  kF7 = 65,
  kF8 = 66,
  kF9 = 67,
  kF10 = 68,
  kF11 = 69,
  kF12 = 70,
  kHome = 71,
  kUp = 72,
  kPageUp = 73,
  kLeft = 75,
  kRight = 77,
  kEnd = 79,
  kDown = 80,
  kPageDown = 81,
  kInsert = 82,
  kDelete = 83,
  kCtrlF1 = 94,
  kCtrlF4 = 97,
  kCtrlF5 = 98,
  kCtrlF8 = 101,
  kCtrlF9 = 102,
  kCtrlUp = 113,
  kCtrlDown = 114,
  kCtrlLeft = 115,
  kCtrlRight = 116,
  kCtrlEnd = 117,
  kCtrlPageDown = 118,
  kCtrlHome = 119,
  // Alt+1 .. Alt+9 are 120 .. 128, Alt+0 is 129.
  kAlt1 = 120,
  kAlt0 = 129,
  kCtrlPageUp = 132,
  kShiftInsert = 254,
  kCtrlInsert = 255,
};

}  // namespace qr::ext
