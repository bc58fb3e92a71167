// Tagging, intonation patterns, synthesiser input lines, the loaders'
// messages and the tables that grow past their old limits.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "tempFile.h"
#include "tts/uttsNormal.h"
#include "tts/uttsProsody.h"
#include "tts/uttsRules.h"

namespace tts {
namespace {

using qr::W;
using testing::writeFile;
using Lines = std::vector<std::string>;

const char* kSmallProsody =
    "[DURAÇÃO]\n"
    "* a comment\n"
    "k=100\na=100\nz=100\n6=100\np=100\nr2=60\n_,=250\n"
    "[CHAVES]\n"
    "o=ar\n"
    "[PROSÓDIA]\n"
    "HERTZ=230\n"
    "TABHERTZ=0,50,60,70,80,100,110,120,130,140\n"
    "|XX|..=?12\n"
    "AR||=447\n";

class SmallProsody : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(p.LoadProsody(writeFile("small.pro", W(kSmallProsody))));
    ASSERT_TRUE(p.LoadDiphones(
        writeFile("small.dfn", "; pairs\nk-a\na z\nz-6\n6-k\n_-k\n_-p\np-x\nx-a\n_-_\n")));
  }
  Prosody p;
};

TEST_F(SmallProsody, TagsWordsMarksAndBreaks) {
  EXPECT_EQ(p.TagWords("Bom dia."), (Lines{"[--]", "[XX]Bom", "[XX]dia", "[..].", "[--]"}));
  EXPECT_EQ(p.TagWords(W("o João, e... ?")), (Lines{"[--]", "[AR]o", W("[XX]João"), "[,,],",
                                                    "[XX]e", "[.-].", "[--]", "[??]?", "[--]"}));
  EXPECT_EQ(p.TagWords("   "), (Lines{"[--]"}));
}

TEST_F(SmallProsody, PatternsFromRulesAndThePreviousItem) {
  // "?12" after an item whose pattern ends in 5 gives 512; the word after
  // an article gets the article rule's pattern; the first rule that fits
  // wins.
  EXPECT_EQ(p.AssignPatterns(p.TagWords("o dia")), (Lines{"555|", "555|o", "447|dia"}));
  EXPECT_EQ(p.AssignPatterns(p.TagWords("bom dia.")),
            (Lines{"555|", "555|bom", "512|dia", "555|.", "555|"}));
  EXPECT_EQ(p.AssignPatterns({"[XX]dia", "", "[..]."}), (Lines{"512|dia", "555|."}));
}

TEST_F(SmallProsody, DurationsLengthenFromTheStressAndShortenInLongWords) {
  const auto lines = p.MakeMbrolaLines({";555|casa", "k", ">a", "z", "6", ""}, 1.0, 1.0);
  EXPECT_EQ(lines, (Lines{";casa", "k 100 50 230", "a 145 80 230", "z 145", "6 145 50 230", ""}));
  // 13 letters: 80 % before the stress; 9 letters: 90 %; unknown phoneme 100.
  EXPECT_EQ(p.MakeMbrolaLines({";555|abcdefghijklm", "p", "x", ">a", ""}, 1.0, 1.0)[1],
            "p 80 50 230");
  EXPECT_EQ(p.MakeMbrolaLines({";555|abcdefghi", "p", "x", ">a", ""}, 1.0, 1.0)[2], "x 90");
  EXPECT_EQ(p.MakeMbrolaLines({";555|abcdefgh", "p", "x", ">a", ""}, 1.0, 1.0)[2], "x 100");
  // The rate factor scales, fractions dropped; pauses by mark, number or 100.
  EXPECT_EQ(p.MakeMbrolaLines({";555|,", "_,", "_ 40", "_"}, 1.0, 0.5),
            (Lines{";,", "_ 125 50 230", "_ 20", "_ 50"}));
}

TEST_F(SmallProsody, PitchIsTabHertzTimesFactorTimesHertz) {
  EXPECT_EQ(p.MakeMbrolaLines({";567|ka", ">k", "a", ""}, 1.0, 1.0)[1], "k 145 80 253");
  EXPECT_EQ(p.MakeMbrolaLines({";555|ka", "k", ""}, 2.0, 1.0)[1], "k 100 50 460");
  // digit 0 has TABHERTZ 0: no target
  EXPECT_EQ(p.MakeMbrolaLines({";055|ka", "k", ""}, 1.0, 1.0)[1], "k 100");
}

// The synthesiser refuses a phoneme of no length and a pitch of no height.
TEST_F(SmallProsody, NoZeroOrNegativeDurationOrPitchIsEmitted) {
  for (const auto& line : p.MakeMbrolaLines({";555|casa", "k", ">a", "_,", ""}, -1.0, 0.0)) {
    if (line.empty() || line[0] == ';') continue;
    EXPECT_EQ(line.find(' '), line.rfind(' ')) << line << " has a pitch target";
    EXPECT_GT(std::stoi(line.substr(line.find(' ') + 1)), 0) << line;
  }
}

TEST_F(SmallProsody, MissingDiphonesGetAFiller) {
  ASSERT_TRUE(p.LoadDiphones(writeFile("fill.dfn", "r2-_\nk-y\nk-a\n")));
  EXPECT_EQ(p.MakeMbrolaLines({"k", "z", "r2", "p", "k", "a"}, 1.0, 1.0),
            (Lines{"_ 50", "k 100 50 230", "y 50", "z 100", "_ 50", "r2 60", "_ 50", "p 100",
                   "_ 50", "k 100", "a 100"}));
}

TEST(EngineLoaders, ProsodyFailuresSayWhatIsWrong) {
  struct Case {
    const char* file;  // UTF-8; nullptr: no file
    bool loads;
    const char* message;
  } cases[] = {
      {nullptr, false, "Configuração da prosódia não foi achada"},
      {"[CHAVES]\n[PROSÓDIA]\n", false, "Duração dos difones errada ou ausente"},
      {"[DURAÇÃO]\na 100\n", false, "Configuração da prosódia: fonema errado: a 100"},
      {"[DURAÇÃO]\na=100\n[PROSÓDIA]\n", false, "Prosódia: palavras chaves ausentes"},
      {"[DURAÇÃO]\n[CHAVES]\nde PR\n", false, "Configuração da prosódia: chave errada: de PR"},
      {"[DURAÇÃO]\n[CHAVES]\n", false, "Prosódia: especificações ausentes"},
      {"[DURAÇÃO]\n[CHAVES]\n[PROSÓDIA]\n|XX|\n", false,
       "Configuração da prosódia: chave errada: |XX|"},
      {"[DURAÇÃO]\na=cem\n[CHAVES]\n[PROSÓDIA]\n", true,
       "Configuração da prosódia: fonema errado: a=cem"},
      {"[DURAÇÃO]\n[CHAVES]\n[PROSÓDIA]\nTABHERTZ=1,2\n", true,
       "Configuração da prosódia: TABHERTZ errado: TABHERTZ=1,2"},
  };
  for (const auto& c : cases) {
    Prosody p;
    const std::string path =
        c.file ? writeFile("case.pro", W(c.file)) : ::testing::TempDir() + "/none.pro";
    EXPECT_EQ(p.LoadProsody(path), c.loads) << c.message;
    ASSERT_EQ(p.messages().size(), 1u) << c.message;
    EXPECT_EQ(qr::toUtf8(p.messages()[0]), c.message);
  }
  Prosody p;
  ASSERT_TRUE(p.LoadProsody(writeFile("cem.pro", W("[DURAÇÃO]\na=cem\n[CHAVES]\n[PROSÓDIA]\n"))));
  EXPECT_EQ(p.durationOf("a"), 100);
  EXPECT_EQ(p.hertz(), kDefaultHertz);
  EXPECT_FALSE(p.LoadDiphones(::testing::TempDir() + "/none.dfn"));
}

// The old tables stopped at 2,000 abbreviations, 15,000 exceptions, 1,000
// classes and 300 intonation rules and dropped the rest without a word.
TEST(EngineLoaders, TablesGrowPastTheOldLimits) {
  std::string abr, exc, pro = "[DURAÇÃO]\n[CHAVES]\n";
  for (int i = 0; i < 2500; ++i)
    abr += "K" + std::to_string(i) + "=expansão " + std::to_string(i) + "\n";
  for (int i = 0; i < 16000; ++i) exc += "W" + std::to_string(i) + "=R" + std::to_string(i) + "\n";
  for (int i = 0; i < 1200; ++i)
    pro += "P" + std::to_string(i) + "=C" + std::to_string(i % 10) + "\n";
  pro += "[PROSÓDIA]\n";
  for (int i = 0; i < 400; ++i)
    pro += "|Q" + std::to_string(i % 10) + "|C" + std::to_string(i) + "=111\n";
  pro += "||=999\n";

  Normaliser n;
  ASSERT_TRUE(n.loadAbbreviations(writeFile("big.abr", W(abr))));
  EXPECT_EQ(n.abbreviationCount(), 2500u);
  EXPECT_EQ(n.findAbbreviation("k2499"), W("expansão 2499"));
  LetterToSound lts;
  ASSERT_TRUE(lts.loadExceptions(writeFile("big.exc", exc)));
  EXPECT_EQ(lts.applyExceptions("W15999"), "R15999");
  Prosody p;
  ASSERT_TRUE(p.LoadProsody(writeFile("big.pro", W(pro))));
  EXPECT_EQ(p.classOf("p1199"), "C9");
  EXPECT_EQ(p.rules().size(), 401u);
  EXPECT_EQ(p.AssignPatterns({"[XX]a"}), Lines{"999|a"});
}

TEST(EngineLoaders, AbbreviationsFileAndItsMalformedLines) {
  Normaliser n;
  EXPECT_FALSE(n.loadAbbreviations(::testing::TempDir() + "/none.abr"));
  ASSERT_TRUE(
      n.loadAbbreviations(writeFile("a.abr", W("; c\n\n  sr = senhor  \nSR=outro\nsem igual\n"))));
  EXPECT_EQ(n.findAbbreviation("Sr"), "senhor");
  EXPECT_EQ(n.findAbbreviation(""), "");
  EXPECT_EQ(n.findAbbreviation("sem igual"), "");
  ASSERT_EQ(n.messages().size(), 1u);
  EXPECT_EQ(qr::toUtf8(n.messages()[0]), "Abreviaturas: linha sem \"=\": sem igual");
}

}  // namespace
}  // namespace tts
