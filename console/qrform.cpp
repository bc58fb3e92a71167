// qrform: the spoken pop-up menu and ReserveLines.
//
// The box is a rectangle of the console whose cells are saved on opening and
// written back on closing. Items are drawn and scrolled inside the box only,
// so that the saved rectangle covers everything the menu ever drew, even
// when there are more items than rows. The current item runs from 0 to
// count + 1; 0 and count + 1 stand outside the items and sound the tone.
#include "console/qrform.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/keyCodes.h"
#include "console/qrCrt.h"
#include "console/qrwinSpoken.h"

namespace qr {

namespace {

constexpr uint8_t kWhite = 15;
constexpr uint8_t kYellow = 14;
constexpr uint8_t kEnter = 13;
constexpr uint8_t kEsc = 27;
constexpr int kPageStep = 10;
constexpr size_t kTableGrowth = 100;
constexpr size_t kKeyLength = 8;

using namespace qr::ext;  // the special keys' codes

[[nodiscard]] uint8_t upperCase(uint8_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c;
}

// Keys that search for an item by the first character of its text.
[[nodiscard]] bool isSearchKey(uint8_t c) {
  const uint8_t u = upperCase(c);
  return (u >= 'A' && u <= 'Z') || (c >= '0' && c <= '9') || c == '*' || c == '+' || c == '-' ||
         c == '/' || (c < kEsc && c != kEnter);
}

[[nodiscard]] uint8_t firstVisibleChar(std::string_view text) {
  const size_t i = text.find_first_not_of(' ');
  return i == std::string_view::npos ? 0 : static_cast<uint8_t>(text[i]);
}

// The moving keys among the extended ones; any other extended key stays.
enum class MenuMove : uint8_t { By, ToFirst, ToLast, Spell };
struct MenuBinding {
  uint8_t key;
  MenuMove move;
  int step;
};
constexpr std::array<MenuBinding, 9> kMenuKeys{{
    {kDown, MenuMove::By, 1},
    {kUp, MenuMove::By, -1},
    {kPageDown, MenuMove::By, kPageStep},
    {kPageUp, MenuMove::By, -kPageStep},
    {kHome, MenuMove::ToFirst, 0},
    {kCtrlPageUp, MenuMove::ToFirst, 0},
    {kEnd, MenuMove::ToLast, 0},
    {kCtrlPageDown, MenuMove::ToLast, 0},
    {kRight, MenuMove::Spell, 0},
}};

}  // namespace

MenuStep MenuKey(int current, std::string_view firstChars, uint8_t key, bool extended) {
  const int count = static_cast<int>(firstChars.size());
  MenuStep step{current, false, !extended && (key == kEnter || key == kEsc)};
  if (extended) {
    for (const MenuBinding& b : kMenuKeys) {
      if (b.key != key) continue;
      switch (b.move) {
        case MenuMove::By:
          step.current += b.step;
          break;
        case MenuMove::ToFirst:
          step.current = 1;
          break;
        case MenuMove::ToLast:
          step.current = count;
          break;
        case MenuMove::Spell:
          step.spell = true;
          break;
      }
      break;
    }
  } else if (!step.ends && isSearchKey(key)) {
    // The next item after the current one whose text begins with the key.
    step.current = count + 1;
    for (int n = std::max(current + 1, 1); n <= count; ++n)
      if (upperCase(static_cast<uint8_t>(firstChars[static_cast<size_t>(n - 1)])) ==
          upperCase(key)) {
        step.current = n;
        break;
      }
  }
  step.current = std::clamp(step.current, 0, count + 1);
  return step;
}

QrForm::QrForm(qr::Console& console, qr::Spoken& spoken, MenuAnnouncer announce)
    : console_(console), spoken_(spoken), announce_(std::move(announce)) {}

void QrForm::setAnnouncer(MenuAnnouncer announce) {
  announce_ = std::move(announce);
}

void QrForm::ReserveLines(int count) {
  if (count <= 0) return;
  const int column = console_.consoleCursorColumn();
  std::string breaks;
  for (int i = 0; i < count; ++i) breaks += "\r\n";
  console_.out(breaks);
  console_.consoleMoveCursor(column, console_.consoleCursorRow() - count);
}

void QrForm::OpenMenu(int left, int top, int width, uint8_t colour, int height) {
  savedColumn_ = console_.consoleCursorColumn();
  savedRow_ = console_.consoleCursorRow();
  savedAttr_ = console_.consoleTextAttr();

  width_ = std::clamp(width, 1, qr::kColumns);
  height_ = std::clamp(height, 1, qr::kRows);
  if (left + width_ > qr::kColumns) left = qr::kColumns - width_;
  if (top + height_ > qr::kRows) top = qr::kRows - height_ + 1;
  left_ = std::clamp(left, 1, qr::kColumns);
  top_ = std::clamp(top, 1, qr::kRows);
  colour_ = colour;
  console_.consoleSetBackground(colour_);
  right_ = std::min(left_ + width_ - 1, qr::kColumns);
  bottom_ = std::min(top_ + height_ - 1, qr::kRows);

  savedChars_.clear();
  savedAttrs_.clear();
  for (int r = top_; r <= bottom_; ++r)
    for (int c = left_; c <= right_; ++c) {
      savedChars_.push_back(console_.consoleCharAt(c, r));
      savedAttrs_.push_back(console_.consoleAttrAt(c, r));
    }
  items_.clear();
  firstShown_ = 1;
}

void QrForm::AddMenuItem(std::string_view key, std::string_view text) {
  if (items_.size() == items_.capacity()) items_.reserve(items_.size() + kTableGrowth);
  MenuItem item;
  item.number = static_cast<int>(items_.size()) + 1;
  item.key = std::string(key.substr(0, kKeyLength));
  item.text = std::string(text);
  items_.push_back(std::move(item));
}

int QrForm::rowOf(int number) const {
  return top_ + number - firstShown_;
}

void QrForm::drawItem(int number, uint8_t foreground) {
  if (number < 1 || number > static_cast<int>(items_.size())) return;
  const int row = rowOf(number);
  if (row < top_ || row > bottom_) return;
  std::string line = items_[static_cast<size_t>(number - 1)].text;
  line.resize(static_cast<size_t>(right_ - left_ + 1), ' ');
  console_.consoleSetBackground(colour_);
  console_.consoleSetForeground(foreground);
  console_.consoleMoveCursor(left_, row);
  console_.consoleWrite(line);
}

void QrForm::drawAll() {
  for (int n = firstShown_; n <= static_cast<int>(items_.size()) && rowOf(n) <= bottom_; ++n)
    drawItem(n, kWhite);
}

bool QrForm::scrollTo(int number) {
  const int first = firstShown_;
  if (rowOf(number) > bottom_) firstShown_ = number - (bottom_ - top_);
  if (number < firstShown_) firstShown_ = number;
  if (firstShown_ == first) return false;
  drawAll();
  return true;
}

void QrForm::speakItem(int number, bool spell) {
  const MenuItem& item = items_[static_cast<size_t>(number - 1)];
  if (spell) {
    spoken_.spellText(item.text);
    return;
  }
  bool recorded = false;
  if (announce_) {
    recorded = announce_(item.key);
  } else if (!item.key.empty() && spoken_.soundExists(item.key)) {
    spoken_.playSound(item.key);
    recorded = true;
  }
  if (!recorded) spoken_.speakText(item.text);
}

int QrForm::RunMenu() {
  const int count = static_cast<int>(items_.size());
  auto isItem = [count](int n) { return n >= 1 && n <= count; };
  std::string firstChars;
  for (const MenuItem& item : items_) firstChars += static_cast<char>(firstVisibleChar(item.text));
  drawAll();
  int current = 1;
  bool extended = false;
  uint8_t key = ' ';
  for (;;) {
    if (isItem(current)) {
      console_.consoleMoveCursor(left_, rowOf(current));
      drawItem(current, kWhite);
    }
    const MenuStep step = MenuKey(current, firstChars, key, extended);
    current = step.current;
    if (!isItem(current)) {
      spoken_.errorBeep();
    } else if (!step.ends) {
      scrollTo(current);
      drawItem(current, kYellow);
      console_.consoleMoveCursor(left_, rowOf(current));
      speakItem(current, step.spell);
    }
    if (step.ends) break;

    key = console_.consoleReadKey();
    spoken_.stopSpeech();
    extended = key == 0;
    if (extended) key = console_.consoleReadKey();
  }

  int result = 0;
  if (key != kEsc && isItem(current)) {
    drawItem(current, kYellow);
    console_.consoleSetForeground(kWhite);
    result = current;
  }
  items_.clear();
  restore();
  return result;
}

void QrForm::restore() {
  size_t i = 0;
  for (int r = top_; r <= bottom_; ++r)
    for (int c = left_; c <= right_; ++c, ++i)
      if (i < savedChars_.size()) console_.consolePutCell(c, r, savedChars_[i], savedAttrs_[i]);
  console_.consoleSetTextAttr(savedAttr_);
  console_.consoleMoveCursor(savedColumn_, savedRow_);
}

}  // namespace qr
