// The spoken-interaction layer: how a text is cut into spoken pieces, what
// opening a document starts, and what a user hears (the event log and the
// sound reaching the device) for texts, tones, keys and the speech start-up.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "base/cp1252.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinSpoken.h"
#include "platform/launcher.h"
#include "speech/diphone.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"
#include "tests/support/spokenFixture.h"

namespace qr {
namespace {

using testing_support::FakeExit;
using testing_support::FakeFrontend;
using testing_support::MemoryAudio;
namespace fs = std::filesystem;

// One word per step: "zero", "n:7", "spell:123", "words:a b", "click",
// "punct:- ", "minus", "char:=".
std::string describe(const std::vector<SpeechStep>& steps) {
  std::string out;
  for (const auto& s : steps) {
    if (!out.empty()) out += " | ";
    switch (s.kind) {
      case SpeechStep::Kind::Zero:
        out += "zero";
        break;
      case SpeechStep::Kind::Number:
        out += "n:" + std::to_string(s.value);
        break;
      case SpeechStep::Kind::Spell:
        out += "spell:" + s.text;
        break;
      case SpeechStep::Kind::Words:
        out += "words:" + s.text;
        break;
      case SpeechStep::Kind::Click:
        out += "click";
        break;
      case SpeechStep::Kind::Punctuation:
        out += "punct:" + s.text;
        break;
      case SpeechStep::Kind::Minus:
        out += "minus";
        break;
      case SpeechStep::Kind::Char:
        out += "char:" + s.text;
        break;
    }
  }
  return out;
}

TEST(SpeechPlan, TextsAreCutIntoThePiecesAUserHears) {
  struct Case {
    const char* text;
    const char* steps;
  } cases[] = {
      {"007", "zero | zero | n:7"},
      {"0", "zero"},
      {"-5", "minus | n:5"},
      {"a - b", "words:a  | punct:-  | words: b "},
      {"==========",
       "char:= | char:= | char:= | char:= | click | click | click | click | click | click"},
      {"3333-4444", "spell:3333-4444"},
      {"1234567", "spell:1234567"},
      {"123456", "n:123456"},
      {"WWW", "spell:WWW"},
      {"www.site.com", "spell:www | punct:.s | words:site | punct:.c | words:com "},
      {"http://x", "words:http | char:: | char:/ | char:/ | words:x "},
      {"guarda-chuva", "words:guarda | words:chuva "},
      {"x-5", "words:x | char:- | n:5"},
      {"nota-138.txt", "words:nota | char:- | n:138 | punct:.t | words:txt "},
      {"a -3", "words:a  | minus | n:3"},
      {"192.168.0.1", "n:192 | punct:.1 | n:168 | punct:.0 | zero | punct:.1 | n:1"},
      {"a-", "words:a | punct:- "},
      {"a--b", "words:a | punct:-- | char:- | words:b "},
      {"Fim. (sim)", "words:Fim | punct:.  | punct:(s | words:sim | punct:) "},
      {"12:30", "n:12 | punct::3 | n:30"},
      {"x@y", "words:x | char:@ | words:y "},
      {"\t", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(planSpeech(c.text)), c.steps) << c.text;
  // Accented letters are letters: one run for the synthesiser.
  EXPECT_EQ(describe(planSpeech(W("ação"))), "words:" + W("ação") + " ");
  // A run of letters is cut at 999 characters for the translator.
  const auto longRun = planSpeech(std::string(1500, 'a'));
  ASSERT_EQ(longRun.size(), 1u);
  EXPECT_EQ(longRun[0].text.size(), 999u);
}

TEST(DocumentCommand, ProgramAndParameterByKindOfWord) {
  struct Case {
    const char* word;
    const char* program;
    const char* parameter;
    const char* keyAsked;
  } cases[] = {
      {"http://site.br", "browser", "http://site.br", "HTM"},
      {"https://site.br", "browser", "https://site.br", "HTM"},
      {"www.site.br", "browser", "www.site.br", "HTM"},
      {"carta.txt", "editor", "carta.txt", "TXT"},
      {"foto.jpeg", "foto.jpeg", "", "JPE"},
      {"leiame", "leiame", "", "LEI"},
      {"jogo.exe", "/home/ana/jogo.exe", "", ""},
      {"/opt/jogo.COM", "/opt/jogo.COM", "", ""},
  };
  for (const auto& c : cases) {
    std::string asked;
    const auto command = documentCommand(c.word, "/home/ana", [&](std::string_view ext) {
      asked = std::string(ext);
      if (ext == "HTM") return std::string("browser");
      if (ext == "TXT") return std::string("editor");
      return std::string();
    });
    EXPECT_EQ(command, (DocumentCommand{c.program, c.parameter})) << c.word;
    EXPECT_EQ(asked, c.keyAsked) << c.word;
  }
  const auto longWord =
      documentCommand(std::string(300, 'a'), "/", [](std::string_view) { return std::string(); });
  EXPECT_EQ(longWord.program.size(), 255u);
}

// A short recorded sound.
void writeSound(const fs::path& path, size_t samples = 40) {
  const std::vector<uint8_t> data(samples, 150);
  const auto image = speech::makeWavImage(data.data(), data.size(), 11025, 1, 8);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
}

// The whole layer over a fake console, with a letters directory holding a
// sound for every character, "_zero", "_MENOS" and the telephone tones.
struct SpokenTest : testing_support::SpokenLayerFixture {
  void SetUp() override {
    prepare("spoken_");
    fs::create_directories(dir / "som");
    for (int c = 32; c < 256; ++c) writeSound(dir / "letras" / ("_" + std::to_string(c) + ".wav"));
    for (const char* name : {"_zero", "_MENOS", "dtmf_1", "dtmf_2", "dtmf_X", "dtmf_#"})
      writeSound(dir / "letras" / (std::string(name) + ".wav"));
    writeSound(dir / "som" / "FTCMD.wav");
    writeIni("");
  }
  void writeIni(const std::string& text) {
    makeLayer(text);
    spoken->settings().soundDir = (dir / "som").string() + "/";
  }
  std::string letter(const std::string& name) {
    return "sound " + (dir / "letras" / name).string() + ".wav";
  }
  std::string charSound(int c) { return letter("_" + std::to_string(c)); }
};

TEST_F(SpokenTest, LeadingZerosThenTheNumber) {
  spoken->speakText("007");
  const auto& l = log.lines();
  ASSERT_GE(l.size(), 3u);
  EXPECT_EQ(l[0], "text 007");
  EXPECT_EQ(l[1], letter("_zero"));
  EXPECT_EQ(l[2], letter("_zero"));
  for (size_t i = 3; i < l.size(); ++i) EXPECT_NE(l[i], letter("_zero"));
}

TEST_F(SpokenTest, MinusBeforeDigitsAndSpeltTelephoneNumbers) {
  spoken->speakText("-5");
  ASSERT_GE(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[1], letter("_MENOS"));
  log.clear();
  spoken->speakText("3333-44");
  std::vector<std::string> want = {"text 3333-44"};
  for (char c : std::string("3333-44")) {
    want.push_back("char " + std::to_string(c));
    want.push_back(charSound(c));
  }
  EXPECT_EQ(log.lines(), want);
}

TEST_F(SpokenTest, LongRunOfOneSymbolBecomesClicks) {
  spoken->speakText("==========");
  int chars = 0;
  int clicks = 0;
  for (const auto& line : log.lines()) {
    if (line == "char 61") ++chars;
    if (line == "click") {
      ++clicks;
      EXPECT_EQ(chars, 4);
    }
  }
  EXPECT_EQ(chars, 4);
  EXPECT_EQ(clicks, 6);
}

TEST_F(SpokenTest, HyphenBetweenBlanksIsSpokenWithTheCommaPause) {
  spoken->settings().pauseComma = 300;
  const auto start = std::chrono::steady_clock::now();
  spoken->speakText("a - b");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_NE(std::find(log.lines().begin(), log.lines().end(), "char 45"), log.lines().end());
  EXPECT_GE(ms, 290);
}

TEST_F(SpokenTest, PendingKeyStopsSpeechAndStaysQueued) {
  ASSERT_TRUE(console.queueKeyBytes("k"));
  spoken->speakText("abc 123 ===");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"text abc 123 ===", "stop"}));
  EXPECT_EQ(console.queuedKeyBytes(), 1u);
  log.clear();
  spoken->spellText("xyz");
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(SpokenTest, ASoundLeftPlayingIsEndedBeforeTheNextTextAndStoppedByAKey) {
  spoken->startSound("FTCMD");
  spoken->speakText("a");
  const std::string sound = "sound " + (dir / "som" / "FTCMD.wav").string();
  ASSERT_GE(log.lines().size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.lines().begin(), log.lines().begin() + 3),
            (std::vector<std::string>{sound, "ended FTCMD", "text a"}));
  log.clear();
  spoken->startSound("FTCMD");
  ASSERT_TRUE(console.queueKeyBytes("k"));
  spoken->pollSpeech();
  spoken->pollSpeech();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{sound, "stop", "ended FTCMD"}));
  EXPECT_EQ(console.queuedKeyBytes(), 1u);  // the key is the caller's
}

TEST_F(SpokenTest, DtmfTonesWithASecondForTheComma) {
  spoken->speakDtmf("1,2");
  const auto& l = log.lines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], letter("dtmf_1"));
  EXPECT_EQ(l[1], letter("dtmf_2"));
  log.clear();
  player->setFast(true);
  const auto start = std::chrono::steady_clock::now();
  spoken->speakDtmf("*a,");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(log.lines(), std::vector<std::string>{letter("dtmf_X")});
  EXPECT_EQ(audio.opens.back().rate, 11025u);  // tones are never sped up
  EXPECT_TRUE(player->fast());
}

TEST_F(SpokenTest, ErrorBeepDiscardsKeysAndPlaysTheTone) {
  player->setCut(true);
  player->setFast(true);
  ASSERT_TRUE(console.queueKeyBytes("ab"));
  spoken->errorBeep();
  EXPECT_EQ(console.queuedKeyBytes(), 0u);
  ASSERT_GE(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[log.lines().size() - 2], "beep");
  EXPECT_EQ(log.lines().back(), "image 512");
  ASSERT_EQ(audio.played.size(), 512u);
  EXPECT_EQ(audio.played[0], 128);
  EXPECT_EQ(audio.played[4], 64);
  EXPECT_EQ(audio.played[9], 112);
  EXPECT_EQ(audio.played[511], 128);
  EXPECT_EQ(audio.opens.back(), (PcmFormat{11025, 8, 1}));
  EXPECT_TRUE(player->cut());
  EXPECT_TRUE(player->fast());
}

TEST_F(SpokenTest, ClickIsShortNoiseThenSilence) {
  player->setCut(true);
  spoken->clickSound();
  ASSERT_EQ(audio.played.size(), 256u);
  for (size_t i = 0; i < 65; ++i) {
    EXPECT_GE(audio.played[i], 128);
    EXPECT_LT(audio.played[i], 188);
  }
  EXPECT_TRUE(std::all_of(audio.played.begin() + 65, audio.played.end(),
                          [](uint8_t s) { return s == 128; }));
  EXPECT_TRUE(player->cut());
}

TEST_F(SpokenTest, SoundsComeFromTheLettersOrTheProgramDirectory) {
  EXPECT_TRUE(spoken->soundExists("_zero"));
  EXPECT_TRUE(spoken->soundExists("FTCMD"));
  EXPECT_FALSE(spoken->soundExists("_FTCMD"));
  EXPECT_FALSE(spoken->soundExists("zero"));
  spoken->playSound("FTCMD");
  spoken->speakChar('A');
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"sound " + (dir / "som" / "FTCMD.wav").string(),
                                                   "char 65", charSound(65)}));
}

TEST_F(SpokenTest, SpeedSettingsReadTheKeysOfThatSpeed) {
  writeIni(
      "[SINTETIZADOR]\nDIFONES2=abcdefghij\nPAUSAPONTO2=x\nPAUSAVIRG2=90\nPAUSADOISPONTOS2=\n"
      "CORTAFALA2=Sim\nRAPIDINHO2=nao\nDIFONES3=outro\nCORTAFALA3=S\n");
  spoken->speechSpeedSettings(2);
  const SpeechSettings& s = spoken->settings();
  EXPECT_EQ(s.speed, 2);
  EXPECT_EQ(s.databaseName, "abcdefgh");
  EXPECT_EQ(s.pauseFullStop, 250);
  EXPECT_EQ(s.pauseComma, 90);
  EXPECT_EQ(s.pauseColon, 200);
  EXPECT_TRUE(player->cut());
  EXPECT_FALSE(player->fast());
}

TEST_F(SpokenTest, StartFailureIsWrittenAndReportedWithItsKeyAndTheProgramGoesOn) {
  writeIni("[TRADUTOR]\nVELOCIDADE=9\nDIRDIFONES=" + (dir / "nada").string() + "\nDIRLETRAS=" +
           (dir / "letras").string() + "\n[SINTETIZADOR]\nDIFONES3=DIFONES3\nDIFONES9=NOVE\n");
  spoken->speechStart(0, "x");  // no end, no key awaited
  EXPECT_EQ(spoken->settings().speed, 3);
  EXPECT_EQ(spoken->settings().soundDir, "x/");
  auto row = [&](int r) {
    std::string s;
    for (int c = 1; c <= kColumns; ++c) s += static_cast<char>(console.consoleCharAt(c, r));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  };
  EXPECT_EQ(toUtf8(row(1)), "Erro de inicialização: 1");
  EXPECT_EQ(row(2), "Banco de dados de voz: DIFONES3");
  for (const auto& line : log.lines())
    EXPECT_NE(line.rfind("text", 0), 0u) << "written, not spoken";
  ASSERT_EQ(spoken->startProblems().size(), 1u);
  const std::string problem = toUtf8(spoken->startProblems()[0]);
  EXPECT_NE(problem.find("QUIRAL.INI: [TRADUTOR] DIRDIFONES=" + (dir / "nada").string()),
            std::string::npos)
      << problem;
}

TEST_F(SpokenTest, MissingSynthesiserKeysTakeTheSoundLibrarysDatabase) {
  const fs::path db = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(db / "DIFONES3.IND") || !fs::exists(db / "regras.rgr"))
    GTEST_SKIP() << "no generated unit database in this build";
  // No [SINTETIZADOR] at all.
  writeIni("[TRADUTOR]\nDIRDIFONES=" + db.string() + "\nDIRLETRAS=" + (dir / "letras").string() +
           "\n");
  spoken->speechStart(0, "");
  EXPECT_EQ(spoken->settings().databaseName, "DIFONES3");
  EXPECT_TRUE(spoken->startProblems().empty()) << spoken->startProblems()[0];
  spoken->speechFinish();
}

TEST_F(SpokenTest, StartWithRecordedSpeechWhenNoVoiceIsAsked) {
  const fs::path db = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(db / "DIFONES3.IND") || !fs::exists(db / "regras.rgr"))
    GTEST_SKIP() << "no generated unit database in this build";
  const std::string common =
      "[SINTETIZADOR]\nDIFONES2=DIFONES2\nDIFONES3=DIFONES3\n"
      "[TRADUTOR]\nDIRDIFONES=" +
      db.string() + "\nDIRLETRAS=" + (dir / "letras").string() + "\n";
  // Bare reads look in the Windows-directory copy, which is this one.
  writeIni(common + "SAPI=Nao\n");
  spoken->speechStart(0, "/snd");
  EXPECT_FALSE(spoken->settings().sapi);
  EXPECT_EQ(spoken->settings().speed, 3);
  EXPECT_EQ(spoken->settings().soundDir, "/snd/");
  EXPECT_EQ(spoken->settings().lettersDir, (dir / "letras").string() + "/");
  EXPECT_EQ(spoken->settings().synthKind, 4);
  spoken->speechFinish();
  // A voice asked for but not available: recorded speech goes on.
  writeIni(common + "SAPI=S\n[SERVFALA]\nTIPOSAPI=5\nVELOCIDADE=20\n");
  spoken->speechStart(2, "");
  EXPECT_FALSE(spoken->settings().sapi);
  EXPECT_EQ(spoken->settings().synthKind, 5);
  EXPECT_EQ(spoken->settings().soundDir, "");
  spoken->speechFinish();
}

TEST_F(SpokenTest, OpenDocumentStartsTheConfiguredProgramInTheWorkingDirectory) {
  const fs::path marker = dir / "aberto.txt";
  writeIni("[QUIRAL]\nPROG.TXT=touch\n");
  platform::SpawnLauncher launcher;
  spoken->useLauncher(launcher);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  spoken->openDocument("aberto.txt");
  fs::current_path(old);
  for (int i = 0; i < 200 && !fs::exists(marker); ++i) console.consoleDelay(10);
  EXPECT_TRUE(fs::exists(marker));
  // A program that does not exist is no failure of ours.
  writeIni("[QUIRAL]\nPROG.ZZZ=/nonexistent/program\n");
  spoken->openDocument("a.zzz");
}

}  // namespace
}  // namespace qr
