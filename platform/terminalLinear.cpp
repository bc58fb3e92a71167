// Plain-line rendering of the console.
#include "platform/terminalLinear.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

std::string withoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The text of cells [span.first, span.second) of a row without trailing
// blanks, control bytes as blanks, and so is a character drawn in its own
// background colour (the hidden echo of a password); the cursor's row keeps
// the blanks up to the cursor, where typing goes on.
std::string rowText(const qr::ScreenImage& screen, int row, std::pair<int, int> span,
                    int cursor = 0) {
  std::string text;
  for (int c = span.first; c < span.second; ++c) {
    const size_t at = static_cast<size_t>(row * qr::kColumns + c);
    const uint8_t ch = screen.chars[at];
    const uint8_t attr = screen.attrs[at];
    const bool hidden = screen.colours[attr & 0x0f] == screen.colours[attr >> 4];
    text += ch < 32 || ch == 127 || hidden ? ' ' : static_cast<char>(ch);
  }
  const size_t end = text.find_last_not_of(' ');
  size_t keep = end == std::string::npos ? 0 : end + 1;
  keep = std::max(
      keep, static_cast<size_t>(std::clamp(cursor - span.first, 0, span.second - span.first)));
  text.resize(keep);
  return text;
}

constexpr std::pair<int, int> kWholeRow{0, qr::kColumns};

// Whether a whole row's text reaches its last column: text that went on
// into the next row by itself, unless it ends at a blank.
bool fillsRow(const std::string& text, std::pair<int, int> span) {
  return span == kWholeRow && static_cast<int>(text.size()) == qr::kColumns;
}

// The cells around the cursor on the background colour of the cursor's
// cell: what a jump shows of a row (a menu entry, not the text beside the
// menu's box).
std::pair<int, int> spanAroundCursor(const qr::ScreenImage& screen) {
  const int row = std::clamp(screen.cursorRow, 0, qr::kRows - 1);
  const int column = std::clamp(screen.cursorColumn, 0, qr::kColumns - 1);
  auto background = [&](int c) {
    return screen.attrs[static_cast<size_t>(row * qr::kColumns + c)] >> 4;
  };
  const int colour = background(column);
  int first = column;
  while (first > 0 && background(first - 1) == colour) --first;
  int last = column + 1;
  while (last < qr::kColumns && background(last) == colour) ++last;
  return {first, last};
}

}  // namespace

LinearText::LinearText(const CodeSet* codes, std::string lineEnd)
    : codes_(codes), lineEnd_(std::move(lineEnd)) {}

std::string LinearText::glyphs(std::string_view text) const {
  if (!codes_) {
    static const CodeSet utf8 = codeSetNamed("UTF-8");
    return encodeText(utf8, text);
  }
  return encodeText(*codes_, text);
}

std::string LinearText::endLine() {
  shown_.clear();
  prefix_.clear();
  column_ = 0;
  return lineEnd_;
}

// Brings the current line from shown_ to text with the cursor at cursor.
// Backspace does not go up past a place where the terminal wrapped the
// line: a change there starts the line afresh, and the cursor is then left
// at its end.
std::string LinearText::rewrite(const std::string& text, int cursor, int width) {
  cursor = std::clamp(cursor, 0, static_cast<int>(text.size()));
  if (text == shown_ && cursor == column_) return {};
  auto crossesWrap = [width](int from, int to) {
    return width > 0 && from > to && (from / width != to / width || from % width == 0);
  };
  std::string out;
  if (text == shown_) {  // only the cursor moves
    if (cursor > column_) {
      out = glyphs(std::string_view(text).substr(static_cast<size_t>(column_),
                                                 static_cast<size_t>(cursor - column_)));
    } else if (!crossesWrap(column_, cursor)) {
      out = std::string(static_cast<size_t>(column_ - cursor), '\b');
    } else {
      return {};
    }
    column_ = cursor;
    return out;
  }
  const auto common = static_cast<int>(
      std::mismatch(shown_.begin(), shown_.end(), text.begin(), text.end()).first - shown_.begin());
  int at = std::min(column_, common);
  if (crossesWrap(column_, at)) {
    out += endLine();
    at = 0;
  } else {
    out += std::string(static_cast<size_t>(column_ - at), '\b');
  }
  const int blanks = std::max(0, static_cast<int>(shown_.size()) - static_cast<int>(text.size()));
  out += glyphs(std::string_view(text).substr(static_cast<size_t>(at)));
  out += std::string(static_cast<size_t>(blanks), ' ');
  const int end = static_cast<int>(text.size()) + blanks;
  shown_ = text;
  if (crossesWrap(end, cursor)) {
    column_ = end;
    shown_.append(static_cast<size_t>(blanks), ' ');
    return out;
  }
  out += std::string(static_cast<size_t>(end - cursor), '\b');
  column_ = cursor;
  return out;
}

std::string LinearText::update(const qr::ScreenImage& screen, int width) {
  std::string out;
  const int cursorRow = std::clamp(screen.cursorRow, 0, qr::kRows - 1);
  if (!started_) {
    started_ = true;
    last_ = screen;
    row_ = cursorRow;
  }
  const auto scrolled = static_cast<int>(screen.scrolls - last_.scrolls);
  const auto ended = static_cast<int>(screen.newLines - last_.newLines);
  const int oldRow = row_ - scrolled;  // where the mirrored row is now
  if (oldRow != cursorRow) {
    // Left by line ends, the row is finished as it stands now (on the
    // screen still, or scrolled off); left by a jump (a cleared screen, a
    // menu) it stays as it was shown. A row the text filled to its last
    // column went on into the next by itself: the two are one line, so no
    // word is cut at column 80.
    const bool byLineEnds = oldRow < cursorRow && ended >= cursorRow - oldRow;
    bool goesOn = false;
    if (byLineEnds) {
      const std::string final =
          oldRow >= 0 ? rowText(screen, oldRow, span_) : rowText(last_, row_, span_);
      const std::string whole = prefix_ + final;
      const std::string end = whole == withoutTrailingBlanks(shown_) ? shown_ : whole;
      out += rewrite(end, static_cast<int>(end.size()), width);
      goesOn = fillsRow(final, span_);
    }
    if (!goesOn && (byLineEnds || !shown_.empty())) out += endLine();
    if (byLineEnds) {
      for (int r = std::max(oldRow + 1, 0); r < cursorRow; ++r) {
        const std::string text = rowText(screen, r, kWholeRow);
        out += glyphs(text);
        shown_ += text;
        goesOn = fillsRow(text, kWholeRow);
        if (!goesOn) out += endLine();
      }
    }
    prefix_ = goesOn ? shown_ : std::string();
    column_ = static_cast<int>(shown_.size());
    row_ = cursorRow;
    span_ = byLineEnds ? kWholeRow : spanAroundCursor(screen);
  }
  // A row that was emptied whole (a cleared screen) is not rubbed out.
  if (prefix_.empty() && !withoutTrailingBlanks(shown_).empty() &&
      rowText(screen, cursorRow, span_).empty())
    out += endLine();
  out += rewrite(prefix_ + rowText(screen, cursorRow, span_, screen.cursorColumn),
                 static_cast<int>(prefix_.size()) + screen.cursorColumn - span_.first, width);
  last_ = screen;
  return out;
}

std::string LinearText::finish() {
  if (shown_.empty()) return {};
  return endLine();
}

}  // namespace platform
