// The script console's pace and its ends: keys only when the program has
// been quiet and asking, the exit codes, and the dumps written on the way out.
#include "platform/script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp1252.h"
#include "keyText.h"

namespace {

using platform::parseKeyScript;

struct ScriptEnded {
  int code;
};

struct Recorder : qr::KeySink {
  std::vector<qr::KeyEvent> events;
  void keyEvent(const qr::KeyEvent& e) override { events.push_back(e); }
};

// A script console on a clock the test moves by hand.
struct Harness {
  int64_t now = 1000;
  qr::EventLog log;
  Recorder keys;
  std::unique_ptr<qr::ConsoleFrontend> frontend;

  explicit Harness(const char* script, platform::ScriptFiles files = {}) {
    auto parsed = parseKeyScript(script);
    EXPECT_EQ(parsed.error, "");
    platform::ScriptClock clock{[this] { return now; }, [this](int ms) { now += ms; },
                                [](int code) { throw ScriptEnded{code}; }};
    frontend = platform::makeScriptFrontend(std::move(parsed.steps), log, files, clock);
  }
  // One ask of the program, after ms of time passed.
  size_t ask(int ms = 0) {
    now += ms;
    const size_t before = keys.events.size();
    frontend->poll(0, true, keys);
    return keys.events.size() - before;
  }
};

std::string readFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(ScriptConsole, KeyWaitsForThirtyQuietMillisecondsAndTwoAsks) {
  Harness h("x");
  EXPECT_EQ(h.ask(), 0u);    // just started: not quiet yet
  EXPECT_EQ(h.ask(29), 0u);  // asked twice, quiet 29 ms
  h.log.event("text", "ainda falando");
  EXPECT_EQ(h.ask(5), 0u);  // the program spoke: quiet starts again
  EXPECT_EQ(h.ask(24), 0u);
  EXPECT_EQ(h.ask(6), 3u);  // quiet 30 ms: Down, Char, Up of x
  EXPECT_EQ(platform_test::describe(h.keys.events), "X:120");
}

// A person waits for the program to finish talking: while it waits for
// sound to end, asking for a key (to let a key cut the sound short) gets
// none, however long the quiet; the quiet counts from the sound's end.
TEST(ScriptConsole, NoKeyWhileTheProgramWaitsForSoundToEnd) {
  Harness h("x");
  h.frontend->soundPlaying(true);
  EXPECT_EQ(h.ask(40), 0u);
  EXPECT_EQ(h.ask(500), 0u);
  h.frontend->soundPlaying(false);
  EXPECT_EQ(h.ask(1), 0u);
  EXPECT_EQ(h.ask(28), 0u);  // asked twice, 29 ms after the end
  EXPECT_EQ(h.ask(1), 3u);
}

TEST(ScriptConsole, ScreenAndCaptionChangesDelayTheNextKey) {
  Harness h("abc");
  h.ask(40);
  ASSERT_EQ(h.ask(1), 3u);
  EXPECT_EQ(h.ask(40), 0u);  // a key is itself a change: one ask since
  qr::ScreenImage s;
  s.chars[0] = 'a';
  h.frontend->present(s);
  EXPECT_EQ(h.ask(20), 0u);
  EXPECT_EQ(h.ask(5), 0u);  // two asks, but only 25 ms since the picture
  h.frontend->present(s);   // the same picture again is no change
  EXPECT_EQ(h.ask(5), 3u);
  h.ask(100);
  h.frontend->setCaption("NAVIRO x");
  EXPECT_EQ(h.ask(29), 0u);
  EXPECT_EQ(h.ask(1), 3u);
}

TEST(ScriptConsole, KeysAreOfferedOnlyWhenTheProgramAsks) {
  Harness h("x");
  for (int i = 0; i < 5; ++i) h.frontend->poll(50, false, h.keys);
  EXPECT_TRUE(h.keys.events.empty());
  h.ask();
  EXPECT_EQ(h.ask(), 3u);
}

TEST(ScriptConsole, WaitHoldsTheNextKey) {
  Harness h("{wait 500}x");
  h.ask(40);
  EXPECT_EQ(h.ask(40), 0u);
  EXPECT_EQ(h.ask(380), 0u);
  EXPECT_EQ(h.ask(50), 3u);
}

TEST(ScriptConsole, UntilHoldsTheNextKeyUntilTheTextIsOnScreen) {
  Harness h("{until Conex\xc3\xa3o}x");
  h.ask(40);
  EXPECT_EQ(h.ask(40), 0u);
  qr::ScreenImage s;
  const std::string text = qr::W("Conexão aberta");
  std::copy(text.begin(), text.end(), s.chars.begin() + 80);
  h.frontend->present(s);
  h.ask(40);
  EXPECT_EQ(h.ask(1), 3u);
}

TEST(ScriptConsole, UntilThatWaitsInVainEndsWith124) {
  Harness h("{until nunca}x");
  h.ask(40);
  try {
    for (int i = 0; i < 30; ++i) h.frontend->poll(0, false, h.keys), h.now += 1000;
    FAIL() << "no end";
  } catch (const ScriptEnded& e) {
    EXPECT_EQ(e.code, 124);
  }
}

TEST(ScriptConsole, UsedUpScriptEndsWith3AfterThreeSecondsOfAsking) {
  Harness h("x");
  h.ask(40);
  ASSERT_EQ(h.ask(1), 3u);
  h.ask(2000);
  h.log.event("text", "resposta");  // the program still talks: not waiting yet
  EXPECT_NO_THROW(h.ask(1));
  EXPECT_NO_THROW(h.ask(2998));
  try {
    h.ask(2);
    FAIL() << "no end";
  } catch (const ScriptEnded& e) {
    EXPECT_EQ(e.code, 3);
  }
}

TEST(ScriptConsole, DumpsAreWrittenOnEveryWayOut) {
  const auto dir = std::filesystem::temp_directory_path() / "naviro_script_test";
  std::filesystem::create_directories(dir);
  const platform::ScriptFiles files{(dir / "screen.txt").string(), (dir / "attrs.txt").string(),
                                    ""};
  qr::ScreenImage s;
  s.chars.fill(' ');
  s.attrs.fill(0x0f);
  const std::string text = qr::W("Olá  ");
  std::copy(text.begin(), text.end(), s.chars.begin());
  s.attrs[1] = 0x1e;
  const std::string snapshot = (dir / "snap.txt").string();
  {
    Harness h(("{dump " + snapshot + "}").c_str(), files);
    h.frontend->present(s);
    h.ask(40);
    h.ask(1);
    EXPECT_EQ(readFile(snapshot).substr(0, 5), "Olá\n");
  }  // the destructor is a way out too
  const std::string screen = readFile(files.screen);
  EXPECT_EQ(screen, "Olá\n" + std::string(24, '\n'));
  const std::string attrs = readFile(files.attrs);
  ASSERT_EQ(attrs.size(), 25u * 161u);
  EXPECT_EQ(attrs.substr(0, 6), "0f1e0f");
  std::filesystem::remove(files.screen);
  {
    Harness h("", files);
    h.frontend->present(s);
    try {
      h.frontend->exitProgram(7);
    } catch (const ScriptEnded& e) {
      EXPECT_EQ(e.code, 7);
    }
    EXPECT_EQ(readFile(files.screen), screen);  // written before the end
  }
  std::filesystem::remove_all(dir);
}

TEST(ScriptConsole, ClipboardGoesThroughTheFileAsUtf8) {
  const auto path = std::filesystem::temp_directory_path() / "naviro_clip_test.txt";
  Harness h("", {"", "", path.string()});
  h.frontend->clipboardPut(qr::W("ação"));
  EXPECT_EQ(readFile(path), "ação");
  std::ofstream(path) << "pôr";
  EXPECT_EQ(h.frontend->clipboardGet(), qr::W("pôr"));
  std::filesystem::remove(path);
}

}  // namespace
