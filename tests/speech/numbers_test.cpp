// Number words, piece names, time and date piece order and the piece joiner.
#include "speech/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/cp1252.h"

namespace speech {
namespace {

using qr::W;

// The pieces a user hears for a list of steps, in order.
std::vector<std::string> flatten(const std::vector<SpokenStep>& steps) {
  std::vector<std::string> out;
  for (const auto& s : steps) {
    if (s.kind == SpokenStep::Kind::Piece) {
      out.push_back(s.text);
    } else {
      for (auto& p : numberPieceNames(s.text, s.feminine)) out.push_back(p);
    }
  }
  return out;
}

using Pieces = std::vector<std::string>;

TEST(NumberWords, GroupsScalesAndTheLeadingUmMil) {
  struct Case {
    uint64_t n;
    const char* words;  // UTF-8
  } cases[] = {
      {0, "zero"},
      {1, "um"},
      {11, "onze"},
      {17, "dezessete"},
      {21, "vinte e um"},
      {100, "cem"},
      {101, "cento e um"},
      {110, "cento e dez"},
      {200, "duzentos"},
      {1000, "mil "},
      {1001, "mil e um"},
      {1250, "mil e duzentos e cinquenta"},
      {1999, "mil e novecentos e noventa e nove"},
      {2000, "dois mil "},
      {2024, "dois mil e vinte e quatro"},
      {100000, "cem mil "},
      {1000000, "um milhão "},
      {1000001, "um milhão e um"},
      {2500000, "dois milhões e quinhentos mil "},
      {21000000, "vinte e um milhões "},     // one only when the whole group is one
      {3000000000000ULL, "três trilhões "},  // "tres" in the piece table
      {1000000000000007ULL, "sete"},         // only the last 15 digits count
  };
  for (const auto& c : cases) {
    std::string expected = W(c.words);
    if (c.n == 3000000000000ULL)
      expected =
          "tres trilh\xF5"
          "es ";
    EXPECT_EQ(numberWords(c.n), expected) << c.n;
  }
}

TEST(NumberPieceNames, ShortNamesTildesAndFeminineLastWord) {
  struct Case {
    uint64_t n;
    bool feminine;
    Pieces pieces;
  } cases[] = {
      {0, false, {"_zero"}},
      {16, false, {"_dezesse"}},
      {17, false, {"_dezeset"}},  // would collide with dezesseis when cut
      {450, false, {"_quatroc", "_e", "_cinquen"}},
      {1000000, false, {"_um", "_milhao"}},
      {2000000, false, {"_dois", "_milhoes"}},
      {1, true, {"_uma"}},
      {2, true, {"_duas"}},
      {21, true, {"_vinte", "_e", "_uma"}},
      {2000, true, {"_dois", "_mil"}},  // only the last word turns feminine
      {12, true, {"_doze"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(numberPieceNames(numberWords(c.n), c.feminine), c.pieces) << c.n;
  EXPECT_EQ(numberPieceNames("  mil  e   um ", false), (Pieces{"_mil", "_e", "_um"}));
  EXPECT_TRUE(numberPieceNames("", true).empty());
}

TEST(TimeAndDate, PieceOrder) {
  EXPECT_EQ(flatten(timeSteps(1, 1)), (Pieces{"_uma", "_hora", "_um", "_minuto"}));
  EXPECT_EQ(flatten(timeSteps(2, 0)), (Pieces{"_duas", "_horas"}));
  EXPECT_EQ(flatten(timeSteps(0, 0)), (Pieces{"_zero", "_hora"}));
  EXPECT_EQ(flatten(timeSteps(21, 0)), (Pieces{"_vinte", "_e", "_uma", "_horas"}));
  EXPECT_EQ(flatten(timeSteps(22, 2)),
            (Pieces{"_vinte", "_e", "_duas", "_horas", "_dois", "_minutos"}));
  EXPECT_EQ(flatten(timeSteps(13, 45)),
            (Pieces{"_treze", "_horas", "_quarent", "_e", "_cinco", "_minutos"}));

  EXPECT_EQ(flatten(dateSteps(1, 1, 1, 2024)),
            (Pieces{"_Segunda", "_primeir", "_de", "_Janeiro", "_de", "_dois", "_mil", "_e",
                    "_vinte", "_e", "_quatro"}));
  EXPECT_EQ(flatten(dateSteps(3, 17, 9, 2000)),
            (Pieces{"_Quarta", "_dezeset", "_de", "_Setembr", "_de", "_dois", "_mil"}));
  EXPECT_EQ(flatten(dateSteps(5, 31, 12, 1999)),
            (Pieces{"_Sexta", "_trinta", "_e", "_um", "_de", "_Dezembr", "_de", "_noventa", "_e",
                    "_nove"}));
  // Past 2099 the whole year is read, not "dois mil e" + two digits.
  EXPECT_EQ(flatten(dateSteps(0, 2, 3, 2100)),
            (Pieces{"_Domingo", "_dois", "_de", "_Marco", "_de", "_dois", "_mil", "_e", "_cem"}));
}

TEST(TimeAndDate, EveryFixedPieceIsInTheLibraryList) {
  const auto known = timeAndDatePieceNames();
  for (int wd = 0; wd < 7; ++wd) {
    for (int m = 1; m <= 12; ++m) {
      for (const auto& s : dateSteps(wd, 1, m, 2024)) {
        if (s.kind == SpokenStep::Kind::Piece) {
          EXPECT_NE(std::find(known.begin(), known.end(), s.text), known.end()) << s.text;
        }
      }
    }
  }
}

class PieceJoinerTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;
  std::vector<std::vector<uint8_t>> images;

  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("naviro_pieces_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string piece(const std::string& name, size_t headerBytes, size_t samples, uint8_t value) {
    const auto path = (dir / name).string();
    std::ofstream f(path, std::ios::binary);
    f << std::string(headerBytes, 'H') << std::string(samples, static_cast<char>(value));
    return path;
  }
  PieceJoiner joiner() {
    return PieceJoiner([this](const std::vector<uint8_t>& image) { images.push_back(image); });
  }
  static uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
  }
};

TEST_F(PieceJoinerTest, JoinsPiecesSkipsMissingAndHeaderOnlyFiles) {
  auto j = joiner();
  j.addFile(piece("a.wav", 44, 100, 1));
  j.addFile((dir / "missing.wav").string());
  j.addFile(piece("empty.wav", 44, 0, 0));
  j.addFile(piece("short.wav", 20, 0, 0));
  j.addFile(piece("b.wav", 44, 50, 2));
  j.flush();
  ASSERT_EQ(images.size(), 1u);
  const auto& img = images[0];
  ASSERT_EQ(img.size(), 44u + 150u);
  EXPECT_EQ(std::string(img.begin(), img.begin() + 4), "RIFF");
  EXPECT_EQ(u32(img, 4), 150u + 36u);
  EXPECT_EQ(u32(img, 24), 11025u);
  EXPECT_EQ(img[22], 1);  // mono
  EXPECT_EQ(img[34], 8);  // bits
  EXPECT_EQ(u32(img, 40), 150u);
  EXPECT_EQ(img[44], 1);
  EXPECT_EQ(img[44 + 100], 2);  // header bytes of the second piece are not joined
  j.flush();
  EXPECT_EQ(images.size(), 1u) << "an empty buffer plays nothing";
}

TEST_F(PieceJoinerTest, FullBufferIsPlayedBeforeItOverflows) {
  auto j = joiner();
  j.addFile(piece("a.wav", 44, 20000, 1));
  j.addFile(piece("b.wav", 44, 10000, 2));  // exactly full: still one sound
  EXPECT_TRUE(images.empty());
  j.addFile(piece("c.wav", 44, 1, 3));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].size(), 44u + 30000u);
  j.addFile(piece("big.wav", 44, 70000, 4));  // larger than the buffer: played in parts
  j.flush();
  ASSERT_EQ(images.size(), 5u);
  EXPECT_EQ(images[1].size(), 44u + 1u);
  EXPECT_EQ(images[2].size(), 44u + 30000u);
  EXPECT_EQ(images[3].size(), 44u + 30000u);
  EXPECT_EQ(images[4].size(), 44u + 10000u);
}

}  // namespace
}  // namespace speech
