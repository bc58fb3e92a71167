#include "console/screen.h"

#include <algorithm>

namespace qr {

namespace {

constexpr uint8_t kSpace = 32;

// The cell index of a 1-based position, or -1 off the screen.
int cellIndex(int column, int row) {
  if (column < 1 || column > kColumns || row < 1 || row > kRows) return -1;
  return (row - 1) * kColumns + (column - 1);
}

}  // namespace

void Screen::reset(uint8_t attr, const std::array<uint8_t, 16>& colourMap,
                   bool coloursChangeable) {
  attr_ = attr;
  coloursChangeable_ = coloursChangeable;
  image_.chars.fill(kSpace);
  image_.attrs.fill(attr);
  for (size_t i = 0; i < 16; ++i)
    image_.colours[i] = colourMap[i] <= 15 ? kPalette[colourMap[i]] : Rgb{0, 0, 0};
  image_.cursorColumn = 0;
  image_.cursorRow = 0;
  image_.caretVisible = false;
}

void Screen::newLine() {
  ScreenImage& im = image_;
  ++im.newLines;
  if (++im.cursorRow < kRows) return;
  im.cursorRow = kRows - 1;
  ++im.scrolls;
  std::copy(im.chars.begin() + kColumns, im.chars.end(), im.chars.begin());
  std::copy(im.attrs.begin() + kColumns, im.attrs.end(), im.attrs.begin());
  std::fill(im.chars.end() - kColumns, im.chars.end(), kSpace);
  std::fill(im.attrs.end() - kColumns, im.attrs.end(), attr_);
}

int Screen::write(std::string_view bytes) {
  ScreenImage& im = image_;
  int bells = 0;
  const auto store = [&](uint8_t ch) {
    const size_t at = static_cast<size_t>(im.cursorRow * kColumns + im.cursorColumn);
    im.chars[at] = ch;
    im.attrs[at] = attr_;
  };
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    switch (b) {
      case 7:
        ++bells;
        break;
      case 8:
        if (im.cursorColumn > 0) {
          --im.cursorColumn;
          store(kSpace);
        }
        break;
      case 10:
        newLine();
        im.cursorColumn = 0;
        break;
      case 13:
        im.cursorColumn = 0;
        break;
      default:
        if (b < 32) break;  // tabs and other controls draw nothing
        if (im.cursorColumn >= kColumns) {
          im.cursorColumn = 0;
          newLine();
        }
        store(b);
        ++im.cursorColumn;
        break;
    }
  }
  return bells;
}

void Screen::moveCursor(int column, int row) {
  image_.cursorColumn = std::clamp(column - 1, 0, kColumns - 1);
  image_.cursorRow = std::clamp(row - 1, 0, kRows - 1);
}

void Screen::clear() {
  image_.chars.fill(kSpace);
  image_.attrs.fill(attr_);
  image_.cursorColumn = 0;
  image_.cursorRow = 0;
}

void Screen::clearToLineEnd() {
  const size_t rowStart = static_cast<size_t>(image_.cursorRow * kColumns);
  for (int c = image_.cursorColumn; c < kColumns; ++c) {
    image_.chars[rowStart + c] = kSpace;
    image_.attrs[rowStart + c] = attr_;
  }
}

void Screen::setForeground(uint8_t colour) {
  if (coloursChangeable_) attr_ = static_cast<uint8_t>((attr_ & 0xF0) | (colour & 0x0F));
}

void Screen::setBackground(uint8_t colour) {
  if (coloursChangeable_) attr_ = static_cast<uint8_t>((attr_ & 0x0F) | ((colour * 16) & 0xFF));
}

uint8_t Screen::charAt(int column, int row) const {
  const int at = cellIndex(column, row);
  return at < 0 ? kSpace : image_.chars[static_cast<size_t>(at)];
}

uint8_t Screen::attrAt(int column, int row) const {
  const int at = cellIndex(column, row);
  return at < 0 ? 0 : image_.attrs[static_cast<size_t>(at)];
}

void Screen::putCell(int column, int row, uint8_t ch, uint8_t attr) {
  const int at = cellIndex(column, row);
  if (at < 0) return;
  image_.chars[static_cast<size_t>(at)] = ch;
  image_.attrs[static_cast<size_t>(at)] = attr;
}

bool KeyQueue::push(std::string_view bytes) {
  if (bytes.size() > kCapacity - count_) return false;
  for (const char c : bytes) bytes_[count_++] = static_cast<uint8_t>(c);
  ++arrivals_;
  return true;
}

uint8_t KeyQueue::pop() {
  if (count_ == 0) return 0;
  const uint8_t b = bytes_[0];
  std::copy(bytes_.begin() + 1, bytes_.begin() + static_cast<long>(count_), bytes_.begin());
  --count_;
  return b;
}

}  // namespace qr
