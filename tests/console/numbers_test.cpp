// Numbers, time and date spoken from recorded pieces, heard through the whole
// spoken layer: each piece file holds its own sample value, so the bytes
// reaching the device tell which pieces were joined and in what order, and
// the event log tells which fixed pieces were played by name.
#include "speech/numbers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinSpoken.h"
#include "speech/diphone.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"
#include "tests/support/spokenFixture.h"

namespace qr {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kPieces = {
    "_zero",    "_um",      "_uma",    "_dois",    "_duas",   "_e",       "_vinte",   "_dezeset",
    "_mil",     "_cem",     "_hora",   "_horas",   "_minuto", "_minutos", "_de",      "_primeir",
    "_Segunda", "_Janeiro", "_quatro", "_noventa", "_nove",   "_Sexta",   "_Dezembr", "_trinta"};

struct SpokenNumbersTest : testing_support::SpokenLayerFixture {
  void SetUp() override {
    prepare("spoken_numbers_");
    for (size_t i = 0; i < kPieces.size(); ++i) writePiece(kPieces[i], valueOf(kPieces[i]), 40);
    makeLayer("");
  }

  static uint8_t valueOf(const std::string& piece) {
    const auto at = std::find(kPieces.begin(), kPieces.end(), piece) - kPieces.begin();
    return static_cast<uint8_t>(10 + at * 5);
  }
  void writePiece(const std::string& name, uint8_t value, size_t samples) {
    const std::vector<uint8_t> data(samples, value);
    const auto image = speech::makeWavImage(data.data(), data.size(), 11025, 1, 8);
    std::ofstream(dir / "letras" / (name + ".wav"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
  }
  // The pieces heard, from the runs of sample values that reached the device.
  std::vector<std::string> heard() const {
    std::vector<std::string> out;
    uint8_t last = 0;
    for (uint8_t b : audio.played) {
      if (b == last) continue;
      last = b;
      for (const auto& p : kPieces)
        if (valueOf(p) == b) out.push_back(p);
    }
    return out;
  }
  std::string sound(const std::string& name) const {
    return "sound " + (dir / "letras" / name).string() + ".wav";
  }
};

using Pieces = std::vector<std::string>;

TEST_F(SpokenNumbersTest, NumberPiecesAreJoinedIntoOneSound) {
  spoken->speakNumberWords(2017L);
  EXPECT_EQ(heard(), (Pieces{"_dois", "_mil", "_e", "_dezeset"}));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"image 160"}));
}

TEST_F(SpokenNumbersTest, MissingPiecesAreSkippedAndTheRestIsSpoken) {
  fs::remove(dir / "letras" / "_e.wav");
  spoken->speakNumberWords(21L, true);
  EXPECT_EQ(heard(), (Pieces{"_vinte", "_uma"}));
  audio.played.clear();
  log.clear();
  spoken->speakNumberWords(std::string_view("trilhões"), false);  // no piece at all
  EXPECT_TRUE(audio.played.empty());
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(SpokenNumbersTest, TimePiecesInOrder) {
  spoken->speakTime(1, 1);
  EXPECT_EQ(heard(), (Pieces{"_uma", "_hora", "_um", "_minuto"}));
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"image 40", sound("_hora"), "image 40", sound("_minuto")}));
  audio.played.clear();
  spoken->speakTime(21, 0);
  EXPECT_EQ(heard(), (Pieces{"_vinte", "_e", "_uma", "_horas"}));
  audio.played.clear();
  spoken->speakTime(22, 0);
  EXPECT_EQ(heard(), (Pieces{"_vinte", "_e", "_duas", "_horas"}));
  audio.played.clear();
  spoken->speakTime(0, 0);
  EXPECT_EQ(heard(), (Pieces{"_zero", "_hora"}));
}

TEST_F(SpokenNumbersTest, DatePiecesInOrder) {
  spoken->speakDate(1, 1, 1, 2024);
  EXPECT_EQ(heard(), (Pieces{"_Segunda", "_primeir", "_de", "_Janeiro", "_de", "_dois", "_mil",
                             "_e", "_vinte", "_e", "_quatro"}));
  audio.played.clear();
  spoken->speakDate(5, 31, 12, 1999);
  EXPECT_EQ(heard(), (Pieces{"_Sexta", "_trinta", "_e", "_um", "_de", "_Dezembr", "_de", "_noventa",
                             "_e", "_nove"}));
}

TEST_F(SpokenNumbersTest, LongNumbersArePlayedInFullBuffers) {
  writePiece("_mil", valueOf("_mil"), 20000);
  writePiece("_dois", valueOf("_dois"), 20000);
  spoken->speakNumberWords(2000L);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"image 20000", "image 20000"}));
  EXPECT_EQ(heard(), (Pieces{"_dois", "_mil"}));
}

}  // namespace
}  // namespace qr
