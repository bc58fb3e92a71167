// The console's screen as a value: the two planes, the palette, the cursor
// and the text attribute, with the writing rules of the console. Nothing
// here draws, beeps or waits; the console hands image() to its front end
// when it differs from the picture drawn last. Two screens are equal when
// everything a front end would draw, and the text attribute, are equal.
//
// Positions are 1-based (column 1..80, row 1..25); the image's planes are
// row-major, cell (c, r) at r * 80 + c, 0-based. Text is Windows-1252.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "console/frontend.h"

namespace qr {

// The fixed palette (before the colour map).
inline constexpr std::array<Rgb, 16> kPalette = {{
    {0, 0, 0},
    {0, 0, 255},
    {0, 255, 0},
    {0, 255, 255},
    {255, 0, 0},
    {142, 0, 142},
    {68, 34, 34},
    {192, 192, 192},
    {128, 128, 128},
    {128, 128, 255},
    {128, 255, 128},
    {128, 255, 255},
    {255, 128, 128},
    {255, 128, 255},
    {255, 255, 0},
    {255, 255, 255},
}};

class Screen {
 public:
  // A blank screen in attr, the palette through the colour map (entries
  // past 15 are black), the cursor home and the caret hidden. With fixed
  // colours the foreground and background setters do nothing.
  void reset(uint8_t attr, const std::array<uint8_t, 16>& colourMap, bool coloursChangeable);

  // Writes bytes at the cursor: BS erases the cell before, LF goes to the
  // next row (scrolling at the bottom), CR to column 1, other controls draw
  // nothing; the 81st character of a row wraps. Gives the number of BELs,
  // which the caller sounds.
  [[nodiscard]] int write(std::string_view bytes);
  void moveCursor(int column, int row);  // clamped to the screen
  [[nodiscard]] int cursorColumn() const { return image_.cursorColumn + 1; }  // may be 81
  [[nodiscard]] int cursorRow() const { return image_.cursorRow + 1; }
  void clear();            // in the text attribute, cursor home
  void clearToLineEnd();   // from the cursor, in the text attribute
  void setForeground(uint8_t colour);  // low nibble
  void setBackground(uint8_t colour);  // colour * 16, low byte
  [[nodiscard]] uint8_t textAttr() const { return attr_; }
  void setTextAttr(uint8_t attr) { attr_ = attr; }  // restores a saved one
  // Off the screen a cell reads as a blank with attribute 0, and a store
  // there is ignored.
  [[nodiscard]] uint8_t charAt(int column, int row) const;
  [[nodiscard]] uint8_t attrAt(int column, int row) const;
  void putCell(int column, int row, uint8_t ch, uint8_t attr);
  void showCaret(bool on) { image_.caretVisible = on; }
  [[nodiscard]] bool caretVisible() const { return image_.caretVisible; }

  [[nodiscard]] const ScreenImage& image() const { return image_; }
  bool operator==(const Screen&) const = default;

 private:
  void newLine();
  ScreenImage image_;
  uint8_t attr_ = 15;
  bool coloursChangeable_ = true;
};

// The console's key queue: 64 bytes, a key of two bytes (0 and a code) is
// queued whole or not at all.
class KeyQueue {
 public:
  static constexpr size_t kCapacity = 64;
  [[nodiscard]] bool push(std::string_view bytes);  // false, and nothing queued, if no room
  [[nodiscard]] uint8_t pop();                      // 0 when empty
  [[nodiscard]] size_t size() const { return count_; }
  [[nodiscard]] bool empty() const { return count_ == 0; }
  void clear() { count_ = 0; }
  // Keys queued since the start (a count that only grows): a reader that
  // left keys in the queue tells new ones from those by it.
  [[nodiscard]] uint64_t arrivals() const { return arrivals_; }

 private:
  std::array<uint8_t, kCapacity> bytes_{};
  size_t count_ = 0;
  uint64_t arrivals_ = 0;
};

}  // namespace qr
