// The shipped data files read together: expected-output files for the
// normalisation and for everyday sentences, and the agreement of the rules,
// durations and diphone list with the phoneme inventory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "tts/uttsFront.h"

namespace tts {
namespace {

std::string sourcePath(const std::string& rel) {
  return std::string(TEST_SOURCE_DIR) + "/" + rel;
}

// INPUT<TAB>OUTPUT lines of an expected-output file, "#" comments skipped.
std::vector<std::pair<std::string, std::string>> cases(const std::string& rel) {
  std::ifstream in(sourcePath(rel));
  std::vector<std::pair<std::string, std::string>> out;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    out.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    const char e = s[++i];
    if (e == 't') out += '\t';
    if (e == 'n') out += '\n';
    if (e == 'r') out += '\r';
    if (e == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

// Words of a phoneme list as "p h o | ...", the way the sentence file
// writes them.
std::string wordsOf(const std::vector<std::string>& lines) {
  std::string out, word;
  auto flush = [&] {
    if (word.empty()) return;
    if (!out.empty()) out += " | ";
    out += word;
    word.clear();
  };
  for (const auto& l : lines) {
    if (l.starts_with(';')) {
      flush();
      continue;
    }
    if (l.empty() || l == "__") continue;
    if (!word.empty()) word += ' ';
    word += l;
  }
  flush();
  return out;
}

class ShippedEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(front.load(engineFilesIn(sourcePath("data/engine"))));
    EXPECT_TRUE(front.messages().empty()) << qr::toUtf8(front.messages().front());
    std::ifstream in(sourcePath("data/engine/portug.fon"));
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == ';') continue;
      std::istringstream fields(line);
      std::string name, kind, espeak;
      fields >> name >> kind >> espeak;
      inventory.push_back(name);
      EXPECT_FALSE(espeak.empty()) << name << " has no eSpeak NG equivalent";
      EXPECT_LE(name.size(), 2u) << name;
    }
  }
  EngineFront front;
  std::vector<std::string> inventory;
};

TEST_F(ShippedEngine, NormalisesTheExpectedOutputFile) {
  const auto all = cases("tests/tts/data/normal.txt");
  ASSERT_GT(all.size(), 15u);
  for (const auto& [input, output] : all)
    EXPECT_EQ("[" + qr::toUtf8(front.normaliser().normaliseText(qr::W(unescape(input)))) + "]",
              output)
        << input;
}

TEST_F(ShippedEngine, ReadsEverydaySentencesAsExpected) {
  const auto all = cases("tests/tts/data/sentences.txt");
  ASSERT_GT(all.size(), 10u);
  for (const auto& [input, output] : all)
    EXPECT_EQ(qr::toUtf8(wordsOf(front.phonemeList(qr::W(input)))), output) << input;
}

// Each stage's lines for a few texts: a change of any stage or of the data
// shows up here as the stage where it happened.
TEST_F(ShippedEngine, EachStageGivesItsExpectedLines) {
  std::ifstream in(sourcePath("tests/tts/data/stages.txt"));
  ASSERT_TRUE(in);
  std::map<std::string, std::map<std::string, std::vector<std::string>>> expected;
  std::string text, stage;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with('#')) continue;
    if (line.starts_with("== ")) {
      stage = line.substr(3);
    } else if (line.starts_with("= ")) {
      text = line.substr(2);
    } else {
      expected[text][stage].push_back(line);
    }
  }
  ASSERT_GE(expected.size(), 3u);
  auto utf8 = [](std::vector<std::string> lines) {
    for (auto& l : lines) l = qr::toUtf8(l);
    return lines;
  };
  const auto& p = front.prosody();
  for (const auto& [t, stages] : expected) {
    const std::string cp = qr::W(t);
    const auto tags = p.TagWords(front.normaliser().normaliseText(cp));
    EXPECT_EQ(utf8(tags), stages.at("tags")) << t;
    EXPECT_EQ(utf8(p.AssignPatterns(tags)), stages.at("patterns")) << t;
    EXPECT_EQ(utf8(front.phoLines(cp, 1.0, 0.8)), stages.at("pho")) << t;
  }
}

TEST_F(ShippedEngine, RulesDurationsAndDiphonesUseTheInventory) {
  const std::set<std::string> names(inventory.begin(), inventory.end());
  for (const std::string required : {"r2", "s2", "_", "tS", "dZ", "J", "L", "R", "r"})
    EXPECT_TRUE(names.count(required)) << required;

  // Every phoneme a rule emits.
  std::ifstream rules(sourcePath("data/engine/portug.nrl"));
  int ruleCount = 0;
  for (std::string line; std::getline(rules, line);) {
    const auto parsed = parseRewriteRule(line);
    if (!parsed) continue;
    ++ruleCount;
    EXPECT_TRUE(parsed->complete) << line;
    std::istringstream out(parsed->rule.output);
    for (std::string ph; std::getline(out, ph, '&');)
      if (!ph.empty()) {
        EXPECT_TRUE(names.count(ph)) << ph << " in " << line;
      }
  }
  EXPECT_GT(ruleCount, 100);

  // Every phoneme has a duration, and every duration is of a phoneme or a
  // pause of a mark.
  const auto& p = front.prosody();
  std::set<std::string> timed;
  for (const auto& [name, ms] : p.durations()) {
    timed.insert(name);
    EXPECT_GT(ms, 0) << name;
    if (!name.starts_with('_')) {
      EXPECT_TRUE(names.count(name)) << name;
    }
  }
  for (const auto& n : inventory) EXPECT_TRUE(timed.count(n)) << n << " has no duration";

  // The diphone list holds every pair.
  EXPECT_EQ(p.diphoneCount(), inventory.size() * inventory.size());
  for (const auto& a : inventory)
    for (const auto& b : inventory) EXPECT_TRUE(p.hasDiphone(a, b)) << a << "-" << b;
}

TEST_F(ShippedEngine, EveryOutputLineIsAValidSynthesiserLine) {
  const std::string text = qr::W(
      "Você recebeu 3 arquivos, 1.250 kB ao todo! O Sr. Silva pergunta: e agora? "
      "Exceção... (fim)");
  // Every byte alone and in a scrambled run, too.
  std::string bytes;
  for (int c = 1; c < 256; ++c) bytes += static_cast<char>((c * 97) % 255 + 1);
  std::vector<std::string> texts{text, bytes};
  for (int c = 0; c < 256; ++c) texts.emplace_back(1, static_cast<char>(c));
  for (const auto& t : texts)
    for (const auto& line : front.phoLines(t, 1.0, 0.8)) {
      if (line.empty() || line[0] == ';') continue;
      std::istringstream in(line);
      std::string name;
      int ms = 0;
      ASSERT_TRUE(in >> name >> ms) << line;
      EXPECT_TRUE(name == "_" || std::count(inventory.begin(), inventory.end(), name)) << line;
      EXPECT_GT(ms, 0) << line;
    }
  for (double rate : {0.2, 0.8, 1.0}) {
    int phonemes = 0;
    for (const auto& line : front.phoLines(text, 1.0, rate)) {
      if (line.empty() || line[0] == ';') continue;
      std::istringstream in(line);
      std::string name;
      int ms = 0, pos = 0, hz = 0;
      ASSERT_TRUE(in >> name >> ms) << line;
      EXPECT_TRUE(name == "_" || std::count(inventory.begin(), inventory.end(), name)) << line;
      EXPECT_GT(ms, 0) << line;
      while (in >> pos >> hz) {
        EXPECT_GT(hz, 0) << line;
        EXPECT_TRUE(pos >= 0 && pos <= 100) << line;
      }
      ++phonemes;
    }
    EXPECT_GT(phonemes, 60);
  }
}

TEST(EngineFiles, DirectoryAndBaseNameMakeTheFiveNames) {
  const auto f = engineFilesIn("/d/voz");
  EXPECT_EQ(f.rules, "/d/voz/portug.nrl");
  EXPECT_EQ(f.exceptions, "/d/voz/portug.exc");
  EXPECT_EQ(f.abbreviations, "/d/voz/portug.abr");
  EXPECT_EQ(f.prosody, "/d/voz/portug.pro");
  EXPECT_EQ(f.definitions, "/d/voz/portug.dfn");
  EXPECT_EQ(engineFilesIn("/d/voz/", "br").rules, "/d/voz/br.nrl");
  // A missing file stops the load at that file and says which it was.
  EngineFront front;
  EXPECT_FALSE(front.load(engineFilesIn(::testing::TempDir() + "/nothing")));
  ASSERT_EQ(front.messages().size(), 1u);
  EXPECT_NE(front.messages()[0].find("portug.nrl"), std::string::npos);
}

// The tool reads the files copied into the build tree's engine directory.
TEST(EngineTool, PrintsInputLinesWithARisingQuestion) {
  const std::string cmd = std::string(TEST_BINARY_DIR) + "/tools/textpho 'Tudo bem?' 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  ASSERT_EQ(pclose(pipe), 0) << out;
  EXPECT_NE(out.find(";Tudo\nt "), std::string::npos) << out;
  std::vector<int> hz;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream f(line);
    std::string name;
    int ms = 0, pos = 0, pitch = 0;
    if (line.empty() || line[0] == ';' || !(f >> name >> ms) || name == "_") continue;
    while (f >> pos >> pitch) hz.push_back(pitch);
  }
  ASSERT_GE(hz.size(), 2u) << out;
  EXPECT_GT(hz.back(), hz[hz.size() - 2]) << out;
}

}  // namespace
}  // namespace tts
