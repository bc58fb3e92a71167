// The console's screen as a value: the writing rules, colours, reading and
// storing cells, with no front end and no waiting.
#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

constexpr std::array<uint8_t, 16> kIdentity{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

struct ScreenTest : ::testing::Test {
  qr::Screen screen;

  void SetUp() override { screen.reset(0x0F, kIdentity, true); }
  std::string row(int r) {
    std::string s;
    for (int c = 1; c <= qr::kColumns; ++c) s += static_cast<char>(screen.charAt(c, r));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  std::pair<int, int> cursor() { return {screen.cursorColumn(), screen.cursorRow()}; }
};

TEST_F(ScreenTest, EightiethCharacterLeavesCursorPastEdgeAndEightyFirstWraps) {
  (void)screen.write(std::string(80, 'x'));
  EXPECT_EQ(cursor(), std::make_pair(81, 1));
  (void)screen.write("y");
  EXPECT_EQ(cursor(), std::make_pair(2, 2));
  EXPECT_EQ(screen.charAt(1, 2), 'y');
}

TEST_F(ScreenTest, WrapOnLastRowScrolls) {
  (void)screen.write("top\n");
  screen.setForeground(12);
  (void)screen.write("second");
  screen.setForeground(15);
  screen.setBackground(2);
  screen.moveCursor(1, 25);
  (void)screen.write(std::string(80, 'z') + "w");
  EXPECT_EQ(row(1), "second");
  EXPECT_EQ(row(24), std::string(80, 'z'));
  EXPECT_EQ(row(25), "w");
  EXPECT_EQ(cursor(), std::make_pair(2, 25));
  // The colours go up with their text.
  EXPECT_EQ(screen.attrAt(1, 1), 0x0C);
  EXPECT_EQ(screen.attrAt(6, 1), 0x0C);
  EXPECT_EQ(screen.attrAt(7, 1), 0x0F);
  EXPECT_EQ(screen.attrAt(1, 24), 0x2F);
  EXPECT_EQ(screen.attrAt(80, 24), 0x2F);
}

TEST_F(ScreenTest, ScrolledBottomRowTakesCurrentBackground) {
  screen.moveCursor(1, 25);
  (void)screen.write("last");
  screen.setBackground(1);
  screen.setForeground(14);
  (void)screen.write("\n");
  EXPECT_EQ(row(24), "last");
  EXPECT_EQ(screen.attrAt(1, 24), 0x0F);
  for (int c = 1; c <= 80; ++c) {
    ASSERT_EQ(screen.charAt(c, 25), ' ');
    ASSERT_EQ(screen.attrAt(c, 25), 0x1E) << c;
  }
  EXPECT_EQ(cursor(), std::make_pair(1, 25));
}

TEST_F(ScreenTest, ControlBytes) {
  struct Case {
    std::string bytes;
    std::string row1;
    int column;
  };
  const Case cases[] = {
      {"\b", "", 1},           // backspace at column 1 does nothing
      {"ab\tc", "abc", 4},     // a tab neither writes nor moves
      {"abcd\b", "abc", 4},    // backspace erases the cell it moves onto
      {"abcd\rX", "Xbcd", 2},  // carriage return: column 1 of the same row
      {std::string("a\x01\x06\x0b\x0c\x0e\x1f"
                   "b",
                   8),
       "ab", 3},
      {std::string("a\0b", 3), "ab", 3},
  };
  for (const Case& c : cases) {
    screen.clear();
    EXPECT_EQ(screen.write(c.bytes), 0) << "no bell in " << testing::PrintToString(c.bytes);
    EXPECT_EQ(row(1), c.row1) << testing::PrintToString(c.bytes);
    EXPECT_EQ(cursor(), std::make_pair(c.column, 1)) << testing::PrintToString(c.bytes);
  }
}

TEST_F(ScreenTest, BackspaceAfterFullRowErasesLastColumn) {
  (void)screen.write(std::string(80, 'q') + "\b");
  EXPECT_EQ(screen.charAt(80, 1), ' ');
  EXPECT_EQ(cursor(), std::make_pair(80, 1));
}

TEST_F(ScreenTest, MoveCursorClamps) {
  const struct {
    int c, r, wantC, wantR;
  } cases[] = {{0, 0, 1, 1}, {200, 200, 80, 25}, {-5, 3, 1, 3}, {80, 25, 80, 25}, {10, 26, 10, 25}};
  for (const auto& k : cases) {
    screen.moveCursor(k.c, k.r);
    EXPECT_EQ(cursor(), std::make_pair(k.wantC, k.wantR)) << k.c << "," << k.r;
  }
}

TEST_F(ScreenTest, ReadingOffTheScreenGivesSpaceAndZero) {
  (void)screen.write("abc");
  EXPECT_EQ(screen.charAt(0, 1), ' ');
  EXPECT_EQ(screen.charAt(81, 1), ' ');
  EXPECT_EQ(screen.attrAt(1, 26), 0);
  screen.putCell(0, 0, 'x', 1);  // ignored, no crash
  screen.putCell(3, 2, 'x', 0x4F);
  EXPECT_EQ(screen.charAt(3, 2), 'x');
  EXPECT_EQ(screen.attrAt(3, 2), 0x4F);
}

TEST_F(ScreenTest, ClearToLineEndAndClearScreen) {
  (void)screen.write("hello world");
  screen.moveCursor(6, 1);
  screen.setBackground(4);
  screen.clearToLineEnd();
  EXPECT_EQ(row(1), "hello");
  EXPECT_EQ(screen.attrAt(6, 1), 0x4F);
  EXPECT_EQ(screen.attrAt(5, 1), 0x0F);
  EXPECT_EQ(cursor(), std::make_pair(6, 1));
  screen.clear();
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(screen.attrAt(1, 1), 0x4F);
  EXPECT_EQ(cursor(), std::make_pair(1, 1));
}

TEST_F(ScreenTest, FixedColoursIgnoreSetters) {
  screen.reset(0x0F, kIdentity, false);
  screen.setForeground(0);
  screen.setBackground(1);
  EXPECT_EQ(screen.textAttr(), 0x0F);
}

TEST_F(ScreenTest, ColourSettersTakeLowNibbleAndLowByte) {
  screen.setForeground(0x3E);
  EXPECT_EQ(screen.textAttr(), 0x0E);
  screen.setBackground(0x15);  // 0x15 * 16 = 0x150: low byte 0x50
  EXPECT_EQ(screen.textAttr(), 0x5E);
}


TEST_F(ScreenTest, BellsAreCountedForTheCallerAndDrawNothing) {
  EXPECT_EQ(screen.write("a\ab\a"), 2);
  EXPECT_EQ(row(1), "ab");
}

// A front end tells text that moved up from a redraw by the image alone:
// the same cells after a scroll are a different picture.
TEST_F(ScreenTest, ScreensAreValuesAndAScrollIsPartOfThePicture) {
  qr::Screen a = screen;
  a.moveCursor(1, 25);
  (void)a.write("x\n");
  qr::Screen b = screen;
  b.moveCursor(1, 24);
  (void)b.write("x\n");
  EXPECT_EQ(a.image().chars, b.image().chars);
  EXPECT_EQ(a.cursorRow(), b.cursorRow());
  EXPECT_NE(a, b);
  EXPECT_EQ(screen, qr::Screen(screen));
  (void)b.write("y");
  EXPECT_EQ(screen.charAt(2, 25), ' ') << "a copy writes on its own";
}

}  // namespace
