// Terminal drawing: only what changed is sent, in the right colours and code
// set; a terminal smaller than the console shows the part around the
// cursor; a scrolled console scrolls the terminal instead of redrawing it.
#include "platform/termFrame.h"

#include <gtest/gtest.h>

#include "console/qrCrt.h"

namespace {

using platform::changedRuns;
using platform::ColourMode;
using platform::Frame;
using platform::renderFrame;
using FrameRun = platform::Run;
using platform::TerminalSize;
using platform::View;

std::string render(const qr::ScreenImage& before, const qr::ScreenImage& after, ColourMode mode,
                   TerminalSize size = {}) {
  const Frame last{before, {}};
  return renderFrame(&last, {after, {}}, {size, mode});
}

qr::ScreenImage blankScreen() {
  qr::ScreenImage s;
  s.chars.fill(' ');
  s.attrs.fill(0x0f);
  s.colours = qr::kPalette;
  return s;
}

void put(qr::ScreenImage& s, int column, int row, std::string_view text, uint8_t attr) {
  for (size_t i = 0; i < text.size(); ++i) {
    s.chars[row * qr::kColumns + column + static_cast<int>(i)] = static_cast<uint8_t>(text[i]);
    s.attrs[row * qr::kColumns + column + static_cast<int>(i)] = attr;
  }
}

TEST(TermFrame, FirstPictureIsDrawnWholeOneRunPerRowAndAttribute) {
  qr::ScreenImage s = blankScreen();
  put(s, 10, 3, "abc", 0x1e);
  const auto runs = changedRuns(nullptr, s, {});
  ASSERT_EQ(runs.size(), 25u + 2u);
  EXPECT_EQ(runs[3], (FrameRun{3, 0, 10, 0x0f}));
  EXPECT_EQ(runs[4], (FrameRun{3, 10, 3, 0x1e}));
  EXPECT_EQ(runs[5], (FrameRun{3, 13, 67, 0x0f}));
}

TEST(TermFrame, OnlyChangedCellsAreRedrawnSplitByAttribute) {
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  put(after, 5, 0, "xy", 0x0f);
  put(after, 7, 0, "z", 0x04);
  put(after, 79, 24, "!", 0x0f);
  after.attrs[40] = 0x4f;  // same character, new colour
  EXPECT_EQ(changedRuns(&before, after, {}),
            (std::vector<FrameRun>{
                {0, 5, 2, 0x0f}, {0, 7, 1, 0x04}, {0, 40, 1, 0x4f}, {24, 79, 1, 0x0f}}));
  EXPECT_TRUE(changedRuns(&after, after, {}).empty());
}

TEST(TermFrame, NewPaletteRedrawsEverything) {
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  after.colours[0] = {10, 10, 10};
  EXPECT_EQ(changedRuns(&before, after, {}).size(), 25u);
}

TEST(TermFrame, SmallTerminalGetsOnlyTheCellsThatFit) {
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  put(after, 0, 0, "left", 0x0f);
  put(after, 70, 0, "right", 0x0f);
  put(after, 0, 20, "low", 0x0f);
  EXPECT_EQ(changedRuns(&before, after, {40, 10}), (std::vector<FrameRun>{{0, 0, 4, 0x0f}}));
  const std::string out = render(before, after, ColourMode::TrueColour, {40, 10});
  EXPECT_EQ(out.find("right"), std::string::npos);
  EXPECT_NE(platform::tooSmallNotice({40, 10}).find("40 por 10"), std::string::npos);
  EXPECT_TRUE(platform::tooSmallNotice({80, 25}).empty());
  EXPECT_TRUE(platform::tooSmallNotice({132, 50}).empty());
}

TEST(TermFrame, ViewFollowsTheCursorOnASmallTerminal) {
  // (old view, cursor column and row, terminal size) -> view.
  struct Case {
    View old;
    int column, row;
    TerminalSize size;
    View want;
  } cases[] = {
      {{0, 0}, 9, 24, {80, 24}, {1, 0}},    // 80x24: the prompt row stays in view
      {{1, 0}, 0, 10, {80, 24}, {1, 0}},    // still in view: nothing moves
      {{1, 0}, 0, 0, {80, 24}, {0, 0}},     // up to the first row
      {{0, 0}, 5, 24, {80, 10}, {15, 0}},   // bottom rows of a short terminal
      {{15, 0}, 5, 12, {80, 10}, {12, 0}},  // one step up, not a jump
      {{0, 0}, 70, 3, {40, 25}, {0, 40}},   // narrow: the columns around it
      {{0, 40}, 60, 3, {40, 25}, {0, 40}},  // still in view
      {{0, 40}, 2, 4, {40, 25}, {0, 0}},    // back to the start of a line
      {{0, 0}, 80, 24, {80, 25}, {0, 0}},   // a large terminal never moves
  };
  for (const auto& c : cases) {
    qr::ScreenImage s = blankScreen();
    s.cursorColumn = c.column;
    s.cursorRow = c.row;
    const View got = platform::followCursor(c.old, s, c.size);
    EXPECT_EQ(got, c.want) << "cursor " << c.column << "," << c.row << " on " << c.size.columns
                           << "x" << c.size.rows << ": " << got.top << "," << got.left;
  }
}

TEST(TermFrame, ViewIsDrawnAtTheTerminalsTopLeftWithTheCursorInIt) {
  qr::ScreenImage s = blankScreen();
  put(s, 0, 24, "Comando: ", 0x1f);
  s.cursorColumn = 9;
  s.cursorRow = 24;
  const Frame now{s, platform::followCursor({}, s, {80, 24})};
  const std::string out = renderFrame(nullptr, now, {{80, 24}, ColourMode::Ansi16});
  EXPECT_NE(out.find("\x1b[24;1H\x1b[0;97;104mComando: "), std::string::npos) << out;
  EXPECT_EQ(out.find("\x1b[25;"), std::string::npos) << "drew below an 80x24 terminal";
  EXPECT_TRUE(out.ends_with("\x1b[24;10H")) << out;
}

TEST(TermFrame, ScrolledConsoleScrollsTheTerminalAndDrawsOnlyTheNewLine) {
  qr::ScreenImage before = blankScreen();
  for (int r = 0; r < qr::kRows; ++r) put(before, 0, r, "linha " + std::to_string(r), 0x0f);
  qr::ScreenImage after = before;
  std::copy(after.chars.begin() + qr::kColumns, after.chars.end(), after.chars.begin());
  std::fill(after.chars.end() - qr::kColumns, after.chars.end(), ' ');
  put(after, 0, 24, "nova", 0x0f);
  after.scrolls = 1;
  after.cursorRow = 24;
  after.cursorColumn = 4;
  const std::string out = render(before, after, ColourMode::Ansi16);
  EXPECT_EQ(out, "\x1b[1;25r\x1b[25;1H\x1b[0;97;40m\n\x1b[r\x1b[25;1Hnova\x1b[25;5H");
  // A taller terminal scrolls only the console's rows; a view that moved
  // is drawn again instead.
  EXPECT_EQ(render(before, after, ColourMode::Ansi16, {80, 40}).find("\x1b[1;25r"), 0u);
  const Frame last{before, {0, 0}};
  const std::string moved = renderFrame(&last, {after, {1, 0}}, {{80, 24}, ColourMode::Ansi16});
  EXPECT_EQ(moved.find("\x1b[1;"), moved.find("\x1b[1;1H")) << "scrolled a moved view";
}

TEST(TermFrame, CellsAreWrittenInTheTerminalsCodeSet) {
  const platform::CodeSet latin1 = platform::codeSetNamed("ISO-8859-1");
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  put(after, 0, 0, "a\xe7\x80", 0x0f);  // a, c cedilla, the euro sign Latin-1 lacks
  const Frame last{before, {}};
  const std::string out = renderFrame(&last, {after, {}}, {{}, ColourMode::Ansi16, &latin1});
  EXPECT_NE(out.find("a\xe7?"), std::string::npos) << out;
}

TEST(TermFrame, RunIsPositionedColouredAndWrittenInUtf8) {
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  put(after, 2, 1, "a\xe7\x01", 0x1e);  // ç and a control byte
  after.cursorColumn = 5;
  after.cursorRow = 1;
  EXPECT_EQ(render(before, after, ColourMode::TrueColour),
            "\x1b[2;3H\x1b[0;38;2;255;255;0;48;2;0;0;255ma\xc3\xa7 \x1b[2;6H");
  EXPECT_EQ(render(before, after, ColourMode::Ansi16),
            "\x1b[2;3H\x1b[0;93;104ma\xc3\xa7 \x1b[2;6H");
}

TEST(TermFrame, CursorAndCaretFollowTheConsole) {
  qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  after.cursorColumn = 80;  // one past the right edge: drawn on the last column
  after.cursorRow = 24;
  after.caretVisible = true;
  EXPECT_EQ(render(before, after, ColourMode::TrueColour), "\x1b[?25h\x1b[25;80H");
  EXPECT_EQ(render(after, after, ColourMode::TrueColour), "");
}

TEST(TermFrame, PaletteColoursMapToAnsiColoursOfTheSameHue) {
  // The console's palette entries and the ANSI index a 16-colour terminal
  // shows for each; brown (68,34,34) must not vanish into black.
  const int expected[16] = {0, 12, 10, 14, 9, 5, 1, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(platform::nearestAnsiColour(qr::kPalette[i]), expected[i]) << "palette entry " << i;
}

}  // namespace
