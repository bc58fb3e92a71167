// Cells, caret, scrolling and magnifier arithmetic of the window's picture.
#include "platform/windowPaint.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

using qr::kColumns;
using qr::kRows;

namespace {

// The work area the font-size rule was made for, and the size it gives there.
constexpr double kRuleWidth = 1024;
constexpr double kRuleHeight = 734;
constexpr double kRuleCellWidth = 13;
constexpr double kRuleCellHeight = 28;
constexpr int kCaretHeight = 2;

bool sameRow(const qr::ScreenImage& a, int rowA, const qr::ScreenImage& b, int rowB) {
  const auto at = [](int row) { return static_cast<long>(row) * kColumns; };
  return std::equal(a.chars.begin() + at(rowA), a.chars.begin() + at(rowA + 1),
                    b.chars.begin() + at(rowB)) &&
         std::equal(a.attrs.begin() + at(rowA), a.attrs.begin() + at(rowA + 1),
                    b.attrs.begin() + at(rowB));
}

}  // namespace

int roundHalfEven(double value) {
  return static_cast<int>(std::nearbyint(value));  // the default rounding mode is to even
}

CellSize defaultCellSize(int workWidth, int workHeight) {
  return {roundHalfEven(workWidth / kRuleWidth * kRuleCellWidth),
          roundHalfEven(workHeight / kRuleHeight * kRuleCellHeight)};
}

PixelRect GridLayout::cell(int column, int row) const {
  return {originX + column * cellWidth, originY + row * cellHeight, cellWidth, cellHeight};
}

PixelRect GridLayout::span(int row, int first, int end) const {
  return {originX + first * cellWidth, originY + row * cellHeight, (end - first) * cellWidth,
          cellHeight};
}

PixelRect GridLayout::grid() const {
  return {originX, originY, kColumns * cellWidth, kRows * cellHeight};
}

GridLayout layoutForWindow(int width, int height) {
  GridLayout l;
  l.cellWidth = std::max(1, width / kColumns);
  l.cellHeight = std::max(1, height / kRows);
  l.originX = std::max(0, (width - kColumns * l.cellWidth) / 2);
  l.originY = std::max(0, (height - kRows * l.cellHeight) / 2);
  l.caretTop = std::max(0, l.cellHeight - kCaretHeight);
  return l;
}

void paintSpan(PixelView picture, const GridLayout& layout, const qr::ScreenImage& screen, int row,
               int first, int end, GlyphSource& glyphs) {
  first = std::clamp(first, 0, kColumns);
  end = std::clamp(end, first, kColumns);
  if (row < 0 || row >= kRows) return;
  const int cw = layout.cellWidth;
  const int ch = layout.cellHeight;
  for (int c = first; c < end; ++c) {
    const size_t i = static_cast<size_t>(row * kColumns + c);
    const uint8_t attr = screen.attrs[i];
    const uint32_t fg = pixelOf(screen.colours[attr & 0x0f]);
    const uint32_t bg = pixelOf(screen.colours[attr >> 4]);
    const uint8_t* mask = glyphs.mask(screen.chars[i]);
    const PixelRect r = layout.cell(c, row);
    if (r.x + cw > picture.width || r.y + ch > picture.height) continue;
    // Blending per channel: bg + (fg - bg) * coverage / 255.
    const int dr = static_cast<int>((fg >> 16) & 0xff) - static_cast<int>((bg >> 16) & 0xff);
    const int dg = static_cast<int>((fg >> 8) & 0xff) - static_cast<int>((bg >> 8) & 0xff);
    const int db = static_cast<int>(fg & 0xff) - static_cast<int>(bg & 0xff);
    const int br = (bg >> 16) & 0xff, bgg = (bg >> 8) & 0xff, bb = bg & 0xff;
    for (int y = 0; y < ch; ++y) {
      uint32_t* out = picture.pixels + static_cast<long>(r.y + y) * picture.pitch + r.x;
      const uint8_t* m = mask + static_cast<long>(y) * cw;
      for (int x = 0; x < cw; ++x) {
        const int a = m[x];
        if (a == 0) {
          out[x] = bg;
        } else if (a == 255) {
          out[x] = fg;
        } else {
          const uint32_t red = static_cast<uint32_t>(br + (dr * a + 127) / 255);
          const uint32_t green = static_cast<uint32_t>(bgg + (dg * a + 127) / 255);
          const uint32_t blue = static_cast<uint32_t>(bb + (db * a + 127) / 255);
          out[x] = (red << 16) | (green << 8) | blue;
        }
      }
    }
  }
}

void paintAll(PixelView picture, const GridLayout& layout, const qr::ScreenImage& screen,
              GlyphSource& glyphs) {
  for (int y = 0; y < picture.height; ++y)
    std::fill_n(picture.pixels + static_cast<long>(y) * picture.pitch, picture.width, 0u);
  for (int row = 0; row < kRows; ++row)
    paintSpan(picture, layout, screen, row, 0, kColumns, glyphs);
}

bool invertCaret(PixelView picture, const GridLayout& layout, int column, int row) {
  if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return false;
  const PixelRect r = layout.cell(column, row);
  const int top = r.y + std::min(layout.caretTop, layout.cellHeight - kCaretHeight);
  for (int y = std::max(top, r.y); y < top + kCaretHeight && y < picture.height; ++y)
    for (int x = r.x; x < r.x + r.w && x < picture.width; ++x)
      picture.pixels[static_cast<long>(y) * picture.pitch + x] ^= 0x00ffffffu;
  return true;
}

int scrolledLines(const qr::ScreenImage& last, const qr::ScreenImage& now) {
  int stay = 0;
  for (int r = 0; r < kRows; ++r) stay += sameRow(now, r, last, r) ? 1 : 0;
  int best = 0;
  int bestCount = stay;
  for (int k = 1; k < kRows; ++k) {
    int count = 0;
    for (int r = 0; r + k < kRows; ++r) count += sameRow(now, r, last, r + k) ? 1 : 0;
    if (count > bestCount) {
      best = k;
      bestCount = count;
    }
  }
  return best;
}

qr::ScreenImage shiftedUp(const qr::ScreenImage& last, int lines) {
  qr::ScreenImage s = last;
  lines = std::clamp(lines, 0, kRows);
  const long n = static_cast<long>(lines) * kColumns;
  std::copy(last.chars.begin() + n, last.chars.end(), s.chars.begin());
  std::copy(last.attrs.begin() + n, last.attrs.end(), s.attrs.begin());
  std::fill(s.chars.end() - n, s.chars.end(), uint8_t{' '});
  std::fill(s.attrs.end() - n, s.attrs.end(), uint8_t{0});
  return s;
}

void movePictureUp(PixelView picture, const GridLayout& layout, int lines) {
  const PixelRect g = layout.grid();
  const int shift = lines * layout.cellHeight;
  const int width = std::min(g.w, picture.width - g.x);
  if (width <= 0) return;
  for (int y = g.y; y + shift < g.y + g.h && y + shift < picture.height; ++y)
    std::memmove(picture.pixels + static_cast<long>(y) * picture.pitch + g.x,
                 picture.pixels + static_cast<long>(y + shift) * picture.pitch + g.x,
                 static_cast<size_t>(width) * sizeof(uint32_t));
}

PixelRect zoomSource(int x, int y, int zoom, int width, int height) {
  zoom = std::max(1, zoom);
  return {std::max(0, x - x / zoom), std::max(0, y - y / zoom), width / zoom, height / zoom};
}

}  // namespace platform
