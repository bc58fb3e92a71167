// The spoken pop-up menu: where the box goes, how the keys move through the
// items, what is heard, and that the screen under the box comes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "console/qrform.h"
#include "tests/support/inputRig.h"

namespace {

using qr::VKey;
using testing_support::SpokenRig;

constexpr uint8_t kEnter = 13;
constexpr uint8_t kEsc = 27;

struct MenuTest : ::testing::Test {
  SpokenRig rig{{"FTPAJA02", "FTPAJA04"}};
  qr::QrForm form{rig.console, rig.spoken};

  // The browser's menu: five items, the second and fourth recorded.
  void browserMenu() {
    form.OpenMenu(40, 3, 50, 5, 5);
    form.AddMenuItem("FTPAJA02", "Receber arquivo");
    form.AddMenuItem("FTPAJA03", "Apagar arquivo");
    form.AddMenuItem("FTPAJA04", "  Descobrir o tamanho");
    form.AddMenuItem("FTPAJA05", "Visualizar");
    form.AddMenuItem("FTPAJA06", qr::W("Trocar de diretório"));
  }
};

TEST_F(MenuTest, BoxIsMovedToFitTheScreen) {
  struct Case {
    int left, top, width, height;
    int placedLeft, placedTop, right, bottom;
  } cases[] = {
      {40, 3, 50, 5, 30, 3, 79, 7},     // too wide at 40: ends in column 79
      {1, 1, 50, 13, 1, 1, 50, 13},     // fits as asked
      {10, 22, 50, 5, 10, 21, 59, 25},  // too low: moved up to end on the last row
      {5, 20, 50, 30, 5, 1, 54, 25},    // higher than the screen: row 1 and cut
  };
  for (const Case& c : cases) {
    form.OpenMenu(c.left, c.top, c.width, 5, c.height);
    EXPECT_EQ(form.left(), c.placedLeft) << c.left << "," << c.top;
    EXPECT_EQ(form.top(), c.placedTop) << c.left << "," << c.top;
    EXPECT_EQ(form.right(), c.right) << c.left << "," << c.top;
    EXPECT_EQ(form.bottom(), c.bottom) << c.left << "," << c.top;
    rig.ch(kEsc);
    EXPECT_EQ(form.RunMenu(), 0);
  }
}

TEST_F(MenuTest, UpOnTheFirstItemSoundsTheToneAndEnterThereChoosesNothing) {
  browserMenu();
  rig.key(VKey::Up);
  rig.ch(kEnter);
  EXPECT_EQ(form.RunMenu(), 0);
  // Item 1 is heard on opening (its recording); outside the items only the
  // tone, on Up and again on Enter.
  EXPECT_EQ(rig.heard(), (std::vector<std::string>{"sound FTPAJA02", "beep", "beep"}));
}

TEST_F(MenuTest, KeysMoveToTheRightItem) {
  struct Case {
    const char* name;
    std::vector<std::pair<VKey, bool>> keys;  // key, ctrl
    const char* typed;
    int chosen;
  } cases[] = {
      {"Down Down", {{VKey::Down, false}, {VKey::Down, false}}, "", 3},
      {"End", {{VKey::End, false}}, "", 5},
      {"Ctrl+PgDn", {{VKey::PageDown, true}}, "", 5},
      {"End Home", {{VKey::End, false}, {VKey::Home, false}}, "", 1},
      {"PgDn clamps past the end", {{VKey::PageDown, false}}, "", 0},
      {"d skips leading blanks", {}, "d", 3},
      {"v upper or lower case", {}, "V", 4},
      {"r finds nothing after the first item", {}, "rr", 0},
      {"no item begins with z", {}, "z", 0},
  };
  for (const Case& c : cases) {
    browserMenu();
    for (const auto& [key, ctrl] : c.keys) rig.key(key, ctrl);
    rig.type(c.typed);
    rig.ch(kEnter);
    EXPECT_EQ(form.RunMenu(), c.chosen) << c.name;
  }
}

// The moving keys over the position alone, without a console: items known
// by the first character of their texts.
TEST(MenuKeys, KeysMoveThePositionAlone) {
  using qr::MenuStep;
  constexpr uint8_t kUpCode = qr::ext::kUp, kPgUp = qr::ext::kPageUp, kRight = qr::ext::kRight;
  const struct {
    int current;
    uint8_t key;
    bool extended;
    MenuStep step;
  } cases[] = {
      {1, kUpCode, true, {0, false, false}},       // off the top: the tone
      {3, kPgUp, true, {0, false, false}},         // ten up stops outside the items
      {2, kRight, true, {2, true, false}},         // spells, stays
      {2, qr::ext::kF1, true, {2, false, false}},  // not a moving key
      {1, 'b', false, {2, false, false}},          // the next item beginning with b
      {2, 'b', false, {3, false, false}},          // after the current one
      {3, 'B', false, {6, false, false}},          // none after it
      {2, kEnter, false, {2, false, true}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qr::MenuKey(c.current, "aBbcd", c.key, c.extended), c.step)
        << c.current << " " << int(c.key);
}

TEST_F(MenuTest, EscapeChoosesNothingEvenOnAnItem) {
  browserMenu();
  rig.key(VKey::Down);
  rig.ch(kEsc);
  EXPECT_EQ(form.RunMenu(), 0);
}

TEST_F(MenuTest, ItemsAreSpokenByRecordingOrTextAndRightSpells) {
  browserMenu();
  rig.key(VKey::Down);
  rig.key(VKey::Down);
  rig.key(VKey::Down);
  rig.key(VKey::Right);
  rig.ch(kEnter);
  EXPECT_EQ(form.RunMenu(), 4);
  const std::vector<std::string> heard = rig.heard();
  ASSERT_GE(heard.size(), 5u);
  EXPECT_EQ(heard[0], "sound FTPAJA02");
  EXPECT_EQ(heard[1], "text Apagar arquivo");
  EXPECT_EQ(heard[2], "sound FTPAJA04");
  EXPECT_EQ(heard[3], "text Visualizar");
  EXPECT_EQ(heard[4], "char 86");  // Right: V, i, s, ...
  EXPECT_EQ(heard.size(), 4u + 10u);
}

TEST_F(MenuTest, AnnouncerCanStandForTheRecordings) {
  std::vector<std::string> asked;
  form.setAnnouncer([&](std::string_view key) {
    asked.emplace_back(key);
    return true;
  });
  browserMenu();
  rig.key(VKey::Down);
  rig.ch(kEnter);
  EXPECT_EQ(form.RunMenu(), 2);
  EXPECT_EQ(asked, (std::vector<std::string>{"FTPAJA02", "FTPAJA03"}));
  EXPECT_EQ(rig.count("text Apagar arquivo"), 0);
}

TEST_F(MenuTest, ScreenUnderTheBoxComesBackCellForCell) {
  for (int r = 1; r <= qr::kRows; ++r) {
    rig.console.consoleSetBackground(static_cast<uint8_t>(r % 8));
    rig.console.consoleSetForeground(static_cast<uint8_t>(15 - r % 8));
    rig.console.consoleMoveCursor(1, r);
    std::string line;
    for (int c = 0; c < qr::kColumns; ++c) line.push_back(static_cast<char>('!' + (r + c) % 90));
    rig.console.consoleWrite(line);
  }
  rig.console.consoleSetTextAttr(0x1E);
  rig.console.consoleMoveCursor(12, 20);
  const qr::ScreenImage before = rig.console.screen();

  form.OpenMenu(12, 20, 50, 5, 13);
  for (int i = 1; i <= 14; ++i)
    form.AddMenuItem("FTAJUD" + std::to_string(i), "Item " + std::to_string(i));
  rig.key(VKey::End);  // the fourteenth item scrolls into the last row of the box
  rig.ch(kEnter);
  // While choosing, the box covers rows 13 to 25 and shows items 2 to 14.
  EXPECT_EQ(form.RunMenu(), 14);

  const qr::ScreenImage& after = rig.console.screen();
  EXPECT_EQ(after.chars, before.chars);
  EXPECT_EQ(after.attrs, before.attrs);
  EXPECT_EQ(rig.console.consoleCursorColumn(), 12);
  EXPECT_EQ(rig.console.consoleCursorRow(), 20);
  EXPECT_EQ(rig.console.consoleTextAttr(), 0x1E);
}

TEST_F(MenuTest, LastItemOfALongMenuIsDrawnInsideTheBox) {
  rig.console.consoleMoveCursor(1, 4);
  rig.console.consoleWrite("abaixo da caixa");
  std::vector<std::string> rowsWhenLastHeard;
  form.setAnnouncer([&](std::string_view key) {
    if (key == "K6")
      for (int r = 1; r <= 4; ++r) rowsWhenLastHeard.push_back(rig.row(r));
    return true;
  });
  form.OpenMenu(1, 1, 10, 5, 3);
  for (int i = 1; i <= 6; ++i)
    form.AddMenuItem("K" + std::to_string(i), "Item " + std::to_string(i));
  rig.key(VKey::End);
  rig.ch(kEsc);
  EXPECT_EQ(form.RunMenu(), 0);
  EXPECT_EQ(rowsWhenLastHeard,
            (std::vector<std::string>{"Item 4", "Item 5", "Item 6", "abaixo da caixa"}));
  EXPECT_EQ(rig.row(1), "");
}

TEST_F(MenuTest, ReserveLinesLeavesRoomBelowTheCursor) {
  rig.console.consoleMoveCursor(7, 23);
  form.ReserveLines(5);
  // Rows 24 and 25 were not enough: the screen scrolled three rows.
  EXPECT_EQ(rig.console.consoleCursorColumn(), 7);
  EXPECT_EQ(rig.console.consoleCursorRow(), 20);
}

}  // namespace
