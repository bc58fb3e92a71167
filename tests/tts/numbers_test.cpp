// Cardinal and ordinal readings, number tokens and character names of the
// built-in engine.
#include "tts/numbers.h"

#include <gtest/gtest.h>

#include "base/cp1252.h"

namespace tts {
namespace {

using qr::W;

TEST(EngineNumbers, CardinalAndOrdinal) {
  EXPECT_EQ(cardinalWords(0), "zero");
  EXPECT_EQ(cardinalWords(3), W("três"));
  EXPECT_EQ(cardinalWords(21), "vinte e um");
  EXPECT_EQ(cardinalWords(1001), "mil e um");
  EXPECT_EQ(cardinalWords(1250), W("mil e duzentos e cinqüenta"));
  EXPECT_EQ(cardinalWords(2000000), W("dois milhões "));

  struct Case {
    char gender;
    uint64_t n;
    const char* words;
  } cases[] = {
      {'m', 0, "zero"},
      {'f', 0, "zero"},
      {'m', 21, "vigésimo primeiro"},
      {'f', 3, "terceira"},
      {'m', 100, "centésimo"},
      {'f', 70, "septuagésima"},
      {'f', 1000, "milésima"},
      {'m', 1999, "milésimo nongentésimo nonagésimo nono"},
      {'f', 1101, "milésima centésima primeira"},
      {'m', 2000, "dois mil "},
  };
  for (const auto& c : cases) EXPECT_EQ(ordinalWords(c.gender, c.n), W(c.words)) << c.n;
}

TEST(EngineNumbers, ReadNumberToken) {
  struct Case {
    const char* text;  // UTF-8, converted
    const char* words;
    size_t endPos;
  } cases[] = {
      {"007", "zero zero sete", 3},
      {"0", "zero", 1},
      {"1.000", "mil ", 5},
      {"1.000.000 x", "um milhão ", 9},
      {"1.5", "um", 1},
      {"1.0000", "um", 1},
      {"2º", "segundo", 2},
      {"3ª", "terceira", 2},
      {"1a. vez", "primeira", 3},
      {"10os.", "décimos", 5},
      {"3as.", "terceiras", 4},
      {"2000º", "dois mil ", 5},
      {"12x", "doze", 2},
      {"5 e", "cinco", 1},
      {"0800-123", " zero oito zero zero traço um dois três", 8},
      {"1234567890123456789",
       "cento e vinte e três trilhões quatrocentos e cinqüenta e seis "
       "bilhões setecentos e oitenta e nove milhões doze mil e "
       "trezentos e quarenta e cinco",
       15},
  };
  for (const auto& c : cases) {
    const std::string text = W(c.text);
    size_t pos = 0;
    EXPECT_EQ(readNumberToken(text, pos), W(c.words)) << c.text;
    EXPECT_EQ(pos, c.endPos) << c.text;
  }
}

TEST(EngineNumbers, CharacterNames) {
  struct Case {
    int code;
    const char* name;
  } cases[] = {
      {' ', "espaço"},
      {'A', "a"},
      {'C', " sê"},
      {'c', " sê"},
      {'J', "jóta"},
      {'j', "jota"},
      {'N', "êne"},
      {'n', "ene"},
      {'7', "séte"},
      {'|', "barra vertical"},
      {'~', "til"},
      {'"', "aspas"},
      {161, "exclamação reversa"},
      {191, "interrogação reversa"},
      {199, "Cê cedilha"},
      {215, "vezes"},
      {220, "U com trema"},
      {225, "A agudo"},
      {231, "Cê cedilha"},
      {224, ""},
      {221, ""},
      {255, ""},
      {247, ""},  // ÷ is no letter: not named as ×
      {0, ""},
      {31, ""},
      {127, ""},
      {160, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(characterName(static_cast<uint8_t>(c.code)), W(c.name)) << c.code;
}

}  // namespace
}  // namespace tts
