// The syllable-unit synthesiser on small databases written by the tests:
// what a phonetic text sounds like (sample counts and values), output in
// several pieces, damaged databases, start-up codes, and the shipped data.
#include "speech/diphone.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "base/cp1252.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "speech/diphoneEngine.h"
#include "speech/diphoneUnits.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace fs = std::filesystem;
namespace u = speech::units;

namespace {

struct Unit {
  std::string name;
  size_t length;
  uint8_t value;
};

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream o(p, std::ios::binary);
  o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}
void writeText(const fs::path& p, const std::string& text) {
  std::ofstream(p) << text;
}

// A database of units whose samples all hold one value, so a test can tell
// from the output which unit was played and how much of it.
void writeDatabase(const fs::path& dir, const std::string& base, std::vector<Unit> unitList) {
  std::sort(unitList.begin(), unitList.end(),
            [](const Unit& a, const Unit& b) { return u::nameLess(a.name, b.name); });
  std::vector<uint8_t> index, data;
  for (const auto& unit : unitList) {
    uint8_t rec[u::kRecordSize];
    u::encodeRecord(
        {unit.name, static_cast<uint16_t>(unit.length), static_cast<uint32_t>(data.size())}, rec);
    index.insert(index.end(), rec, rec + u::kRecordSize);
    data.insert(data.end(), unit.length, unit.value);
  }
  writeFile(dir / (base + ".IND"), index);
  writeFile(dir / (base + ".DIF"), data);
}

const std::vector<Unit> kUnits = {{"$KA", 1000, 200}, {"$ZA", 800, 60}, {"$A", 500, 100},
                                  {"$S", 300, 30},    {"$T", 200, 40},  {"$RA", 700, 220}};

struct TempDir {
  fs::path path;
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path = fs::temp_directory_path() / ("diphone-" + std::to_string(::getpid()) + "-" +
                                        info->test_suite_name() + "-" + info->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
};

// Runs of equal samples: (value, count), for comparing what was played.
std::vector<std::pair<int, size_t>> runs(const std::vector<uint8_t>& s) {
  std::vector<std::pair<int, size_t>> out;
  for (uint8_t b : s) {
    if (!out.empty() && out.back().first == b)
      ++out.back().second;
    else
      out.push_back({b, 1});
  }
  return out;
}

struct DiphoneEngineTest : ::testing::Test {
  TempDir dir;
  speech::DiphoneEngine engine;
  std::vector<std::vector<uint8_t>> images;

  void SetUp() override {
    writeDatabase(dir.path, "DIFONES2", kUnits);
    ASSERT_TRUE(engine.openDatabase(dir.path.string() + "/", "DIFONES2"));
    engine.setParameters(400, 0, 100);
  }
  // The samples of every image handed over, joined.
  std::vector<uint8_t> speak(std::string_view text, int flag = 0) {
    images.clear();
    engine.speak(text, flag, [this](const uint8_t* img, size_t len) {
      images.emplace_back(img, img + len);
      return true;
    });
    std::vector<uint8_t> all;
    for (const auto& img : images) {
      const auto wav = u::parseWav(img);
      EXPECT_TRUE(wav);
      EXPECT_EQ(wav->rate, 11025u);
      EXPECT_EQ(wav->bits, 8);
      EXPECT_EQ(wav->channels, 1);
      all.insert(all.end(), wav->data.begin(), wav->data.end());
    }
    return all;
  }
};

// A unit played whole keeps its samples; one cut short (by the unit cut or
// a factor) holds its value and then fades to silence over its last 4 ms,
// falling in small steps instead of stopping mid-wave.
void expectCutUnit(const std::vector<uint8_t>& s, size_t from, size_t length, int value) {
  ASSERT_GE(s.size(), from + length);
  const size_t fade = std::min(u::kCutFadeSamples, length / 2);
  for (size_t i = from; i < from + length - fade; ++i) ASSERT_EQ(s[i], value) << i;
  int previous = value;
  for (size_t i = from + length - fade; i < from + length; ++i) {
    EXPECT_LE(std::abs(s[i] - 128), std::abs(previous - 128)) << i;
    EXPECT_LE(std::abs(s[i] - previous), 4) << i;
    previous = s[i];
  }
  EXPECT_EQ(s[from + length - 1], 128);
}

TEST_F(DiphoneEngineTest, StressedUnitPlaysWholeUnstressedIsCutAndFaded) {
  using R = std::vector<std::pair<int, size_t>>;
  EXPECT_EQ(runs(speak("[kA]")), (R{{200, 1000}}));
  auto s = speak("[ka]");
  ASSERT_EQ(s.size(), 600u);
  expectCutUnit(s, 0, 600, 200);
  // Before the stressed unit and after it, units are cut alike.
  s = speak("[ka kA ka]");
  ASSERT_EQ(s.size(), 600u + 1000u + 600u);
  expectCutUnit(s, 0, 600, 200);
  EXPECT_EQ(runs({s.begin() + 600, s.begin() + 1600}), (R{{200, 1000}}));
  expectCutUnit(s, 1600, 600, 200);
  // The cut never goes below the unit minimum.
  engine.setParameters(900, 500, 100);
  s = speak("[ka]");
  ASSERT_EQ(s.size(), 500u);
  expectCutUnit(s, 0, 500, 200);
}

TEST_F(DiphoneEngineTest, PunctuationTokenIsOnlyAPauseUnlessFlagged) {
  using R = std::vector<std::pair<int, size_t>>;
  EXPECT_EQ(runs(speak("[ /_,]")), (R{{128, 4000}}));
  EXPECT_EQ(runs(speak("[kA] [ /_.]")), (R{{200, 1000}, {128, 100 + 8000}}));
  // Flagged, "_," is a recorded letter; with no letters directory, nothing.
  EXPECT_TRUE(speak("[ /_,]", 1).empty());
}

TEST_F(DiphoneEngineTest, WordPauseFollowsBracketedWordsOnly) {
  using R = std::vector<std::pair<int, size_t>>;
  EXPECT_EQ(runs(speak("[kA] [zA]")), (R{{200, 1000}, {128, 100}, {60, 800}}));
  engine.setParameters(400, 0, 250);  // silence goes in whole blocks of 100
  EXPECT_EQ(runs(speak("[kA] [zA]")), (R{{200, 1000}, {128, 200}, {60, 800}}));
  EXPECT_EQ(runs(speak("[kA]")), (R{{200, 1000}}));
}

TEST_F(DiphoneEngineTest, SplitUnitsAndFallbacksReachTheRightSamples) {
  using R = std::vector<std::pair<int, size_t>>;
  // "kAza": $KAZA and $KAZ are missing: $KAZ plays nothing, then $A whole.
  EXPECT_EQ(runs(speak("[kAza]")), (R{{100, 500}}));
  // Cluster "tr" splits off "t"; "as" is "a" at 0.7 then "s".
  EXPECT_EQ(runs(speak("[trA]")), (R{{40, 200}, {220, 700}}));
  const auto s = speak("[as]");
  ASSERT_EQ(s.size(), 350u + 300u);
  expectCutUnit(s, 0, 350, 100);
  EXPECT_EQ(runs({s.begin() + 350, s.end()}), (R{{30, 300}}));
}

TEST_F(DiphoneEngineTest, MissingShortUnitIsShortNoise) {
  const auto s = speak("[b]");
  ASSERT_EQ(s.size(), static_cast<size_t>(u::kNoiseSamples));
  EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](uint8_t b) { return b >= 88 && b <= 167; }));
  EXPECT_GT(runs(s).size(), 100u);
}

TEST_F(DiphoneEngineTest, LongTextIsHandedOverInSeveralFullPieces) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "[kA] ";  // 100 x (1000 + 100) samples
  const auto s = speak(text);
  EXPECT_EQ(s.size(), 100u * 1100u);
  ASSERT_GE(images.size(), 2u);
  for (const auto& img : images) EXPECT_LE(img.size(), speech::DiphoneEngine::kBufferSize);
  for (size_t i = 0; i + 1 < images.size(); ++i)
    EXPECT_GT(images[i].size(), speech::DiphoneEngine::kBufferSize - 1100);
  // Nothing lost or repeated at the seams: units and pauses alternate.
  const auto r = runs(s);
  EXPECT_EQ(r.size(), 200u);
  for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].second, i % 2 ? 100u : 1000u);
}

TEST_F(DiphoneEngineTest, StopFromTheSinkEndsTheText) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "[kA] ";
  int calls = 0;
  engine.speak(text, 0, [&calls](const uint8_t*, size_t) { return ++calls < 1; });
  EXPECT_EQ(calls, 1);
}

TEST(DiphoneDamagedDatabase, BadRecordsGiveNoiseOrSilenceNeverOutOfBounds) {
  TempDir dir;
  writeDatabase(dir.path, "DIFONES1", {{"$KA", 1000, 200}, {"$ZA", 1000, 60}});
  // A partial record at the end of the index, an offset past the data file,
  // and a data file cut short in the middle of $ZA.
  std::vector<uint8_t> index(2 * u::kRecordSize + 7, 0x55);
  u::encodeRecord({"$KA", 1000, 5000000}, index.data());
  u::encodeRecord({"$ZA", 1000, 1000}, index.data() + u::kRecordSize);
  writeFile(dir.path / "DIFONES1.IND", index);
  fs::resize_file(dir.path / "DIFONES1.DIF", 1500);
  speech::DiphoneEngine engine;
  ASSERT_TRUE(engine.openDatabase(dir.path.string() + "/", "DIFONES1"));
  EXPECT_EQ(engine.index().size(), 2u);
  std::vector<uint8_t> out;
  engine.speak("[kA] [zA]", 0, [&out](const uint8_t* img, size_t len) {
    out.assign(img + 44, img + len);
    return true;
  });
  // Both units count as missing: "$kA" falls back to "$k" and "$A", each
  // 300 samples of noise, and so does "$zA"; the word pause between.
  ASSERT_EQ(out.size(), 600u + 100u + 600u);
  for (size_t i : {0, 599, 700, 1299}) EXPECT_TRUE(out[i] >= 88 && out[i] <= 167) << i;
  EXPECT_EQ(runs({out.begin() + 600, out.begin() + 700}),
            (std::vector<std::pair<int, size_t>>{{128, 100}}));
}

TEST(DiphoneDamagedDatabase, MissingFilesFailToOpen) {
  TempDir dir;
  speech::DiphoneEngine engine;
  EXPECT_FALSE(engine.openDatabase(dir.path.string() + "/", "DIFONES2"));
  writeDatabase(dir.path, "DIFONES2", kUnits);
  fs::remove(dir.path / "DIFONES2.DIF");
  EXPECT_FALSE(engine.openDatabase(dir.path.string() + "/", "DIFONES2"));
}

// The whole synthesiser: directories, translator files, playback.
struct DiphoneTest : ::testing::Test {
  TempDir dir;
  testing_support::FakeFrontend frontend;
  testing_support::MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  speech::WavPlayer player{console, audio, log};
  speech::Translator translator;
  std::unique_ptr<speech::Diphone> diphone;

  void SetUp() override {
    frontend.idleAsksBeforeExit = 1000000;
    console.useSettings(qr::ConsoleSettings{});
    fs::create_directories(dir.path / "letras");
    fs::create_directories(dir.path / "difones");
    diphone = std::make_unique<speech::Diphone>(console, player, translator);
  }
  int start() {
    return diphone->diphoneStart((dir.path / "letras").string(), (dir.path / "difones").string());
  }
  void addDatabaseAndRules() {
    writeDatabase(dir.path / "difones", "DIFONES2", kUnits);
    writeText(dir.path / "difones" / "regras.rgr", "(A)=a|\n(K)=k|\n");
    writeText(dir.path / "difones" / "portug.exc", "casa=[kA/za]|\n");
  }
};

TEST_F(DiphoneTest, StartCodes) {
  EXPECT_EQ(start(), 1);  // no database
  writeDatabase(dir.path / "difones", "DIFONES2", kUnits);
  EXPECT_EQ(start(), 2);  // no rule files
  addDatabaseAndRules();
  EXPECT_EQ(start(), 0);
  EXPECT_EQ(diphone->lettersDirectory(), (dir.path / "letras").string() + "/");
  diphone->setDatabase("DIFONES4");
  EXPECT_EQ(start(), 1);
  fs::remove_all(dir.path / "letras");
  diphone->setDatabase("DIFONES2");
  EXPECT_EQ(start(), 1);  // letters directory missing
}

TEST_F(DiphoneTest, SpeaksThroughThePlayerAndRecordedLetters) {
  addDatabaseAndRules();
  // The recorded letter "_107" (k), 8-bit mono 11,025 Hz, 400 samples of 90.
  std::vector<uint8_t> letter(44 + 400, 90);
  u::writeWavHeader(letter.data(), 400);
  writeFile(dir.path / "letras" / "_107.wav", letter);
  ASSERT_EQ(start(), 0);
  diphone->diphoneSpeak("[kA] [ /_k]");
  using R = std::vector<std::pair<int, size_t>>;
  EXPECT_EQ(runs(audio.played), (R{{200, 1000}, {128, 100}, {90, 399}, {128, 1}}));
  ASSERT_FALSE(audio.opens.empty());
  EXPECT_EQ(audio.opens.back(), (qr::PcmFormat{11025, 8, 1}));
}

TEST_F(DiphoneTest, AKeyStopsTheRestOfTheText) {
  addDatabaseAndRules();
  ASSERT_EQ(start(), 0);
  frontend.typeChar('x');
  std::string text;
  for (int i = 0; i < 200; ++i) text += "[kA] ";
  diphone->diphoneSpeak(text);
  EXPECT_TRUE(audio.played.empty());
}

// The database the build generated, when it did.
TEST(DiphoneShippedData, IndexesAreSortedAndInsideTheirDataFiles) {
  const fs::path dir = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(dir / "DIFONES1.IND")) GTEST_SKIP() << "unit database not generated";
  for (int n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    const std::string base = (dir / ("DIFONES" + std::to_string(n))).string();
    std::ifstream in(base + ".IND", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size() % u::kRecordSize, 0u);
    const auto records = u::parseIndex(bytes);
    ASSERT_GT(records.size(), 100u);
    const auto dataSize = fs::file_size(base + ".DIF");
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_LE(uint64_t{records[i].offset} + records[i].length, dataSize) << records[i].name;
      EXPECT_GT(records[i].length, 0u) << records[i].name;
      if (i > 0) {
        EXPECT_TRUE(u::nameLess(records[i - 1].name, records[i].name)) << records[i].name;
      }
      EXPECT_EQ(records[i].name, u::upperName(records[i].name));
    }
    for (const char* name : {"$KA", "$A", "$S"}) EXPECT_TRUE(u::findUnit(records, name)) << name;
  }
}

// Everyday words, through the shipped rules, find every unit they need.
TEST(DiphoneShippedData, EverydayWordsFindAllTheirUnits) {
  const fs::path dir = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(dir / "DIFONES3.IND") || !fs::exists(dir / "regras.rgr"))
    GTEST_SKIP() << "unit database not generated";
  speech::Translator tr;
  ASSERT_TRUE(tr.loadTranslatorRules((dir / "regras.rgr").string()));
  ASSERT_TRUE(tr.loadTranslatorExceptions((dir / "portug.exc").string()));
  speech::DiphoneEngine engine;
  ASSERT_TRUE(engine.openDatabase(dir.string() + "/", "DIFONES3"));
  const u::UnitLookup lookup = [&engine](std::string_view m) {
    return u::findUnit(engine.index(), m);
  };
  const std::string text = qr::W(
      "Conectando ao servidor. Arquivo recebido, transferência concluída; "
      "diretório atual: programa terminado. Não consegui achar este computador pelo nome. "
      "Senha, conta, modo passivo ativado, quilobytes, pães, mãos, filhos, carros.");
  const std::string phon = tr.translateToPhonetic(text);
  size_t pos = 0;
  int stress = u::kStressBefore;
  while (pos < phon.size()) {
    const auto token = u::readToken(phon, pos, 0);
    if (token.wordStart) stress = u::kStressBefore;
    for (const auto& unit : u::splitToken(token.text)) {
      std::vector<u::NamePlay> names;
      u::unitNames(unit.text, unit.factor, stress, names);
      for (const auto& n : names) {
        std::vector<u::Piece> pieces;
        u::resolveName(n.name, n.stress, n.factor, lookup, pieces);
        EXPECT_FALSE(pieces.empty()) << n.name << " in " << token.text;
        for (const auto& p : pieces)
          EXPECT_NE(p.kind, u::Piece::Kind::Noise) << p.name << " in " << token.text;
      }
    }
  }
}

}  // namespace
