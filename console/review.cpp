// Screen review: reads the console's cells under a review cursor.
//
// Conventions: row 1..25, column 1..81 (81 is just after the last column);
// cells off the screen read as a blank with attribute 0. The short tone is
// Spoken::errorBeep, which also throws away keys typed ahead. A word read
// from the screen is a run of word characters; a lone other character is
// read with up to two more equal ones after it, and when its run is longer
// than three a click follows, so that a ruler of 30 hyphens does not sound
// like three.
#include "console/review.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "console/qrCrt.h"
#include "console/qrwinSpoken.h"

namespace qr {

namespace {

constexpr int kLastColumn = qr::kColumns;
constexpr int kLastRow = qr::kRows;

constexpr uint8_t kEsc = 27;
constexpr uint8_t kEnter = 13;
constexpr uint8_t kBackspace = 8;

using namespace qr::ext;  // the special keys' codes

// Accented letters that count as word characters (ISO 8859-1 capitals; the
// small letters are 32 higher).
constexpr std::array<uint8_t, 13> kAccented = {0xC0, 0xC1, 0xC2, 0xC3, 0xC7, 0xC9, 0xCA,
                                               0xCD, 0xD1, 0xD3, 0xD4, 0xD5, 0xDA};
constexpr std::string_view kSpelledConsonants = "BCDFGHJKLMNPQRSTVWXYZ";

[[nodiscard]] bool isAsciiLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

[[nodiscard]] bool isWordChar(uint8_t c) {
  if ((c >= '0' && c <= '9') || isAsciiLetter(c)) return true;
  const uint8_t capital = qr::upperCase(c);
  return std::find(kAccented.begin(), kAccented.end(), capital) != kAccented.end();
}

// Field delimiters: ! : ? | and the codes where the DOS code page draws
// frames. Screen text here is Windows-1252, where 192-223 are the accented
// capitals (Ç, Ã, É ...) and 181 and 186 are µ and º: those stay inside
// fields, or "AÇÃO" would read as three fields.
[[nodiscard]] bool isDelimiter(uint8_t c) {
  return c == '!' || c == ':' || c == '?' || c == '|' ||
         (c >= 176 && c <= 191 && c != 181 && c != 186);
}

[[nodiscard]] bool isSpelledWord(std::string_view word) {
  for (char ch : word) {
    const auto c = static_cast<uint8_t>(ch);
    if (!isAsciiLetter(c)) return false;
    const char upper = static_cast<char>(c >= 'a' ? c - 32 : c);
    if (kSpelledConsonants.find(upper) == std::string_view::npos) return false;
  }
  return !word.empty();
}

// 0 blank, 1 word character, 2 anything else: a word starts where the class
// changes to a non-blank one.
[[nodiscard]] int cellClass(uint8_t c) {
  return c == ' ' ? 0 : isWordChar(c) ? 1 : 2;
}

}  // namespace

Review::Review(qr::Console& console, qr::Spoken& spoken) : console_(console), spoken_(spoken) {}

void Review::setPosition(int row, int column) {
  row_ = row;
  column_ = column;
}

uint8_t Review::charAt(int column, int row) {
  if (column < 1 || column > kLastColumn || row < 1 || row > kLastRow) return ' ';
  return console_.consoleCharAt(column, row);
}

uint8_t Review::attrAt(int column, int row) {
  if (column < 1 || column > kLastColumn || row < 1 || row > kLastRow) return 0;
  return console_.consoleAttrAt(column, row);
}

int Review::afterLastNonBlank(int row) {
  for (int c = kLastColumn; c >= 1; --c)
    if (charAt(c, row) != ' ') return c + 1;
  return 1;
}

bool Review::isFieldCell(int column, int row, uint8_t attr) {
  return column >= 1 && column <= kLastColumn && attrAt(column, row) == attr &&
         !isDelimiter(charAt(column, row));
}

int Review::fieldStart() {
  const uint8_t attr = attrAt(column_, row_);
  int c = std::min(column_, kLastColumn);
  while (c > 1 && isFieldCell(c - 1, row_, attr)) --c;
  return c;
}

int Review::fieldEnd() {
  const uint8_t attr = attrAt(column_, row_);
  int c = std::max(column_, 1);
  while (c < kLastColumn && isFieldCell(c + 1, row_, attr)) ++c;
  return c;
}

void Review::shortTone() {
  spoken_.errorBeep();
}

uint8_t Review::readKeyCode(bool& extended) {
  uint8_t key = console_.consoleReadKey();
  spoken_.stopSpeech();
  extended = key == 0;
  if (extended) key = console_.consoleReadKey();
  return key;
}

std::string Review::screenText() {
  std::string text;
  text.reserve(static_cast<size_t>(kLastRow) * (kLastColumn + 2));
  for (int r = 1; r <= kLastRow; ++r) {
    for (int c = 1; c <= kLastColumn; ++c) text.push_back(static_cast<char>(charAt(c, r)));
    text += "\r\n";
  }
  return text;
}

void Review::ReadWordAt() {
  readWord(kLastColumn);
}

void Review::readWord(int limit) {
  while (column_ <= limit && charAt(column_, row_) == ' ') ++column_;
  if (column_ > limit) return;
  std::string word(1, static_cast<char>(charAt(column_, row_)));
  ++column_;
  while (column_ <= limit && isWordChar(charAt(column_, row_))) {
    word.push_back(static_cast<char>(charAt(column_, row_)));
    ++column_;
  }
  bool longRun = false;
  if (word.size() == 1 && !isWordChar(static_cast<uint8_t>(word[0]))) {
    while (column_ <= limit && charAt(column_, row_) == static_cast<uint8_t>(word[0])) {
      if (word.size() < 3)
        word.push_back(word[0]);
      else
        longRun = true;
      ++column_;
    }
  }
  console_.consoleMoveCursor(std::min(column_, kLastColumn), row_);
  if (isSpelledWord(word)) {
    spoken_.spellText(word);
  } else {
    spoken_.speakText(word);
    if (longRun && !console_.consoleKeyPending()) spoken_.clickSound();
  }
}

void Review::ReadRange(int startRow, int startColumn, int endRow, int endColumn,
                       bool keepPosition) {
  if (startRow == endRow && endColumn < startColumn) {
    shortTone();
    return;
  }
  const int savedRow = row_, savedColumn = column_;
  const bool wholeText = spoken_.settings().sapi;
  for (int r = std::max(startRow, 1); r <= std::min(endRow, kLastRow); ++r) {
    const int from = std::max(r == startRow ? startColumn : 1, 1);
    const int to = std::min(r == endRow ? endColumn : kLastColumn, kLastColumn);
    row_ = r;
    column_ = from;
    if (wholeText) {
      std::string stretch;
      for (int c = from; c <= to; ++c) stretch.push_back(static_cast<char>(charAt(c, r)));
      column_ = to + 1;
      if (stretch.find_first_not_of(' ') != std::string::npos) spoken_.speakText(stretch);
    } else {
      while (column_ <= to && !console_.consoleKeyPending()) readWord(to);
    }
    if (console_.consoleKeyPending()) break;
    spoken_.clickSound();
  }
  if (endColumn >= kLastColumn) column_ = afterLastNonBlank(row_);
  if (keepPosition) {
    row_ = savedRow;
    column_ = savedColumn;
  }
}

void Review::readRow() {
  ReadRange(row_, 1, row_, kLastColumn, true);
}

void Review::readCommand(uint8_t first) {
  bool extended = false;
  const uint8_t second = readKeyCode(extended);
  auto upper = [](uint8_t c) { return static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c); };
  uint8_t a = upper(first);
  const uint8_t b = extended ? 0 : upper(second);
  if (a == 'L') a = 'T';
  const bool validFirst = a == 'I' || a == 'T' || a == 'F';
  const bool validSecond = b == 'T' || b == 'L' || b == 'C';
  if (!validFirst || !validSecond) {
    shortTone();
    spoken_.clickSound();
    shortTone();
    return;
  }
  const int row = row_, column = column_;
  switch (a) {
    case 'I':
      if (b == 'T') ReadRange(1, 1, row, column - 1, false);
      if (b == 'L') ReadRange(row, 1, row, column - 1, true);
      if (b == 'C') ReadRange(row, fieldStart(), row, column, true);
      break;
    case 'T':
      if (b == 'T') ReadRange(1, 1, kLastRow, kLastColumn, false);
      if (b == 'L') ReadRange(row, 1, row, kLastColumn, true);
      if (b == 'C') ReadRange(row, fieldStart(), row, fieldEnd(), true);
      break;
    default:  // 'F'
      if (b == 'T') ReadRange(row, column, kLastRow, kLastColumn, false);
      if (b == 'L') ReadRange(row, column, row, kLastColumn, true);
      if (b == 'C') ReadRange(row, column, row, fieldEnd(), true);
      break;
  }
}

void Review::findText(bool ask) {
  if (ask) {
    spoken_.speakText("Qual texto");
    std::string typed;
    for (;;) {
      bool extended = false;
      const uint8_t key = readKeyCode(extended);
      if (extended) continue;
      if (key == kEsc) return;
      if (key == kEnter) break;
      if (key == kBackspace) {
        spoken_.playSound("_DEL");
        if (!typed.empty()) {
          spoken_.speakChar(static_cast<uint8_t>(typed.back()));
          typed.pop_back();
        }
        continue;
      }
      typed.push_back(static_cast<char>(key));
      spoken_.speakChar(key);
    }
    search_ = typed;
  }
  if (!search_.empty()) {
    for (int r = std::max(row_, 1); r <= kLastRow; ++r) {
      std::string line;
      for (int c = 1; c <= kLastColumn; ++c) line.push_back(static_cast<char>(charAt(c, r)));
      if (r == row_) std::fill_n(line.begin(), std::clamp(column_, 0, kLastColumn), ' ');
      const size_t found = line.find(search_);
      if (found != std::string::npos) {
        row_ = r;
        column_ = static_cast<int>(found) + 1;
        spoken_.clickSound();
        return;
      }
    }
  }
  shortTone();
  shortTone();
}

void Review::goToPosition() {
  spoken_.speakText("Entre linha e coluna");
  int digits[4] = {};
  for (int& d : digits) {
    bool extended = false;
    const uint8_t key = readKeyCode(extended);
    if (!extended) spoken_.speakChar(key);
    if (extended || key < '0' || key > '9') {
      shortTone();
      shortTone();
      return;
    }
    d = key - '0';
  }
  row_ = digits[0] * 10 + digits[1];
  column_ = digits[2] * 10 + digits[3];
}

void Review::wordLeft() {
  for (int c = std::min(column_, kLastColumn + 1) - 1; c >= 1; --c) {
    const int cls = cellClass(charAt(c, row_));
    if (cls != 0 && (c == 1 || cellClass(charAt(c - 1, row_)) != cls)) {
      column_ = c;
      spoken_.clickSound();
      return;
    }
  }
  column_ = 1;
  shortTone();
}

void Review::wordRight() {
  for (int c = std::max(column_, 0) + 1; c <= kLastColumn; ++c) {
    const int cls = cellClass(charAt(c, row_));
    if (cls != 0 && cellClass(charAt(c - 1, row_)) != cls) {
      column_ = c;
      spoken_.clickSound();
      return;
    }
  }
  shortTone();
  column_ = afterLastNonBlank(row_);
}

bool Review::correctPosition() {
  bool corrected = false;
  if (column_ < 1) {
    column_ = 1;
    corrected = true;
  } else if (column_ > kLastColumn + 1) {
    column_ = kLastColumn;
    corrected = true;
  }
  if (row_ < 1) {
    row_ = 1;
    corrected = true;
  } else if (row_ > kLastRow) {
    row_ = kLastRow;
    corrected = true;
  }
  if (corrected) shortTone();
  return corrected;
}

void Review::ReviewScreen() {
  const int entryColumn = console_.consoleCursorColumn();
  const int entryRow = console_.consoleCursorRow();
  row_ = entryRow;
  column_ = entryColumn;
  shortTone();
  for (;;) {
    console_.consoleMoveCursor(column_, row_);
    bool extended = false;
    const uint8_t key = readKeyCode(extended);
    if (!extended && key == kEsc) break;
    if (extended) {
      extendedKey(key);
    } else {
      ordinaryKey(key);
    }
    (void)correctPosition();
  }
  shortTone();
  shortTone();
  console_.consoleMoveCursor(entryColumn, entryRow);
}

void Review::ordinaryKey(uint8_t key) {
  switch (key) {
    case kBackspace:
      leftArrow();
      return;
    case 9:
      if (console_.shiftHeld()) {
        column_ = fieldStart() - 2;
        spoken_.clickSound();
      } else {
        column_ = fieldEnd() + 2;
        spoken_.clickSound();
        if (column_ > kLastColumn) column_ = afterLastNonBlank(row_);
      }
      return;
    case ' ':
      readRow();
      return;
    case kEnter:
      ++row_;
      column_ = 1;
      spoken_.clickSound();
      return;
    case 11:
    case 12:
      spoken_.speakText(std::to_string(row_) + " " + std::to_string(column_));
      return;
    case 3:
      console_.clipboardPutText(screenText());
      return;
    default:
      break;
  }
  if (isAsciiLetter(key)) {
    readCommand(key);
    return;
  }
  shortTone();
  spoken_.clickSound();
  shortTone();
}

void Review::leftArrow() {
  if (column_ <= 1) {
    shortTone();
    return;
  }
  spoken_.speakChar(charAt(column_ - 1, row_));
  --column_;
}

// One row per extended key: the review keys and what each does.
void Review::extendedKey(uint8_t key) {
  using Action = void (Review::*)();
  struct Binding {
    uint8_t key;
    Action action;
  };
  static constexpr std::array<Binding, 17> kExtendedKeys{{
      {kLeft, &Review::leftArrow},
      {kRight, &Review::rightArrow},
      {kHome, &Review::rowStart},
      {kEnd, &Review::rowEnd},
      {kUp, &Review::rowUp},
      {kDown, &Review::rowDown},
      {kPageUp, &Review::screenTop},
      {kPageDown, &Review::screenBottom},
      {kCtrlPageUp, &Review::firstLetter},
      {kCtrlPageDown, &Review::lastLetter},
      {kCtrlLeft, &Review::wordLeft},
      {kCtrlRight, &Review::wordRight},
      {kF1, &Review::nextWord},
      {kCtrlF1, &Review::readField},
      {kF5, &Review::findAsking},
      {kCtrlF5, &Review::findAgain},
      {kF6, &Review::goToPosition},
  }};
  for (const Binding& b : kExtendedKeys)
    if (b.key == key) return (this->*b.action)();
  shortTone();
  spoken_.clickSound();
  shortTone();
}

void Review::rightArrow() {
  spoken_.speakChar(charAt(column_, row_));
  ++column_;
}

void Review::rowStart() {
  column_ = 1;
}

void Review::rowEnd() {
  column_ = afterLastNonBlank(row_);
}

void Review::rowUp() {
  if (row_ <= 1) {
    shortTone();
    return;
  }
  --row_;
  column_ = 1;
  readRow();
}

void Review::rowDown() {
  if (row_ >= kLastRow) {
    shortTone();
    return;
  }
  spoken_.clickSound();
  ++row_;
  column_ = 1;
  readRow();
}

void Review::screenTop() {
  row_ = 1;
  column_ = 1;
  readRow();
}

void Review::screenBottom() {
  row_ = kLastRow;
  column_ = 1;
  readRow();
}

void Review::firstLetter() {
  for (int r = 1; r <= kLastRow; ++r)
    for (int c = 1; c <= kLastColumn; ++c)
      if (isAsciiLetter(charAt(c, r))) {
        row_ = r;
        column_ = c;
        readRow();
        return;
      }
  shortTone();
}

void Review::lastLetter() {
  for (int r = kLastRow; r >= 1; --r)
    for (int c = kLastColumn; c >= 1; --c)
      if (isAsciiLetter(charAt(c, r))) {
        row_ = r;
        column_ = c;
        readRow();
        return;
      }
  shortTone();
}

void Review::nextWord() {
  if (spoken_.settings().sapi && console_.consoleKeyPending()) {
    while (column_ <= kLastColumn && charAt(column_, row_) == ' ') ++column_;
    while (column_ <= kLastColumn && charAt(column_, row_) != ' ') ++column_;
  } else {
    ReadWordAt();
  }
  if (column_ > kLastColumn - 1) {
    spoken_.clickSound();
    column_ = afterLastNonBlank(row_);
  }
}

void Review::readField() {
  ReadRange(row_, fieldStart(), row_, fieldEnd(), true);
}

void Review::findAsking() {
  findText(true);
}

void Review::findAgain() {
  findText(false);
}

}  // namespace qr
