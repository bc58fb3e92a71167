// Drawing the console's planes on a terminal, as pure functions: which runs
// of cells changed between two pictures, and the escape sequences that bring
// the terminal from the old picture to the new one. The terminal front end
// only writes what these return.
//
// Cells are drawn in the 24-bit colours of ScreenImage::colours, or in the
// nearest of the 16 ANSI colours when the terminal does not take 24-bit
// colour. Only the part that fits the terminal is drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/frontend.h"

namespace platform {

struct TerminalSize {
  int columns = qr::kColumns;
  int rows = qr::kRows;
  bool operator==(const TerminalSize&) const = default;
};

enum class ColourMode { TrueColour, Ansi16 };

// Cells [column, column + length) of one row, all with the same attribute.
struct Run {
  int row = 0;
  int column = 0;
  int length = 0;
  uint8_t attr = 0;
  bool operator==(const Run&) const = default;
};

// The runs of cells that differ between last and now (every cell when last
// is null or the palette changed), cut to the visible area.
[[nodiscard]] std::vector<Run> changedRuns(const qr::ScreenImage* last, const qr::ScreenImage& now,
                                           TerminalSize size);

// The ANSI colour (0-7 normal, 8-15 bright) of the same hue as a colour:
// greys by their level, other colours by their strongest channels.
[[nodiscard]] int nearestAnsiColour(qr::Rgb colour);

// The bytes that redraw the changed runs and place the cursor.
[[nodiscard]] std::string renderFrame(const qr::ScreenImage* last, const qr::ScreenImage& now,
                                      TerminalSize size, ColourMode mode);

// Moves the terminal cursor to the console cursor (kept inside the area).
[[nodiscard]] std::string placeCursor(const qr::ScreenImage& screen, TerminalSize size);

// The one-line notice drawn on the bottom row of a terminal that is smaller
// than the console (empty when it is large enough).
[[nodiscard]] std::string tooSmallNotice(TerminalSize size);

}  // namespace platform
