// Screen review: what is read from the screen, where the review position
// goes, and that the screen itself never changes.
#include "console/review.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1252.h"
#include "tests/support/inputRig.h"

namespace {

using qr::VKey;
using testing_support::SpokenRig;

constexpr uint8_t kEsc = 27;

struct ReviewTest : ::testing::Test {
  SpokenRig rig{{"_DEL"}};
  qr::Review review{rig.console, rig.spoken};

  void put(int row, int column, std::string_view text, uint8_t attr = 0x0F) {
    rig.console.consoleSetTextAttr(attr);
    rig.console.consoleMoveCursor(column, row);
    rig.console.consoleWrite(text);
    rig.console.consoleSetTextAttr(0x0F);
  }
  // What was said in words and characters, leaving out clicks and tones.
  std::vector<std::string> said() {
    std::vector<std::string> out;
    for (const std::string& e : rig.heard())
      if (e != "click" && e != "beep") out.push_back(e);
    return out;
  }
  // Runs the mode from (column, row) with the keys already scripted, then
  // ESC; gives the review position when ESC was read.
  std::pair<int, int> runFrom(int column, int row) {
    rig.console.consoleMoveCursor(column, row);
    rig.ch(kEsc);
    review.ReviewScreen();
    return {review.row(), review.column()};
  }
};

TEST_F(ReviewTest, WordsAreSpokenSpelledOrCutToThreeEqualSymbols) {
  struct Case {
    const char* row;
    std::vector<std::string> said;
    int clicksAfter;  // clicks that mark a run cut short
  } cases[] = {
      {"------------------------------", {"text ---"}, 1},
      {"---", {"text ---"}, 0},
      {"FTP", {"char 70", "char 84", "char 80"}, 0},
      {"Arquivo", {"text Arquivo"}, 0},
      {"2004", {"text 2004"}, 0},
      {"   xyz", {"char 120", "char 121", "char 122"}, 0},
  };
  for (const Case& c : cases) {
    rig.console.consoleClearScreen();
    put(2, 1, c.row);
    rig.log.clear();
    review.setPosition(2, 1);
    review.ReadWordAt();
    // Speaking a text may add the characters it is made of; what comes
    // first is what ReadWordAt chose to say.
    const std::vector<std::string> heard = said();
    ASSERT_GE(heard.size(), c.said.size()) << c.row;
    EXPECT_EQ(std::vector<std::string>(heard.begin(), heard.begin() + c.said.size()), c.said)
        << c.row;
    EXPECT_EQ(rig.count("click"), c.clicksAfter) << c.row;
    EXPECT_EQ(review.column(), static_cast<int>(std::string_view(c.row).size()) + 1) << c.row;
  }
}

TEST_F(ReviewTest, LastColumnIsReadToo) {
  put(1, 80, "Z");
  review.setPosition(1, 75);
  review.ReadWordAt();
  EXPECT_EQ(said(), std::vector<std::string>{"char 90"});
  EXPECT_EQ(review.column(), 81);
}

TEST_F(ReviewTest, F6GoesToATypedRowAndColumnOrAbandonsOnANonDigit) {
  rig.key(VKey::F6);
  rig.type("0512");
  EXPECT_EQ(runFrom(1, 1), std::make_pair(5, 12));

  rig.log.clear();
  rig.key(VKey::F6);
  rig.type("05a");
  EXPECT_EQ(runFrom(3, 2), std::make_pair(2, 3));
  // One tone on entering, two on the bad key, two on leaving.
  EXPECT_EQ(rig.count("beep"), 5);
  EXPECT_EQ(rig.count("text Entre linha e coluna"), 1);
}

TEST_F(ReviewTest, CtrlKTellsTheRowAndTheColumn) {
  rig.ch(11);
  rig.ch(12);
  runFrom(7, 3);
  EXPECT_EQ(rig.count("text 3 7"), 2);
}

TEST_F(ReviewTest, RightAtColumn81SpeaksABlankAndIsCorrectedWithTheTone) {
  put(4, 1, std::string(80, 'x'));
  // From column 80 to 81, then to 82, which is corrected to 80.
  rig.key(VKey::Right);
  rig.key(VKey::Right);
  rig.ch(11);
  runFrom(80, 4);
  EXPECT_EQ(said(), (std::vector<std::string>{"char 120", "char 32", "text 4 80"}));
  // Entering, the correction, and two on leaving.
  EXPECT_EQ(rig.count("beep"), 4);
}

TEST_F(ReviewTest, LineAndScreenCommandsKeepOrMoveThePosition) {
  put(1, 1, "primeira linha");
  put(5, 1, "Nome: valor");
  put(25, 1, "fim da tela");
  struct Case {
    const char* command;
    std::pair<int, int> after;  // row, column
    const char* mustSay;
  } cases[] = {
      {"TL", {5, 8}, "text valor"},      {"ll", {5, 8}, "text Nome"},
      {"TT", {25, 12}, "text primeira"}, {"FL", {5, 8}, "text alor"},
      {"IT", {5, 8}, "text primeira"},  // stops after the v of column 7
      {"xy", {5, 8}, nullptr},
  };
  for (const Case& c : cases) {
    rig.log.clear();
    rig.type(c.command);
    rig.ch(11);  // where did it leave the position?
    runFrom(8, 5);
    const std::string where =
        "text " + std::to_string(c.after.first) + " " + std::to_string(c.after.second);
    EXPECT_EQ(rig.count(where), 1) << c.command;
    if (c.mustSay) {
      EXPECT_GE(rig.count(c.mustSay), 1) << c.command;
    }
  }
  // A pair that is no command: tone, click, tone.
  rig.log.clear();
  rig.type("xy");
  runFrom(8, 5);
  EXPECT_EQ(rig.heard(),
            (std::vector<std::string>{"beep", "beep", "click", "beep", "beep", "beep"}));
}

TEST_F(ReviewTest, FieldIsCutAtDelimitersAndAtAColourChange) {
  put(5, 1, "Nome: valor");
  put(6, 1, "uva", 0x0E);
  put(6, 4, "def", 0x1F);
  put(7, 1, qr::W("|AÇÃO|x"));
  struct Case {
    int row, column;
    const char* command;
    std::vector<std::string> said;
  } cases[] = {
      {5, 8, "TC", {"text valor"}}, {5, 2, "TC", {"text Nome"}},
      {5, 9, "IC", {"text val"}},  // from the field's start to the position
      {6, 5, "TC", {"text def"}},   {6, 2, "FC", {"text va"}},
      {7, 4, "TC", {"text AÇÃO"}},  // accented capitals are letters, not frame
  };
  for (const Case& c : cases) {
    rig.log.clear();
    rig.type(c.command);
    runFrom(c.column, c.row);
    EXPECT_EQ(said(), c.said) << c.row << "," << c.column << " " << c.command;
  }
}

TEST_F(ReviewTest, ArrowsAndHomeEndMoveOverTheScreen) {
  put(2, 1, "ab");
  put(3, 1, "linha tres");
  struct Case {
    std::vector<std::pair<VKey, bool>> keys;  // key, ctrl
    std::pair<int, int> from;                 // column, row
    std::pair<int, int> to;                   // row, column
  } cases[] = {
      {{{VKey::End, false}}, {1, 3}, {3, 11}},
      {{{VKey::Home, false}}, {7, 3}, {3, 1}},
      {{{VKey::Down, false}}, {7, 2}, {3, 1}},
      {{{VKey::Up, false}}, {7, 3}, {2, 1}},
      {{{VKey::PageDown, false}}, {7, 3}, {25, 1}},
      {{{VKey::PageUp, true}}, {7, 9}, {2, 1}},     // first letter on the screen
      {{{VKey::PageDown, true}}, {7, 1}, {3, 10}},  // last letter on the screen
      {{{VKey::Right, true}}, {1, 3}, {3, 7}},
      {{{VKey::Right, true}, {VKey::Right, true}}, {1, 3}, {3, 11}},
      {{{VKey::Left, true}}, {9, 3}, {3, 7}},
      {{{VKey::Left, true}}, {7, 3}, {3, 1}},
      {{{VKey::Left, true}}, {1, 3}, {3, 1}},
      {{{VKey::Left, false}}, {1, 3}, {3, 1}},
  };
  for (const Case& c : cases) {
    for (const auto& [key, ctrl] : c.keys) rig.key(key, ctrl);
    EXPECT_EQ(runFrom(c.from.first, c.from.second), c.to)
        << "from " << c.from.first << "," << c.from.second;
  }
}

TEST_F(ReviewTest, TabJumpsOverFieldsAndSpaceAndEnterReadOrStep) {
  put(5, 1, "Nome: valor");
  rig.ch(9);
  rig.ch(11);
  runFrom(2, 5);
  EXPECT_EQ(rig.count("text 5 6"), 1);  // second column after the field "Nome"

  rig.log.clear();
  rig.frontend.script.push_back({qr::KeyEvent::Type::Char, VKey::Tab, 9, false, false, true});
  rig.ch(11);
  runFrom(8, 5);
  EXPECT_EQ(rig.count("text 5 4"), 1);  // second column before the field " valor"

  rig.log.clear();
  rig.ch(' ');
  rig.ch(11);
  rig.ch(13);
  rig.ch(11);
  runFrom(8, 5);
  EXPECT_EQ(rig.count("text Nome"), 1);
  EXPECT_EQ(rig.count("text 5 8"), 1);
  EXPECT_EQ(rig.count("text 6 1"), 1);
}

TEST_F(ReviewTest, FindLooksFromAfterThePositionAndFindAgainGoesOn) {
  put(2, 1, "porta 21 aberta");
  put(9, 5, "porta 20");
  rig.key(VKey::F5);
  rig.type("porx");
  rig.ch(8);  // Backspace erases the x
  rig.type("ta");
  rig.ch(13);
  rig.ch(11);
  rig.key(VKey::F5, true);
  rig.ch(11);
  rig.key(VKey::F5, true);
  rig.ch(11);
  runFrom(1, 1);
  EXPECT_EQ(review.searchText(), "porta");
  EXPECT_EQ(rig.count("text 2 1"), 1);
  EXPECT_EQ(rig.count("text 9 5"), 2);
  EXPECT_EQ(rig.count("sound _DEL"), 1);
  EXPECT_EQ(rig.count("char 120"), 2);  // typed, then erased
  EXPECT_EQ(rig.count("text Qual texto"), 1);
  // The third search finds nothing: two tones, position unchanged.
  EXPECT_EQ(rig.count("beep"), 1 + 2 + 2);
}

TEST_F(ReviewTest, CtrlCCopiesEveryRowAndTheScreenStaysAsItWas) {
  put(1, 1, "linha um");
  put(25, 75, "final");
  const qr::ScreenImage before = rig.console.screen();
  rig.ch(3);
  rig.type("TT");
  rig.key(VKey::F1);
  runFrom(1, 1);
  const std::string clip = qr::fromUtf8(rig.frontend.clipboard);
  ASSERT_EQ(clip.size(), 25u * 82u);
  EXPECT_EQ(clip.substr(0, 10), "linha um  ");
  EXPECT_EQ(clip.substr(24 * 82 + 74, 8), "final \r\n");
  EXPECT_EQ(rig.console.screen().chars, before.chars);
  EXPECT_EQ(rig.console.screen().attrs, before.attrs);
  EXPECT_EQ(rig.console.consoleCursorColumn(), 1);
  EXPECT_EQ(rig.console.consoleCursorRow(), 1);
}

}  // namespace
