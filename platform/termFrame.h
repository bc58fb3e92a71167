// Drawing the console's planes on a terminal, as pure functions: which runs
// of cells changed between two pictures, and the escape sequences that bring
// the terminal from the old picture to the new one. The terminal front end
// only writes what these return.
//
// Cells are drawn in the 24-bit colours of ScreenImage::colours, or in the
// nearest of the 16 ANSI colours when the terminal does not take 24-bit
// colour, and in the terminal's code set. A terminal smaller than the
// console shows a view of it that follows the cursor. When the console
// scrolled and nothing else moved, the terminal scrolls too, so only the
// new lines are sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/frontend.h"
#include "platform/terminalCodeSet.h"

namespace platform {

struct TerminalSize {
  int columns = qr::kColumns;
  int rows = qr::kRows;
  bool operator==(const TerminalSize&) const = default;
};

enum class ColourMode { TrueColour, Ansi16 };

// The part of the console that a small terminal shows: the console row and
// column drawn at the terminal's top left (0-based).
struct View {
  int top = 0;
  int left = 0;
  bool operator==(const View&) const = default;
};

// What the terminal shows: a picture of the console through a view.
struct Frame {
  qr::ScreenImage image;
  View view;
};

struct TerminalTraits {
  TerminalSize size;
  ColourMode mode = ColourMode::Ansi16;
  const CodeSet* codes = nullptr;  // UTF-8 when null
};

// Cells [column, column + length) of one console row, all with the same
// attribute.
struct Run {
  int row = 0;
  int column = 0;
  int length = 0;
  uint8_t attr = 0;
  bool operator==(const Run&) const = default;
};

// The view that keeps the cursor on the terminal, moving the old one as
// little as it can: rows one at a time, columns by half a width, so typing
// along a line does not redraw at every key.
[[nodiscard]] View followCursor(View old, const qr::ScreenImage& screen, TerminalSize size);

// The runs of cells that differ between last and now (every cell when last
// is null or the palette changed), cut to the part of the console in view.
[[nodiscard]] std::vector<Run> changedRuns(const qr::ScreenImage* last, const qr::ScreenImage& now,
                                           TerminalSize size, View view = {});

// The ANSI colour (0-7 normal, 8-15 bright) of the same hue as a colour:
// greys by their level, other colours by their strongest channels.
[[nodiscard]] int nearestAnsiColour(qr::Rgb colour);

// The bytes that bring the terminal from last (null: unknown) to now.
[[nodiscard]] std::string renderFrame(const Frame* last, const Frame& now,
                                      const TerminalTraits& traits);

// Moves the terminal cursor to the console cursor (kept inside the view).
[[nodiscard]] std::string placeCursor(const qr::ScreenImage& screen, TerminalSize size,
                                      View view = {});

// What the user is told once when the terminal is smaller than the console
// (Windows-1252; empty when it is large enough).
[[nodiscard]] std::string tooSmallNotice(TerminalSize size);

}  // namespace platform
