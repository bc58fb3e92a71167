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

std::string cellText(uint8_t ch) {
  // Control bytes and the undefined Windows-1252 positions would be taken by
  // the terminal as commands.
  if (ch < 32 || ch == 127) return " ";
  if (ch == 0x81 || ch == 0x8d || ch == 0x8f || ch == 0x90 || ch == 0x9d) return "?";
  return qr::toUtf8(std::string(1, static_cast<char>(ch)));
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

}  // namespace

std::vector<Run> changedRuns(const qr::ScreenImage* last, const qr::ScreenImage& now,
                             TerminalSize size) {
  const bool all = last == nullptr || last->colours != now.colours;
  const int rows = std::clamp(size.rows, 0, qr::kRows);
  const int columns = std::clamp(size.columns, 0, qr::kColumns);
  std::vector<Run> runs;
  for (int r = 0; r < rows; ++r) {
    Run run;
    for (int c = 0; c < columns; ++c) {
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

std::string renderFrame(const qr::ScreenImage* last, const qr::ScreenImage& now, TerminalSize size,
                        ColourMode mode) {
  std::string out;
  int currentAttr = -1;
  for (const Run& run : changedRuns(last, now, size)) {
    out += moveTo(run.row, run.column);
    if (run.attr != currentAttr) {
      out += attributeCode(run.attr, now, mode);
      currentAttr = run.attr;
    }
    for (int c = run.column; c < run.column + run.length; ++c)
      out += cellText(now.chars[run.row * qr::kColumns + c]);
  }
  const bool caretChanged = last == nullptr || last->caretVisible != now.caretVisible;
  if (caretChanged) out += now.caretVisible ? "\x1b[?25h" : "\x1b[?25l";
  if (!out.empty() || last == nullptr || last->cursorRow != now.cursorRow ||
      last->cursorColumn != now.cursorColumn)
    out += placeCursor(now, size);
  return out;
}

std::string placeCursor(const qr::ScreenImage& screen, TerminalSize size) {
  const int row = std::clamp(screen.cursorRow, 0, std::max(0, std::min(size.rows, qr::kRows) - 1));
  const int column =
      std::clamp(screen.cursorColumn, 0, std::max(0, std::min(size.columns, qr::kColumns) - 1));
  return moveTo(row, column);
}

std::string tooSmallNotice(TerminalSize size) {
  if (size.columns >= qr::kColumns && size.rows >= qr::kRows) return {};
  if (size.columns <= 0 || size.rows <= 0) return {};
  std::string text = "Terminal menor que 80x25 (" + std::to_string(size.columns) + "x" +
                     std::to_string(size.rows) + ")";
  // Cut to the width in characters; the text is plain ASCII.
  if (static_cast<int>(text.size()) > size.columns) text.resize(static_cast<size_t>(size.columns));
  return moveTo(size.rows - 1, 0) + "\x1b[0;7m" + text + "\x1b[K\x1b[0m";
}

}  // namespace platform
