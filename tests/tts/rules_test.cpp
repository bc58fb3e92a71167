// Letter-to-sound: stress positions, rule contexts, exceptions, the phoneme
// list of a text's items and the sandhi pass.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "tempFile.h"
#include "tts/letters.h"
#include "tts/uttsRules.h"

namespace tts {
namespace {

using qr::W;
using testing::writeFile;

// Words ending in -z and -x (rapaz, feliz, durex) are stressed on the last
// syllable, as those ending in -r and -l.
TEST(EngineStress, PositionsOfTheDesignsWordsAndTheUnstressedOnes) {
  struct Case {
    const char* word;  // UTF-8, upper-cased before the look-up
    std::size_t position;
  } cases[] = {
      {"casa", 2},
      {"cantar", 5},
      {"falam", 2},
      {"jardim", 5},
      {"aqui", 4},
      {"parque", 2},
      {"táxi", 2},
      {"órfã", 1},
      {"órgão", 1},
      {"irmã", 4},
      {"dia", 2},
      {"cinqüenta", 6},
      {"caçada", 4},
      {"POR", 0},
      {"com", 0},
      {"não", 0},
      {"sim", 0},
      {"de", 0},
      {"ó", 0},
      {"trrr", 0},
      {"que", 0},
      {"rapaz", 4},
      {"feliz", 4},
      {"durex", 4},
      // A y is a vowel: "quilobytes" is stressed on its "by", as spoken.
      {"quilobytes", 7},
      {"bytes", 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(stressPositionOf(upperText(W(c.word))), c.position) << c.word;
}

TEST(EngineRuleContexts, EachSymbolOnItsSide) {
  struct Case {
    const char* rule;
    const char* word;
    std::size_t at;
    bool fires;
  } cases[] = {
      {"(S)#=z", "CASA", 2, true},     {"(S)#=z", "CASTA", 2, false},
      {"(R)%=r2", "MAR", 2, true},     {"(R)%=r2", "MARE", 2, false},
      {"(M)&=m", "AMNA", 1, true},     {"(M)&=m", "AMTA", 1, false},
      {"(N)*=", "ANTA", 1, true},      {"(N)*=", "ANLA", 1, false},
      {"(C)+=s", "CINE", 0, true},     {"(C)+=s", "CAMA", 0, false},
      {"(L)[=w", "SAL", 2, true},      {"(L)[=w", "SALTO", 2, true},
      {"(L)[=w", "MALHA", 2, false},   {"(L)[=w", "SALA", 2, false},
      {"(O)\\%=u", "GATOS", 3, true},  {"(O)\\%=u", "GATO", 3, true},
      {"(O)\\%=u", "GATOR", 3, false}, {"#(S)=z", "ASA", 1, true},
      {"%(R)=R", "RATO", 0, true},     {"%(R)=R", "ARA", 1, false},
      {"](I)=j", "OI", 1, true},       {"](I)=j", "EI", 1, false},
      {"_(E)=i", "E", 0, true},        {"_(E)=i", "AE", 1, true},
      {"_(E)=i", "TE", 1, false},      {"|(R)=R", "HONRA", 3, true},
      {"|(R)=R", "ARA", 1, false},     {"QU(I)=i", "AQUI", 3, true},
      {"(XC)+=s", "EXCITO", 1, true},  {"(AM)=a~", "AM", 1, false},
  };
  for (const auto& c : cases) {
    const auto parsed = parseRewriteRule(c.rule);
    ASSERT_TRUE(parsed) << c.rule;
    EXPECT_EQ(ruleFires(parsed->rule, c.word, c.at), c.fires) << c.rule << " in " << c.word;
  }
  // The stress symbols: ' at the stressed letter, ! elsewhere, ^ after it.
  const auto at = parseRewriteRule("'(E)=E")->rule;
  const auto off = parseRewriteRule("!(E)=e")->rule;
  const auto after = parseRewriteRule("^(A)=6")->rule;
  EXPECT_TRUE(ruleFires(at, "PEDE", 1, 2));
  EXPECT_FALSE(ruleFires(at, "PEDE", 3, 2));
  EXPECT_TRUE(ruleFires(off, "PEDE", 3, 2));
  EXPECT_FALSE(ruleFires(off, "PEDE", 1, 2));
  EXPECT_TRUE(ruleFires(after, "PALAVRA", 6, 4));
  EXPECT_FALSE(ruleFires(after, "PALAVRA", 1, 4));
  EXPECT_FALSE(ruleFires(after, "PALAVRA", 3, 0));
}

TEST(EngineRuleFile, PiecesAreCutAndIncompleteLinesReported) {
  const auto cut = parseRewriteRule("ABCDEFG(HIJKLMN)OPQRSTU=abcdefghijklmnopqrstuvw|x");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->rule, (RewriteRule{"ABCDE", "HIJKL", "OPQRS", "abcdefghijklmnopqrst"}));
  EXPECT_FALSE(cut->complete);
  EXPECT_TRUE(parseRewriteRule("#(S)#=z")->complete);
  EXPECT_FALSE(parseRewriteRule("(A)a")->complete);  // no "="
  EXPECT_FALSE(parseRewriteRule("; comment"));
  EXPECT_FALSE(parseRewriteRule("()=x"));

  LetterToSound lts;
  EXPECT_FALSE(lts.loadRules(::testing::TempDir() + "/no-such.nrl"));
  ASSERT_TRUE(lts.loadRules(writeFile("bad.nrl", ";c\n(A)=a\n(B=b\nsem parênteses\n")));
  EXPECT_EQ(lts.ruleCount(), 2u);
  ASSERT_EQ(lts.messages().size(), 2u);
  EXPECT_EQ(qr::toUtf8(lts.messages()[0]), "Regras: linha errada: (B=b");
  EXPECT_EQ(qr::toUtf8(lts.messages()[1]), "Regras: linha sem letras a trocar: sem parênteses");
}

class SmallRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lts.loadRules(writeFile("small.nrl",
                                        "(C)=k\n(A)\\%=6\n(A)=a\n(S)[=s2\n#(S)#=z\n(S)=s\n"
                                        "(R)[=r2\n(R)=r\n(M)=m\n(O)=o\n(X)=k&s\n(T)=t\n(E)=e\n"
                                        "(I)=i\n(P)=p\n(D)=d\n(É)=E\n")));
    ASSERT_TRUE(lts.loadExceptions(writeFile("small.exc", "tom=TOM\nmesa=MÉSA\nxa=XXA|c\n")));
  }
  std::vector<std::string> words(std::initializer_list<const char*> items) {
    std::vector<std::string> in;
    for (auto i : items) in.push_back(W(i));
    return lts.wordsToPhonemes(in);
  }
  LetterToSound lts;
};

TEST_F(SmallRules, ExceptionsKeepAFinalSOrMTheyWereFoundWithout) {
  EXPECT_EQ(lts.applyExceptions("MESAS"), W("MÉSAS"));
  EXPECT_EQ(lts.applyExceptions("TOMS"), "TOMS");  // TOM found, S put back
  EXPECT_EQ(lts.applyExceptions("TOMSM"), "TOMSM");
  EXPECT_EQ(lts.applyExceptions("XA"), "XXA");
  EXPECT_EQ(lts.applyExceptions("CASAS"), "CASAS");
  EXPECT_EQ(lts.exceptionCount(), 3u);
}

TEST_F(SmallRules, ListOfItemsMarksBreaksStressAndSandhi) {
  const auto out = words({"555|", "555|casas", "555|mar", "555|a", "555|,", "555| ", "555|tex"});
  const std::vector<std::string> expected{
      ";555|",      "__", "",  //
      ";555|casas", "k",  ">a", "z", "6", "s2", "",
      ";555|mar",   "m",  ">a", "r", "",  // r2 before the vowel of the next word
      ";555|a",     "6",  "",             //
      ";555|,",     "_,",                 //
      ";555| ",                           // a blank gives nothing
      ";555|tex",   "t",  ">e", "k", "s", "",   "__"};
  EXPECT_EQ(out, expected);
  // s2 before a stressed vowel too
  const auto s = words({"555|casas", "555|oca"});
  EXPECT_EQ(s[5], "z");
}

// A stress mark goes on the first phoneme a rule emits at or after the
// stressed letter, once.
TEST_F(SmallRules, StressMarkLandsOnceOnTheStressedPhoneme) {
  std::vector<std::string> out;
  lts.convertWord(W("pedra"), out);
  EXPECT_EQ(out, (std::vector<std::string>{"p", ">e", "d", "r", "6", ""}));
  out.clear();
  lts.convertWord(W("mesa"), out);  // exception with its own accent
  EXPECT_EQ(out[1], ">E");
}

}  // namespace
}  // namespace tts
