// Terminal drawing: only what changed is sent, in the right colours, and a
// terminal smaller than the console gets what fits.
#include "platform/termFrame.h"

#include <gtest/gtest.h>

#include "console/qrCrt.h"

namespace {

using platform::changedRuns;
using platform::ColourMode;
using platform::renderFrame;
using FrameRun = platform::Run;
using platform::TerminalSize;

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
  const std::string out = renderFrame(&before, after, {40, 10}, ColourMode::TrueColour);
  EXPECT_EQ(out.find("right"), std::string::npos);
  EXPECT_EQ(platform::tooSmallNotice({40, 10}).find("\x1b[10;1H"), 0u);
  EXPECT_NE(platform::tooSmallNotice({40, 10}).find("80x25"), std::string::npos);
  EXPECT_TRUE(platform::tooSmallNotice({80, 25}).empty());
  EXPECT_TRUE(platform::tooSmallNotice({132, 50}).empty());
}

TEST(TermFrame, RunIsPositionedColouredAndWrittenInUtf8) {
  const qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  put(after, 2, 1, "a\xe7\x01", 0x1e);  // ç and a control byte
  after.cursorColumn = 5;
  after.cursorRow = 1;
  EXPECT_EQ(renderFrame(&before, after, {}, ColourMode::TrueColour),
            "\x1b[2;3H\x1b[0;38;2;255;255;0;48;2;0;0;255ma\xc3\xa7 \x1b[2;6H");
  EXPECT_EQ(renderFrame(&before, after, {}, ColourMode::Ansi16),
            "\x1b[2;3H\x1b[0;93;104ma\xc3\xa7 \x1b[2;6H");
}

TEST(TermFrame, CursorAndCaretFollowTheConsole) {
  qr::ScreenImage before = blankScreen();
  qr::ScreenImage after = before;
  after.cursorColumn = 80;  // one past the right edge: drawn on the last column
  after.cursorRow = 24;
  after.caretVisible = true;
  EXPECT_EQ(renderFrame(&before, after, {}, ColourMode::TrueColour), "\x1b[?25h\x1b[25;80H");
  EXPECT_EQ(renderFrame(&after, after, {}, ColourMode::TrueColour), "");
}

TEST(TermFrame, PaletteColoursMapToAnsiColoursOfTheSameHue) {
  // The console's palette entries and the ANSI index a 16-colour terminal
  // shows for each; brown (68,34,34) must not vanish into black.
  const int expected[16] = {0, 12, 10, 14, 9, 5, 1, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(platform::nearestAnsiColour(qr::kPalette[i]), expected[i]) << "palette entry " << i;
}

}  // namespace
