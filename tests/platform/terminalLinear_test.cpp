// Linear mode: the console as plain lines. Each case drives the real console
// through a few writes and cursor moves and checks the bytes a screen reader
// gets after each step.
#include "platform/terminalLinear.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/cp1252.h"
#include "console/qrCrt.h"
#include "tests/support/fakes.h"

namespace {

struct Step {
  std::function<void(qr::Console&)> act;
  std::string bytes;  // what the terminal gets after the step
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  int width = 80;
};

void write(qr::Console& c, std::string_view text) {
  c.consoleWrite(text);
}

TEST(LinearText, ScreenChangesBecomePlainLines) {
  const Case cases[] = {
      {"lines are written once, finished by their line end",
       {{[](auto& c) { write(c, "Conectando"); }, "Conectando"},
        {[](auto& c) { write(c, "\r\nEm funcionamento\r\n"); }, "\r\nEm funcionamento\r\n"},
        {[](auto&) {}, ""}}},
      {"several lines in one write come out whole, blank ones too",
       {{[](auto& c) { write(c, "a\r\n\r\nb\r\nc"); }, "a\r\n\r\nb\r\nc"}}},
      {"a prompt keeps its blank; typing is appended, Backspace rubs out",
       {{[](auto& c) { write(c, "Comando ? "); }, "Comando ? "},
        {[](auto& c) { write(c, "v"); }, "v"},
        {[](auto& c) { write(c, "\b"); }, "\b \b"},
        {[](auto& c) { write(c, "d\r\n"); }, "d\r\n"}}},
      {"the editor's field: only the changed tail, the cursor kept in place",
       {{[](auto& c) { write(c, "Nome: abcd"); }, "Nome: abcd"},
        {[](auto& c) { c.consoleMoveCursor(8, 1); }, "\b\b\b"},
        {[](auto& c) {
           write(c, "Xcd");
           c.consoleMoveCursor(9, 1);
         },
         "Xcd\b\b"},
        {[](auto& c) { c.consoleMoveCursor(11, 1); }, "cd"},
        {[](auto& c) { write(c, "\r\n"); }, "\r\n"}}},
      {"a line that scrolled off is finished as it ended",
       {{[](auto& c) {
           c.consoleMoveCursor(1, 25);
           write(c, "fim");
         },
         "fim"},
        {[](auto& c) { write(c, "!\r\nnova"); }, "!\r\nnova"}}},
      {"a jump to another row shows that row as a new line; cleared rows are not rubbed out",
       {{[](auto& c) { write(c, "um\r\ndois\r\nComando ? "); }, "um\r\ndois\r\nComando ? "},
        {[](auto& c) { c.consoleMoveCursor(1, 1); }, "\r\num\b\b"},
        {[](auto& c) { c.consoleClearScreen(); }, "\r\n"}}},
      {"a jump into a menu's box shows the entry, not the text beside the box",
       {{[](auto& c) { write(c, "velho texto ao lado\r\nComando ? "); },
         "velho texto ao lado\r\nComando ? "},
        {[](auto& c) {
           c.consoleSetBackground(5);
           c.consoleMoveCursor(7, 1);
           write(c, "  L  login  ");
           c.consoleMoveCursor(7, 1);
           c.consoleSetBackground(0);
         },
         "\r\n  L  login" + std::string(10, '\b')}}},
      {"a password echoed black on black stays hidden",
       {{[](auto& c) {
           write(c, "Qual a senha ");
           c.consoleSetForeground(0);
           write(c, "segredo");
           c.consoleSetForeground(15);
         },
         "Qual a senha        "},
        {[](auto& c) { write(c, "\r\n"); }, "\r\n"}}},
      {"a change before the terminal's wrap starts the line afresh",
       {{[](auto& c) { write(c, "0123456789abc"); }, "0123456789abc"},
        {[](auto& c) {
           c.consoleMoveCursor(2, 1);
           write(c, "X");
         },
         "\r\n0X23456789abc"}},
       10},
      {"a line longer than the console is one line, its words whole; one that wraps at a blank "
       "ends there",
       {{[](auto& c) { write(c, std::string(75, 'a') + " palavra longa\r\n"); },
         std::string(75, 'a') + " palavra longa\r\n"},
        {[](auto& c) { write(c, std::string(79, 'b') + " fim"); }, std::string(79, 'b') + "\r\nfim"},
        {[](auto& c) { write(c, "\r\n"); }, "\r\n"}}},
      {"accented letters in UTF-8", {{[](auto& c) { write(c, qr::W("Diretório")); }, "Diretório"}}},
  };
  for (const Case& k : cases) {
    testing_support::FakeFrontend frontend;
    testing_support::MemoryAudio audio;
    qr::EventLog log("");
    qr::Console console(frontend, audio, log);
    console.useSettings({});
    platform::LinearText lines;
    (void)lines.update(console.screen(), k.width);
    int n = 0;
    for (const Step& step : k.steps) {
      step.act(console);
      const std::string got = lines.update(console.screen(), k.width);
      EXPECT_EQ(got, step.bytes) << k.name << ", step " << n;
      EXPECT_EQ(got.find('\x1b'), std::string::npos) << k.name << ": an escape sequence";
      ++n;
    }
  }
}

TEST(LinearText, LatinOneTerminalGetsLatinOneBytesAndAnUnfinishedLineEndsAtExit) {
  const platform::CodeSet latin1 = platform::codeSetNamed("ISO-8859-1");
  testing_support::FakeFrontend frontend;
  testing_support::MemoryAudio audio;
  qr::EventLog log("");
  qr::Console console(frontend, audio, log);
  console.useSettings({});
  platform::LinearText lines(&latin1);
  console.consoleWrite(qr::W("Diretório €"));
  EXPECT_EQ(lines.update(console.screen(), 80), "Diret\xf3rio ?");
  EXPECT_EQ(lines.finish(), "\r\n");
  EXPECT_EQ(lines.finish(), "");
}

}  // namespace
