// The generated sound library: every piece the number, time and date code
// can ask for is there, and the files are 44-byte-header 8-bit mono
// 11,025 Hz PCM that is not silent. Skipped when the library was not
// generated (NAVIRO_GENERATE_DATA=OFF).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "ftp/ftpmsgCatalogue.h"
#include "ftp/ftpmsgOwn.h"
#include "speech/numbers.h"
#include "speech/speechLevel.h"
#include "tools/halfRate.h"
#include "tools/unitdbPhonemes.h"

namespace {

const std::filesystem::path kSom = std::filesystem::path(QUIRAL_BUILD_ROOT) / "som";

bool generated() {
  return std::filesystem::exists(kSom / "letras" / "_zero.wav");
}

std::vector<uint8_t> readFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(SoundLibrary, EveryPieceTheProgramAsksForExists) {
  if (!generated()) GTEST_SKIP() << "sound library not generated";
  std::set<std::string> wanted;
  for (uint64_t n = 0; n < 1000000; n += 7)
    for (bool fem : {false, true})
      for (auto& p : speech::numberPieceNames(speech::numberWords(n), fem)) wanted.insert(p);
  for (uint64_t n : {2000000ULL, 1000000000ULL, 3000000000000ULL})
    for (auto& p : speech::numberPieceNames(speech::numberWords(n), false)) wanted.insert(p);
  for (auto& p : speech::timeAndDatePieceNames()) wanted.insert(p);
  for (const char* p :
       {"_DEL", "_MENOS", "_APFCPO", "_APICPO", "_CPOAPA", "_FALACI", "_FALDLG", "_VELOC", "_FON65",
        "_FON97", "_65", "_32", "_231", "dtmf_0", "dtmf_9", "dtmf_#", "dtmf_X"})
    wanted.insert(p);
  for (int c = 0; c < 256; ++c)
    if (!speech::characterName(static_cast<uint8_t>(c)).empty())
      wanted.insert("_" + std::to_string(c));
  for (const auto& name : wanted)
    EXPECT_TRUE(std::filesystem::exists(kSom / "letras" / (name + ".wav"))) << name;
  for (const auto& m : ftp::kMessages)
    EXPECT_TRUE(std::filesystem::exists(kSom / "naviro" / (std::string(m.key) + ".wav"))) << m.key;
  // Our own sentences too: without a recording the full stop in "Você não
  // entrou no servidor. Tecle L para entrar." is said by its name.
  for (const auto& m : ftp::kOwnMessages)
    EXPECT_TRUE(std::filesystem::exists(kSom / "naviro" / (std::string(m.key) + ".wav"))) << m.key;
}

TEST(SoundLibrary, FilesAreEightBitMonoAndNotSilent) {
  if (!generated()) GTEST_SKIP() << "sound library not generated";
  for (const char* rel : {"letras/_65.wav", "letras/_zero.wav", "letras/_dezeset.wav",
                          "letras/_horas.wav", "letras/_Setembr.wav", "letras/_DEL.wav",
                          "letras/dtmf_5.wav", "naviro/FTCMD.wav", "naviro/FTUSESET.wav"}) {
    const auto b = readFile(kSom / rel);
    ASSERT_GT(b.size(), 44u + 500u) << rel;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << rel;
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ") << rel;
    EXPECT_EQ(b[20] | b[21] << 8, 1) << rel;  // PCM
    EXPECT_EQ(b[22] | b[23] << 8, 1) << rel;  // mono
    EXPECT_EQ(u32(b, 24), 11025u) << rel;
    EXPECT_EQ(b[34] | b[35] << 8, 8) << rel;  // bits
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data") << rel;
    EXPECT_EQ(u32(b, 40), b.size() - 44) << rel;
    const auto [lo, hi] = std::minmax_element(b.begin() + 44, b.end());
    EXPECT_GT(*hi - *lo, 100) << rel << " is nearly silent";
  }
}

// One loudness: every recording (messages, letter names, number pieces) at
// the program's active speech level, as the voices are; brought to their
// peak instead, letters alone spread over 10 dB.
TEST(SoundLibrary, EverySpokenSoundIsAtTheOneSpeechLevel) {
  if (!generated()) GTEST_SKIP() << "sound library not generated";
  size_t checked = 0;
  for (const char* dir : {"letras", "naviro"})
    for (const auto& e : std::filesystem::directory_iterator(kSom / dir)) {
      const std::string name = e.path().filename().string();
      if (e.path().extension() != ".wav" || name.starts_with("dtmf")) continue;
      const auto b = readFile(e.path());
      std::vector<float> samples;
      for (size_t i = 44; i < b.size(); ++i) samples.push_back((b[i] - 128) / 128.0f);
      const auto level = speech::activeLevel(samples, 11025);
      ASSERT_TRUE(level) << name;
      EXPECT_NEAR(*level, speech::kSpeechLevel, 1.5) << name;
      ++checked;
    }
  EXPECT_GT(checked, 400u);
}

TEST(SoundLibrary, DtmfToneCarriesItsTwoFrequencies) {
  if (!generated()) GTEST_SKIP() << "sound library not generated";
  // Goertzel power at the tone pair of "1" (697 + 1209 Hz) against a
  // frequency it must not have (941 Hz, the row of "*", "0" and "#").
  const auto b = readFile(kSom / "letras" / "dtmf_1.wav");
  ASSERT_GT(b.size(), 44u);
  auto power = [&](double hz) {
    const double w = 2 * M_PI * hz / 11025.0, coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 44; i < b.size(); ++i) {
      const double s0 = (b[i] - 128.0) + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
  };
  EXPECT_GT(power(697), 20 * power(941));
  EXPECT_GT(power(1209), 20 * power(941));
}

// The half-rate filter of both generators keeps the hiss of s and z (to
// about 5 kHz) and lets nothing above the new Nyquist frequency fold back.
TEST(HalfRateFilter, PassesToFiveKilohertzAndStopsAboveTheNewNyquist) {
  auto gainAt = [](double hz) {
    std::vector<int16_t> in(22050);
    for (size_t i = 0; i < in.size(); ++i)
      in[i] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * hz * i / 22050.0)));
    const auto out = tools::halveRate(in);
    double peak = 0;
    for (size_t i = out.size() / 4; i < 3 * out.size() / 4; ++i)
      peak = std::max(peak, std::fabs(static_cast<double>(out[i])));
    return peak / 10000;
  };
  for (double hz : {300.0, 2000.0, 4000.0, 4700.0}) EXPECT_NEAR(gainAt(hz), 1.0, 0.06) << hz;
  for (double hz : {5700.0, 7000.0, 10000.0}) EXPECT_LT(gainAt(hz), 0.003) << hz;
}

// The unit generator reads each unit in its place in the word: what a
// neighbour does to a sound must reach the phonemes the unit is said with,
// and must not leak to a unit said elsewhere.
TEST(UnitReading, SoundsFollowTheirPlaceInTheWord) {
  struct Row {
    const char* text;
    bool full;
    tools::UnitContext where;
    const char* phonemes;
  };
  const Row rows[] = {
      {"kAza", false, {}, "k'az&"},      // final unstressed a reduced
      {"kA", true, {}, "k'a"},           // a stressed final vowel is not
      {"ka", true, {}, "'k&"},           // said full, still reduced at the end
      {"vu", true, {}, "'vU"},           // final o and e as [ʊ] and [ɪ]
      {"dji", false, {}, ",dZy"},        //
      {"fes", false, {}, ",fes"},        // an e the translator left is a full one
      {"vu", true, {0, "la"}, "'vu"},    // inside the word: full vowel
      {"a", false, {}, ",a"},            // the article a stays [a]
      {"nA~w", false, {}, "n'&U~"},      // nasal diphthongs
      {"mA~ws", false, {}, "m'&U~s"},    //
      {"bE~y", false, {}, "b'eIN"},      //
      {"mA~y", false, {}, "m'&~y"},      //
      {"Ow^", true, {}, "'ow"},          // a closed diphthong stays closed
      {"Ey^", true, {}, "'eI"},          //
      {"sEw", false, {}, "s'EU"},        //
      {"pAy", false, {}, "p'aI"},        //
      {"ko~", true, {0, "pa"}, "'kom"},  // nasal coda by the next consonant
      {"ko~", true, {0, "se"}, "'koN"},  //
      {"ko~", true, {0, "a"}, "'ko~"},   // none before a vowel
      {"ro", true, {'p', "ba"}, "'Ro"},  // cluster tap
      {"ro", true, {'a', "ba"}, "'*o"},  // between vowels
      {"pOrta", false, {}, "p'O*@-t&"},  // coda tap
      {"rr", false, {}, "r"},            // a word's final r
      {"rrA", false, {0, "tu"}, "x'a"},  // the strong r of "rato"
  };
  for (const auto& r : rows)
    EXPECT_EQ(tools::unitPhonemes(r.text, r.full, r.where), r.phonemes) << r.text;
}

}  // namespace
