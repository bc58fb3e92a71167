// Audio outputs: the conversions behind the WAV file output, the file as a
// test reads it while the program runs, the null output's promise that
// every sound is over at once, and the sound device's news of played blocks.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/audioBackends.h"
#include "platform/platform.h"

namespace {

using platform::resample;
using platform::toMono16;

std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(AudioConversion, SampleFormatsBecomeSigned16BitMono) {
  const uint8_t u8[] = {128, 255, 0};
  EXPECT_EQ(toMono16({11025, 8, 1}, u8, 3), (std::vector<int16_t>{0, 32512, -32768}));
  const uint8_t s16stereo[] = {0x10, 0x00, 0x30, 0x00, 0xff, 0xff, 0x01, 0x00, 0x7f};
  EXPECT_EQ(toMono16({16000, 16, 2}, s16stereo, sizeof s16stereo), (std::vector<int16_t>{0x20, 0}));
}

TEST(AudioConversion, ResamplingKeepsDurationAcrossBlocks) {
  std::vector<int16_t> block(1000, 100);
  double position = 0;
  size_t total = 0;
  for (int i = 0; i < 16; ++i) total += resample(block, 11025, 16000, position).size();
  // 16000 samples at 11025 Hz last 1.451 s: 23220 samples at 16000 Hz.
  EXPECT_NEAR(static_cast<double>(total), 16000.0 * 16000 / 11025, 2.0);
  position = 0;
  const auto down = resample(std::vector<int16_t>{0, 100, 200, 300}, 16000, 8000, position);
  EXPECT_EQ(down, (std::vector<int16_t>{0, 200}));
  position = 0;
  const auto up = resample(std::vector<int16_t>{0, 100}, 8000, 16000, position);
  EXPECT_EQ(up, (std::vector<int16_t>{0, 50, 100, 100}));
}

TEST(FileAudio, FileIsAValidWavAfterEveryBlockAtTheFirstSoundsRate) {
  const auto path = std::filesystem::temp_directory_path() / "naviro_audio_test.wav";
  std::string error;
  auto audio = platform::makeFileAudio(path.string(), error);
  ASSERT_TRUE(audio) << error;
  EXPECT_FALSE(audio->queue(nullptr, 0));  // not open yet
  ASSERT_EQ(audio->open({11025, 8, 1}), 0);
  std::vector<uint8_t> speech(11025, 200);
  ASSERT_TRUE(audio->queue(speech.data(), speech.size()));
  EXPECT_EQ(audio->pending(), 0u);
  auto bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 44u + 2 * 11025);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(le32(bytes, 24), 11025u);
  EXPECT_EQ(le32(bytes, 40), 2u * 11025);
  EXPECT_EQ(bytes[34], 16);
  // A later 16 kHz sound is resampled to the file's rate: one second stays one second.
  ASSERT_EQ(audio->open({16000, 16, 1}), 0);
  std::vector<uint8_t> engine(2 * 16000, 0);
  ASSERT_TRUE(audio->queue(engine.data(), engine.size()));
  bytes = readBytes(path);
  EXPECT_NEAR(static_cast<double>(le32(bytes, 40)), 4.0 * 11025, 4.0);
  EXPECT_EQ(le32(bytes, 40) + 44, bytes.size());
  audio.reset();
  std::filesystem::remove(path);
}

TEST(FileAudio, ToneIsWrittenForAsLongAsItSounded) {
  const auto path = std::filesystem::temp_directory_path() / "naviro_tone_test.wav";
  std::string error;
  auto audio = platform::makeFileAudio(path.string(), error);
  ASSERT_TRUE(audio) << error;
  const uint8_t square[] = {96, 96, 96, 160, 160, 160};
  audio->toneStart({11025, 8, 1}, square, sizeof square);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  audio->toneStop();
  const auto bytes = readBytes(path);
  ASSERT_GE(bytes.size(), 44u);
  const uint32_t samples = le32(bytes, 40) / 2;
  EXPECT_GE(samples, 11025u / 10);  // at least the 100 ms it sounded
  EXPECT_EQ(le32(bytes, 24), 11025u);
  const auto first = static_cast<int16_t>(bytes[44] | (bytes[45] << 8));
  const auto fourth = static_cast<int16_t>(bytes[50] | (bytes[51] << 8));
  EXPECT_EQ(first, -32 * 256);
  EXPECT_EQ(fourth, 32 * 256);
  audio.reset();
  std::filesystem::remove(path);
}

TEST(AudioFactory, UnusableChoicesFallBackToSilence) {
  const auto path = std::filesystem::temp_directory_path() / "no_such_dir_naviro" / "x.wav";
  // An audio driver that does not exist stands for a machine without sound.
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  for (const std::string& choice :
       {"file:" + path.string(), std::string("bogus"), std::string("null"), std::string("sdl")}) {
    setenv("QUIRAL_AUDIO", choice.c_str(), 1);
    auto audio = platform::makeAudio(platform::FrontendKind::Script);
    ASSERT_TRUE(audio) << choice;
    ASSERT_EQ(audio->open({11025, 8, 1}), 0) << choice;
    const uint8_t block[4] = {1, 2, 3, 4};
    EXPECT_TRUE(audio->queue(block, 4)) << choice;
    EXPECT_EQ(audio->pending(), 0u) << choice;
  }
  unsetenv("QUIRAL_AUDIO");
  unsetenv("SDL_AUDIODRIVER");
}

// The sound device tells on its descriptor when it has played a queued
// block (the player waits on that, not on a computed time): once per block,
// in order, and nothing more while it plays silence.
TEST(AudioSdl, EachPlayedBlockIsToldOnTheDescriptorAndTheBytesGoOutInOrder) {
  const auto out = std::filesystem::temp_directory_path() / "naviro_sdl_played.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
  std::string error;
  auto audio = platform::makeSdlAudio(error);
  ASSERT_TRUE(audio) << error;
  ASSERT_EQ(audio->open({11025, 8, 1}), 0);
  const int fd = audio->playedDescriptor();
  ASSERT_GE(fd, 0);
  const std::vector<uint8_t> first(1102, 10), second(551, 20);  // 100 and 50 ms
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(audio->queue(first.data(), first.size()));
  ASSERT_TRUE(audio->queue(second.data(), second.size()));
  const auto told = [fd](int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
  };
  ASSERT_TRUE(told(2000)) << "the first block's end was not told";
  audio->takePlayed();
  EXPECT_LE(audio->pending(), second.size());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80))
      << "told before the block could have been played";
  if (audio->pending() > 0) {
    ASSERT_TRUE(told(2000)) << "the second block's end was not told";
    audio->takePlayed();
  }
  EXPECT_EQ(audio->pending(), 0u);
  EXPECT_FALSE(told(60)) << "news while nothing was queued";
  // A stopped stream drops what was queued.
  const std::vector<uint8_t> third(11025, 30);
  ASSERT_TRUE(audio->queue(third.data(), third.size()));
  audio->stop();
  EXPECT_EQ(audio->pending(), 0u);
  audio.reset();
  const std::vector<uint8_t> played = readBytes(out);
  std::vector<uint8_t> both(first);
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_NE(std::search(played.begin(), played.end(), both.begin(), both.end()), played.end())
      << "the two blocks did not go out whole and in order";
  unsetenv("SDL_DISKAUDIOFILE");
  unsetenv("SDL_AUDIODRIVER");
  std::filesystem::remove(out);
}

TEST(FrontendChoice, ConsoleVariableWinsThenTheDisplayDecides) {
  struct Case {
    const char* console;
    const char* display;
    platform::FrontendKind kind;
  } cases[] = {
      {"script", ":0", platform::FrontendKind::Script},
      {"terminal", ":0", platform::FrontendKind::Terminal},
      {"linear", ":0", platform::FrontendKind::Linear},
      {"window", nullptr, platform::FrontendKind::Window},
      {nullptr, ":0", platform::FrontendKind::Window},
      {nullptr, nullptr, platform::FrontendKind::Terminal},
  };
  unsetenv("WAYLAND_DISPLAY");
  for (const auto& c : cases) {
    c.console ? setenv("QUIRAL_CONSOLE", c.console, 1) : unsetenv("QUIRAL_CONSOLE");
    c.display ? setenv("DISPLAY", c.display, 1) : unsetenv("DISPLAY");
    EXPECT_EQ(platform::chooseFrontend(), c.kind) << (c.console ? c.console : "-");
  }
  // The key "LINEAR" of section "VIDEO" chooses linear mode, display or
  // not, unless QUIRAL_CONSOLE says otherwise.
  const auto dir = std::filesystem::temp_directory_path() / "naviro_linear_choice";
  std::filesystem::create_directories(dir);
  std::ofstream((dir / "QUIRAL.INI").string()) << "[video]\r\nLinear = Sim\r\n";
  setenv("QUIRAL_SYSDIR", dir.c_str(), 1);
  setenv("DISPLAY", ":0", 1);
  unsetenv("QUIRAL_CONSOLE");
  EXPECT_EQ(platform::chooseFrontend(), platform::FrontendKind::Linear);
  setenv("QUIRAL_CONSOLE", "terminal", 1);
  EXPECT_EQ(platform::chooseFrontend(), platform::FrontendKind::Terminal);
  unsetenv("QUIRAL_SYSDIR");
  std::filesystem::remove_all(dir);
  unsetenv("QUIRAL_CONSOLE");
  unsetenv("DISPLAY");
}

}  // namespace

namespace {

TEST(AudioSdl, DevicePeriodIsShortEnoughForAKeyToSilenceSpeech) {
  // rate -> frames per device period: at most about 12 ms of sound is left
  // playing once the queue is thrown away.
  const std::pair<uint32_t, unsigned> cases[] = {{8000, 64},   {11025, 128}, {16000, 128},
                                                 {22050, 256}, {44100, 512}, {48000, 512}};
  for (const auto& [rate, frames] : cases) {
    EXPECT_EQ(platform::sdlPeriodFrames(rate), frames) << rate;
    EXPECT_LE(frames * 1000.0 / rate, 12.0) << rate;
  }
}

}  // namespace
