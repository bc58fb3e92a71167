// Letter-to-sound translator: pre-mapping, stress automaton, rule contexts,
// loaders on bad files, and the shipped rules against expected outputs.
#include "speech/translator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "speech/translatorRules.h"

namespace {

using qr::W;
using speech::Translator;
namespace lts = speech::lts;

// CTest runs each test in a process of its own, side by side: the process
// number keeps one test from rewriting a file another is reading.
std::string writeTemp(const std::string& name, const std::string& content) {
  const std::string path = testing::TempDir() + "/" + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// Rules that copy each letter, so tests see what reaches the rule matcher.
std::string copyRules() {
  std::string r;
  for (char c = 'A'; c <= 'Z'; ++c) r += std::string("(") + c + ")=" + char(c + 32) + "|\n";
  return r;
}

TEST(TranslatorPreMap, MapsLettersMarksAndUnreadableCharacters) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"Wagner", "uagner"},
      {"Www", "Www"},  // W beside nothing but w: stays, gets spelled
      {"Kelly", "Kelli"},
      {"New York", "Neu iork"},
      {W("d'água"), "da'gua"},  // apostrophe after d dropped
      {"rock'n", "rock'n"},
      {W("açúcar"), "assu'car"},
      {W("ÇÃO"), "ssa~O"},
      {W("você pôs"), "voce^ po^s"},
      {W("ñ"), "nh"},
      {"a\tb", "a \x01 b"},
      {"\x9D", " \x01 "},  // no reading
      {"\xBE", " \x01 "},
      {"\x81", "u\""},
      {W("agüentar"), "agu\"entar"},  // the same diaeresis in both pages
      {W("×"), "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(lts::preMap(c.in), c.out) << c.in;
}

TEST(TranslatorStress, AutomatonMarksTheStressedVowel) {
  struct Case {
    const char* word;
    const char* marked;
  } cases[] = {
      {"casa", "cAsa"},         {"casas", "cAsas"},     {"falar", "falAr"},
      {"homens", "hOmens"},     {"falam", "fAlam"},     {"batom", "batOm"},
      {"tupi", "tupI"},         {"aqui", "aquI"},       {"seguido", "seguIdo"},
      {"seguinte", "seguInte"}, {"rainha", "raInha"},   {"coimbra", "coImbra"},
      {"feira", "fEira"},       {"saia", "sAia"},       {"uruguai", "uruguAi"},
      {"dia", "dIa"},           {"rua", "rUa"},         {"ida", "Ida"},
      {"alagues", "alAgues"},   {"figuram", "figUram"}, {"distingua", "distIngua"},
      {"sal", "sAl"},           {"trrr", "trrr"},
  };
  for (const auto& c : cases) EXPECT_EQ(lts::markStress(c.word), c.marked) << c.word;
}

TEST(TranslatorRuleFile, ParsesFieldsCutsLongOnesAndToleratesMissingDelimiters) {
  using R = lts::Rule;
  EXPECT_EQ(lts::parseRuleLine("#(S)#= z|"), (R{"#", "S", "#", " z"}));
  EXPECT_EQ(lts::parseRuleLine("(H)=|\r"), (R{"", "H", "", ""}));
  EXPECT_EQ(lts::parseRuleLine("ABCDEFG(HIJKLMN)OPQRSTU=abcdefghijklmnop|"),
            (R{"ABCDE", "HIJKL", "OPQRS", "abcdefghijk"}));
  EXPECT_EQ(lts::parseRuleLine("(A)=a"), (R{"", "A", "", "a"}));
  EXPECT_EQ(lts::parseRuleLine("(A)#"), (R{"", "A", "#", ""}));
  EXPECT_EQ(lts::parseRuleLine("(AB"), (R{"", "AB", "", ""}));
  EXPECT_FALSE(lts::parseRuleLine("no delimiters"));
  EXPECT_FALSE(lts::parseRuleLine("()=x|"));
  EXPECT_FALSE(lts::parseRuleLine(""));
}

TEST(TranslatorExceptionFile, ParsesWordAndPronunciation) {
  using E = lts::Exception;
  EXPECT_EQ(lts::parseExceptionLine("ok=okEi"), (E{"ok", "okEi"}));
  EXPECT_EQ(lts::parseExceptionLine("ok=okEi|comment\r"), (E{"ok", "okEi"}));
  EXPECT_EQ(lts::parseExceptionLine("a=b=c"), (E{"a", "b=c"}));
  EXPECT_EQ(lts::parseExceptionLine("x="), (E{"x", ""}));
  EXPECT_FALSE(lts::parseExceptionLine(""));
  EXPECT_FALSE(lts::parseExceptionLine("noequals"));
  EXPECT_FALSE(lts::parseExceptionLine("=x"));
  // Only the first 255 characters of a line count.
  EXPECT_FALSE(lts::parseExceptionLine(std::string(300, 'a') + "=b"));
  auto e = lts::parseExceptionLine("w=" + std::string(300, 'p'));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->pronunciation.size(), 253u);
}

TEST(TranslatorRuleMatch, EveryContextSymbol) {
  struct Case {
    const char* rule;
    const char* word;
    std::size_t p;
    bool match;
  } cases[] = {
      {"(CH)=x|", "chave", 0, true},
      {"(CH)=x|", "c", 0, false},  // centre past the end
      {"#(S)#=z|", "casa", 2, true},
      {"#(S)#=z|", "ca'sa", 3, true},  // accent marks count with vowels
      {"#(S)#=z|", "pulso", 3, false},
      {"%(R)=rr|", "rato", 0, true},
      {"%(R)=rr|", "caro", 2, false},
      {"(R)%=rr|", "mar", 2, true},
      {"(S)&=z|", "mesmo", 2, true},
      {"(S)&=z|", "festa", 2, false},
      {"(N)*=n|", "anta", 1, true},
      {"(N)*=n|", "honra", 2, false},
      {"(C)+=s|", "cedo", 0, true},
      {"(C)+A=s|", "ci'a", 0, true},  // + moves over the accent mark
      {"(C)+=s|", "casa", 0, false},
      {"(N)[=n|", "an", 1, true},
      {"(N)[=n|", "anta", 1, true},
      {"(N)[=n|", "anho", 1, false},
      {"(O)\\%=u|", "gatos", 3, true},
      {"(O)\\%=u|", "gato", 3, true},
      {"(O)\\%=u|", "gatox", 3, false},
      {"](I)=y|", "pai", 2, true},
      {"](I)=y|", "pa'i", 3, true},
      {"](I)=y|", "lei", 2, false},
      {"_(X)=z|", "xa", 0, true},
      {"_(X)=z|", "exa", 1, true},
      {"_(X)=z|", "e'xa", 2, true},
      {"_(X)=z|", "txa", 1, false},
      {"|(R)=rr|", "honra", 3, true},
      {"|(R)=rr|", "ara", 1, false},
      {"%E(X)#=z|", "exame", 1, true},
      {"%E(X)#=z|", "sexo", 2, false},
      {"(A)!M#=a~|", "cAma", 1, true},  // ! the centre is the stressed vowel
      {"(A)!M#=a~|", "camIsa", 1, false},
  };
  for (const auto& c : cases) {
    auto rule = lts::parseRuleLine(c.rule);
    ASSERT_TRUE(rule) << c.rule;
    EXPECT_EQ(lts::ruleMatches(*rule, c.word, c.p), c.match)
        << c.rule << " on " << c.word << " at " << c.p;
  }
}

class TranslatorWithTestFiles : public testing::Test {
 protected:
  void load(const std::string& rules, const std::string& exceptions) {
    ASSERT_TRUE(tr.loadTranslatorRules(writeTemp("t.rgr", rules)));
    ASSERT_TRUE(tr.loadTranslatorExceptions(writeTemp("t.exc", exceptions)));
  }
  Translator tr;
};

TEST_F(TranslatorWithTestFiles, SpellsConsonantWordsAndUnreadableCharacters) {
  load(copyRules(), "");
  EXPECT_EQ(tr.translateToPhonetic("Www"), "[ /_w][ /_w][ /_w]");
  EXPECT_EQ(tr.translateToPhonetic("txt"), "[ /_t][ /_x][ /_t]");
  EXPECT_EQ(tr.translateToPhonetic("a\x9D"), "[a][ /_\x01]");
  EXPECT_EQ(tr.translateToPhonetic("Wagner"), "[u/a/g/n/E/r]");
  EXPECT_EQ(tr.translateToPhonetic(W("ç")), "[ /_s][ /_s]");
  EXPECT_EQ(tr.translateToPhonetic("  "), "");
}

TEST_F(TranslatorWithTestFiles, StressOnlyWithoutAccentMarks) {
  load("(A~)=a~|\n(E^)=e^|\n" + copyRules(), "");
  EXPECT_EQ(tr.translateToPhonetic("ka ka"), "[k/a][k/a]");  // one vowel: no mark
  EXPECT_EQ(tr.translateToPhonetic("kaka"), "[k/A/k/a]");
  EXPECT_EQ(tr.translateToPhonetic(W("mamã")), "[m/a/m/a~]");
  EXPECT_EQ(tr.translateToPhonetic(W("você")), "[v/o/c/e^]");
  // The double quote of ü does not count as an accent.
  EXPECT_EQ(tr.translateToPhonetic("gu\"ela"), "[g/u/ /_\"/E/l/a]");
}

TEST_F(TranslatorWithTestFiles, ExceptionsPeelFinalSAndM) {
  load(copyRules(), "casa=kaza\nzzz=\ncas=WRONG\nbem=bEm\nzim=zik\n");
  EXPECT_EQ(tr.translateToPhonetic("casa"), "[k/A/z/a]");
  EXPECT_EQ(tr.translateToPhonetic("CASAS"), "[k/A/z/a/s]");
  EXPECT_EQ(tr.translateToPhonetic("casasm"), "[k/A/z/a/s/m]");
  EXPECT_EQ(tr.translateToPhonetic("zzz ab"), "[a/b]");  // empty pronunciation says nothing
  EXPECT_EQ(tr.translateToPhonetic("sm"), "[ /_s][ /_m]");
  // A plural in -ns found through its singular in -m.
  EXPECT_EQ(tr.translateToPhonetic("bens"), "[b/E/n/s]");
  EXPECT_EQ(tr.translateToPhonetic("zins"), "[z/i/n/s]");  // "zik" is no -m singular
}

TEST_F(TranslatorWithTestFiles, ExceptionStressIsKept) {
  load("(I')=I|\n" + copyRules(), "aqui=aki'\nok=okEi\n");
  EXPECT_EQ(tr.translateToPhonetic("aqui"), "[a/k/I]");
  EXPECT_EQ(tr.translateToPhonetic("ok"), "[o/k/E/i]");
}

TEST_F(TranslatorWithTestFiles, StressedUnitIsUpperCase) {
  // [kA] is played whole by the synthesiser, [ka] shortened.
  load("(KA)=ka|\n(CA)=ka|\n", "");
  EXPECT_EQ(tr.translateToPhonetic("kaca"), "[ka/ka]");  // centre starts on k: no stress
  load("(K)=k|\n(A)=a|\n(C)=k|\n", "");
  EXPECT_EQ(tr.translateToPhonetic("kaca"), "[k/A/k/a]");
  EXPECT_EQ(tr.translateToPhonetic("kaq"), "[k/a/ /_Q]");  // no rule: recorded letter
}

TEST_F(TranslatorWithTestFiles, RulesTakeTheFirstMatchInFileOrder) {
  load("(S)=s|\n#(S)#=z|\n(A)=a|\n", "");
  EXPECT_EQ(tr.translateToPhonetic("asa"), "[A/s/a]");
  load("#(S)#=z|\n(S)=s|\n(A)=a|\n", "");
  EXPECT_EQ(tr.translateToPhonetic("asa"), "[A/z/a]");
}

TEST(TranslatorLoad, BadFilesLoadWithoutHarm) {
  Translator tr;
  EXPECT_FALSE(tr.loadTranslatorRules(testing::TempDir() + "/missing.rgr"));
  EXPECT_FALSE(tr.loadTranslatorExceptions(testing::TempDir() + "/missing.exc"));
  EXPECT_FALSE(tr.loadTranslatorRules(testing::TempDir()));
  EXPECT_FALSE(tr.loadTranslatorExceptions(testing::TempDir()));

  std::string rules = "\n\n(A" + std::string(40, 'B') + ")=" + std::string(80, 'x') + "|\n";
  rules += "\xE7(\xE7)=x|\n(\xE7)=x|\n(~)=t|\n(`)=t|\n((((\n))))=|||\n";
  rules += "(A)=a|\n(B)=b|\n(B\n";
  ASSERT_TRUE(tr.loadTranslatorRules(writeTemp("bad.rgr", rules)));
  EXPECT_EQ(tr.translateToPhonetic("aba"), "[A/b/a]");
  EXPECT_EQ(tr.translateToPhonetic("abbbbb"), "[xxxxxxxxxxx/b]");

  std::ostringstream exc;
  exc << "\n\r\n" << std::string(1000, 'q') << "\n\xE9\xE9=x\n";
  auto key = [](int i) {
    std::string k = "k";
    const std::string_view letters = "bcdfghjklmnpqrstvxz";  // no w or y: pre-mapping keeps them
    for (int d = 0; d < 4; ++d, i /= 19) k += letters[i % 19];
    return k;
  };
  for (int i = 0; i < 15100; ++i) exc << key(i) << "=aba\n";
  ASSERT_TRUE(tr.loadTranslatorExceptions(writeTemp("big.exc", exc.str())));
  EXPECT_EQ(tr.translateToPhonetic(key(0)), "[A/b/a]");
  EXPECT_EQ(tr.translateToPhonetic(key(14998)), "[A/b/a]");
  // The 15,000th entry is the last one read.
  EXPECT_NE(tr.translateToPhonetic(key(14999)), "[A/b/a]");

  tr.unload();
  EXPECT_EQ(tr.translateToPhonetic("aba"), "[ /_A/ /_B/ /_A]");
}

TEST(TranslatorLoad, LongTextOfEveryByteStaysInBounds) {
  Translator tr;
  ASSERT_TRUE(tr.loadTranslatorRules(writeTemp("c.rgr", copyRules() + "#(S)#=z|\n(S)+#=s|\n")));
  std::string text;
  for (int i = 0; i < 999; ++i) text += static_cast<char>((i * 37) & 0xFF);
  const std::string out = tr.translateToPhonetic(text);
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(std::count(out.begin(), out.end(), '['), std::count(out.begin(), out.end(), ']'));
  std::string accents(999, '\0');
  for (std::size_t i = 0; i < accents.size(); ++i) accents[i] = "a'~s\""[i % 5];
  EXPECT_FALSE(tr.translateToPhonetic(accents).empty());
}

// ---- the shipped data ----

std::string sourcePath(const std::string& rel) {
  return std::string(TEST_SOURCE_DIR) + "/" + rel;
}

class ShippedTranslator : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tr.loadTranslatorRules(sourcePath("data/regras.rgr")));
    ASSERT_TRUE(tr.loadTranslatorExceptions(sourcePath("data/portug.exc")));
  }
  Translator tr;
};

// Every character of the phonetic text must be one the synthesiser's token
// reader and unit names know; "_" brings one recorded letter of any kind.
void expectSynthesiserSymbols(const std::string& ph, const std::string& what) {
  static const std::string kAllowed = "aeiouAEIOUwybcdfgjklmnpqrstvxz^~[]/ ";
  for (std::size_t i = 0; i < ph.size(); ++i) {
    if (ph[i] == '_') {
      ++i;
      continue;
    }
    if (ph[i] == 'h' && i > 0 && (ph[i - 1] == 'n' || ph[i - 1] == 'c')) continue;  // nh, tch
    EXPECT_NE(kAllowed.find(ph[i]), std::string::npos)
        << what << ": '" << ph[i] << "' in " << qr::toUtf8(ph);
  }
}

TEST_F(ShippedTranslator, WordsSoundAsExpected) {
  std::ifstream in(sourcePath("tests/speech/data/translator_words.txt"));
  ASSERT_TRUE(in);
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string word = line.substr(0, tab), expected = line.substr(tab + 1);
    EXPECT_EQ(qr::toUtf8(tr.translateToPhonetic(W(word))), expected) << word;
    ++cases;
  }
  EXPECT_GT(cases, 30);
}

TEST_F(ShippedTranslator, RuleOutputsUseOnlySynthesiserSymbols) {
  std::ifstream in(sourcePath("data/regras.rgr"));
  int rules = 0;
  for (std::string line; std::getline(in, line);) {
    auto rule = lts::parseRuleLine(line);
    ASSERT_TRUE(rule) << line;
    EXPECT_EQ(line.back(), '|') << line;
    expectSynthesiserSymbols(rule->output, line);
    ++rules;
  }
  EXPECT_GT(rules, 100);
  // Whole texts with every accented letter of the code page.
  expectSynthesiserSymbols(tr.translateToPhonetic(W("àáâãäçèéêëìíîïñòóôõöùúûü ÀÁÂÃÇÉÊÍÓÔÕÚ")),
                           "accents");
  expectSynthesiserSymbols(
      tr.translateToPhonetic(W("ação pões mãe têm também órgão ônibus câncer ímpar")), "words");
}

TEST_F(ShippedTranslator, ExceptionKeysCanBeFound) {
  // Keys are looked up after pre-mapping and lower-casing: a key with an
  // upper-case letter or a raw accented byte would never match.
  std::ifstream in(sourcePath("data/portug.exc"));
  std::string previous;
  for (std::string line; std::getline(in, line);) {
    auto e = lts::parseExceptionLine(line);
    ASSERT_TRUE(e) << line;
    for (unsigned char c : e->word)
      EXPECT_TRUE((c >= 'a' && c <= 'z') || lts::isAccentMark(c)) << line;
    EXPECT_LT(previous, e->word) << "not sorted or repeated: " << line;
    previous = e->word;
  }
}

}  // namespace
