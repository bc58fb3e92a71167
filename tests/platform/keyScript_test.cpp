// The key script language: each construct and the events it gives, and the
// mistakes that must stop a run instead of typing something else.
#include "platform/keyScript.h"

#include <gtest/gtest.h>

#include "keyText.h"

namespace {

using platform::parseKeyScript;
using platform::ScriptStep;
using platform_test::describe;

std::string keysOf(const platform::ParsedScript& parsed) {
  std::string out;
  for (const auto& step : parsed.steps) {
    if (!out.empty()) out += " | ";
    switch (step.kind) {
      case ScriptStep::Kind::Key:
        out += describe(step.events);
        break;
      case ScriptStep::Kind::Wait:
        out += "wait " + std::to_string(step.milliseconds);
        break;
      case ScriptStep::Kind::Until:
        out += "until " + step.text;
        break;
      case ScriptStep::Kind::Dump:
        out += "dump " + step.text;
        break;
    }
  }
  return out;
}

TEST(KeyScript, EachConstructGivesTheKeysAPersonWouldPress) {
  struct Case {
    const char* script;
    const char* steps;
  } cases[] = {
      {"ab", "A:97 | B:98"},
      {"A1", "Shift+A:65 | 1:49"},
      {"a\nb\r\n", "A:97 | B:98"},
      {"{{x", "Other:123 | X:120"},
      {"\xc3\xa7\xc3\xa3", "Other:231 | Other:227"},
      {"{Enter}", "Enter:13"},
      {"{Esc}{Tab}{Backspace}{Space}", "Esc:27 | Tab:9 | Backspace:8 | Space:32"},
      {"{Up}{PgDn}{Ins}{Del}{F12}", "Up | PgDn | Ins | Del | F12"},
      {"{Ctrl+Up}{Shift+Down}", "Ctrl+Up | Shift+Down"},
      {"{Ctrl+Enter}{Ctrl+Backspace}", "Ctrl+Enter:10 | Ctrl+Backspace:127"},
      {"{Ctrl+C}{ctrl+v}", "Ctrl+C:3 | Ctrl+V:22"},
      {"{Alt+A}{Alt+Left}", "sys Alt+A | sys Alt+Left"},
      {"{Ctrl+Alt+A}{Ctrl+Alt+F11}", "Ctrl+Alt+A | Ctrl+Alt+F11"},
      {"{Shift+Ins}{Ctrl+Ins}", "Shift+Ins | Ctrl+Ins"},
      {"{R}{7}", "R:114 | 7:55"},
      {"{chord F D}", "[down F 0] [char F 102] [down D 0] [char D 100] [up F 0] [up D 0]"},
      {"{wait 500}{until Nome do computador}{dump /tmp/x y.txt}",
       "wait 500 | until Nome do computador | dump /tmp/x y.txt"},
      {"{until Conex\xc3\xa3o}", "until Conex\xc3\xa3o"},
  };
  for (const auto& c : cases) {
    const auto parsed = parseKeyScript(c.script);
    EXPECT_EQ(parsed.error, "") << c.script;
    EXPECT_EQ(keysOf(parsed), c.steps) << c.script;
  }
}

TEST(KeyScript, MistakesStopTheScriptWithTheReason) {
  struct Case {
    const char* script;
    const char* inError;
  } cases[] = {
      {"ab{Entr}cd", "{Entr}"},   {"{Hyper+A}", "{Hyper+A}"}, {"{}", "{}"},
      {"{F13}", "{F13}"},         {"{chord F Q9}", "Q9"},     {"{wait soon}", "{wait soon}"},
      {"{wait -5}", "{wait -5}"}, {"abc{Enter", "unclosed"},
  };
  for (const auto& c : cases) {
    const auto parsed = parseKeyScript(c.script);
    EXPECT_NE(parsed.error.find(c.inError), std::string::npos)
        << c.script << " -> " << parsed.error;
    EXPECT_TRUE(parsed.steps.empty()) << c.script;
  }
}

}  // namespace
