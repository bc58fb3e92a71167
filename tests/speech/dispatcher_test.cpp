// The voice dispatcher over voices scripted by the test (the real back ends
// are tested in tests/platform/voices_test.cpp), and the pure rules of what
// a system voice is handed.
#include "speech/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/eventlog.h"
#include "speech/recordedVoice.h"
#include "speech/voiceText.h"
#include "tts/uttsNormal.h"

namespace {

using speech::BuiltinFiles;
using speech::Dispatcher;
using speech::VoiceRequest;

// What the scripted voices were asked, kept by the test.
struct Record {
  std::vector<std::string> started;  // "espeak", "speechd 5", "builtin"
  std::vector<std::string> said;
  std::vector<bool> busyAsked;  // the strict argument of each busy()
  int stops = 0;
  int busyAnswers = 0;  // busy() answers yes this many times
  bool speakResult = true;
  bool engineStarts = true;
  double pitchFactor = 0;
  double rateFactor = 0;
  std::string outputFile;
  BuiltinFiles files;
  bool closed = false;
  int pumps = 0;
  int descriptor = -1;
  qr::Deadline nextPump = qr::kNoDeadline;
};

class ScriptedVoice : public speech::BuiltinEngine {
 public:
  explicit ScriptedVoice(Record& r) : r_(r) {}
  bool speak(std::string_view text) override {
    r_.said.emplace_back(text);
    return r_.speakResult;
  }
  bool busy(bool strict) override {
    r_.busyAsked.push_back(strict);
    return r_.busyAnswers > 0 && r_.busyAnswers-- > 0;
  }
  void stop() override { ++r_.stops; }
  void setOutputFile(const std::string& path) override { r_.outputFile = path; }
  bool start(const BuiltinFiles& files) override {
    r_.files = files;
    return r_.engineStarts;
  }
  void setFactors(double pitch, double rate) override {
    r_.pitchFactor = pitch;
    r_.rateFactor = rate;
  }
  void close() override { r_.closed = true; }
  void pump() override { ++r_.pumps; }
  int eventDescriptor() const override { return r_.descriptor; }
  qr::Deadline nextPump() const override { return r_.nextPump; }

 private:
  Record& r_;
};

struct Host : speech::Pacing {
  bool key = false;
  std::vector<int> delays;
  int beeps = 0;
  bool keyPending() override { return key; }
  void delay(int ms) override { delays.push_back(ms); }
  void pump() override {}
  // Each turn of a wait, with the descriptor that may end it.
  std::vector<int> waits;
  void waitWhile(const std::function<bool()>& busy,
                 const std::function<qr::Wake()>& wake) override {
    while (busy()) waits.push_back(wake().fd);
  }
};

struct DispatcherTest : ::testing::Test {
  Record record;
  Host host;
  qr::EventLog log;
  bool startsFail = false;

  DispatcherTest() { log.keepLines(true); }

  speech::VoiceStarters starters() {
    return {
        [this](const VoiceRequest&) -> std::unique_ptr<speech::Voice> {
          record.started.push_back("espeak");
          if (startsFail) return nullptr;
          return std::make_unique<ScriptedVoice>(record);
        },
        [this](int kind, const VoiceRequest&) -> std::unique_ptr<speech::Voice> {
          record.started.push_back("speechd " + std::to_string(kind));
          if (startsFail) return nullptr;
          return std::make_unique<ScriptedVoice>(record);
        },
        [this]() -> std::unique_ptr<speech::BuiltinEngine> {
          record.started.push_back("builtin");
          return std::make_unique<ScriptedVoice>(record);
        },
    };
  }
  Dispatcher make() {
    return Dispatcher(
        host, log, [this] { ++host.beeps; }, starters(), BuiltinFiles{"br4", {}});
  }
};

TEST_F(DispatcherTest, EachKindStartsItsBackEnd) {
  const struct {
    int kind;
    const char* backEnd;
  } rows[] = {{3, "builtin"}, {5, "speechd 5"}, {54, "speechd 54"}, {4, "espeak"},
              {0, "espeak"},  {1, "espeak"},    {55, "espeak"},     {-1, "espeak"}};
  for (const auto& row : rows) {
    record = Record{};
    Dispatcher voices = make();
    EXPECT_TRUE(voices.speechInit(1, 0, 0, {}, row.kind)) << row.kind;
    EXPECT_EQ(record.started, std::vector<std::string>{row.backEnd}) << row.kind;
    EXPECT_EQ(voices.kind(), row.kind);
  }
}

// The loop reaches the running voice through the dispatcher whatever its
// kind: stop, pump, its descriptor and its next deadline.
TEST_F(DispatcherTest, StopPumpDescriptorAndDeadlineReachTheVoiceOfEveryKind) {
  const qr::Deadline soon = qr::deadlineIn(30);
  for (const int kind : {3, 5, 54, 4}) {
    record = Record{};
    record.descriptor = 9;
    record.nextPump = soon;
    Dispatcher voices = make();
    ASSERT_TRUE(voices.speechInit(1, 0, 0, {}, kind)) << kind;
    voices.speechStop();
    EXPECT_EQ(record.stops, 1) << kind;
    const int pumped = record.pumps;
    voices.pump();
    EXPECT_EQ(record.pumps, pumped + 1) << kind;
    EXPECT_EQ(voices.eventDescriptor(), 9) << kind;
    EXPECT_EQ(voices.nextPump(), soon) << kind;
  }
  Dispatcher none = make();
  EXPECT_EQ(none.eventDescriptor(), -1);
  EXPECT_EQ(none.nextPump(), qr::kNoDeadline);
}

TEST_F(DispatcherTest, WithoutAVoiceEveryCallIsAnsweredQuietly) {
  Dispatcher voices = make();
  EXPECT_EQ(voices.kind(), 4);
  EXPECT_FALSE(voices.speechBusy(false));
  voices.speechStop();
  voices.speechSpeak("nada");
  startsFail = true;
  EXPECT_FALSE(voices.speechInit(1, 0, 0, {}, 5));
  EXPECT_EQ(voices.kind(), 5) << "the kind is kept when the start fails";
  EXPECT_FALSE(voices.speechBusy(false));
  voices.speechSpeak("nada");
  voices.speechClose();
  EXPECT_TRUE(log.lines().empty());
  EXPECT_TRUE(record.said.empty());
  EXPECT_EQ(host.beeps, 0);
}

TEST_F(DispatcherTest, StartWaitsUntilNothingIsBeingSpokenWokenByTheVoice) {
  Dispatcher voices = make();
  record.busyAnswers = 3;
  record.descriptor = 7;
  ASSERT_TRUE(voices.speechInit(1, 0, 0, {}, 4));
  EXPECT_EQ(host.waits, (std::vector<int>{7, 7, 7}));
  EXPECT_EQ(record.busyAsked, (std::vector<bool>{true, true, true, true}));
}

TEST_F(DispatcherTest, SpeechdTextsEmptyIsABlankAndAFailedSpeakBeeps) {
  Dispatcher voices = make();
  ASSERT_TRUE(voices.speechInit(1, 0, 0, {}, 54));
  voices.speechSpeak("");
  record.speakResult = false;
  voices.speechSpeak("  7 ");
  EXPECT_EQ(record.said, (std::vector<std::string>{" ", "  7 "}));
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(record.stops, 0);
  // Closing waits while it still speaks.
  record.busyAnswers = 2;
  voices.speechClose();
  EXPECT_EQ(host.waits.size(), 2u);
  EXPECT_FALSE(voices.speechBusy(false));
}

TEST_F(DispatcherTest, EspeakTextsAreTrimmedDigitsSaidAsNumbersAndDroppedWhenAKeyWaits) {
  Dispatcher voices = make();
  ASSERT_TRUE(voices.speechInit(1, 0, 0, {}, 4));
  voices.speechSpeak(" \t12 \r\n");
  voices.speechSpeak("   ");
  host.key = true;
  voices.speechSpeak("Ol\xe1");
  host.key = false;
  record.speakResult = false;
  voices.speechSpeak("3");
  EXPECT_EQ(record.said, (std::vector<std::string>{"12", "3."}));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"voice 12", "voice 3."}));
  EXPECT_EQ(record.stops, 1) << "a text the voice refused silences it";
  EXPECT_EQ(host.beeps, 0);
}

TEST_F(DispatcherTest, BuiltinEngineGetsItsFilesAndFactorsAndAKeyStopsIt) {
  Dispatcher voices = make();
  ASSERT_TRUE(voices.speechInit(7, 3, 11, "saida.wav", 3));
  EXPECT_EQ(record.outputFile, "saida.wav");
  EXPECT_EQ(record.files.database, "br4");
  EXPECT_DOUBLE_EQ(record.pitchFactor, 2.0);
  EXPECT_DOUBLE_EQ(record.rateFactor, 0.6);
  record.busyAnswers = 5;
  EXPECT_TRUE(voices.speechBusy(true));
  host.key = true;
  EXPECT_FALSE(voices.speechBusy(true));
  EXPECT_EQ(record.stops, 1);
  host.key = false;
  record.busyAnswers = 0;
  voices.speechClose();
  EXPECT_TRUE(record.closed);

  // A failed start still hands the factors over, and answers false.
  record = Record{};
  record.engineStarts = false;
  Dispatcher again = make();
  EXPECT_FALSE(again.speechInit(0, -3, -5, {}, 3));
  EXPECT_DOUBLE_EQ(record.rateFactor, 1.0);
  EXPECT_DOUBLE_EQ(record.pitchFactor, 6.0 / 11.0);
  EXPECT_FALSE(again.speechBusy(false));
}

TEST(BuiltinFiles, DefaultsRegistryAndConfiguredDirectory) {
  const auto defaults = speech::builtinFiles("", "", "", std::nullopt, "/q/coraltts/");
  EXPECT_EQ(defaults.database, "br4");
  EXPECT_EQ(defaults.files,
            (std::array<std::string, 5>{"/q/coraltts/portug.nrl", "/q/coraltts/portug.exc",
                                        "/q/coraltts/portug.abr", "/q/coraltts/portug.pro",
                                        "/q/coraltts/portug.dfn"}));
  EXPECT_EQ(speech::builtinFiles("", "/voz", "", std::nullopt, "/q").files[0], "/voz/portug.nrl");
  EXPECT_EQ(speech::builtinFiles("", "", "", std::string("/opt/mb/br4/br4"), "/q").files[4],
            "/opt/mb/br4/portug.dfn");
  const auto named = speech::builtinFiles("br1", "/d/", "texto", std::nullopt, "/q");
  EXPECT_EQ(named.database, "br1");
  EXPECT_EQ(named.files[2], "/d/texto.abr");
}

TEST(VoiceText, TrimAndLoneDigit) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {{"7", "7."},
              {" 12 ", "12"},
              {"\t0\r\n", "0."},
              {"  ", ""},
              {"a", "a"},
              {"7 e 8", "7 e 8"},
              {"\x01Ol\xe1\x7f", "Ol\xe1"},
              {"\xe9", "\xe9"}};  // é (Windows-1252) is a letter, not trimmed
  for (const auto& row : rows) EXPECT_EQ(speech::voiceText(row.in), row.out) << row.in;
}

// One reading of hyphens and addresses in every voice: the recorded voice
// (its plan), the built-in engine (its normalised text) and the system
// voices (what they are handed, which eSpeak NG reads as written).
TEST(VoiceText, AHyphenInANameIsNotAMinusAndAnAddressIsFourNumbersInEveryVoice) {
  const struct {
    const char* text;
    bool minus;   // "menos" is said
    bool hyphen;  // "traço" is said
    bool points;  // "ponto" is said between the numbers of an address
  } rows[] = {
      {"nota-138.txt", false, true, false}, {"backup-2025-12.tar", false, true, false},
      {"v2-3", false, true, false},         {"-5", true, false, false},
      {"a -3", true, false, false},         {"x=-2", true, false, false},
      {"192.168.0.1", false, false, true},  {"10.0.0.254 ok", false, false, true},
  };
  auto has = [](const std::string& text, std::string_view what) {
    return text.find(qr::W(what)) != std::string::npos;
  };
  tts::Normaliser engine;
  for (const auto& row : rows) {
    const std::string text = row.text;
    bool planMinus = false, planHyphen = false;
    for (const auto& step : speech::planSpeech(text)) {
      planMinus = planMinus || step.kind == speech::SpeechStep::Kind::Minus;
      planHyphen = planHyphen ||
                   (step.kind == speech::SpeechStep::Kind::Char && step.text == "-") ||
                   (step.kind == speech::SpeechStep::Kind::Spell && has(step.text, "-"));
    }
    EXPECT_EQ(planMinus, row.minus) << "recorded voice: " << text;
    EXPECT_EQ(planHyphen, row.hyphen) << "recorded voice: " << text;
    const std::string normal = engine.normaliseText(text);
    EXPECT_EQ(has(normal, "menos"), row.minus) << "engine: " << normal;
    EXPECT_EQ(has(normal, "traço"), row.hyphen) << "engine: " << normal;
    if (row.points) {
      EXPECT_TRUE(has(normal, "ponto")) << "engine: " << normal;
    }
    EXPECT_FALSE(has(normal, "mil")) << "engine: " << normal;
    const std::string handed = speech::sharedReadings(text);
    EXPECT_EQ(has(handed, "-") && !has(handed, "traço"), row.minus) << "system voice: " << handed;
    EXPECT_EQ(has(handed, "traço"), row.hyphen) << "system voice: " << handed;
    if (row.points) {
      EXPECT_TRUE(has(handed, "ponto")) << "system voice: " << handed;
    }
  }
  // A compound word keeps its hyphen silent, and a number with thousands
  // points stays one number.
  EXPECT_EQ(speech::sharedReadings("guarda-chuva"), "guarda-chuva");
  EXPECT_EQ(speech::sharedReadings("1.000.000.000"), "1.000.000.000");
  EXPECT_EQ(speech::sharedReadings("1.192.168.0.1"), "1.192.168.0.1");
  EXPECT_EQ(engine.normaliseText("1.000.000.000"), qr::W("um bilhão  "));
  EXPECT_EQ(speech::sharedReadings("ip 192.168.0.10."), "ip 192 ponto 168 ponto 0 ponto 10.");
}

TEST(VoiceText, LongTextsAreCutAtSentencesThenBlanksThenTheLimit) {
  using Parts = std::vector<std::string_view>;
  const struct {
    const char* text;
    size_t limit;
    Parts parts;
  } rows[] = {
      {"Um. Dois tres", 8, {"Um.", " Dois ", "tres"}},
      {"Um dois. Tres", 20, {"Um dois. Tres"}},
      {"abc def? ghi jkl", 12, {"abc def?", " ghi jkl"}},
      {"linha\nnova linha", 12, {"linha\n", "nova linha"}},
      {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
      {"fim.", 3, {"fim", "."}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(speech::voiceTextParts(row.text, row.limit), row.parts) << row.text;
  }
  const std::string big(speech::kVoiceTextLimit + 10, 'a');
  const auto parts = speech::voiceTextParts(big);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].size(), speech::kVoiceTextLimit);
}

TEST(VoiceText, BrazilianPortugueseFirstThenPortugueseThenTheRestInTheirOrder) {
  const std::vector<speech::VoiceEntry> voices = {
      {"English", "en", "en"},       {"Portugal", "pt", "pt"},    {"Brasil", "pt-BR", "b1"},
      {"Afrikaans", "af", "af"},     {"Brasil 2", "pt_br", "b2"}, {"pt-PT", "pt-pt", "pp"},
      {"Portuguese?", "ptx", "ptx"},
  };
  std::vector<std::string> order;
  for (const auto& v : speech::orderVoices(voices)) order.push_back(v.identifier);
  EXPECT_EQ(order, (std::vector<std::string>{"b1", "b2", "pt", "pp", "en", "af", "ptx"}));
}

TEST(VoiceText, SpeedAndPitchScales) {
  const struct {
    int in, espeakRate, espeakPitch, speechdRate;
  } rows[] = {
      {0, 0, -1, 0},      {10, 450, 100, 100},  {-10, 80, 0, -100},   {5, 313, 75, 50},
      {-4, 137, 30, -40}, {200, 200, 100, 100}, {600, 450, 100, 100}, {-20, 80, 0, -100},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(speech::espeakRate(row.in), row.espeakRate) << row.in;
    EXPECT_EQ(speech::espeakPitch(row.in), row.espeakPitch) << row.in;
    EXPECT_EQ(speech::speechdRate(row.in), row.speechdRate) << row.in;
  }
}

}  // namespace
