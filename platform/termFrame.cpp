// Frame diff and rendering for the terminal front end.
#include "platform/termFrame.h"

#include <algorithm>

#include "base/cp1252.h"

namespace platform {

namespace {

// A colour whose channels differ by no more than this is a grey.
constexpr int kGreySpread = 24;
// Channels at least this share of the strongest one make up the hue.
constexpr double kHueShare = 0.6;
constexpr int kBrightLevel = 224;
// Unchanged cells up to this many between two runs of a row are written
// again rather than jumped over: cheaper than moving the cursor.
constexpr int kShortGap = 6;

// The console cells a terminal of this size shows.
int viewRows(TerminalSize size) {
  return std::clamp(size.rows, 0, qr::kRows);
}
int viewColumns(TerminalSize size) {
  return std::clamp(size.columns, 0, qr::kColumns);
}

const CodeSet& utf8Codes() {
  static const CodeSet codes = codeSetNamed("UTF-8");
  return codes;
}

std::string moveTo(int row, int column) {
  return "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
}

std::string colourCode(const qr::Rgb& c, bool background, ColourMode mode) {
  if (mode == ColourMode::TrueColour)
    return std::string(background ? "48;2;" : "38;2;") + std::to_string(c.r) + ";" +
           std::to_string(c.g) + ";" + std::to_string(c.b);
  const int i = nearestAnsiColour(c);
  const int base = background ? (i < 8 ? 40 : 100) : (i < 8 ? 30 : 90);
  return std::to_string(base + i % 8);
}

std::string attributeCode(uint8_t attr, const qr::ScreenImage& screen, ColourMode mode) {
  return "\x1b[0;" + colourCode(screen.colours[attr & 0x0f], false, mode) + ";" +
         colourCode(screen.colours[attr >> 4], true, mode) + "m";
}

// The console scrolled by this many lines since last, with nothing else
// moved, and the terminal can follow with its own scrolling; else 0.
int scrollToFollow(const Frame& last, const Frame& now, TerminalSize size) {
  const auto lines = static_cast<int64_t>(now.image.scrolls) - last.image.scrolls;
  if (lines <= 0 || lines >= viewRows(size) || !(last.view == now.view) ||
      last.image.colours != now.image.colours)
    return 0;
  return static_cast<int>(lines);
}

// Scrolls the rows of the view up by `lines` with the terminal's own
// scrolling (a scroll region over the view, line feeds at its bottom), the
// new rows blank in `erase`. `shown` becomes what the terminal then shows.
std::string scrollView(int lines, uint8_t erase, const Frame& now, TerminalSize size,
                       ColourMode mode, qr::ScreenImage& shown) {
  const int rows = viewRows(size);
  const int top = now.view.top;
  std::string out = "\x1b[1;" + std::to_string(rows) + "r" + moveTo(rows - 1, 0) +
                    attributeCode(erase, now.image, mode) +
                    std::string(static_cast<size_t>(lines), '\n') + "\x1b[r";
  const size_t shift = static_cast<size_t>(lines) * qr::kColumns;
  std::copy(shown.chars.begin() + static_cast<long>(shift), shown.chars.end(), shown.chars.begin());
  std::copy(shown.attrs.begin() + static_cast<long>(shift), shown.attrs.end(), shown.attrs.begin());
  for (int r = top + rows - lines; r < qr::kRows; ++r) {
    std::fill_n(shown.chars.begin() + r * qr::kColumns, qr::kColumns, uint8_t{' '});
    std::fill_n(shown.attrs.begin() + r * qr::kColumns, qr::kColumns, erase);
  }
  return out;
}

}  // namespace

View followCursor(View old, const qr::ScreenImage& screen, TerminalSize size) {
  const int rows = std::max(1, viewRows(size));
  const int columns = std::max(1, viewColumns(size));
  const int row = std::clamp(screen.cursorRow, 0, qr::kRows - 1);
  const int column = std::clamp(screen.cursorColumn, 0, qr::kColumns - 1);
  View view = old;
  if (row < view.top) view.top = row;
  if (row >= view.top + rows) view.top = row - rows + 1;
  view.top = std::clamp(view.top, 0, qr::kRows - rows);
  if (column < view.left || column >= view.left + columns) view.left = column - columns / 2;
  view.left = std::clamp(view.left, 0, qr::kColumns - columns);
  return view;
}

std::vector<Run> changedRuns(const qr::ScreenImage* last, const qr::ScreenImage& now,
                             TerminalSize size, View view) {
  const bool all = last == nullptr || last->colours != now.colours;
  const int rowEnd = std::min(qr::kRows, view.top + viewRows(size));
  const int columnEnd = std::min(qr::kColumns, view.left + viewColumns(size));
  std::vector<Run> runs;
  for (int r = std::max(0, view.top); r < rowEnd; ++r) {
    Run run;
    for (int c = std::max(0, view.left); c < columnEnd; ++c) {
      const int i = r * qr::kColumns + c;
      const bool changed = all || last->chars[i] != now.chars[i] || last->attrs[i] != now.attrs[i];
      if (changed && run.length > 0 && run.attr == now.attrs[i]) {
        ++run.length;
        continue;
      }
      if (run.length > 0) runs.push_back(run);
      run = changed ? Run{r, c, 1, now.attrs[i]} : Run{};
    }
    if (run.length > 0) runs.push_back(run);
  }
  return runs;
}

int nearestAnsiColour(qr::Rgb colour) {
  const int high = std::max({colour.r, colour.g, colour.b});
  const int low = std::min({colour.r, colour.g, colour.b});
  if (high - low <= kGreySpread)
    return high < 64 ? 0 : high < 160 ? 8 : high < kBrightLevel ? 7 : 15;
  // ANSI colours are numbered by their channels: red 1, green 2, blue 4.
  const double cut = high * kHueShare;
  const int hue = (colour.r >= cut ? 1 : 0) | (colour.g >= cut ? 2 : 0) | (colour.b >= cut ? 4 : 0);
  return hue + (high >= kBrightLevel ? 8 : 0);
}

std::string renderFrame(const Frame* last, const Frame& now, const TerminalTraits& traits) {
  const CodeSet& codes = traits.codes ? *traits.codes : utf8Codes();
  const qr::ScreenImage& image = now.image;
  std::string out;
  int currentAttr = -1;
  // What the terminal shows now, in console positions; null when unknown
  // (first picture, or the view moved).
  qr::ScreenImage shown;
  const qr::ScreenImage* before = nullptr;
  if (last && last->view == now.view) {
    shown = last->image;
    before = &shown;
    if (const int lines = scrollToFollow(*last, now, traits.size); lines > 0) {
      const uint8_t erase = image.attrs.back();
      out += scrollView(lines, erase, now, traits.size, traits.mode, shown);
      currentAttr = erase;
    }
  }
  auto cell = [&image](int row, int column) {
    return static_cast<size_t>(row * qr::kColumns + column);
  };
  int row = -1;
  int end = 0;  // one past the last cell written on row
  for (const Run& run : changedRuns(before, image, traits.size, now.view)) {
    bool bridged = run.row == row && run.column - end <= kShortGap;
    for (int c = end; bridged && c < run.column; ++c)
      bridged = image.attrs[cell(row, c)] == currentAttr;
    if (bridged) {
      for (int c = end; c < run.column; ++c) out += codes.glyphs[image.chars[cell(row, c)]];
    } else {
      out += moveTo(run.row - now.view.top, run.column - now.view.left);
    }
    row = run.row;
    end = run.column + run.length;
    if (run.attr != currentAttr) {
      out += attributeCode(run.attr, image, traits.mode);
      currentAttr = run.attr;
    }
    for (int c = run.column; c < end; ++c) out += codes.glyphs[image.chars[cell(run.row, c)]];
  }
  const bool caretChanged = last == nullptr || last->image.caretVisible != image.caretVisible;
  if (caretChanged) out += image.caretVisible ? "\x1b[?25h" : "\x1b[?25l";
  if (!out.empty() || last == nullptr || last->image.cursorRow != image.cursorRow ||
      last->image.cursorColumn != image.cursorColumn)
    out += placeCursor(image, traits.size, now.view);
  return out;
}

std::string placeCursor(const qr::ScreenImage& screen, TerminalSize size, View view) {
  const int row = std::clamp(screen.cursorRow - view.top, 0, std::max(0, viewRows(size) - 1));
  const int column =
      std::clamp(screen.cursorColumn - view.left, 0, std::max(0, viewColumns(size) - 1));
  return moveTo(row, column);
}

std::string tooSmallNotice(TerminalSize size) {
  if (size.columns >= qr::kColumns && size.rows >= qr::kRows) return {};
  if (size.columns <= 0 || size.rows <= 0) return {};
  return qr::W("Terminal de " + std::to_string(size.columns) + " por " + std::to_string(size.rows) +
               ", menor que 80 por 25, e a tela acompanha o cursor.");
}

}  // namespace platform
