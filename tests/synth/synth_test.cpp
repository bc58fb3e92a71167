// The diphone synthesiser through its C entry points: a small made-up
// database (a pulse train at a known pitch) for exact lengths, pitch and the
// error paths; the built library and the generated database for loading by
// name.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "bench/speechFigures.h"
#include "synth/dbFormat.h"
#include "synth/mbrApi.h"
#include "synth/synthesiser.h"
#include "tts/uttsFront.h"
#include "tts/uttsProsody.h"

namespace {

constexpr int kPeriod = 160;  // 100 Hz at 16 kHz
constexpr int kMargin = 320, kCount = 1600, kBoundary = 800;

// A database of the given phonemes, every pair but a-b; phoneme 0 ("_") is
// silent and a voiced one is the wave `voice(i)`, with a pitch mark every
// period.
template <typename Wave>
synth::Database toyDatabase(std::vector<std::string> phonemes, Wave voice) {
  synth::Database db;
  db.rate = 16000;
  db.pitch = 100;
  db.margin = kMargin;
  db.phonemes = std::move(phonemes);
  const auto n = static_cast<uint8_t>(db.phonemes.size());
  for (uint8_t x = 0; x < n; ++x)
    for (uint8_t y = 0; y < n; ++y) {
      if (x == 1 && y == 2) continue;
      synth::Diphone d;
      d.first = x, d.second = y;
      d.start = static_cast<uint32_t>(db.samples.size()) + kMargin;
      d.count = kCount, d.boundary = kBoundary;
      for (int i = -kMargin; i < kCount + kMargin; ++i) {
        const bool voiced = (i < kBoundary ? x : y) != 0;
        db.samples.push_back(static_cast<int16_t>(voiced ? std::lround(voice(i)) : 0));
      }
      for (int m = 0; m < kCount; m += kPeriod)
        d.marks.push_back({static_cast<uint32_t>(m), (m < kBoundary ? x : y) != 0});
      db.diphones.push_back(d);
    }
  return db;
}

// "_", "a", "b": a voiced phoneme is a pulse train, one decaying 700 Hz
// burst per period, with a pitch mark on each pulse.
synth::Database pulseDatabase() {
  synth::Database db = toyDatabase({"_", "a", "b"}, [](int i) {
    const int phase = ((i % kPeriod) + kPeriod) % kPeriod;
    return 8000 * std::exp(-phase / 30.0) * std::cos(2 * M_PI * 700 * phase / 16000.0);
  });
  db.info = "test database\nsecond line\n";
  return db;
}

std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + "/" + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  return path;
}

std::vector<short> readAll() {
  std::vector<short> all;
  std::array<short, 4000> buf;
  for (int n; (n = read_MBR(buf.data(), static_cast<int>(buf.size()))) > 0;)
    all.insert(all.end(), buf.begin(), buf.begin() + n);
  return all;
}

int say(const char* text) {
  std::string s = text;
  return write_MBR(s.data());
}

std::string lastError() {
  char buf[200];
  lastErrorStr_MBR(buf, sizeof buf);
  return buf;
}

// The period (in samples) best matching the signal around a sample.
double periodAt(const std::vector<short>& s, size_t at) {
  double best = -1, bestLag = 0;
  for (int lag = 60; lag < 300; ++lag) {
    double c = 0, e0 = 0, e1 = 0;
    for (size_t i = at - 400; i < at + 400; ++i) {
      c += double(s[i]) * s[i + lag], e0 += double(s[i]) * s[i],
          e1 += double(s[i + lag]) * s[i + lag];
    }
    const double r = c / std::sqrt(e0 * e1 + 1);
    if (r > best) best = r, bestLag = lag;
  }
  return bestLag;
}

class PulseVoice : public ::testing::Test {
 protected:
  void SetUp() override {
    path = writeBytes("pulse.db", synth::encodeDatabase(pulseDatabase()));
    ASSERT_EQ(init_MBR(path.data()), 0) << lastError();
  }
  void TearDown() override { close_MBR(); }
  std::string path;
};

TEST_F(PulseVoice, LengthsAreTheLinesDurationsToTheSample) {
  // 16 samples a millisecond; fractions of a millisecond add up.
  ASSERT_GT(say("_ 50\na 123.5\n; a comment\n\n_ 30\nb 50 ; trailing comment\n_ 40\n"), 0);
  flush_MBR();
  EXPECT_EQ(readAll().size(), size_t((50 + 123.5 + 30 + 50 + 40) * 16));
  ASSERT_GT(say("a 10\na 10.25\n#\n"), 0);  // "#" flushes too
  EXPECT_EQ(readAll().size(), size_t(20.25 * 16));
}

TEST_F(PulseVoice, PitchFollowsTheTargetsInterpolatedAcrossPhones) {
  ASSERT_GT(say("_ 50\na 300 0 100\na 300 100 150\n_ 50\n"), 0);
  flush_MBR();
  const auto s = readAll();
  ASSERT_EQ(s.size(), size_t(700 * 16));
  // Targets: 100 Hz at 50 ms, 150 Hz at 650 ms; the line between them.
  for (const double ms : {150.0, 350.0, 500.0, 600.0}) {
    const double hz = 100 + 50 * (ms - 50) / 600;
    EXPECT_NEAR(16000 / periodAt(s, size_t(ms * 16)), hz, hz * 0.05) << "at " << ms << " ms";
  }
  // Without targets the recording's own pitch.
  ASSERT_GT(say("a 300\n"), 0);
  flush_MBR();
  EXPECT_NEAR(periodAt(readAll(), 150 * 16), kPeriod, 2);

  // A steep fall, 200 Hz to 100 Hz in 100 ms: every period (from one pulse
  // to the next) is the one of the pitch at its middle, not at its start.
  ASSERT_GT(say("_ 50\na 100 0 200\na 100 0 100\n_ 50\n"), 0);
  flush_MBR();
  const auto fall = readAll();
  std::vector<size_t> pulses;
  for (size_t i = 56 * 16; i < 150 * 16; ++i) {
    bool top = fall[i] > 3000;
    for (size_t j = i - 30; top && j <= i + 30; ++j) top = j == i || fall[j] < fall[i];
    if (top) pulses.push_back(i);
  }
  ASSERT_GT(pulses.size(), 10u);
  for (size_t k = 1; k < pulses.size(); ++k) {
    const double mid = (pulses[k] + pulses[k - 1]) / 2.0 / 16;
    EXPECT_NEAR(double(pulses[k] - pulses[k - 1]), 16000 / (200 - (mid - 50)), 1.0)
        << "period ending at " << pulses[k] / 16.0 << " ms";
  }
}

// Raising the pitch overlaps the grains more: the output makes no larger
// peak or step from one sample to the next than the recording does, and
// stays within 3.5 dB of its loudness.
TEST_F(PulseVoice, RaisedPitchKeepsTheRecordingsPeaksAndSteps) {
  const auto db = pulseDatabase();
  auto rms = [](const auto& v, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i) e += double(v[i]) * v[i];
    return std::sqrt(e / double(to - from));
  };
  int peak = 0, step = 0;
  for (size_t i = 1; i < db.samples.size(); ++i) {
    peak = std::max(peak, std::abs(int(db.samples[i])));
    step = std::max(step, std::abs(db.samples[i] - db.samples[i - 1]));
  }
  const auto& aa = db.diphones[4];  // a-a, voiced all along
  const double level = rms(db.samples, aa.start, aa.start + aa.count);
  for (const char* line : {"a 300 50 150\n#\n", "a 300 50 190\n#\n"}) {
    ASSERT_GT(say(line), 0);
    const auto s = readAll();
    int outPeak = 0, outStep = 0;
    for (size_t i = 1; i < s.size(); ++i) {
      outPeak = std::max(outPeak, std::abs(int(s[i])));
      outStep = std::max(outStep, std::abs(s[i] - s[i - 1]));
    }
    EXPECT_LE(outPeak, peak) << line;
    EXPECT_LE(outStep, step) << line;
    EXPECT_NEAR(20 * std::log10(rms(s, 50 * 16, 250 * 16) / level), 0, 3.5) << line;
  }
}

TEST_F(PulseVoice, UnknownDiphoneIsRefusedOrSilencedInNoErrorMode) {
  EXPECT_EQ(getNoError_MBR(), 0);
  EXPECT_LT(say("_ 50\na 100\nb 100\n"), 0);
  EXPECT_NE(lastError_MBR(), 0);
  EXPECT_NE(lastError().find("a-b"), std::string::npos) << lastError();
  EXPECT_LT(say("a ten\n"), 0) << "a duration that is no number";
  EXPECT_LT(say("zz 100\n"), 0) << "a phoneme the database lacks";
  EXPECT_NE(lastError().find("zz"), std::string::npos) << lastError();

  reset_MBR();
  EXPECT_EQ(lastError_MBR(), 0);
  setNoError_MBR(1);
  EXPECT_EQ(getNoError_MBR(), 1);
  EXPECT_GT(say("_ 50\na 100\nb 100\nzz 30\na 100\n_ 50\n"), 0) << lastError();
  EXPECT_EQ(lastError_MBR(), 0);
  flush_MBR();
  const auto s = readAll();
  ASSERT_EQ(s.size(), size_t(430 * 16));
  // The a-b stretch (second half of a, first half of b) is silent; a sounds.
  auto energy = [&](int fromMs, int toMs) {
    double e = 0;
    for (int i = fromMs * 16; i < toMs * 16; ++i) e += double(s[i]) * s[i];
    return e;
  };
  EXPECT_GT(energy(60, 90), 1e6);
  EXPECT_EQ(energy(115, 240), 0);
}

TEST_F(PulseVoice, SamplesComeBeforeTheFlushAndResetDropsTheRest) {
  ASSERT_GT(say("_ 50 0 100\na 200 50 100\na 200 50 100\na 200 50 100\n"), 0);
  const size_t early = readAll().size();
  EXPECT_GT(early, 0u) << "what is settled is readable at once";
  EXPECT_LT(early, size_t(650 * 16));
  reset_MBR();
  EXPECT_TRUE(readAll().empty());
  flush_MBR();
  EXPECT_TRUE(readAll().empty()) << "nothing of the dropped text comes back";
  ASSERT_GT(say("_ 50\na 100\n_ 50\n"), 0);
  flush_MBR();
  EXPECT_EQ(readAll().size(), size_t(200 * 16));
}

TEST_F(PulseVoice, OutputTypesRateAndVolume) {
  EXPECT_EQ(getFreq_MBR(), 16000);
  EXPECT_FLOAT_EQ(getVolumeRatio_MBR(), 1.0f);
  ASSERT_GT(say("a 100\n#\n"), 0);
  const auto full = readAll();
  setVolumeRatio_MBR(0.5f);
  ASSERT_GT(say("a 100\n#\n"), 0);
  const auto half = readAll();
  ASSERT_EQ(full.size(), half.size());
  for (size_t i = 0; i < full.size(); i += 37) EXPECT_NEAR(half[i], full[i] / 2.0, 1.0);
  setVolumeRatio_MBR(1.0f);

  setFreq_MBR(8000);
  EXPECT_EQ(getFreq_MBR(), 8000);
  ASSERT_GT(say("a 100\n#\n"), 0);
  EXPECT_NEAR(double(readAll().size()), 800, 1);
  setFreq_MBR(16000);

  // 8-bit unsigned, mu-law and A-law: one byte a sample; silence codes.
  for (int type : {1, 2, 3}) {
    ASSERT_GT(say("_ 10\n#\n"), 0);
    std::array<unsigned char, 400> b{};
    EXPECT_EQ(readtype_MBR(b.data(), 400, type), 160) << type;
    const unsigned char zero = type == 1 ? 0x80 : type == 2 ? 0xff : 0xd5;
    EXPECT_EQ(b[10], zero) << type;
  }
  char info[64];
  EXPECT_EQ(getDatabaseInfo_MBR(info, sizeof info, 1), 11);
  EXPECT_STREQ(info, "second line");
  EXPECT_LT(getDatabaseInfo_MBR(info, sizeof info, 5), 0);
  EXPECT_GT(getVersion_MBR(info, sizeof info), 0);

  void* ph = init_Phone("a", 100);
  ASSERT_NE(ph, nullptr);
  EXPECT_EQ(appendf0_Phone(ph, 50, 120), 1);
  EXPECT_LT(appendf0_Phone(ph, 50, -1), 0);
  reset_Phone(ph);
  close_Phone(ph);
}

// Another output rate goes through a low-pass: a voice of a 1 kHz and a
// 6 kHz tone said at 8,000 Hz keeps the first at its level and leaves
// nothing of the second folded back to 2 kHz; said at 22,050 Hz both stay.
TEST(SynthRate, OtherRatesKeepTheBandAndFoldNothingBack) {
  const synth::Database db = toyDatabase({"_", "a"}, [](int i) {
    return 4000 *
           (std::sin(2 * M_PI * 1000 * i / 16000.0) + std::sin(2 * M_PI * 6000 * i / 16000.0));
  });
  auto path = writeBytes("tones.db", synth::encodeDatabase(db));
  ASSERT_EQ(init_MBR(path.data()), 0) << lastError();
  // Amplitude of a frequency over 100 ms from the middle of the output.
  auto amplitude = [](const std::vector<short>& s, int rate, double hz) {
    const size_t n = rate / 10, from = s.size() / 2 - n / 2;
    std::complex<double> sum;
    for (size_t i = 0; i < n; ++i)
      sum += double(s[from + i]) * std::polar(1.0, -2 * M_PI * hz * double(i) / rate);
    return 2 * std::abs(sum) / double(n);
  };
  setFreq_MBR(8000);
  ASSERT_GT(say("a 400\n#\n"), 0);
  const auto low = readAll();
  EXPECT_NEAR(double(low.size()), 3200, 1);
  EXPECT_NEAR(amplitude(low, 8000, 1000), 4000, 200);
  EXPECT_LT(amplitude(low, 8000, 2000), 40) << "the 6 kHz tone folded back";
  setFreq_MBR(22050);
  ASSERT_GT(say("a 400\n#\n"), 0);
  const auto high = readAll();
  EXPECT_NEAR(double(high.size()), 8820, 1);
  EXPECT_NEAR(amplitude(high, 22050, 1000), 4000, 200);
  EXPECT_NEAR(amplitude(high, 22050, 6000), 4000, 200);
  close_MBR();
}

TEST(SynthDatabase, DamagedTruncatedOrMissingFilesAreRefusedWithoutACrash) {
  const auto good = synth::encodeDatabase(pulseDatabase());
  ASSERT_TRUE(synth::decodeDatabase(good));
  std::vector<std::vector<uint8_t>> bad = {{}, {'N', 'V'}, std::vector<uint8_t>(5000, 0x41)};
  for (const size_t n : {size_t(8), size_t(30), good.size() / 2, good.size() - 1})
    bad.emplace_back(good.begin(), good.begin() + static_cast<long>(n));
  auto flipped = good;
  flipped[40] ^= 0x10;  // inside the diphone table
  bad.push_back(flipped);
  for (size_t i = 0; i < bad.size(); ++i) {
    std::string path = writeBytes("bad" + std::to_string(i) + ".db", bad[i]);
    EXPECT_LT(init_MBR(path.data()), 0) << "case " << i;
    EXPECT_NE(lastError_MBR(), 0);
    EXPECT_LT(say("a 100\n"), 0) << "nothing to speak with";
  }
  std::string missing = "/nonexistent/br4";
  EXPECT_LT(init_MBR(missing.data()), 0);
  // A diphone whose marks run past its end, re-encoded with a good checksum.
  auto db = pulseDatabase();
  db.diphones[0].marks.push_back({kCount + 5, true});
  EXPECT_FALSE(synth::decodeDatabase(synth::encodeDatabase(db)));
  close_MBR();
}

TEST(SynthLines, ReadsPhonemeLinesAndRefusesMalformedOnes) {
  using K = synth::PhoLine::Kind;
  struct Case {
    const char* line;
    bool ok;
    K kind;
    const char* name;
    double ms;
    size_t points;
  };
  const Case cases[] = {
      {"a 100", true, K::Phone, "a", 100, 0},
      {"  a~\t95.5 0 120 100 90\r", true, K::Phone, "a~", 95.5, 2},
      {"_ 420 50 93 ; the full stop", true, K::Phone, "_", 420, 1},
      {";palavra", true, K::Empty, "", 0, 0},
      {"", true, K::Empty, "", 0, 0},
      {"#", true, K::Flush, "", 0, 0},
      {"a", false, K::Empty, "", 0, 0},            // no duration
      {"a -5", false, K::Empty, "", 0, 0},         // negative
      {"a 100 50", false, K::Empty, "", 0, 0},     // a position without its pitch
      {"a 100 50 0", false, K::Empty, "", 0, 0},   // no pitch of 0 Hz
      {"a 1e9", false, K::Empty, "", 0, 0},        // beyond a minute
      {"a 100 x 120", false, K::Empty, "", 0, 0},  // a position that is no number
      {"# 5", false, K::Empty, "", 0, 0},
  };
  for (const auto& c : cases) {
    const auto p = synth::parsePhoLine(c.line);
    ASSERT_EQ(p.has_value(), c.ok) << c.line;
    if (!p) continue;
    EXPECT_EQ(p->kind, c.kind) << c.line;
    EXPECT_EQ(p->name, c.name) << c.line;
    EXPECT_DOUBLE_EQ(p->ms, c.ms) << c.line;
    EXPECT_EQ(p->pitch.size(), c.points) << c.line;
  }
  // Positions are kept inside the phone.
  EXPECT_DOUBLE_EQ(synth::parsePhoLine("a 100 150 120")->pitch[0].pos, 100);
}

// The generated list of diphones is the database's, and the engine's loader
// reads it whole.
TEST(SynthLibrary, GeneratedDiphoneListIsTheDatabases) {
  const std::string dir = std::string(QUIRAL_BUILD_ROOT) + "/coraltts";
  if (!std::filesystem::exists(dir + "/br4")) GTEST_SKIP() << "no generated database";
  std::ifstream in(dir + "/br4", std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  const auto db = synth::decodeDatabase(bytes);
  ASSERT_TRUE(db);
  tts::Prosody p;
  ASSERT_TRUE(p.LoadDiphones(dir + "/portug.dfn"));
  EXPECT_EQ(p.diphoneCount(), db->diphones.size());
  for (const auto& d : db->diphones)
    EXPECT_TRUE(p.hasDiphone(db->phonemes[d.first], db->phonemes[d.second]))
        << db->phonemes[d.first] << "-" << db->phonemes[d.second];
}

// The library as the engine loads it: by file name, its 23 entry points,
// the generated database.
TEST(SynthLibrary, BuiltLibraryOpensTheGeneratedDatabase) {
  const std::string lib = std::string(QUIRAL_BUILD_ROOT) + "/mbrola.so";
  const std::string db = std::string(QUIRAL_BUILD_ROOT) + "/coraltts/br4";
  if (!std::filesystem::exists(db)) GTEST_SKIP() << "no generated database (data generation off)";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  for (const char* name :
       {"init_MBR",       "init_rename_MBR",     "write_MBR",          "flush_MBR",
        "read_MBR",       "readtype_MBR",        "close_MBR",          "reset_MBR",
        "lastError_MBR",  "lastErrorStr_MBR",    "setNoError_MBR",     "getNoError_MBR",
        "setFreq_MBR",    "getFreq_MBR",         "setVolumeRatio_MBR", "getVolumeRatio_MBR",
        "getVersion_MBR", "getDatabaseInfo_MBR", "setParser_MBR",      "init_Phone",
        "reset_Phone",    "close_Phone",         "appendf0_Phone"})
    EXPECT_NE(dlsym(h, name), nullptr) << name;
  auto init = reinterpret_cast<int (*)(char*)>(dlsym(h, "init_MBR"));
  auto write = reinterpret_cast<int (*)(char*)>(dlsym(h, "write_MBR"));
  auto flush = reinterpret_cast<int (*)()>(dlsym(h, "flush_MBR"));
  auto read = reinterpret_cast<int (*)(short*, int)>(dlsym(h, "read_MBR"));
  auto close = reinterpret_cast<void (*)()>(dlsym(h, "close_MBR"));
  std::string path = db;
  ASSERT_EQ(init(path.data()), 0);
  std::string text = "_ 50\nb 60 50 120\no~ 150 80 130\n_ 50\n";
  EXPECT_GT(write(text.data()), 0);
  flush();
  std::vector<short> s(16000);
  const int n = read(s.data(), 16000);
  EXPECT_EQ(n, 310 * 16);
  double e = 0;
  for (int i = 0; i < n; ++i) e += double(s[i]) * s[i];
  EXPECT_GT(std::sqrt(e / n), 300) << "the syllable is heard";
  close();
  dlclose(h);
}

// The melody the listener hears at the end of a sentence, measured on the
// synthesiser's own output: a statement falls, a yes/no question rises, a
// clause before a comma does not fall, whether the last word ends on its
// stressed syllable or not.
TEST(EngineMelody, StatementsFallQuestionsRiseAndACommaHoldsTheVoiceUp) {
  const std::string dir = std::string(QUIRAL_BUILD_ROOT) + "/coraltts";
  if (!std::filesystem::exists(dir + "/br4")) GTEST_SKIP() << "no generated database";
  tts::EngineFront front;
  ASSERT_TRUE(front.load(tts::engineFilesIn(dir)));
  synth::Synthesiser syn;
  ASSERT_TRUE(syn.open(dir + "/br4")) << syn.lastErrorText();
  syn.setNoError(true);
  auto movement = [&](const std::string& utf8) {
    std::vector<float> out;
    int16_t buf[4096];
    auto take = [&] {
      for (int n; (n = syn.read(buf, 4096)) > 0;)
        for (int i = 0; i < n; ++i) out.push_back(buf[i] / 32768.0f);
    };
    syn.reset();
    for (const auto& line : front.phoLines(qr::fromUtf8(utf8), 1.0, 0.8)) {
      syn.write(line + "\r\n");
      take();
    }
    syn.flush();
    take();
    const auto track = measures::pitchTrack(out, syn.database()->rate);
    // A question ends high to its last period: a vowel's faint last
    // periods are not left at the recording's own pitch (89 Hz, a creak).
    if (utf8.ends_with('?')) {
      const auto last = std::find_if(track.rbegin(), track.rend(), [](double f) { return f > 0; });
      EXPECT_TRUE(last != track.rend() && *last > 120) << utf8;
    }
    return measures::finalMovement(track);
  };
  for (const char* sentence : {"Vamos tomar um café",       // ends on its stressed vowel
                               "O arquivo está aqui",       // an [i] that dies away slowly
                               "Você vai sair amanhã",      // a nasal one
                               "Ele disse que sim",         // a monosyllable with no stress mark
                               "A resposta foi não",        // the same, closed by a glide
                               "O arquivo chegou inteiro",  // stress on the one before last
                               "Ela estuda música",         // on the third from last
                               "Eles moram no sul"}) {      // a closing [w]
    const auto statement = movement(std::string(sentence) + ".");
    const auto question = movement(std::string(sentence) + "?");
    const auto comma = movement(std::string(sentence) + ",");
    ASSERT_TRUE(statement && question && comma) << sentence;
    EXPECT_LE(*statement, -1.0) << sentence;
    EXPECT_GE(*question, 2.0) << sentence;
    EXPECT_GE(*comma, 0.0) << sentence;
  }
}

}  // namespace
