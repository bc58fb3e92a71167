// Key translation: special keys, Ctrl and Alt codes, system keys, Braille
// chords in both modes, mode switching with its tones, and the tone image.
#include "console/qrCrtKeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "console/qrCrt.h"
#include "tests/support/fakes.h"

using qr::KeyEvent;
using qr::VKey;
using testing_support::FakeExit;
using testing_support::FakeFrontend;
using testing_support::MemoryAudio;
using Bytes = std::vector<int>;

namespace {

KeyEvent down(VKey k, bool ctrl = false, bool alt = false, bool shift = false) {
  return {KeyEvent::Type::Down, k, 0, ctrl, alt, shift};
}
KeyEvent up(VKey k, bool ctrl = false, bool alt = false) {
  return {KeyEvent::Type::Up, k, 0, ctrl, alt, false};
}
KeyEvent sysDown(VKey k) {
  return {KeyEvent::Type::SysDown, k, 0, false, true, false};
}
KeyEvent chr(uint8_t c, bool ctrl = false, bool alt = false) {
  return {KeyEvent::Type::Char, VKey::Other, c, ctrl, alt, false};
}

struct KeysTest : ::testing::Test {
  FakeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};

  void SetUp() override {
    log.keepLines(true);
    console.useSettings(qr::ConsoleSettings{});
    console.consoleOpen();
  }
  Bytes drain() {
    Bytes b;
    while (console.queuedKeyBytes() > 0) b.push_back(console.consoleReadKey());
    return b;
  }
  void send(std::initializer_list<KeyEvent> events) {
    for (const KeyEvent& e : events) console.keys().handle(e);
  }
  // Presses the keys together, then releases them in the same order.
  void chord(std::initializer_list<VKey> keys) {
    for (VKey k : keys) console.keys().handle(down(k));
    for (VKey k : keys) console.keys().handle(up(k));
  }
  std::vector<std::string> tones() {
    std::vector<std::string> t;
    for (const auto& l : log.lines())
      if (l.rfind("tone ", 0) == 0) t.push_back(l);
    return t;
  }
};

TEST_F(KeysTest, EventsGiveQueueBytes) {
  const VKey A = qr::letterKey('A');
  const struct {
    const char* name;
    KeyEvent event;
    Bytes want;
  } cases[] = {
      {"Up", down(VKey::Up), {0, 72}},
      {"Ctrl+Up", down(VKey::Up, true), {0, 113}},
      {"Insert", down(VKey::Insert), {0, 82}},
      {"Shift+Insert", down(VKey::Insert, false, false, true), {0, 254}},
      {"Ctrl+Insert", down(VKey::Insert, true), {0, 255}},
      {"Ctrl+Shift+Insert", down(VKey::Insert, true, false, true), {0, 255}},
      {"Shift+Delete", down(VKey::Delete, false, false, true), {0, 83}},
      {"Ctrl+PageUp", down(VKey::PageUp, true), {0, 132}},
      {"Ctrl+Home", down(VKey::Home, true), {0, 119}},
      {"Ctrl+End", down(VKey::End, true), {0, 117}},
      {"Home", down(VKey::Home), {0, 71}},
      {"F1", down(VKey::F1), {0, 59}},
      {"Ctrl+F12", down(VKey::F12, true), {0, 105}},
      {"F10 is a system key", down(VKey::F10), {}},
      {"Ctrl+F10", down(VKey::F10, true), {0, 103}},
      {"letter key-down", down(A), {}},
      {"Enter key-down", down(VKey::Enter), {}},
      {"Enter", chr(13), {13}},
      {"Ctrl+Enter", chr(13, true), {10}},
      {"Backspace", chr(8), {8}},
      {"Ctrl+Backspace", chr(8, true), {127}},
      {"Ctrl+A as code", chr(1, true), {1}},
      {"Ctrl+A as letter", chr('a', true), {1}},
      {"Ctrl+Z as capital", chr('Z', true), {26}},
      {"Escape", chr(27), {27}},
      {"c cedilla", chr(0xE7), {0xE7}},
      {"Alt+A goes to the platform", down(A, false, true), {}},
      {"Alt+A char is a system char", chr('a', false, true), {}},
      {"Ctrl+Alt+A", down(A, true, true), {0, 30}},
      {"Ctrl+Alt+A char", chr('a', true, true), {}},
      {"Ctrl+Alt+Z", down(qr::letterKey('Z'), true, true), {0, 44}},
      {"Ctrl+Alt+0", down(qr::digitKey('0'), true, true), {0, 129}},
      {"Ctrl+Alt+9", down(qr::digitKey('9'), true, true), {0, 128}},
      {"AltGr character", chr('@', true, true), {'@'}},
      {"Ctrl+Alt+Up", down(VKey::Up, true, true), {}},
      {"Alt+Left", down(VKey::Left, false, true), {0, 75}},
      {"Alt+Right as system key", sysDown(VKey::Right), {0, 77}},
      {"Alt+Up", sysDown(VKey::Up), {}},
      {"Alt+F4", sysDown(VKey::F4), {}},
      {"key-up", up(VKey::Up), {}},
      {"NUL character is not half an extended key", chr(0, true), {}},
  };
  for (const auto& c : cases) {
    console.keys().handle(c.event);
    EXPECT_EQ(drain(), c.want) << c.name;
  }
}

TEST_F(KeysTest, ExtendedKeyNeedsTwoFreeBytes) {
  ASSERT_TRUE(console.queueKeyBytes(std::string(63, 'a')));
  send({down(VKey::Up), down(qr::letterKey('A'), true, true)});
  EXPECT_EQ(console.queuedKeyBytes(), 63u);
  send({chr('b'), chr('c')});
  EXPECT_EQ(console.queuedKeyBytes(), 64u);
}

TEST_F(KeysTest, CtrlBreakEndsTheProgramUntilNormalEnd) {
  try {
    console.keys().handle(down(VKey::Break, true));
    FAIL();
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.code, 255);
  }
  console.keys().handle(down(VKey::Break));  // without Ctrl: nothing
  console.keys().setBreakChecking(false);
  console.keys().handle(down(VKey::Break, true));
  console.keys().handle(sysDown(VKey::Left));
  EXPECT_EQ(drain(), Bytes{});
}

TEST_F(KeysTest, ModifierStatesFollowEvents) {
  send({down(VKey::Shift, false, false, true)});
  EXPECT_TRUE(console.keys().shiftHeld());
  send({down(VKey::Right, false, true, true)});
  EXPECT_TRUE(console.keys().altHeld());
  send({up(VKey::Shift)});
  EXPECT_FALSE(console.keys().shiftHeld());
  EXPECT_FALSE(console.keys().altHeld());
  (void)drain();
}

TEST_F(KeysTest, BrailleModeOneChords) {
  console.keys().setBrailleMode(1);
  const VKey F = qr::letterKey('F'), D = qr::letterKey('D'), S = qr::letterKey('S'),
             J = qr::letterKey('J'), K = qr::letterKey('K');
  const struct {
    const char* name;
    std::initializer_list<VKey> keys;
    Bytes want;
  } cases[] = {
      {"F D is b", {F, D}, {'b'}},
      {"space alone", {VKey::Space}, {' '}},
      {"space with m is Enter", {VKey::Space, F, S, J}, {13}},
      {"space with h is Backspace", {VKey::Space, F, D, K}, {8}},
      {"letter outside the seven", {qr::letterKey('A')}, {' '}},
      {"dots 3-4-5-6 in mode 1", {S, J, K, qr::letterKey('L')}, {'#'}},
      {"all six dots", {F, D, S, J, K, qr::letterKey('L')}, {233}},
      {"c cedilla", {F, D, S, J, qr::letterKey('L')}, {231}},
  };
  for (const auto& c : cases) {
    chord(c.keys);
    EXPECT_EQ(drain(), c.want) << c.name;
  }
  // The chord completes only when the last key is up.
  send({down(F), down(D), up(F)});
  EXPECT_EQ(drain(), Bytes{});
  send({up(D)});
  EXPECT_EQ(drain(), Bytes{'b'});
}

TEST_F(KeysTest, BrailleModeOwnsLettersAndSpaceButNotOtherKeys) {
  console.keys().setBrailleMode(1);
  send({chr('a'), chr(' '), chr('1'), chr(13), down(VKey::Up), chr('f', true)});
  EXPECT_EQ(drain(), (Bytes{'1', 13, 0, 72, 6}));
  // Ctrl+F is not a chord key; a key-up with Ctrl leaves the chord alone.
  send({down(qr::letterKey('F'), true), up(qr::letterKey('F'), true)});
  EXPECT_EQ(drain(), Bytes{});
  EXPECT_EQ(console.keys().braille().chord, 0);
  // Alt+A goes to the platform, its release too: no chord ends, no space.
  send({down(qr::letterKey('A'), false, true), up(qr::letterKey('A'), false, true)});
  EXPECT_EQ(drain(), Bytes{});
}

TEST_F(KeysTest, BrailleCharacterDroppedWhenQueueFull) {
  console.keys().setBrailleMode(1);
  ASSERT_TRUE(console.queueKeyBytes(std::string(64, 'x')));
  chord({qr::letterKey('F')});
  EXPECT_EQ(console.queuedKeyBytes(), 64u);
  EXPECT_EQ(console.keys().braille().chord, 0);
}

TEST_F(KeysTest, ModeSwitchingAndTones) {
  const qr::KeyEvent next = down(VKey::F11, true, true);
  std::vector<int> modes;
  for (int i = 0; i < 3; ++i) {
    console.keys().handle(next);
    modes.push_back(console.keys().brailleMode());
  }
  EXPECT_EQ(modes, (std::vector<int>{1, 2, 1}));
  console.keys().handle(down(VKey::F12, true, true));
  EXPECT_EQ(console.keys().brailleMode(), 0);
  console.keys().handle(down(VKey::F12, true, true));  // already off: no tone
  EXPECT_EQ(tones(), (std::vector<std::string>{"tone 800", "tone 1600", "tone 800", "tone 400",
                                               "tone 800", "tone 1600", "tone 100"}));
  EXPECT_FALSE(audio.toneOn);
  EXPECT_EQ(drain(), Bytes{});
}

TEST_F(KeysTest, ConsoleOpensInConfiguredBrailleMode) {
  FakeFrontend fe;
  MemoryAudio au;
  qr::EventLog lg;
  qr::Console c(fe, au, lg);
  qr::ConsoleSettings s;
  s.brailleMode = 2;
  c.useSettings(s);
  c.consoleOpen();
  EXPECT_EQ(c.keys().brailleMode(), 2);
  ASSERT_EQ(au.tones.size(), 2u);
}

uint8_t dotsOf(uint8_t ch) {
  for (uint8_t d = 0; d < 64; ++d)
    if (qr::brailleChar(d) == ch) return d;
  ADD_FAILURE() << "no dots for " << int(ch);
  return 0;
}

// Runs a sequence of chords (characters of the table, ' ' for a space
// chord) through the sign rules and returns what they yield.
std::string signs(int mode, std::string_view chords, qr::BrailleState* st = nullptr) {
  qr::BrailleState local;
  qr::BrailleState& s = st ? *st : local;
  s.mode = mode;
  std::string out;
  for (char c : chords) {
    s.chord = c == ' ' ? qr::kSpaceBit : dotsOf(static_cast<uint8_t>(c));
    const uint8_t r = qr::completeChord(s);
    if (r != qr::kNoCharacter) out += static_cast<char>(r);
  }
  return out;
}

TEST(BrailleSigns, SignRules) {
  const struct {
    int mode;
    std::string chords, want;
  } cases[] = {
      {2, "#a", "1"},      {2, "#abcdefghij", "1234567890"},
      {2, "#a'b", "1.2"},  {2, "#a~b", "1~b"},
      {2, "#a b", "1 b"},  {2, "{ab", "Ab"},
      {2, "{{ab", "AB"},   {2, "{{ab c", "AB c"},
      {2, "{#a", "1"},     {2, "{\xe1", "\xe1"},
      {1, "#a{b", "#a{b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(signs(c.mode, c.chords), c.want) << c.mode << " " << c.chords;
}

TEST(BrailleSigns, CapitalsLockedLastAcrossChordsUntilSpaceOrOtherKey) {
  qr::BrailleState s;
  EXPECT_EQ(signs(2, "{{a", &s), "A");
  EXPECT_TRUE(s.capitalsLocked);
  EXPECT_FALSE(s.capitalNext);
  EXPECT_EQ(signs(2, "xyz", &s), "XYZ");
  EXPECT_EQ(signs(2, " ", &s), " ");
  EXPECT_EQ(s, (qr::BrailleState{2, 0, 0, false, false, false}));
}

TEST_F(KeysTest, OtherKeyUpClearsSignFlags) {
  console.keys().setBrailleMode(2);
  const VKey J = qr::letterKey('J'), K = qr::letterKey('K'), L = qr::letterKey('L'),
             S = qr::letterKey('S');
  chord({S, J, K, L});  // number sign
  EXPECT_TRUE(console.keys().braille().numberMode);
  send({down(VKey::Up), up(VKey::Up)});
  EXPECT_FALSE(console.keys().braille().numberMode);
  chord({qr::letterKey('F')});
  EXPECT_EQ(drain(), (Bytes{0, 72, 'a'}));
}

TEST(ToneImage, HundredHertzSquareWave) {
  const std::vector<uint8_t> img = qr::toneImage(100);
  ASSERT_EQ(img.size(), 44u + 10914u);
  const std::string riff(img.begin(), img.begin() + 4), wave(img.begin() + 8, img.begin() + 16),
      data(img.begin() + 36, img.begin() + 40);
  EXPECT_EQ(riff, "RIFF");
  EXPECT_EQ(wave, "WAVEfmt ");
  EXPECT_EQ(data, "data");
  auto u32 = [&img](size_t at) {
    return img[at] | img[at + 1] << 8 | img[at + 2] << 16 | uint32_t(img[at + 3]) << 24;
  };
  auto u16 = [&img](size_t at) { return img[at] | img[at + 1] << 8; };
  EXPECT_EQ(u32(4), 10914u + 36u);
  EXPECT_EQ(u32(16), 16u);
  EXPECT_EQ(u16(20), 1);
  EXPECT_EQ(u16(22), 1);
  EXPECT_EQ(u32(24), 11025u);
  EXPECT_EQ(u32(28), 11025u);
  EXPECT_EQ(u16(32), 1);
  EXPECT_EQ(u16(34), 8);
  EXPECT_EQ(u32(40), 10914u);
  // Period 110: 55 low samples, then high ones up to the next period, which
  // starts at 44 + k * 11025 div 100 (so the periods keep the exact rate).
  for (size_t k = 0; k < 98; ++k) {
    const size_t start = 44 + k * 11025 / 100;
    ASSERT_EQ(img[start], 96) << k;
    ASSERT_EQ(img[start + 54], 96) << k;
    ASSERT_EQ(img[start + 55], 160) << k;
    ASSERT_EQ(img[start + 109], 160) << k;
  }
  EXPECT_EQ(img[44 + 110], 96);
  EXPECT_EQ(img.back(), 128);
}

TEST(ToneImage, EveryFrequencyGivesAConsistentImage) {
  for (uint16_t hz : {100, 400, 800, 1600, 3000, 11025, 20000, 65535}) {
    const std::vector<uint8_t> img = qr::toneImage(hz);
    ASSERT_GT(img.size(), 44u) << hz;
    ASSERT_LE(img.size(), 11071u) << hz;
    const uint32_t dataLen = img[40] | img[41] << 8 | img[42] << 16;
    EXPECT_EQ(dataLen, img.size() - 44) << hz;
    const std::set<uint8_t> values(img.begin() + 44, img.end());
    const std::set<uint8_t> levels{96, 128, 160};
    EXPECT_TRUE(std::includes(levels.begin(), levels.end(), values.begin(), values.end())) << hz;
  }
  EXPECT_TRUE(qr::toneImage(0).empty());
}

TEST_F(KeysTest, ToneStartPlaysTheImageLoopingAndStops) {
  console.keys().toneStart(100);
  ASSERT_EQ(audio.tones.size(), 1u);
  EXPECT_EQ(audio.tones[0].format, (qr::PcmFormat{11025, 8, 1}));
  EXPECT_EQ(audio.tones[0].samples.size(), 10914u);
  EXPECT_TRUE(audio.toneOn);
  EXPECT_EQ(log.lines().back(), "tone 100");
  console.keys().toneStop();
  EXPECT_FALSE(audio.toneOn);
  console.keys().toneStart(0);  // no tone, no division by zero
  EXPECT_EQ(audio.tones.size(), 1u);
}

}  // namespace
