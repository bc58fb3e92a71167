// The console core: screen planes and writing rules, colours, the key queue,
// reading keys and lines, clipboard and the end of the program.
#include "console/qrCrt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/eventfd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <fstream>

#include "console/qrwinConfig.h"
#include "platform/pollWaiter.h"
#include "tests/support/fakes.h"
#include "tests/support/realtime.h"

using testing_support::FakeExit;
using testing_support::FakeFrontend;
using testing_support::MemoryAudio;

namespace {

struct ConsoleTest : ::testing::Test {
  FakeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};

  void SetUp() override {
    log.keepLines(true);
    console.useSettings(qr::ConsoleSettings{});
  }
  std::string row(int r) {
    std::string s;
    for (int c = 1; c <= qr::kColumns; ++c) s += static_cast<char>(console.consoleCharAt(c, r));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  std::pair<int, int> cursor() {
    return {console.consoleCursorColumn(), console.consoleCursorRow()};
  }
};

TEST_F(ConsoleTest, OpensBlankWithStartAttribute) {
  qr::ConsoleSettings s;
  s.background = 1;
  s.foreground = 14;
  console.useSettings(s);
  EXPECT_EQ(console.consoleTextAttr(), 0x1E);
  EXPECT_EQ(console.consoleCharAt(80, 25), ' ');
  EXPECT_EQ(console.consoleAttrAt(1, 1), 0x1E);
  EXPECT_EQ(cursor(), std::make_pair(1, 1));
  EXPECT_EQ(frontend.presents, 1);
}

TEST_F(ConsoleTest, StartAttributeCombinesColoursBitwise) {
  qr::ConsoleSettings s;
  s.background = 1;
  s.foreground = 0x14;  // out of range: its high bits land in the background
  console.useSettings(s);
  EXPECT_EQ(console.consoleTextAttr(), 0x14);
}

TEST_F(ConsoleTest, BellBeepsAndStoresNothing) {
  console.consoleWrite("a\ab");
  EXPECT_EQ(row(1), "ab");
  EXPECT_EQ(frontend.beeps, 1);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"beep"});
}

TEST_F(ConsoleTest, PaletteFollowsColourMap) {
  qr::ConsoleSettings s;
  s.colourMap[1] = 4;
  s.colourMap[2] = 200;
  console.useSettings(s);
  const qr::ScreenImage& im = console.screen();
  EXPECT_EQ(im.colours[1], (qr::Rgb{255, 0, 0}));
  EXPECT_EQ(im.colours[2], (qr::Rgb{0, 0, 0}));
  EXPECT_EQ(im.colours[5], (qr::Rgb{142, 0, 142}));
}

TEST_F(ConsoleTest, PresentsOnlyWhatChanged) {
  console.consoleOpen();
  const int opened = frontend.presents;
  console.consoleWrite("");
  EXPECT_EQ(frontend.presents, opened);
  console.consoleWrite("abc");
  EXPECT_EQ(frontend.presents, opened + 1);
  EXPECT_EQ(frontend.last.chars[2], 'c');
  console.consoleMoveCursor(10, 10);  // drawn before the next wait
  EXPECT_EQ(frontend.presents, opened + 1);
  (void)console.consoleKeyPending();
  EXPECT_EQ(frontend.presents, opened + 2);
  EXPECT_EQ(frontend.last.cursorColumn, 9);
  (void)console.consoleKeyPending();
  EXPECT_EQ(frontend.presents, opened + 2);
}

TEST_F(ConsoleTest, KeyQueueDropsWholeKeyWhenFull) {
  console.consoleOpen();
  ASSERT_TRUE(console.queueKeyBytes(std::string(63, 'a')));
  EXPECT_FALSE(console.queueKeyBytes(std::string("\0H", 2)));
  EXPECT_EQ(console.queuedKeyBytes(), 63u);
  EXPECT_TRUE(console.queueKeyBytes("b"));
  EXPECT_FALSE(console.queueKeyBytes("c"));
  EXPECT_EQ(console.queuedKeyBytes(), 64u);
  for (int i = 0; i < 63; ++i) ASSERT_EQ(console.consoleReadKey(), 'a');
  EXPECT_EQ(console.consoleReadKey(), 'b');
  EXPECT_FALSE(console.consoleKeyPending());
}

TEST_F(ConsoleTest, ExtendedKeyTakesTwoReadsAndCaretShowsOnlyWhileWaiting) {
  frontend.pressKey(qr::VKey::Up);
  frontend.typeChar('x');
  EXPECT_EQ(console.consoleReadKey(), 0);
  EXPECT_FALSE(frontend.last.caretVisible);
  EXPECT_EQ(console.consoleReadKey(), 72);
  EXPECT_EQ(console.consoleReadKey(), 'x');
}

TEST_F(ConsoleTest, ReadKeyWithNothingToReadEndsWhenScriptIsUsedUp) {
  frontend.idleAsksBeforeExit = 3;
  try {
    (void)console.consoleReadKey();
    FAIL() << "read returned without a key";
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.code, 3);
  }
  EXPECT_TRUE(frontend.last.caretVisible);
}

TEST_F(ConsoleTest, ReadLineEditsEchoesAndLimits) {
  frontend.typeText("abc");
  frontend.typeChar(8);
  frontend.typeText("d");
  frontend.pressKey(qr::VKey::Home);  // 0 dropped, 71 ("G") taken as a character
  frontend.typeChar(13);
  console.consoleWrite("Senha: ");
  EXPECT_EQ(console.consoleReadLine(), "abdG\r\n");
  EXPECT_EQ(row(1), "Senha: abdG");
  EXPECT_EQ(cursor(), std::make_pair(1, 2));

  frontend.typeText("123456");
  frontend.typeChar(13);
  EXPECT_EQ(console.consoleReadLine(5), "123\r\n");
  EXPECT_EQ(row(2), "123");
}

TEST_F(ConsoleTest, ReadLineBackspaceOnEmptyLineKeepsPrompt) {
  console.consoleWrite("Senha: ");
  frontend.typeChar(8);
  frontend.typeChar(13);
  EXPECT_EQ(console.consoleReadLine(), "\r\n");
  EXPECT_EQ(row(1), "Senha:");
}

TEST_F(ConsoleTest, DelaySleepsTheFullTimeWithoutOfferingKeys) {
  frontend.typeChar('k');
  const auto start = std::chrono::steady_clock::now();
  console.consoleDelay(60);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(60));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  EXPECT_EQ(console.queuedKeyBytes(), 0u);  // the fake offers keys only when asked
  EXPECT_TRUE(console.consoleKeyPending());
}

// The idle wait tells its caller which of the caller's descriptors is
// ready, also when it only looks (0 ms) and when a key came first.
TEST_F(ConsoleTest, IdleWaitLooksAtTheCallersDescriptors) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ASSERT_EQ(::write(p[1], "x", 1), 1);
  platform::PollWaiter waiter;
  console.useWaiter(waiter);
  struct Row {
    int ms;
    bool keyTyped;
  };
  for (const Row row : {Row{0, false}, Row{0, true}, Row{5, false}, Row{5, true}}) {
    SCOPED_TRACE(testing::Message() << row.ms << " ms, key typed " << row.keyTyped);
    if (row.keyTyped) frontend.typeChar('k');
    qr::WaitFd fds[2] = {{p[0]}, {p[1], false, true}};
    console.idleWait(row.ms, fds);
    EXPECT_TRUE(fds[0].readable);
    EXPECT_TRUE(fds[1].writable);
    console.flushKeys();
  }
  ::close(p[0]);
  ::close(p[1]);
}

// A voice keeps sounding while the program waits for a key: its news on a
// descriptor (a system voice's samples or end notice) and its own deadline
// (the recorded voice feeding the device) both move it on during the read,
// before the key arrives. The key is typed only once both were seen, so a
// read that leaves the sources alone waits out the guard and fails.
TEST(ConsoleLoop, AKeyReadKeepsEveryVoiceSourceMoving) {
  testing_support::PipeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  console.useSettings(qr::ConsoleSettings{});
  platform::PollWaiter waiter;
  console.useWaiter(waiter);

  struct NewsSource final : qr::LoopSource {
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::atomic<int> news{0};
    qr::Console* console = nullptr;
    ~NewsSource() override { ::close(fd); }
    int descriptor() const override { return fd; }
    void dispatch() override {
      uint64_t n = 0;
      if (::read(fd, &n, sizeof n) == sizeof n) ++news;
      (void)console->consoleKeyPending();  // a voice asks for keys: no dispatch inside itself
    }
  } voice;
  voice.console = &console;
  struct TimedSource final : qr::LoopSource {
    qr::Deadline due = qr::deadlineIn(40);
    std::atomic<int> fired{0};
    qr::Deadline deadline() const override { return fired ? qr::kNoDeadline : due; }
    void dispatch() override {
      if (!fired && qr::passed(due)) ++fired;
    }
  } player;
  console.addSource(voice);
  console.addSource(player);

  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint64_t one = 1;
    (void)!::write(voice.fd, &one, sizeof one);
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while ((voice.news == 0 || player.fired == 0) && std::chrono::steady_clock::now() < guard)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    frontend.press('k');
  });
  EXPECT_EQ(console.consoleReadKey(), 'k');
  user.join();
  EXPECT_EQ(voice.news, 1) << "the voice's news was not taken while the key was awaited";
  EXPECT_EQ(player.fired, 1) << "the voice's deadline passed unseen while the key was awaited";
  console.removeSource(voice);
  console.removeSource(player);
}

// The one rounding rule: a deadline a fraction of a millisecond away is a
// whole millisecond to wait, never 0 (which would spin), and 0 once passed.
TEST(ConsoleLoop, DeadlinesRoundUpToWholeMilliseconds) {
  const qr::Clock::time_point now = qr::Clock::now();
  using std::chrono::microseconds;
  EXPECT_EQ(qr::msUntil(now + microseconds(1), now), 1);
  EXPECT_EQ(qr::msUntil(now + microseconds(999), now), 1);
  EXPECT_EQ(qr::msUntil(now + microseconds(1000), now), 1);
  EXPECT_EQ(qr::msUntil(now + microseconds(1001), now), 2);
  EXPECT_EQ(qr::msUntil(now, now), 0);
  EXPECT_EQ(qr::msUntil(now - microseconds(5), now), 0);
  EXPECT_EQ(qr::msUntil(qr::kNoDeadline, now), 24 * 3600 * 1000);
}

TEST_F(ConsoleTest, ClipboardGoesThroughFrontEndAndIsLogged) {
  console.clipboardPutText(std::string("copied\0junk", 11));
  EXPECT_EQ(frontend.clipboard, "copied");
  EXPECT_EQ(log.lines().back(), "clipboard copied");
  EXPECT_EQ(console.clipboardGetText(4), "cop");
  EXPECT_EQ(console.clipboardGetText(100), "copied");
  EXPECT_EQ(console.clipboardGetText(0), "");
  frontend.clipboard.clear();
  EXPECT_EQ(console.clipboardGetText(10), "");
}

TEST_F(ConsoleTest, OutputGoesToTheScreen) {
  console.out("linha");
  console.outLine(" um");
  console.outLine();
  console.out("dois");
  EXPECT_EQ(row(1), "linha um");
  EXPECT_EQ(row(2), "");
  EXPECT_EQ(row(3), "dois");
}

TEST_F(ConsoleTest, CaptionAndProgramEnd) {
  console.setCaption("servidor");
  console.consoleOpen();
  try {
    console.programEnd(0);
    FAIL();
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_EQ(frontend.captions, (std::vector<std::string>{"servidor", "Programa terminado"}));
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"caption servidor", "caption Programa terminado"}));
}

TEST_F(ConsoleTest, CloseEmptiesQueueAndExitsWithZero) {
  console.consoleOpen();
  ASSERT_TRUE(console.queueKeyBytes("abc"));
  try {
    console.consoleClose();
    FAIL();
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_EQ(console.queuedKeyBytes(), 0u);
}

TEST(ConsoleSettingsFromFile, OpeningReadsVideoSectionFromSystemDirectory) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("naviro-crt-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  {
    std::ofstream f(dir / "QUIRAL.INI");
    f << "[video]\nCORFUNDO=1\ncorletra=14\nCORESFIXAS=Sim\n[BRAILLE]\nMODO=0\n";
  }
  const char* old = std::getenv("QUIRAL_SYSDIR");
  const std::string saved = old ? old : "";
  ::setenv("QUIRAL_SYSDIR", dir.c_str(), 1);
  FakeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console(frontend, audio, log);
  console.useSettings(qr::readConsoleSettings(qr::Config()));
  EXPECT_EQ(console.consoleTextAttr(), 0x1E);
  console.consoleSetForeground(4);
  EXPECT_EQ(console.consoleTextAttr(), 0x1E);
  if (old)
    ::setenv("QUIRAL_SYSDIR", saved.c_str(), 1);
  else
    ::unsetenv("QUIRAL_SYSDIR");
  fs::remove_all(dir);
}

TEST(ConsoleClock, DateAndTimeAreInRange) {
  uint16_t y, m, d, w, h, mi, s, hs;
  qr::currentDate(y, m, d, w);
  qr::currentTime(h, mi, s, hs);
  EXPECT_GE(y, 2024);
  EXPECT_TRUE(m >= 1 && m <= 12 && d >= 1 && d <= 31 && w <= 6);
  EXPECT_TRUE(h <= 23 && mi <= 59 && s <= 60 && hs <= 99);
}

}  // namespace
