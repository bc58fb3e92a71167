// WAV playback: the layout walk, piece sizes, the speed options, and the
// player on a memory audio device (what reaches the device, in what format
// and pieces, and that a key silences it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "console/qrCrt.h"
#include "speech/diphone.h"
#include "speech/recordedVoice.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace speech {
namespace {

using testing_support::FakeFrontend;
using testing_support::MemoryAudio;

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
}

std::vector<uint8_t> ramp(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7);
  return v;
}

// A WAV image with an optional extra chunk between "fmt " and "data".
std::vector<uint8_t> wav(const std::vector<uint8_t>& samples, uint32_t rate, uint16_t channels,
                         uint16_t bits, const char* extraName = nullptr, size_t extraSize = 0) {
  std::vector<uint8_t> v = makeWavImage(samples.data(), samples.size(), rate, channels, bits);
  if (extraName != nullptr) {
    std::vector<uint8_t> chunk(8 + extraSize, 'x');
    std::copy(extraName, extraName + 4, chunk.begin());
    put32(chunk, 4, static_cast<uint32_t>(extraSize));
    v.insert(v.begin() + 36, chunk.begin(), chunk.end());
  }
  return v;
}

TEST(WavLayout, ImageWalkFindsFormatAndSamples) {
  const auto samples = ramp(300);
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    bool ok;
    size_t dataLength;
  };
  auto lowerCase = wav(samples, 8000, 2, 16);
  std::copy_n("riff", 4, lowerCase.begin());
  std::copy_n("FmT ", 4, lowerCase.begin() + 12);
  std::copy_n("Data", 4, lowerCase.begin() + 36);
  auto wrongWave = wav(samples, 8000, 1, 8);
  std::copy_n("ABCD", 4, wrongWave.begin() + 8);  // not examined
  auto fmtLater = wav(samples, 8000, 1, 8, "LIST", 10);
  std::swap_ranges(fmtLater.begin() + 12, fmtLater.begin() + 16, fmtLater.begin() + 36);
  auto truncatedData = wav(samples, 8000, 1, 8);
  truncatedData.resize(44 + 100);
  auto hugeChunk = wav(samples, 8000, 1, 8, "LIST", 4);
  put32(hugeChunk, 40, 0xFFFFFFF0u);
  auto hugeFmt = wav(samples, 8000, 1, 8);
  put32(hugeFmt, 16, 0xFFFFFFFFu);
  auto shortFmt = wav(samples, 8000, 1, 8);
  put32(shortFmt, 16, 12);
  auto threeChannels = wav(samples, 8000, 3, 8);
  auto adpcmBits = wav(samples, 8000, 1, 4);
  auto noData = wav(samples, 8000, 1, 8);
  std::copy_n("junk", 4, noData.begin() + 36);
  const std::vector<Case> cases = {
      {"plain", wav(samples, 11025, 1, 8), true, 300},
      {"any case names", lowerCase, true, 300},
      {"WAVE tag ignored", wrongWave, true, 300},
      {"LIST chunk skipped", wav(samples, 8000, 1, 8, "LIST", 10), true, 300},
      {"fmt not at byte 12", fmtLater, false, 0},
      {"data cut to the bytes present", truncatedData, true, 100},
      {"chunk larger than the image", hugeChunk, false, 0},
      {"fmt larger than the image", hugeFmt, false, 0},
      {"fmt too short for its fields", shortFmt, false, 0},
      {"three channels", threeChannels, false, 0},
      {"four-bit samples", adpcmBits, false, 0},
      {"no data chunk", noData, false, 0},
      {"empty", {}, false, 0},
      {"header only", std::vector<uint8_t>(wrongWave.begin(), wrongWave.begin() + 20), false, 0},
  };
  for (const auto& c : cases) {
    const auto info = parseWavImage(c.image.data(), c.image.size());
    EXPECT_EQ(info.has_value(), c.ok) << c.name;
    if (info && c.ok) {
      EXPECT_EQ(info->dataLength, c.dataLength) << c.name;
    }
  }
  const auto info = parseWavImage(lowerCase.data(), lowerCase.size());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->format, (WavFormat{8000, 2, 16}));
  EXPECT_EQ(info->dataOffset, 44u);
}

TEST(WavLayout, PiecesNeverLeaveATailUnder256Bytes) {
  struct Case {
    uint64_t size;
    std::vector<size_t> pieces;
  } cases[] = {
      {0, {}},
      {100, {100}},
      {65534, {65534}},
      {65535, {65278, 257}},
      {65600, {65278, 322}},
      {65789, {65278, 511}},
      {65790, {65534, 256}},
      {131068, {65534, 65534}},
  };
  for (const auto& c : cases) {
    std::vector<size_t> pieces;
    for (uint64_t left = c.size; left > 0;) {
      pieces.push_back(wavPieceSize(left));
      left -= pieces.back();
    }
    EXPECT_EQ(pieces, c.pieces) << c.size;
  }
}

TEST(WavSpeed, FastRateRoundsHalvesToEven) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {11025, 16538}, {16000, 24000}, {22050, 33075}, {1, 2}, {3, 4}, {5, 8}, {7, 10}};
  for (auto [rate, want] : cases) EXPECT_EQ(fastRate(rate), want) << rate;
}

// Time scaling keeps the pitch and the level and changes only the length,
// faster and slower, for 8- and 16-bit sound, mono and stereo; in stereo
// each channel keeps its own wave (180 Hz on the left, 270 Hz on the right).
TEST(WavSpeed, TimeScaleKeepsPitchAndLevel) {
  constexpr uint32_t kRate = 11025;
  const size_t n = kRate;  // one second
  for (const uint16_t channels : {uint16_t{1}, uint16_t{2}})
    for (const uint16_t bits : {uint16_t{8}, uint16_t{16}}) {
      const size_t width = bits / 8 * channels;
      auto hz = [](size_t c) { return 180.0 * (1.0 + 0.5 * static_cast<double>(c)); };
      std::vector<uint8_t> in(n * width);
      for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < channels; ++c) {
          const double v = std::sin(2 * M_PI * hz(c) * static_cast<double>(i) / kRate);
          const size_t at = i * channels + c;
          if (bits == 8) {
            in[at] = static_cast<uint8_t>(std::lround(128 + 100 * v));
          } else {
            const auto s16 = static_cast<int16_t>(std::lround(20000 * v));
            in[2 * at] = static_cast<uint8_t>(s16 & 0xFF);
            in[2 * at + 1] = static_cast<uint8_t>((s16 >> 8) & 0xFF);
          }
        }
      for (const double tempo : {1.5, 0.7}) {
        std::vector<uint8_t> out(3 * n * width);
        std::vector<float> accum(3 * n * channels);
        const size_t bytes = timeScale(in.data(), in.size(), bits, channels, kRate, tempo,
                                       out.data(), out.size(), accum.data());
        const size_t frames = bytes / width;
        const std::string what = std::to_string(channels) + " channel(s), " + std::to_string(bits) +
                                 " bits, tempo " + std::to_string(tempo);
        EXPECT_NEAR(static_cast<double>(frames), n / tempo, 2.0) << what;
        for (size_t c = 0; c < channels; ++c) {
          auto at = [&](size_t i) {
            const size_t k = i * channels + c;
            return bits == 8 ? (out[k] - 128) / 100.0
                             : static_cast<int16_t>(out[2 * k] | out[2 * k + 1] << 8) / 20000.0;
          };
          // Rising zero crossings over the middle: the frequency, not the tempo.
          int crossings = 0;
          double peak = 0, low = 1;
          for (size_t i = frames / 4; i < 3 * frames / 4; ++i) {
            crossings += at(i - 1) < 0 && at(i) >= 0;
            peak = std::max(peak, std::abs(at(i)));
          }
          for (size_t i = frames / 4; i < 3 * frames / 4; i += kRate / 50)
            low = std::min(low, [&] {
              double p = 0;
              for (size_t j = i; j < i + kRate / 50 && j < frames; ++j)
                p = std::max(p, std::abs(at(j)));
              return p;
            }());
          const double seconds = static_cast<double>(frames / 2) / kRate;
          EXPECT_NEAR(crossings / seconds, hz(c), hz(c) * 0.03) << what << ", channel " << c;
          EXPECT_NEAR(peak, 1.0, 0.05) << what << ", channel " << c;
          EXPECT_GT(low, 0.85) << "a joint cancels the wave: " << what << ", channel " << c;
        }
      }
    }
  std::vector<float> accum(16);
  uint8_t out[16];
  EXPECT_EQ(timeScale(out, 0, 8, 1, kRate, 1.5, out, sizeof out, accum.data()), 0u);
}

// A recording ends in its own fade; sped up or slowed down it must still end
// there, not mid-wave (a click at the end of every "ponto" at speed 5).
TEST(WavSpeed, TimeScaledSoundEndsWithItsSourcesEnd) {
  constexpr uint32_t kRate = 11025;
  constexpr size_t kFade = kRate / 100;  // 10 ms to silence
  for (const double tempo : {1.5, 1.25, 2.25, 0.7})
    for (size_t n = 4000; n < 4000 + 3 * kRate / 100; n += 7) {
      std::vector<uint8_t> in(n);
      for (size_t i = 0; i < n; ++i) {
        const double left = static_cast<double>(n - 1 - i);
        const double fade = std::min(1.0, left / kFade);
        in[i] = static_cast<uint8_t>(std::lround(
            128 + 100 * fade * std::sin(2 * M_PI * 210.0 * static_cast<double>(i) / kRate)));
      }
      std::vector<uint8_t> out(3 * n);
      std::vector<float> accum(3 * n);
      const size_t frames =
          timeScale(in.data(), n, 8, 1, kRate, tempo, out.data(), out.size(), accum.data());
      ASSERT_GT(frames, kFade) << n;
      // The last 2 ms are the source's last moments: within its fade.
      for (size_t i = frames - kRate / 500; i < frames; ++i)
        ASSERT_LE(std::abs(out[i] - 128), 25)
            << "tempo " << tempo << ", " << n << " samples, at " << i << " of " << frames;
    }
}

TEST(WavSpeed, RecordedSoundFollowsTheSpeedLevel) {
  EXPECT_DOUBLE_EQ(speedTempo(3), 1.0);
  EXPECT_LT(speedTempo(1), speedTempo(2));
  EXPECT_LT(speedTempo(2), 1.0);
  EXPECT_GT(speedTempo(4), 1.0);
  EXPECT_GT(speedTempo(5), speedTempo(4));
  EXPECT_DOUBLE_EQ(speedTempo(0), 1.0);
}

// A voiced stretch: a pulse of 200 every `period` samples over a floor.
std::vector<uint8_t> voiced(size_t n, size_t period) {
  std::vector<uint8_t> v(n, 130);
  for (size_t i = 0; i < n; i += period) v[i] = 200;
  return v;
}

TEST(WavSpeed, CuttingHalvesVoicedSpeechAndKeepsSamplesInBounds) {
  // 11,025 Hz window: pulses every 100 samples are found by the 80+50 search.
  auto v = voiced(20000, 100);
  const size_t out = cutSpeech(v.data(), v.size(), 8, 11025);
  EXPECT_GT(out, 8000u);
  EXPECT_LT(out, 12000u);
  // Other rates use the wider window.
  auto w = voiced(40000, 400);
  const size_t outWide = cutSpeech(w.data(), w.size(), 8, 16538);
  EXPECT_GT(outWide, 16000u);
  EXPECT_LT(outWide, 24000u);
}

TEST(WavSpeed, CuttingShortOrSilentPiecesLeavesThemWhole) {
  auto shortPiece = voiced(999, 100);
  EXPECT_EQ(cutSpeech(shortPiece.data(), 999, 8, 11025), 999u);
  // No sample above 0 in the first window: nothing to cut by.
  std::vector<uint8_t> zeros(5000, 0);
  EXPECT_EQ(cutSpeech(zeros.data(), zeros.size(), 8, 11025), 5000u);
  // Speech that falls silent half way: the rest is kept as it is.
  auto half = voiced(20000, 100);
  std::fill(half.begin() + 10000, half.end(), 0);
  const size_t out = cutSpeech(half.data(), half.size(), 8, 11025);
  EXPECT_GT(out, 14000u);
  EXPECT_TRUE(std::all_of(half.begin() + static_cast<long>(out) - 5000,
                          half.begin() + static_cast<long>(out), [](uint8_t s) { return s == 0; }));
  // Between 1,000 and the end of the first window: no read past the piece.
  for (size_t n : {1000u, 1030u, 1100u, 1320u, 2000u}) {
    std::vector<uint8_t> p(n, 140);
    EXPECT_LE(cutSpeech(p.data(), n, 8, 16000), n);
  }
}

TEST(WavSpeed, SixteenBitSpeechBecomesEightBitHighBytes) {
  std::vector<uint8_t> v = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0x00, 0x7F};
  ASSERT_EQ(cutSpeech(v.data(), v.size(), 16, 11025), 4u);
  EXPECT_EQ(v[0], 0x92);  // 0x1234 -> 0x12 ^ 0x80
  EXPECT_EQ(v[1], 0x7F);  // -1 -> just below the middle
  EXPECT_EQ(v[2], 0x00);  // most negative
  EXPECT_EQ(v[3], 0xFF);  // most positive
}

// The player on a memory device, with a console whose keys the test queues.
struct PlayerTest : ::testing::Test {
  FakeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  WavPlayer player{console, audio, log};
  std::filesystem::path dir;

  void SetUp() override {
    frontend.idleAsksBeforeExit = 1 << 30;
    log.keepLines(true);
    console.useSettings(qr::ConsoleSettings{});
    dir = std::filesystem::temp_directory_path() /
          ("wavtest" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto p = (dir / name).string();
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p;
  }
};

TEST_F(PlayerTest, LongDataChunkReachesTheDeviceWhole) {
  const auto samples = ramp(65600);
  const auto path = file("a.wav", wav(samples, 22050, 2, 16));
  EXPECT_EQ(player.playWavFile(path), 0);
  EXPECT_EQ(audio.played, samples);
  ASSERT_EQ(audio.opens.size(), 1u);
  EXPECT_EQ(audio.opens[0], (qr::PcmFormat{22050, 16, 2}));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"sound " + path});
  EXPECT_FALSE(audio.isOpen);  // closed once the queue drained
}

// A long stereo file sped up goes to the scaling in whole frames: the
// channels never swap where one block ends.
TEST_F(PlayerTest, LongStereoFileSpedUpKeepsItsChannels) {
  constexpr size_t kFrames = 40000;  // 160,000 bytes: blocks of 65,534 split frames
  std::vector<uint8_t> samples(kFrames * 4);
  for (size_t i = 0; i < kFrames; ++i) {
    samples[4 * i] = 0xE8;  // left +1,000
    samples[4 * i + 1] = 0x03;
    samples[4 * i + 2] = 0x18;  // right -1,000
    samples[4 * i + 3] = 0xFC;
  }
  player.setFast(true);
  EXPECT_EQ(player.playWavFile(file("s.wav", wav(samples, 22050, 2, 16))), 0);
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{22050, 16, 2}));
  ASSERT_EQ(audio.played.size() % 4, 0u);
  EXPECT_NEAR(static_cast<double>(audio.played.size()), samples.size() / 1.5, 64.0);
  size_t swapped = 0;
  for (size_t i = 0; i + 3 < audio.played.size(); i += 4) {
    const auto left = static_cast<int16_t>(audio.played[i] | audio.played[i + 1] << 8);
    const auto right = static_cast<int16_t>(audio.played[i + 2] | audio.played[i + 3] << 8);
    swapped += left <= 0 || right >= 0;
  }
  EXPECT_EQ(swapped, 0u);
}

TEST_F(PlayerTest, ShortMonoBlockIsPaddedWithSilence) {
  const auto samples = ramp(100);
  player.playWavImage(wav(samples, 11025, 1, 8).data(), 144);
  ASSERT_EQ(audio.played.size(), 256u);
  EXPECT_TRUE(std::equal(samples.begin(), samples.end() - 1, audio.played.begin()));
  EXPECT_EQ(audio.played[99], 128);
  EXPECT_TRUE(std::all_of(audio.played.begin() + 100, audio.played.end(),
                          [](uint8_t s) { return s == 128; }));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"image 100"});
}

TEST_F(PlayerTest, FastAndCutFlagsChangeLengthOrRateAndMonoSixteenBit) {
  player.setFast(true);
  const auto samples = ramp(6000);
  EXPECT_EQ(player.playSamples(samples.data(), samples.size(), 11025, 1, 8), 0);
  // Mono sound keeps its rate (and pitch) and is two thirds as long.
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{11025, 8, 1}));
  EXPECT_EQ(audio.played.size(), 4000u);
  // So is stereo sound, 8- and 16-bit, in whole sample frames.
  audio.played.clear();
  std::vector<uint8_t> stereo(6000, 128);
  EXPECT_EQ(player.playSamples(stereo.data(), stereo.size(), 11025, 2, 8), 0);
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{11025, 8, 2}));
  EXPECT_EQ(audio.played.size(), 4000u);
  audio.played.clear();
  std::vector<uint8_t> stereo16(12000, 0);
  EXPECT_EQ(player.playSamples(stereo16.data(), stereo16.size(), 22050, 2, 16), 0);
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{22050, 16, 2}));
  EXPECT_EQ(audio.played.size(), 8000u);
  player.setFast(false);
  // The speed level's tempo lengthens mono sound; a long piece still goes
  // out whole, in blocks.
  audio.played.clear();
  player.setTempo(0.5);
  const auto longer = ramp(50000);
  EXPECT_EQ(player.playSamples(longer.data(), longer.size(), 11025, 1, 8), 0);
  EXPECT_NEAR(static_cast<double>(audio.played.size()), 100000.0, 300.0);
  player.setTempo(1.0);
  player.setCut(true);
  std::vector<uint8_t> mono16(4000, 0);
  EXPECT_EQ(player.playSamples(mono16.data(), mono16.size(), 11025, 1, 16), 0);
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{11025, 8, 1}));
  const size_t before = audio.played.size();
  EXPECT_EQ(player.playSamples(mono16.data(), mono16.size(), 11025, 2, 16), 0);
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{11025, 16, 2}));
  EXPECT_EQ(audio.played.size() - before, 4000u);  // stereo is neither cut nor converted
}

TEST_F(PlayerTest, BadFilesGiveMinusOneAndNoSound) {
  const auto good = wav(ramp(500), 8000, 1, 8);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 30);
  auto noData = good;
  std::copy_n("junk", 4, noData.begin() + 36);
  auto hugeSkip = wav(ramp(500), 8000, 1, 8, "LIST", 4);
  put32(hugeSkip, 40, 0x7FFFFFF0u);
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"empty", {}},
      {"truncated header", truncated},
      {"no data chunk", noData},
      {"chunk size past the end", hugeSkip},
      {"text file", {'h', 'e', 'l', 'l', 'o'}},
  };
  for (const auto& [name, bytes] : cases) {
    EXPECT_EQ(player.playWavFile(file("bad.wav", bytes)), -1) << name;
  }
  EXPECT_EQ(player.playWavFile((dir / "missing.wav").string()), -1);
  EXPECT_TRUE(audio.played.empty());
}

TEST_F(PlayerTest, DataShorterThanDeclaredPlaysWhatIsThereAndFails) {
  auto bytes = wav(ramp(1000), 8000, 1, 16);
  put32(bytes, 40, 5000);
  EXPECT_EQ(player.playWavFile(file("short.wav", bytes)), -1);
  EXPECT_EQ(audio.played.size(), 1000u);
}

TEST_F(PlayerTest, DeviceOpenErrorIsReturned) {
  audio.failOpenWith = 2;
  EXPECT_EQ(player.playWavFile(file("a.wav", wav(ramp(10), 8000, 1, 8))), 2);
}

TEST_F(PlayerTest, WaitingKeyMeansNoSound) {
  ASSERT_TRUE(console.queueKeyBytes("x"));
  EXPECT_EQ(player.playWavFile(file("a.wav", wav(ramp(1000), 8000, 1, 8))), 0);
  EXPECT_TRUE(audio.played.empty());
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(console.queuedKeyBytes(), 1u);  // the key is left for the caller
}

// A device that plays in real time: pending() falls with the clock.
class ClockAudio : public MemoryAudio {
 public:
  using Clock = std::chrono::steady_clock;
  uint32_t bytesPerSecond = 8000;
  size_t queued = 0;
  size_t mostPending = 0;  // bytes on the device after a block was added
  Clock::time_point start = Clock::now();
  bool queue(const uint8_t* data, size_t length) override {
    if (queued == 0) start = Clock::now();
    mostPending = std::max(mostPending, pending() + length);
    queued += length;
    return MemoryAudio::queue(data, length);
  }
  size_t pending() const override {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const size_t done = static_cast<size_t>(ms) * bytesPerSecond / 1000;
    return done >= queued ? 0 : queued - done;
  }
  void stop() override {
    MemoryAudio::stop();
    queued = 0;
  }
};

// Delivers one key when its time comes.
class TimedKeyFrontend : public FakeFrontend {
 public:
  std::chrono::steady_clock::time_point keyAt = std::chrono::steady_clock::time_point::max();
  void poll(int, bool, qr::KeySink& sink) override {
    if (std::chrono::steady_clock::now() >= keyAt) {
      keyAt = std::chrono::steady_clock::time_point::max();
      sink.keyEvent({qr::KeyEvent::Type::Char, qr::VKey::Other, 'x', false, false, false});
    }
  }
};

TEST(PlayerTiming, KeyStopsPlaybackWithinFiftyMilliseconds) {
  using Clock = std::chrono::steady_clock;
  TimedKeyFrontend frontend;
  ClockAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  console.useSettings(qr::ConsoleSettings{});
  WavPlayer player{console, audio, log};
  // Five seconds of sound: more than the four blocks hold.
  const std::vector<uint8_t> samples(40000, 128);
  const auto image = makeWavImage(samples.data(), samples.size(), 8000, 1, 8);
  const auto path = std::filesystem::temp_directory_path() / "wavtest_timing.wav";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  frontend.keyAt = Clock::now() + std::chrono::milliseconds(300);
  const auto keyAt = frontend.keyAt;
  EXPECT_EQ(player.playWavFile(path.string()), 0);
  const auto late =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - keyAt).count();
  std::filesystem::remove(path);
  RecordProperty("stopAfterKeyMs", static_cast<int>(late));
  EXPECT_LT(late, 50);
  EXPECT_GE(audio.stops, 1);
  EXPECT_FALSE(audio.isOpen);
}

TEST(PlayerTiming, QueueHoldsFourBlocksAndRefillsAsTheyPlay) {
  TimedKeyFrontend frontend;
  ClockAudio audio;
  audio.bytesPerSecond = 2'000'000;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  console.useSettings(qr::ConsoleSettings{});
  WavPlayer player{console, audio, log};
  const std::vector<uint8_t> samples(6 * kBlockBytes, 100);
  EXPECT_EQ(player.playSamples(samples.data(), samples.size(), 8000, 1, 8), 0);
  EXPECT_EQ(audio.played.size(), samples.size());
  EXPECT_LE(audio.mostPending, 4 * kBlockBytes);
  EXPECT_GT(audio.mostPending, 3 * kBlockBytes);
  EXPECT_TRUE(player.wavBusy());  // the last blocks are still playing
  while (player.wavBusy()) console.consoleDelay(10);
  EXPECT_FALSE(audio.isOpen);
}

// The recorded voice over a device that plays in real time: speak()
// returns before anything sounds, pump() starts each piece once the one
// before has sounded, stop() and a waiting key drop what is left.
TEST(RecordedVoiceQueue, SpeakReturnsAtOnceAndPiecesSoundOneAfterTheOther) {
  TimedKeyFrontend frontend;
  ClockAudio audio;  // 8000 bytes a second: a piece of 800 samples lasts 100 ms
  qr::EventLog log;
  log.keepLines(true);
  qr::Console console{frontend, audio, log};
  console.useSettings(qr::ConsoleSettings{});
  WavPlayer player{console, audio, log};
  Translator translator;
  Diphone diphone{console, player, translator};
  RecordedVoice voice{console, player, translator, diphone, log};
  const auto dir =
      std::filesystem::temp_directory_path() / ("wavtest_voice" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t> samples(800, 150);
  const auto image = makeWavImage(samples.data(), samples.size(), 8000, 1, 8);
  std::vector<std::string> heard;
  for (const int c : {33, 63}) {
    const auto path = (dir / ("_" + std::to_string(c) + ".wav")).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    heard.push_back("char " + std::to_string(c));
    heard.push_back("sound " + path);
  }
  voice.settings().lettersDir = dir.string() + "/";

  EXPECT_TRUE(voice.speak("!?"));
  EXPECT_TRUE(log.lines().empty());  // nothing sounds before the voice is pumped
  voice.pump();
  EXPECT_EQ(log.lines(), std::vector<std::string>(heard.begin(), heard.begin() + 2));
  EXPECT_TRUE(voice.busy(true));  // "?" waits for "!" to sound
  while (voice.busy(false)) console.consoleDelay(10);
  EXPECT_EQ(log.lines(), heard);
  EXPECT_EQ(audio.played.size(), 2 * samples.size());

  log.clear();
  EXPECT_TRUE(voice.speak("?!?"));
  voice.pump();
  voice.stop();
  EXPECT_FALSE(voice.busy(false));
  EXPECT_EQ(log.lines(), std::vector<std::string>(heard.begin() + 2, heard.end()));

  log.clear();
  ASSERT_TRUE(console.queueKeyBytes("k"));
  EXPECT_TRUE(voice.speak("!"));
  EXPECT_FALSE(voice.busy(false));
  EXPECT_TRUE(log.lines().empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace speech
