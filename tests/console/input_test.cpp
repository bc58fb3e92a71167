// The spoken line editor driven through the console's key queue: the field
// on screen, the text handed back, the returned key and what the user hears.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "console/qrwinInput.h"
#include "speech/numbers.h"
#include "tests/support/inputRig.h"

namespace {

using qr::VKey;
using testing_support::SpokenRig;

constexpr uint8_t kEnter = 13;
constexpr uint8_t kEsc = 27;

struct InputTest : ::testing::Test {
  SpokenRig rig{{"_DEL", "_FON65", "_APFCPO", "_APICPO", "_CPOAPA", "_FALACI", "_FALDLG", "_VELOC",
                 "dtmf_1", "dtmf_X"}};
  qr::LineInput input{rig.console, rig.spoken};

  uint8_t edit(std::string& text, int maxLength = 20, bool editing = true, int row = 1) {
    return input.editField(text, 1, row, editing, maxLength, maxLength);
  }
};

TEST_F(InputTest, EscapeInReadLineEmptiesTheAnswerAndBlanksWhatWasTyped) {
  rig.console.out("Nome: ");
  rig.type("abc");
  rig.ch(kEsc);
  std::string text = "lixo";
  EXPECT_EQ(input.readLineSpoken(text), kEsc);
  EXPECT_EQ(text, "");
  EXPECT_EQ(rig.row(1), "Nome:");
  EXPECT_EQ(rig.console.consoleCursorRow(), 2);
  EXPECT_EQ(rig.console.consoleCursorColumn(), 1);
}

TEST_F(InputTest, ReadLineGivesTheTypedTextAndEndsTheLine) {
  rig.type("ls -l");
  rig.ch(kEnter);
  std::string text;
  EXPECT_EQ(input.readLineSpoken(text), kEnter);
  EXPECT_EQ(text, "ls -l");
  EXPECT_EQ(rig.row(1), "ls -l");
  EXPECT_EQ(rig.console.consoleCursorRow(), 2);
}

TEST_F(InputTest, ProposedTextIsReplacedByTypingButKeptAfterAnArrow) {
  std::string text = "antigo";
  rig.type("x");
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "x");
  EXPECT_EQ(rig.count("click"), 2);

  rig.log.clear();
  text = "antigo";
  rig.key(VKey::Right);
  rig.type("x");
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "axntigo");
  EXPECT_EQ(rig.count("click"), 0);
  EXPECT_EQ(rig.heard().front(), "char 97");
}

TEST_F(InputTest, TypingIntoAFullFieldBeepsAndChangesNothing) {
  std::string text = "abcde";
  rig.key(VKey::End);
  rig.type("x");
  rig.ch(kEnter);
  edit(text, 5);
  EXPECT_EQ(text, "abcde");
  EXPECT_EQ(rig.count("beep"), 1);
  EXPECT_EQ(input.lastCursorPosition(), 6);

  // The last cell takes a character, which makes the field exactly full.
  rig.log.clear();
  text = "abcd";
  rig.key(VKey::End);
  rig.type("ex");
  rig.ch(kEnter);
  edit(text, 5);
  EXPECT_EQ(text, "abcde");
  EXPECT_EQ(rig.console.consoleCharAt(5, 1), 'e');
  EXPECT_EQ(rig.count("beep"), 1);
}

TEST_F(InputTest, EndingKeysAreReturnedAndLettersAreTyped) {
  struct Case {
    const char* name;
    VKey key;
    bool ctrl;
    uint8_t returned;
  } cases[] = {
      {"Up", VKey::Up, false, 72},         {"Down", VKey::Down, false, 80},
      {"PageUp", VKey::PageUp, false, 73}, {"PageDown", VKey::PageDown, false, 81},
      {"F2", VKey::F2, false, 60},         {"Ctrl+F9", VKey::F9, true, 102},
  };
  for (const Case& c : cases) {
    std::string text = "abc";
    rig.key(c.key, c.ctrl);
    EXPECT_EQ(edit(text), c.returned) << c.name;
    EXPECT_EQ(text, "abc") << c.name;
  }
  for (uint8_t end : {uint8_t{13}, uint8_t{9}, uint8_t{27}, uint8_t{10}}) {
    std::string text;
    rig.type("H");
    rig.ch(end);
    EXPECT_EQ(edit(text), end);
    EXPECT_EQ(text, "H");
  }
}

TEST_F(InputTest, AltRightOnALetterPlaysItsPhoneticName) {
  std::string text = "A";
  rig.key(VKey::Right, false, true);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(rig.heard(), std::vector<std::string>{"sound _FON65"});
}

TEST_F(InputTest, WordMovesStopAtWordStartsAndBeepAtTheEnds) {
  struct Case {
    const char* text;
    int rights;
    int lefts;
    int position;
    int beeps;
  } cases[] = {
      {"abc  123", 1, 0, 6, 0},  // first digit
      {"abc  123", 2, 0, 9, 1},  // past the last word: after it, with the tone
      {"abc  123", 2, 1, 6, 1},  // back to the start of the number
      {"abc  123", 0, 1, 1, 1},  // nothing before position 1
      {"a.b c", 1, 0, 2, 0},     // punctuation is a stop of its own
      {"a.b c", 2, 0, 3, 0},    {"ação 12", 1, 0, 6, 0},  // accented letters belong to the word
  };
  for (const Case& c : cases) {
    std::string text = qr::W(c.text);
    rig.log.clear();
    for (int i = 0; i < c.rights; ++i) rig.key(VKey::Right, true);
    for (int i = 0; i < c.lefts; ++i) rig.key(VKey::Left, true);
    rig.ch(kEnter);
    edit(text);
    EXPECT_EQ(input.lastCursorPosition(), c.position) << c.text << " " << c.rights << c.lefts;
    EXPECT_EQ(rig.count("beep"), c.beeps) << c.text << " " << c.rights << c.lefts;
  }
}

TEST_F(InputTest, LastRowFieldNeverReachesTheLastColumn) {
  rig.console.consoleMoveCursor(1, 24);
  rig.console.out("acima");
  std::string text(100, 'x');
  rig.ch(kEnter);
  input.editFieldHere(text, 1, 25, false, 100);
  EXPECT_EQ(rig.row(25), std::string(78, 'x'));
  EXPECT_EQ(rig.row(24), "acima");

  // A field asked wider than the row is cut at the screen edge, not wrapped.
  std::string wide(100, 'y');
  rig.ch(kEnter);
  input.editField(wide, 75, 10, false, 50, 100);
  EXPECT_EQ(rig.row(10), std::string(74, ' ') + "yyyyyy");
  EXPECT_EQ(rig.row(11), "");
}

TEST_F(InputTest, NarrowFieldScrollsToKeepTheCursorInView) {
  std::string text;
  rig.type("abcdefgh");
  rig.key(VKey::Up);
  EXPECT_EQ(input.editField(text, 10, 3, true, 5, 20), 72);
  EXPECT_EQ(text, "abcdefgh");
  // On leaving, the field shows its beginning again.
  EXPECT_EQ(rig.row(3), std::string(9, ' ') + "abcde");

  struct Peek : qr::ScreenReview {
    SpokenRig* rig;
    std::string row;
    void ReviewScreen() override { row = rig->row(3); }
  } peek;
  peek.rig = &rig;
  input.setScreenReview(&peek);
  rig.key(VKey::End);
  rig.key(qr::letterKey('R'), true, true);
  rig.ch(kEnter);
  (void)input.editField(text, 10, 3, true, 5, 20);
  EXPECT_EQ(peek.row, std::string(9, ' ') + "defgh");
}

TEST_F(InputTest, DeletingPlaysDelThenTheDeletedCharacter) {
  std::string text = "abc";
  rig.key(VKey::End);
  rig.ch(8);
  rig.key(VKey::Home);
  rig.key(VKey::Delete);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "b");
  EXPECT_EQ(rig.heard(),
            (std::vector<std::string>{"sound _DEL", "char 99", "sound _DEL", "char 97"}));

  rig.log.clear();
  text = "abc";
  rig.ch(8);  // at position 1
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(rig.heard(), std::vector<std::string>{"beep"});
}

TEST_F(InputTest, ControlKeysBlankPartsOfTheFieldWithTheirSounds) {
  struct Case {
    const char* name;
    uint8_t key;
    const char* result;
    const char* sound;
  } cases[] = {
      {"Ctrl+D", 4, "abc", "sound _APFCPO"},
      {"Ctrl+S", 19, "def", "sound _APICPO"},
      {"Ctrl+Y", 25, "", "sound _CPOAPA"},
  };
  for (const Case& c : cases) {
    std::string text = "abcdef";
    rig.log.clear();
    for (int i = 0; i < 3; ++i) rig.key(VKey::Right);
    rig.ch(c.key);
    rig.ch(kEnter);
    edit(text);
    EXPECT_EQ(text, c.result) << c.name;
    EXPECT_EQ(rig.heard().back(), c.sound) << c.name;
  }

  std::string text = "abc";
  rig.log.clear();
  rig.key(VKey::End);
  rig.type("xyz");
  rig.ch(21);  // Ctrl+U
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(rig.count("beep"), 3);
}

TEST_F(InputTest, ReviewModeMovesAndSpeaksButNeverChangesTheText) {
  std::string text = "linha";
  rig.key(VKey::End);
  rig.ch(8);
  rig.type("zz");
  rig.ch(4);
  rig.ch(25);
  rig.key(VKey::Delete);
  rig.ch(127);
  rig.ch(kEnter);
  edit(text, 5, false);
  EXPECT_EQ(text, "linha");
  EXPECT_EQ(input.lastCursorPosition(), 5);
  EXPECT_EQ(rig.count("sound _DEL"), 0);
}

TEST_F(InputTest, ShiftArrowsSelectAndCopyDeleteAndPasteUseTheSelection) {
  std::string text = "abcdef";
  rig.key(VKey::End);
  rig.key(VKey::Left, false, false, true);
  rig.key(VKey::Left, false, false, true);
  rig.ch(3);  // Ctrl+C
  rig.key(VKey::Delete);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(rig.frontend.clipboard, "ef");
  EXPECT_EQ(text, "abcd");
  EXPECT_EQ(rig.count("sound _DEL"), 1);
  EXPECT_EQ(rig.count("char 101"), 2);  // e heard on Shift+Left, then deleted
  EXPECT_EQ(rig.count("char 102"), 2);

  // A selection in the middle: exactly its characters go.
  text = "abcdef";
  rig.key(VKey::Right);
  rig.key(VKey::Right, false, false, true);
  rig.key(VKey::Right, false, false, true);
  rig.key(VKey::Delete);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "adef");

  // Paste replaces the selection and is cut at the line end.
  rig.frontend.clipboard = "XY\r\nZ";
  text = "abcdef";
  rig.key(VKey::Right);
  rig.key(VKey::Right, false, false, true);
  rig.key(VKey::Right, false, false, true);
  rig.ch(22);  // Ctrl+V
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "aXYdef");

  // Pasting as the first key replaces a proposed text; copying without a
  // selection gives the whole text and a line end.
  text = "antigo";
  rig.ch(22);
  rig.ch(3);  // the pasted text is the selection
  rig.key(VKey::Home);
  rig.ch(3);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "XY");
  EXPECT_EQ(rig.frontend.clipboard, "XY\r\n");
}

TEST_F(InputTest, SelectionIsShownOnGreyBackground) {
  struct HoldField : qr::ScreenReview {
    qr::Console* console;
    uint8_t attrs[4] = {};
    void ReviewScreen() override {
      for (int c = 1; c <= 4; ++c) attrs[c - 1] = console->consoleAttrAt(c, 1);
    }
  } probe;
  probe.console = &rig.console;
  input.setScreenReview(&probe);
  std::string text = "abcd";
  rig.key(VKey::Right);
  rig.key(VKey::Right, false, false, true);
  rig.key(VKey::Right, false, false, true);
  rig.key(qr::letterKey('R'), true, true);  // the review key: look at the screen then
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(probe.attrs[0], 0x0F);
  EXPECT_EQ(probe.attrs[1], 0x8F);
  EXPECT_EQ(probe.attrs[2], 0x8F);
  EXPECT_EQ(probe.attrs[3], 0x0F);
}

TEST_F(InputTest, ReviewKeyRunsScreenReviewAndEditingGoesOn) {
  struct CountingReview : qr::ScreenReview {
    int runs = 0;
    void ReviewScreen() override { ++runs; }
  } review;
  input.setScreenReview(&review);
  std::string text;
  rig.type("a");
  rig.key(qr::letterKey('R'), true, true);  // Ctrl+Alt+R
  rig.type("b");
  rig.ch(kEnter);
  EXPECT_EQ(edit(text), kEnter);
  EXPECT_EQ(review.runs, 1);
  EXPECT_EQ(text, "ab");
}

TEST_F(InputTest, NextWordSpellsConsonantWordsAndSpeaksTheRest) {
  std::string text = "FTP arquivo -12 !";
  for (int i = 0; i < 5; ++i) rig.key(VKey::F1);
  rig.ch(kEnter);
  edit(text);
  const std::vector<std::string> heard = rig.heard();
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(heard.begin(), heard.begin() + 3),
            (std::vector<std::string>{"char 70", "char 84", "char 80"}));
  EXPECT_EQ(rig.count("text arquivo"), 1);
  EXPECT_EQ(rig.count("text -12"), 1);
  EXPECT_EQ(rig.count("char 33"), 1);
  EXPECT_EQ(rig.count("beep"), 1);
  EXPECT_EQ(input.lastCursorPosition(), 18);
}

TEST_F(InputTest, EchoToggleSilencesTypedCharacters) {
  std::string text;
  rig.key(VKey::F4);
  rig.type("a");
  rig.key(VKey::F4);
  rig.type("b");
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(rig.heard(), (std::vector<std::string>{"sound _FALDLG", "sound _FALACI", "char 98"}));
  EXPECT_TRUE(input.echo());
}

TEST_F(InputTest, CtrlBackspaceDeletesTheWordAndTheBlanksAfterIt) {
  struct Case {
    const char* text;
    int rights;
    const char* result;
  } cases[] = {
      {"abc def", 7, "abc"},          // after the last word
      {"abc def", 2, "def"},          // inside the first word
      {"abc def ghi", 4, "abc ghi"},  // on a word start: that word
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    for (int i = 0; i < c.rights; ++i) rig.key(VKey::Right);
    rig.ch(127);
    rig.ch(kEnter);
    edit(text);
    EXPECT_EQ(text, c.result) << c.text;
  }
}

TEST_F(InputTest, CtrlKSpeaksThePosition) {
  std::string text = "abcd";
  rig.key(VKey::Right);
  rig.key(VKey::Right);
  rig.ch(11);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(rig.count("text 3"), 1);
}

TEST(WordToOpen, TakesTheRunAroundThePositionWithoutItsPunctuation) {
  struct Case {
    const char* field;
    int position;
    const char* word;
  } cases[] = {
      {"veja www.site.com.br agora", 10, "www.site.com.br"},
      {"veja www.site.com.br agora", 5, "veja"},  // on the blank after a word
      {"leia (notas.txt).", 8, "notas.txt)"},
      {"\"http://a.b/c\"", 3, "http://a.b/c"},
      {"  -- ", 3, ""},
      {"", 1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qr::wordToOpen(c.field, c.position), c.word) << c.field << " @" << c.position;
}

TEST_F(InputTest, UnlistedControlKeyFirstClicksTwiceButKeepsTheText) {
  std::string text = "abc";
  rig.ch(1);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(rig.count("click"), 2);
}

TEST_F(InputTest, AltQWEPrefixHandsOnTheNextKeyAndAltDigitsDoNothing) {
  std::string text;
  ASSERT_TRUE(rig.console.queueKeyBytes(std::string("\0\x10", 2)));
  ASSERT_TRUE(rig.console.queueKeyBytes("x"));
  ASSERT_TRUE(rig.console.queueKeyBytes(std::string("\0\x79", 2)));  // Alt+1
  ASSERT_TRUE(rig.console.queueKeyBytes("\r"));
  EXPECT_EQ(edit(text), kEnter);
  EXPECT_EQ(text, "x");
}

TEST_F(InputTest, CtrlBackslashSpeaksTheAnswerAsTelephoneTones) {
  std::string text = "1*a";
  rig.ch(28);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(rig.heard(), (std::vector<std::string>{"sound dtmf_1", "sound dtmf_X"}));
}

TEST_F(InputTest, SpeedKeyAnsweredWithEscapeChangesNothing) {
  std::string text = "abc";
  rig.key(VKey::F4, true);
  rig.ch(kEsc);
  rig.key(VKey::Right);
  rig.ch(kEnter);
  EXPECT_EQ(edit(text), kEnter);
  EXPECT_EQ(rig.heard(), (std::vector<std::string>{"sound _VELOC", "char 27", "char 97"}));
  EXPECT_EQ(text, "abc");
}

TEST_F(InputTest, WholeAnswerIsSpokenWithoutItsPadding) {
  std::string text = "abc";
  rig.key(VKey::F1, true);
  rig.ch(222);
  rig.ch(kEnter);
  edit(text);
  EXPECT_EQ(rig.count("text abc"), 2);
}

}  // namespace

namespace {

// F8 and Ctrl+F8 in the editor say the time and the date from the recorded
// pieces, and leave the field as it was.
TEST(InputClock, F8SaysTheTimeAndCtrlF8TheDate) {
  testing_support::SpokenRig rig;
  for (const std::string& name : speech::timeAndDatePieceNames())
    testing_support::writeTinyWav(rig.dir + "/" + name + ".wav");
  qr::LineInput input{rig.console, rig.spoken};
  std::string text = "abc";
  rig.key(VKey::F8);
  rig.key(VKey::F8, true);
  rig.ch(kEnter);
  EXPECT_EQ(input.editField(text, 1, 1, true, 20, 20), kEnter);
  EXPECT_EQ(text, "abc");
  const auto heard = rig.heard();
  auto at = [&](std::string_view prefix) {
    for (size_t i = 0; i < heard.size(); ++i)
      if (heard[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
    return -1L;
  };
  // The time names its hours piece; the date names a day of the week after it.
  const long hours = at("sound _hora");
  long weekday = -1;
  for (const char* day :
       {"_Domingo", "_Segunda", "_Terca", "_Quarta", "_Quinta", "_Sexta", "_Sabado"})
    weekday = std::max(weekday, at(std::string("sound ") + day));
  EXPECT_GE(hours, 0);
  EXPECT_GT(weekday, hours);
}

}  // namespace
