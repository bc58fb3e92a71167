// The codes that follow a 0 byte in the key queue for the special keys, as
// the key translation queues them: one list for every reader of keys.
#pragma once

#include <cstdint>

namespace qr::ext {

enum : uint8_t {
  kF1 = 59, kF2 = 60, kF3 = 61, kF4 = 62, kF5 = 63, kF6 = 64,
  kF7 = 65, kF8 = 66, kF9 = 67, kF10 = 68, kF11 = 69, kF12 = 70,
  kHome = 71, kUp = 72, kPageUp = 73, kLeft = 75, kRight = 77,
  kEnd = 79, kDown = 80, kPageDown = 81, kInsert = 82, kDelete = 83,
  kCtrlF1 = 94, kCtrlF4 = 97, kCtrlF5 = 98, kCtrlF8 = 101, kCtrlF9 = 102,
  kCtrlUp = 113, kCtrlDown = 114, kCtrlLeft = 115, kCtrlRight = 116,
  kCtrlEnd = 117, kCtrlPageDown = 118, kCtrlHome = 119, kCtrlPageUp = 132,
  kShiftInsert = 254, kCtrlInsert = 255,
};

}  // namespace qr::ext
