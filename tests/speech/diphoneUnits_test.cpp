// The pure parts of the syllable-unit synthesiser: token reader, splitting
// of tokens and unit strings, name fallbacks, the unit cut, index records.
#include "speech/diphoneUnits.h"

#include <gtest/gtest.h>

#include <set>

namespace u = speech::units;

namespace {

std::vector<u::Token> tokens(std::string_view text, int flag = 0) {
  std::vector<u::Token> out;
  size_t pos = 0;
  while (pos < text.size()) out.push_back(u::readToken(text, pos, flag));
  return out;
}

TEST(DiphoneTokens, ReaderJoinsSlashesEndsOnSpaceOrBracketAndTurnsPunctuationIntoPauses) {
  struct Case {
    std::string_view text;
    int flag;
    std::vector<std::string> texts;
    std::vector<int> pauses;
  };
  const std::vector<Case> cases = {
      {"[kA/za]", 0, {"kAza"}, {0}},
      {"[ /_k]", 0, {"", "_k"}, {0, 0}},
      {"[ /_,]", 0, {"", ""}, {0, 4000}},
      {"[ /_.]", 0, {"", ""}, {0, 8000}},
      {"[ /_;]", 0, {"", ""}, {0, 6000}},
      {"[ /_:]", 0, {"", ""}, {0, 8000}},
      {"[ /_,]", 1, {"", "_,"}, {0, 0}},
      {"[ /_ ]", 0, {"", "_ "}, {0, 0}},  // "_" takes even a blank with it
      {"[a|b]", 0, {"_TRACOb"}, {0}},
      // A slash ends a token only once it holds more than 8 characters.
      {"[kA/za/men/tu/zi/nyu]", 0, {"kAzamentu", "zinyu"}, {0, 0}},
      {"[ka_", 0, {"ka_"}, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const auto got = tokens(c.text, c.flag);
    ASSERT_EQ(got.size(), c.texts.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].text, c.texts[i]);
      EXPECT_EQ(got[i].pauseSamples, c.pauses[i]);
    }
  }
}

TEST(DiphoneTokens, OverLongTokenIsCutAt40AndBracketRestartsStress) {
  const std::string text = "[" + std::string(100, 'a') + "]";
  const auto got = tokens(text);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].wordStart);
  EXPECT_EQ(got[0].text.size(), u::kMaxTokenLength);
  EXPECT_EQ(got[0].closedBy, ']');
}

TEST(DiphoneSplit, ClustersFinalConsonantsRrGlidesAndFinalS) {
  using V = std::vector<u::UnitString>;
  struct Case {
    std::string_view token;
    V expected;
  };
  const std::vector<Case> cases = {
      {"a", V{{"a", 1}}},
      {"trA", V{{"t", 1}, {"rA", 1}}},
      {"strA", V{{"s", 1}, {"t", 1}, {"rA", 1}}},
      {"tchAw", V{{"tchA", 0.6}, {"Aw", 1}}},  // tch, dj, nh, rr, ks stay whole
      {"djA", V{{"djA", 1}}},
      {"ksi", V{{"ksi", 1}}},
      {"rrA", V{{"rrA", 1}}},
      {"kAz", V{{"kA", 1}, {"z", 1}}},
      {"mAl", V{{"mA", 1}, {"l", 1}}},
      {"kAzarr", V{{"kAza", 1}, {"rr", 1}}},
      {"kAw", V{{"kA", 0.6}, {"Aw", 1}}},
      {"aw", V{{"aw", 1}}},
      {"ma~w", V{{"ma^", 0.6}, {"aw~", 1}}},
      {"pe^y", V{{"pe^", 0.6}, {"ey^", 1}}},
      {"a~w", V{{"aw~", 1}}},
      // "s" is a consonant: after two characters it goes as a final consonant.
      {"kAzas", V{{"kAza", 1}, {"s", 1}}},
      {"as", V{{"a", 0.7}, {"s", 1}}},
      {"_s", V{{"_s", 1}}},
      {"kAws", V{{"kA", 0.6}, {"Aw", 1}, {"s", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.token));
    EXPECT_EQ(u::splitToken(c.token), c.expected);
  }
}

TEST(DiphoneSplit, GlideAfterMarkAtTokenStartDoesNotReadBeforeTheToken) {
  EXPECT_EQ(u::splitToken("~w"), (std::vector<u::UnitString>{{"~w", 1}}));
}

TEST(DiphoneNames, MarksBecomeCircAndTilAndStressedVowelSetsStressMode) {
  struct Case {
    std::string_view unit;
    int stressIn;
    std::vector<u::NamePlay> expected;
    int stressOut;
  };
  const std::vector<Case> cases = {
      {"kA", 1, {{"$kA", 2, 1}}, 0},
      {"ka", 1, {{"$ka", 1, 1}}, 1},
      {"ka", 0, {{"$ka", 0, 1}}, 0},
      {"ma^", 1, {{"$maCIRC", 1, 1}}, 1},
      {"A~ka", 1, {{"$ATIL", 2, 1}, {"$ka", 2, 1}}, 0},
      {"_k", 1, {{"_107", 1, 1}}, 1},
      {"_TRACO", 1, {{"_84", 1, 1}}, 1},
      {"_", 1, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.unit));
    int stress = c.stressIn;
    std::vector<u::NamePlay> got;
    u::unitNames(c.unit, 1.0, stress, got);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(stress, c.stressOut);
  }
}

TEST(DiphoneNames, FallbacksForMissingUnits) {
  const std::set<std::string> present = {"$A",     "$KA",     "$KAZ", "$KAM",
                                         "$ACIRC", "$MACIRC", "$MU",  "$NN"};
  std::vector<std::string> order(present.begin(), present.end());
  const u::UnitLookup lookup = [&](std::string_view m) -> std::optional<size_t> {
    for (size_t i = 0; i < order.size(); ++i)
      if (order[i] == m) return i;
    return std::nullopt;
  };
  using K = u::Piece::Kind;
  struct Case {
    std::string_view name;
    std::vector<std::tuple<K, std::string, int, double>> expected;
  };
  const std::vector<Case> cases = {
      {"$ka", {{K::Unit, "$ka", 1, 1.0}}},
      {"$k", {{K::Noise, "$k", 1, 1.0}}},
      {"$KAZA", {{K::Unit, "$KAZ", 1, 0.9}, {K::Unit, "$A", 1, 1.0}}},
      {"$KAMACIRC", {{K::Unit, "$KAM", 1, 0.9}, {K::Unit, "$ACIRC", 1, 1.0}}},
      {"$MATIL", {{K::Unit, "$MACIRC", 2, 0.9}, {K::Unit, "$nn", 1, 0.9}}},
      {"$MUTIL", {{K::Unit, "$MU", 1, 0.9}, {K::Unit, "$nn", 1, 0.9}}},
      {"$KAZT", {}},
      {"_107", {{K::Letter, "_107", 1, 1.0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    std::vector<u::Piece> got;
    u::resolveName(c.name, 1, 1.0, lookup, got);
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].kind, std::get<0>(c.expected[i]));
      EXPECT_EQ(got[i].name, std::get<1>(c.expected[i]));
      EXPECT_EQ(got[i].stress, std::get<2>(c.expected[i]));
      EXPECT_NEAR(got[i].factor, std::get<3>(c.expected[i]), 1e-9);
    }
  }
}

TEST(DiphoneNames, UnitCutSparesStressedAndShortUnitsAndKeepsTheMinimum) {
  struct Case {
    uint32_t length;
    int stress;
    size_t nameLength;
    int cut, minimum;
    double factor;
    size_t expected;
  };
  const std::vector<Case> cases = {
      {1000, 2, 3, 400, 0, 1.0, 1000},  // the stressed unit is whole
      {1000, 1, 3, 400, 0, 1.0, 600},
      {1000, 0, 3, 400, 0, 1.0, 600},
      {1000, 1, 2, 400, 0, 1.0, 1000},  // "$A": never cut
      {1000, 1, 3, 900, 300, 1.0, 300},
      {200, 1, 3, 400, 300, 1.0, 200},  // minimum above the unit: the unit
      {300, 1, 3, 400, 0, 1.0, 0},
      {1000, 2, 3, 400, 0, 0.9, 900},
      {1000, 1, 3, 400, 0, 0.7, 420},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(u::unitBytes(c.length, c.stress, c.nameLength, c.cut, c.minimum, c.factor),
              c.expected)
        << c.length << " stress " << c.stress << " cut " << c.cut << " min " << c.minimum;
  }
}

std::vector<uint8_t> indexOf(const std::vector<u::IndexRecord>& records) {
  std::vector<uint8_t> bytes(records.size() * u::kRecordSize);
  for (size_t i = 0; i < records.size(); ++i)
    u::encodeRecord(records[i], bytes.data() + i * u::kRecordSize);
  return bytes;
}

TEST(DiphoneIndex, RecordsRoundTripAndPartialRecordIsIgnored) {
  const std::vector<u::IndexRecord> records = {
      {"$A", 1234, 0}, {"$KAZAMEN", 65535, 0xFFFFFFF0u}, {"", 0, 7}};
  auto bytes = indexOf(records);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[9], 1234 & 0xFF);
  EXPECT_EQ(bytes[10], 1234 >> 8);
  EXPECT_EQ(u::parseIndex(bytes), records);
  bytes.resize(bytes.size() + 7, 0xAA);
  EXPECT_EQ(u::parseIndex(bytes), records);
  bytes[0] = 200;  // a length beyond the name field reads 8 characters only
  EXPECT_EQ(u::parseIndex(bytes)[0].name.size(), 8u);
}

TEST(DiphoneIndex, BisectionFindsEveryNameAndNothingElse) {
  std::vector<std::string> names = {"$",  "$A",  "$AB",  "$ACIRC", "$B",
                                    "$K", "$KA", "$KAZ", "$ZZ",    "$ZZZZZZZ"};
  std::vector<u::IndexRecord> records;
  for (const auto& n : names) records.push_back({n, 1, 0});
  ASSERT_TRUE(std::is_sorted(names.begin(), names.end(), u::nameLess));
  const auto parsed = u::parseIndex(indexOf(records));
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(u::findUnit(parsed, names[i]), i) << names[i];
  for (const char* absent : {"", "#", "$AA", "$KAZA", "$ZZZZZZZZZZZZ", "~", "$ZZZZZZZZ"})
    EXPECT_FALSE(u::findUnit(parsed, absent)) << absent;
  EXPECT_FALSE(u::findUnit({}, "$A"));
}

TEST(DiphoneWav, LetterRecordingsAreFoundAndConverted) {
  std::vector<uint8_t> img(44 + 8 + 4);
  u::writeWavHeader(img.data(), 4, 22050, 1, 16);
  // Insert a LIST chunk before "data", and write lower-case chunk names.
  std::vector<uint8_t> withList(img.begin(), img.begin() + 36);
  for (int b : {int{'L'}, int{'I'}, int{'S'}, int{'T'}, 2, 0, 0, 0, 0, 0})
    withList.push_back(static_cast<uint8_t>(b));
  for (int b : {int{'d'}, int{'a'}, int{'t'}, int{'a'}, 4, 0, 0, 0, 0x00, 0x7F, 0x00, 0x80})
    withList.push_back(static_cast<uint8_t>(b));
  const auto wav = u::parseWav(withList);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->rate, 22050u);
  EXPECT_EQ(wav->bits, 16);
  EXPECT_EQ(u::toUnitFormat(*wav), (std::vector<uint8_t>{0xFF}));
  // A data chunk that claims more than the file holds is cut at the end.
  withList[withList.size() - 8] = 0xFF;
  ASSERT_TRUE(u::parseWav(withList));
  EXPECT_EQ(u::parseWav(withList)->data.size(), 4u);
  EXPECT_FALSE(u::parseWav(std::vector<uint8_t>(10, 0)));
}

// The offline walk (generator, coverage figures) must ask for exactly the
// names the synthesiser asks for, and report a missing short unit as noise.
TEST(DiphoneWalk, OfflineWalkAsksForTheSynthesiserNamesAndShowsMissingUnits) {
  const std::string phonetic = " kA/za] ";
  std::vector<std::string> expected;
  size_t pos = 0;
  int stress = u::kStressBefore;
  while (pos < phonetic.size()) {
    const auto token = u::readToken(phonetic, pos, 0);
    if (token.wordStart) stress = u::kStressBefore;
    std::vector<u::NamePlay> names;
    for (const auto& s : u::splitToken(token.text)) u::unitNames(s.text, s.factor, stress, names);
    for (const auto& n : names) expected.push_back(n.name);
  }
  ASSERT_FALSE(expected.empty());

  const u::UnitLookup everything = [](std::string_view) -> std::optional<size_t> { return 0; };
  std::vector<std::string> walked;
  u::forEachResolvedName(phonetic, everything,
                         [&](const u::NamePlay& n, const std::vector<u::Piece>& pieces) {
                           walked.push_back(n.name);
                           for (const auto& p : pieces) EXPECT_EQ(p.kind, u::Piece::Kind::Unit);
                         });
  EXPECT_EQ(walked, expected);

  const u::UnitLookup nothing = [](std::string_view) -> std::optional<size_t> {
    return std::nullopt;
  };
  bool noise = false;
  u::forEachResolvedName(phonetic, nothing,
                         [&](const u::NamePlay&, const std::vector<u::Piece>& pieces) {
                           for (const auto& p : pieces) noise |= p.kind == u::Piece::Kind::Noise;
                         });
  EXPECT_TRUE(noise);
}

}  // namespace
