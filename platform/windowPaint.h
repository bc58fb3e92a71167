// Painting the console's planes into the window's picture, as functions over
// a plain buffer of 32-bit pixels (0x00RRGGBB): the layout of the 80x25 grid
// in a window of some size, the cells drawn from glyph coverage masks, the
// caret, the picture moved up for slow scrolling, and the magnifier's source
// rectangle. Nothing here touches SDL, so tests and the bench paint without
// a display.
//
// The grid sits in the middle of the window; the margins are black. A cell's
// character is a coverage mask of cellWidth x cellHeight bytes (0 background,
// 255 foreground) that the glyph source makes from the font.
#pragma once

#include <cstdint>
#include <vector>

#include "console/frontend.h"

namespace platform {

struct PixelRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool operator==(const PixelRect&) const = default;
};

struct PixelView {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;  // in pixels
};

// A picture of its own, for tests and the bench.
struct Picture {
  Picture(int w, int h)
      : data(static_cast<size_t>(w) * static_cast<size_t>(h)), width(w), height(h) {}
  [[nodiscard]] PixelView view() { return {data.data(), width, height, width}; }
  [[nodiscard]] uint32_t at(int x, int y) const { return data[static_cast<size_t>(y * width + x)]; }
  std::vector<uint32_t> data;
  int width;
  int height;
};

[[nodiscard]] constexpr uint32_t pixelOf(qr::Rgb c) {
  return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

// Rounding of the font-size rule: halves go to the even neighbour.
[[nodiscard]] int roundHalfEven(double value);

struct CellSize {
  int width = 0;
  int height = 0;
  bool operator==(const CellSize&) const = default;
};
// The character size when the font keys leave it open: 13 x 28 pixels on a
// work area of 1024 x 734, in proportion on others.
[[nodiscard]] CellSize defaultCellSize(int workWidth, int workHeight);

struct GridLayout {
  int cellWidth = 1;
  int cellHeight = 1;
  int originX = 0;
  int originY = 0;
  int caretTop = 0;  // the caret's top inside a cell (the font's ascent)

  [[nodiscard]] PixelRect cell(int column, int row) const;
  // Columns [first, end) of a row.
  [[nodiscard]] PixelRect span(int row, int first, int end) const;
  [[nodiscard]] PixelRect grid() const;
};

// The largest cells that fit a window of this size, the grid centred.
[[nodiscard]] GridLayout layoutForWindow(int width, int height);

// The coverage mask of a character, cellWidth x cellHeight bytes.
class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  [[nodiscard]] virtual const uint8_t* mask(uint8_t ch) = 0;
};

// Draws columns [first, end) of a row from the planes.
void paintSpan(PixelView picture, const GridLayout& layout, const qr::ScreenImage& screen, int row,
               int first, int end, GlyphSource& glyphs);
void paintAll(PixelView picture, const GridLayout& layout, const qr::ScreenImage& screen,
              GlyphSource& glyphs);
// Inverts the caret's pixels: one cell wide, 2 pixels high, at the ascent.
// Nothing is drawn for a column or row off the grid.
[[nodiscard]] bool invertCaret(PixelView picture, const GridLayout& layout, int column, int row);

// How many lines the screen scrolled from last to now: the shift that makes
// more rows of now equal to rows of last than staying put does; 0 for none.
[[nodiscard]] int scrolledLines(const qr::ScreenImage& last, const qr::ScreenImage& now);
// The planes of last moved up by lines; the freed rows at the bottom are
// blank, and the caller repaints them whatever they hold.
[[nodiscard]] qr::ScreenImage shiftedUp(const qr::ScreenImage& last, int lines);
// Moves the grid's pixels up by lines rows of cells.
void movePictureUp(PixelView picture, const GridLayout& layout, int lines);

// The part of a width x height picture that the magnifier stretches over the
// whole window for the mouse at (x, y): it starts at (x - x div zoom,
// y - y div zoom), clamped at 0, and is (width div zoom) x (height div zoom),
// so the point under the mouse stays where it is. A zoom below 1 counts as 1.
[[nodiscard]] PixelRect zoomSource(int x, int y, int zoom, int width, int height);

}  // namespace platform
