// Terminal key decoding: what a terminal sends for each key, and the key
// events the console's translation must receive for it.
#include "platform/termKeys.h"

#include <gtest/gtest.h>

#include "keyText.h"

namespace {

using platform::decodeTerminalInput;
using platform_test::describe;

struct Case {
  const char* input;
  const char* presses;
};

TEST(TermKeys, SequencesOfCommonTerminalsDecodeToTheirKeys) {
  const Case cases[] = {
      // Plain typing, control bytes and the erase byte.
      {"a", "A:97"},
      {"Z", "Shift+Z:90"},
      {"7", "7:55"},
      {" ", "Space:32"},
      {"/", "Other:47"},
      {"\r", "Enter:13"},
      {"\n", "Ctrl+Enter:10"},
      {"\t", "Tab:9"},
      {"\x7f", "Backspace:8"},
      {"\x08", "Ctrl+Backspace:127"},
      {"\x01", "Ctrl+A:1"},
      {"\x1a", "Ctrl+Z:26"},
      {"\x00", "Ctrl+Space:32"},
      // UTF-8 arrives as Windows-1252; a character it lacks becomes '?'.
      {"\xc3\xa7", "Other:231"},
      {"\xe2\x82\xac", "Other:128"},
      {"\xe4\xb8\xad", "Other:63"},
      // Cursor keys in normal and application mode, with modifiers.
      {"\x1b[A", "Up"},
      {"\x1bOB", "Down"},
      {"\x1b[1;5C", "Ctrl+Right"},
      {"\x1b[1;2D", "Shift+Left"},
      {"\x1b[1;3D", "sys Alt+Left"},
      {"\x1b[1;7A", "Ctrl+Alt+Up"},
      {"\x1b[H", "Home"},
      {"\x1bOF", "End"},
      {"\x1b[1~", "Home"},
      {"\x1b[4~", "End"},
      {"\x1b[5~", "PgUp"},
      {"\x1b[6;5~", "Ctrl+PgDn"},
      {"\x1b[2~", "Ins"},
      {"\x1b[2;2~", "Shift+Ins"},
      {"\x1b[3;5~", "Ctrl+Del"},
      // Function keys: SS3 F1-F4, numbered F5-F12, Linux console F1-F5.
      {"\x1bOP", "F1"},
      {"\x1bOS", "F4"},
      {"\x1b[1;5P", "Ctrl+F1"},
      {"\x1bO5Q", "Ctrl+F2"},
      {"\x1b[15~", "F5"},
      {"\x1b[21~", "F10"},
      {"\x1b[23;7~", "Ctrl+Alt+F11"},
      {"\x1b[24;5~", "Ctrl+F12"},
      {"\x1b[[A", "F1"},
      {"\x1b[[E", "F5"},
      // rxvt marks modifiers in the last byte.
      {"\x1b[2^", "Ctrl+Ins"},
      {"\x1b[5$", "Shift+PgUp"},
      {"\x1b[Z", "Shift+Tab:9"},
      // Alt as an ESC prefix: system keys without a character.
      {"\x1b"
       "a",
       "sys Alt+A"},
      {"\x1b"
       "5",
       "sys Alt+5"},
      {"\x1b\x01", "Ctrl+Alt+A"},
      {"\x1b\x1b[A", "sys Alt+Up"},
      // Keys reported with their code and modifiers.
      {"\x1b[13;5u", "Ctrl+Enter:10"},
      {"\x1b[27;5;13~", "Ctrl+Enter:10"},
      {"\x1b[97;5u", "Ctrl+A:1"},
      // Reports that are not keys are dropped whole.
      {"\x1b[<0;10;5M", ""},
      {"\x1b[?1;2c", ""},
      {"\x1b[99~", ""},
      // Several keys in one read.
      {"ab\x1b[Bc", "A:97 B:98 Down C:99"},
  };
  for (const auto& c : cases) {
    const std::string input = c.input[0] == '\0' ? std::string(1, '\0') : std::string(c.input);
    const auto out = decodeTerminalInput(input, false);
    EXPECT_EQ(describe(out.events), c.presses) << "input: " << testing::PrintToString(input);
    EXPECT_EQ(out.consumed, input.size()) << "input: " << testing::PrintToString(input);
  }
}

TEST(TermKeys, UnfinishedSequenceWaitsForMoreUntilTheTimeOut) {
  const Case waiting[] = {{"\x1b", "Esc:27"},    {"\x1b[", ""},
                          {"\x1b[1;5", ""},      {"\x1bO", "sys Alt+Shift+O"},
                          {"\xc3", "Other:195"}, {"\x1b\x1b", "Esc:27 Esc:27"}};
  for (const auto& c : waiting) {
    const std::string input = c.input;
    const auto early = decodeTerminalInput(input, false);
    EXPECT_TRUE(early.events.empty()) << testing::PrintToString(input);
    EXPECT_EQ(early.consumed, 0u) << testing::PrintToString(input);
    const auto late = decodeTerminalInput(input, true);
    EXPECT_EQ(describe(late.events), c.presses) << testing::PrintToString(input);
    EXPECT_EQ(late.consumed, input.size()) << testing::PrintToString(input);
  }
}

TEST(TermKeys, KeysBeforeAnUnfinishedSequenceAreDeliveredAtOnce) {
  const auto out = decodeTerminalInput("x\x1b[1;", false);
  EXPECT_EQ(describe(out.events), "X:120");
  EXPECT_EQ(out.consumed, 1u);
}

TEST(TermKeys, TerminalWhoseEraseIsCtrlHSwapsTheTwoBackspaces) {
  EXPECT_EQ(describe(decodeTerminalInput("\x08", false, 8).events), "Backspace:8");
  EXPECT_EQ(describe(decodeTerminalInput("\x7f", false, 8).events), "Ctrl+Backspace:127");
}

}  // namespace

namespace {

TEST(TermKeys, CharactersArriveInTheTerminalsCodeSet) {
  const platform::CodeSet latin1 = platform::codeSetNamed("ISO-8859-1");
  const platform::CodeSet latin9 = platform::codeSetNamed("ISO-8859-15");
  const platform::CodeSet gb = platform::codeSetNamed("GB18030");
  struct Coded {
    const platform::CodeSet* codes;
    std::string input;
    const char* presses;
  } cases[] = {
      {&latin1, "\xe7", "Other:231"},          // c cedilla
      {&latin1, "\xc9", "Other:201"},          // capital E acute
      {&latin1, "\x1b\xe7", "sys Alt+Other"},  // Alt with a Latin-1 letter
      {&latin1, "\x85", "Other:63"},           // a C1 control, no character
      {&latin9, "\xa4", "Other:128"},          // the euro sign of ISO-8859-15
      {&gb, "\xa8\xa6", "Other:233"},          // e acute, two bytes
  };
  for (const auto& c : cases) {
    const auto out = decodeTerminalInput(c.input, true, 127, c.codes);
    EXPECT_EQ(describe(out.events), c.presses)
        << c.codes->name << " " << testing::PrintToString(c.input);
    EXPECT_EQ(out.consumed, c.input.size()) << c.codes->name;
  }
  // Half a two-byte character waits for the rest.
  EXPECT_EQ(decodeTerminalInput("\xa8", false, 127, &gb).consumed, 0u);
}

}  // namespace
