// The system voices against the real libraries: eSpeak NG playing into the
// program's audio output, and Speech Dispatcher against a daemon of the
// test's own. Waits go through the voice's event descriptor with a
// deadline, as the program's wait does.
#include "platform/voices.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "base/cp1252.h"
#include "base/eventlog.h"
#include "platform/pollWaiter.h"
#include "platform/signals.h"
#include "speech/diphone.h"
#include "speech/dispatcher.h"
#include "speech/speechLevel.h"
#include "speech/translator.h"
#include "speech/voiceText.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"
#include "tests/support/realtime.h"
#include "tests/support/speechdDaemon.h"
#include "tests/support/spokenFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::MemoryAudio;

constexpr uint32_t kEspeakRate = 22050;

// Waits on the voice's descriptor until it is silent; false at the deadline.
bool waitSilent(speech::Voice& voice, int seconds = 10) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (voice.busy(false)) {
    if (Clock::now() > deadline) return false;
    pollfd p{voice.eventDescriptor(), POLLIN, 0};
    (void)poll(&p, 1, 20);
  }
  return true;
}

double seconds16(const std::vector<uint8_t>& bytes) {
  return bytes.size() / 2.0 / kEspeakRate;
}

double rms16(const std::vector<uint8_t>& bytes) {
  double sum = 0;
  const size_t n = bytes.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    const auto s = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    sum += double(s) * s;
  }
  return n ? std::sqrt(sum / n) : 0;
}

std::string longText(int sentences) {
  std::string text;
  for (int i = 0; i < sentences; ++i) text += "Esta \xe9 uma frase bem comprida para ouvir. ";
  return text;
}

// Pacing whose keyboard the test controls.
struct TestHost : speech::Pacing {
  bool key = false;
  int beeps = 0;
  bool keyPending() override { return key; }
  void delay(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void pump() override {}
  // The program's wait: the voice's descriptor and deadline, in real time.
  void waitWhile(const std::function<bool()>& busy,
                 const std::function<qr::Wake()>& wake) override {
    while (busy()) {
      const qr::Wake w = wake();
      pollfd p{w.fd, POLLIN, 0};
      (void)::poll(&p, 1, std::clamp(qr::msUntil(w.at), 1, 50));
    }
  }
  std::function<void()> beep() {
    return [this] { ++beeps; };
  }
};

// --- eSpeak NG ---------------------------------------------------------------

TEST(EspeakVoice, SpeaksNonSilentSpeechOfPlausibleLengthAndClosesTheDevice) {
  MemoryAudio audio;
  auto voice = platform::startEspeakVoice({}, audio);
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->speak("Bom dia. O arquivo foi recebido."));
  EXPECT_TRUE(voice->busy(true)) << "busy as soon as the text is handed over";
  ASSERT_TRUE(waitSilent(*voice));
  ASSERT_EQ(audio.opens.size(), 1u);
  EXPECT_EQ(audio.opens[0], (qr::PcmFormat{kEspeakRate, 16, 1}));
  const double length = seconds16(audio.played);
  EXPECT_GT(length, 1.0);
  EXPECT_LT(length, 5.0);
  EXPECT_GT(rms16(audio.played), 500.0);
  // As loud as the program's other voices.
  std::vector<float> heard;
  for (size_t i = 0; i + 1 < audio.played.size(); i += 2)
    heard.push_back(static_cast<int16_t>(audio.played[i] | audio.played[i + 1] << 8) / 32768.0f);
  const auto level = speech::activeLevel(heard, static_cast<int>(kEspeakRate));
  ASSERT_TRUE(level);
  EXPECT_NEAR(*level, speech::kSpeechLevel, 1.5);
  EXPECT_FALSE(audio.isOpen) << "the device is left closed for the recorded speech";
}

TEST(EspeakVoice, StopSilencesAtOnceDropsTheRestAndTheVoiceSpeaksAgain) {
  MemoryAudio audio;
  auto voice = platform::startEspeakVoice({}, audio);
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->speak(longText(60)));
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (audio.played.empty() && Clock::now() < deadline) (void)voice->busy(false);
  ASSERT_FALSE(audio.played.empty());
  voice->stop();
  EXPECT_FALSE(voice->busy(false));
  EXPECT_GE(audio.stops, 1);
  const size_t atStop = audio.played.size();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(voice->busy(false));
  EXPECT_EQ(audio.played.size(), atStop) << "samples of a stopped text reached the device";
  EXPECT_LT(seconds16(audio.played), 60.0);

  ASSERT_TRUE(voice->speak("Sim."));
  ASSERT_TRUE(waitSilent(*voice));
  EXPECT_GT(audio.played.size(), atStop);
}

TEST(EspeakVoice, ListStartsWithBrazilianPortugueseAndNumbersBeyondItFail) {
  const auto voices = platform::espeakVoices();
  ASSERT_TRUE(voices.has_value());
  ASSERT_GE(voices->size(), 2u);
  EXPECT_EQ((*voices)[0].language, "pt-br");
  EXPECT_EQ((*voices)[1].language.substr(0, 2), "pt");
  for (size_t i = 2; i < voices->size(); ++i) EXPECT_NE((*voices)[i].language.substr(0, 2), "pt");

  MemoryAudio audio;
  const int count = static_cast<int>(voices->size());
  EXPECT_EQ(platform::startEspeakVoice({count + 1, 0, 0, {}}, audio), nullptr);
  auto last = platform::startEspeakVoice({count, 0, 0, {}}, audio);
  EXPECT_NE(last, nullptr);
  EXPECT_EQ(platform::startEspeakVoice({}, audio), nullptr) << "the library is one per process";
  last.reset();
  EXPECT_NE(platform::startEspeakVoice({}, audio), nullptr);
}

TEST(EspeakVoice, ClosingInTheMiddleOfALongTextEndsTheThreadAndTheSound) {
  MemoryAudio audio;
  auto voice = platform::startEspeakVoice({}, audio);
  ASSERT_NE(voice, nullptr);
  // More than one part: the text is longer than what a voice takes at once.
  ASSERT_TRUE(voice->speak(longText(1700)));
  while (audio.played.empty()) (void)voice->busy(false);
  voice.reset();
  EXPECT_FALSE(audio.isOpen);
}

// The kinds other than 3, 5 and 54 through the dispatcher: the text as the
// voice gets it, and a text dropped when a key is waiting.
TEST(EspeakVoice, DispatcherTrimsSaysALoneDigitAsANumberAndDropsTextsWhenAKeyWaits) {
  MemoryAudio audio;
  TestHost host;
  qr::EventLog log;
  log.keepLines(true);
  speech::Dispatcher voices(
      host, log, host.beep(),
      {.espeak =
           [&](const speech::VoiceRequest& r) { return platform::startEspeakVoice(r, audio); }},
      {});
  ASSERT_TRUE(voices.speechInit(0, 0, 0, {}, 1));
  voices.speechSpeak("  7 \r\n");
  while (voices.speechBusy(false)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"voice 7."});
  EXPECT_GT(rms16(audio.played), 500.0);

  const size_t before = audio.played.size();
  host.key = true;
  voices.speechSpeak("Ol\xe1");
  EXPECT_FALSE(voices.speechBusy(false));
  EXPECT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(audio.played.size(), before);
  voices.speechClose();
}

// The spoken layer as the program runs it, over the unit database of this
// build (the speech start-up opens it whatever the voice).
struct VoicesThroughSpokenLayer : testing_support::SpokenLayerFixture {
  std::vector<speech::VoiceRequest> requests;
  std::vector<int> kinds;
  std::unique_ptr<speech::Dispatcher> voices;

  std::string ini(const std::string& servfala) const {
    const auto db = std::filesystem::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
    return "[SINTETIZADOR]\nDIFONES3=DIFONES3\n[TRADUTOR]\nSAPI=S\nDIRDIFONES=" + db.string() +
           "\nDIRLETRAS=" + (dir / "letras").string() + "\n[SERVFALA]\n" + servfala;
  }
  // False (the test skips) without a generated unit database.
  bool start(const std::string& servfala, speech::VoiceStarters starters) {
    const auto db = std::filesystem::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
    if (!std::filesystem::exists(db / "DIFONES3.IND")) return false;
    prepare("voices_");
    makeLayer(ini(servfala));
    voices = std::make_unique<speech::Dispatcher>(console, log, nullptr, std::move(starters),
                                                  speech::BuiltinFiles{});
    spoken->useVoices(voices.get());
    spoken->speechStart(0, "");
    return true;
  }
  // Starters that note what they were asked and start nothing.
  speech::VoiceStarters recording() {
    return {.espeak =
                [this](const speech::VoiceRequest& r) {
                  requests.push_back(r);
                  kinds.push_back(4);
                  return std::unique_ptr<speech::Voice>();
                },
            .speechd =
                [this](int kind, const speech::VoiceRequest& r) {
                  requests.push_back(r);
                  kinds.push_back(kind);
                  return std::unique_ptr<speech::Voice>();
                }};
  }
};

// A key typed while the voice speaks stops it: the spoken layer as the
// program runs it, keys arriving on the console's input in real time and
// the console waiting in the program's one wait.
TEST(VoicesInTheProgramsWait, AKeyTypedWhileEspeakSpeaksStopsItAndStaysQueued) {
  namespace fs = std::filesystem;
  const fs::path db = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(db / "DIFONES3.IND")) GTEST_SKIP() << "no generated unit database";
  const fs::path dir = fs::temp_directory_path() / "naviro-voices-key";
  fs::create_directories(dir / "letras");
  std::ofstream(dir / "QUIRAL.INI")
      << "[SINTETIZADOR]\nDIFONES3=DIFONES3\n[TRADUTOR]\nSAPI=S\n"
      << "DIRDIFONES=" << db.string() << "\nDIRLETRAS=" << (dir / "letras").string()
      << "\n[SERVFALA]\nTIPOSAPI=4\n";
  testing_support::PipeFrontend frontend;
  testing_support::ClockAudio audio;
  qr::EventLog log;
  log.keepLines(true);
  platform::PollWaiter waiter;
  qr::Console console(frontend, audio, log);
  console.useWaiter(waiter);
  console.useSettings(qr::ConsoleSettings{});
  qr::Config config(dir.string(), dir.string());
  speech::WavPlayer player(console, audio, log);
  speech::Translator translator;
  speech::Diphone diphone(console, player, translator);
  qr::Spoken spoken(console, config, player, translator, diphone);
  speech::Dispatcher voices(
      console, log, nullptr,
      {.espeak =
           [&](const speech::VoiceRequest& r) { return platform::startEspeakVoice(r, audio); }},
      {});
  spoken.useVoices(&voices);
  spoken.speechStart(0, "");
  ASSERT_TRUE(spoken.settings().sapi);

  std::thread typist([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    frontend.press();
  });
  spoken.speakText(longText(80));  // minutes of speech
  spoken.waitSpeechEnd();
  typist.join();
  EXPECT_TRUE(console.consoleKeyPending()) << "the key stays for the caller";
  EXPECT_TRUE(audio.gotStop);
  EXPECT_GT(audio.seconds16(), 0.2);
  EXPECT_LT(audio.seconds16(), 10.0) << "the voice went on after the key";
  const auto& lines = log.lines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), "voice " + qr::toUtf8(speech::voiceText(longText(80)))),
      lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "stop"), lines.end());
  spoken.speechFinish();
  fs::remove_all(dir);
}

TEST_F(VoicesThroughSpokenLayer, TheConfiguredVoiceIsAskedForAndHighSpeedsOnlyKeptForKind4) {
  if (!start("VOZ=2\nVELOCIDADE=20\nTOM=-3\nTIPOSAPI=5\n", recording()))
    GTEST_SKIP() << "no generated unit database in this build";
  EXPECT_FALSE(spoken->settings().sapi) << "a voice that does not start leaves recorded speech";
  spoken->speechFinish();
  std::ofstream(dir / "QUIRAL.INI") << ini("VELOCIDADE=20\nTIPOSAPI=4\n");
  spoken->speechStart(0, "");
  std::ofstream(dir / "QUIRAL.INI") << ini("VELOCIDADE=10\nTIPOSAPI=54\n");
  spoken->speechStart(0, "");
  ASSERT_EQ(kinds, (std::vector<int>{5, 4, 54}));
  EXPECT_EQ(requests[0].voice, 2);
  EXPECT_EQ(requests[0].pitch, -3);
  EXPECT_EQ(requests[0].speed, 0);
  EXPECT_EQ(requests[1].speed, 20);
  EXPECT_EQ(requests[2].speed, 10);
}

// --- Speech Dispatcher ----------------------------------------------------

// A daemon of the test's own for the whole suite.
class SpeechdVoice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // As in the program: a daemon that went away must not end the process.
    platform::ignoreProcessSignals();
    if (!testing_support::SpeechdDaemon::available()) return;
    daemon_ = new testing_support::SpeechdDaemon;
    if (!daemon_->start()) {
      delete daemon_;
      daemon_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete daemon_;
    daemon_ = nullptr;
  }
  void SetUp() override {
    if (!testing_support::SpeechdDaemon::available())
      GTEST_SKIP() << "speech-dispatcher is not installed";
    ASSERT_NE(daemon_, nullptr) << "the test's daemon did not start";
    setenv("SPEECHD_ADDRESS", daemon_->address().c_str(), 1);
    // Never the user's own daemon, started on demand.
    setenv("SPEECHD_CMD", "/bin/false", 1);
  }
  void TearDown() override { unsetenv("SPEECHD_ADDRESS"); }

  static testing_support::SpeechdDaemon* daemon_;
};
testing_support::SpeechdDaemon* SpeechdVoice::daemon_ = nullptr;

TEST_F(SpeechdVoice, BusyFromSpeakUntilTheEndNotificationWakesTheWait) {
  auto voice = platform::startSpeechdVoice(5, {});
  ASSERT_NE(voice, nullptr);
  ASSERT_GE(voice->eventDescriptor(), 0);
  ASSERT_TRUE(voice->speak("Ol\xe1. O arquivo foi recebido."));
  EXPECT_TRUE(voice->busy(false));
  pollfd p{voice->eventDescriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 5000), 1) << "no notification woke the wait";
  EXPECT_TRUE(waitSilent(*voice)) << "no end notification";
}

TEST_F(SpeechdVoice, StopCancelsAndLateNoticesDoNotMakeItBusyAgain) {
  auto voice = platform::startSpeechdVoice(54, {1, -5, 0, {}});
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->speak(longText(200)));
  ASSERT_TRUE(voice->speak(longText(200)));
  EXPECT_TRUE(voice->busy(false));
  voice->stop();
  EXPECT_FALSE(voice->busy(false));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(voice->busy(false));
  // Still usable after a stop.
  ASSERT_TRUE(voice->speak("Sim."));
  EXPECT_TRUE(waitSilent(*voice));
}

TEST_F(SpeechdVoice, Kinds5And54AreSeparateConnections) {
  auto five = platform::startSpeechdVoice(5, {});
  auto fiftyFour = platform::startSpeechdVoice(54, {});
  ASSERT_NE(five, nullptr);
  ASSERT_NE(fiftyFour, nullptr);
  ASSERT_TRUE(five->speak(longText(20)));
  EXPECT_TRUE(five->busy(false));
  EXPECT_FALSE(fiftyFour->busy(false));
  fiftyFour->stop();
  EXPECT_TRUE(five->busy(false)) << "a stop on one voice cancelled the other";
  five->stop();
}

TEST_F(SpeechdVoice, NoDaemonReachableIsNoVoice) {
  setenv("SPEECHD_ADDRESS", "unix_socket:/nonexistent/naviro/speechd.sock", 1);
  EXPECT_EQ(platform::startSpeechdVoice(5, {}), nullptr);
  EXPECT_FALSE(platform::speechdVoices().has_value());
}

// A daemon that dies sends no end notification: the voice must not stay
// busy for ever, and a text handed to it afterwards beeps.
TEST(SpeechdVoiceLost, ADaemonThatDiesLeavesTheVoiceSilentAndLaterTextsBeep) {
  if (!testing_support::SpeechdDaemon::available()) GTEST_SKIP() << "speech-dispatcher absent";
  platform::ignoreProcessSignals();
  testing_support::SpeechdDaemon daemon;
  ASSERT_TRUE(daemon.start());
  setenv("SPEECHD_ADDRESS", daemon.address().c_str(), 1);
  setenv("SPEECHD_CMD", "/bin/false", 1);
  TestHost host;
  qr::EventLog log;
  speech::Dispatcher voices(host, log, host.beep(), {.speechd = &platform::startSpeechdVoice}, {});
  ASSERT_TRUE(voices.speechInit(0, 0, 0, {}, 5));
  voices.speechSpeak(longText(400));
  EXPECT_TRUE(voices.speechBusy(false));
  daemon.stop(SIGKILL);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (voices.speechBusy(false) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(voices.speechBusy(false));
  voices.speechSpeak("Algu\xe9m a\xed?");
  EXPECT_EQ(host.beeps, 1);
  voices.speechClose();
  unsetenv("SPEECHD_ADDRESS");
}

}  // namespace
