// Latency of the system voices, printed as figures:
//  1. eSpeak NG: from speechSpeak to the first sample handed to the audio
//     output (target < 50 ms).
//  2. Speech Dispatcher (a private daemon with libao's null driver): from
//     speechSpeak to the daemon's begin notification, its own word that the
//     sound started (the samples themselves stay inside the daemon).
//  3. A key to silence: a key arrives on the console's input while eSpeak NG
//     speaks through the spoken layer, as in the program; the time until the
//     audio output is told to stop (target < 30 ms). The same for Speech
//     Dispatcher, until its cancel request returned.
//
//   build/bench/voices_bench [rounds]
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/eventlog.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinSpoken.h"
#include "platform/pollWaiter.h"
#include "platform/voices.h"
#include "speech/diphone.h"
#include "speech/dispatcher.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/realtime.h"
#include "tests/support/speechdDaemon.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::ClockAudio;
using testing_support::PipeFrontend;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Pacing with no keyboard: delays sleep.
struct QuietPacing : speech::Pacing {
  bool keyPending() override { return false; }
  void delay(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void pump() override {}
  void waitWhile(const std::function<bool()>& busy,
                 const std::function<qr::Wake()>& wake) override {
    while (busy()) {
      const qr::Wake w = wake();
      pollfd p{w.fd, POLLIN, 0};
      (void)poll(&p, 1, std::clamp(qr::msUntil(w.at), 1, 50));
    }
  }
};

struct Figures {
  std::vector<double> values;
  void add(double v) { values.push_back(v); }
  void print(const char* what, const char* target) {
    if (values.empty()) {
      std::printf("%-44s no figures\n", what);
      return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%-44s median %6.1f ms  max %6.1f ms  (%zu rounds)%s\n", what,
                values[values.size() / 2], values.back(), values.size(), target);
  }
};

const char* const kPrompts[] = {"Nome do computador:",
                                "Arquivo recebido.",
                                "Modo passivo ativado",
                                "Conta:",
                                "Desistiu",
                                "Diret\xf3rio atual: /pub/linux"};

void espeakFirstSample(int rounds) {
  ClockAudio audio;
  QuietPacing pacing;
  qr::EventLog log;
  speech::Dispatcher voices(
      pacing, log, nullptr,
      {.espeak =
           [&](const speech::VoiceRequest& r) { return platform::startEspeakVoice(r, audio); }},
      {});
  if (!voices.speechInit(0, 0, 0, {}, 4)) {
    std::printf("eSpeak NG: no voice\n");
    return;
  }
  Figures first, loud;
  for (int i = 0; i < rounds; ++i) {
    audio.reset();
    const auto t0 = Clock::now();
    voices.speechSpeak(kPrompts[i % std::size(kPrompts)]);
    while (!audio.gotLoud && msSince(t0) < 2000) {
      pollfd p{voices.eventDescriptor(), POLLIN, 0};
      (void)poll(&p, 1, 50);
      voices.pump();
    }
    if (audio.gotSamples)
      first.add(std::chrono::duration<double, std::milli>(audio.firstQueue - t0).count());
    if (audio.gotLoud)
      loud.add(std::chrono::duration<double, std::milli>(audio.firstLoud - t0).count());
    voices.speechStop();
  }
  voices.speechClose();
  first.print("eSpeak NG: speechSpeak -> first sample", "  (target < 50 ms)");
  loud.print("eSpeak NG: speechSpeak -> first loud sample", "");
}

void speechdFigures(int rounds) {
  if (!testing_support::SpeechdDaemon::available()) {
    std::printf("Speech Dispatcher: not installed\n");
    return;
  }
  testing_support::SpeechdDaemon daemon;
  if (!daemon.start()) {
    std::printf("Speech Dispatcher: the private daemon did not start\n");
    return;
  }
  setenv("SPEECHD_ADDRESS", daemon.address().c_str(), 1);
  setenv("SPEECHD_CMD", "/bin/false", 1);
  QuietPacing pacing;
  qr::EventLog log;
  speech::Dispatcher voices(pacing, log, nullptr, {.speechd = &platform::startSpeechdVoice}, {});
  if (!voices.speechInit(0, 0, 0, {}, 5)) {
    std::printf("Speech Dispatcher: no voice\n");
    return;
  }
  Figures begin, cancel;
  for (int i = 0; i < rounds; ++i) {
    voices.pump();
    const auto t0 = Clock::now();
    voices.speechSpeak(kPrompts[i % std::size(kPrompts)]);
    pollfd p{voices.eventDescriptor(), POLLIN, 0};
    if (poll(&p, 1, 2000) == 1) begin.add(msSince(t0));
    const auto key = Clock::now();
    voices.speechStop();
    cancel.add(msSince(key));
    while (voices.speechBusy(false)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  voices.speechClose();
  begin.print("Speech Dispatcher: speechSpeak -> begin notice", "");
  cancel.print("Speech Dispatcher: stop -> cancel returned", "");
}

void keyToSilence(int rounds) {
  namespace fs = std::filesystem;
  const fs::path db = fs::path(QUIRAL_BUILD_ROOT) / "som" / "difones";
  if (!fs::exists(db / "DIFONES3.IND")) {
    std::printf("key -> silence: no unit database in this build\n");
    return;
  }
  const fs::path dir = fs::temp_directory_path() / "naviro-voices-bench";
  fs::create_directories(dir / "letras");
  std::ofstream(dir / "QUIRAL.INI")
      << "[SINTETIZADOR]\nDIFONES3=DIFONES3\n[TRADUTOR]\nSAPI=S\n"
      << "DIRDIFONES=" << db.string() << "\nDIRLETRAS=" << (dir / "letras").string()
      << "\n[SERVFALA]\nTIPOSAPI=4\n";
  PipeFrontend frontend;
  ClockAudio audio;
  qr::EventLog log;
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
  if (!spoken.settings().sapi) {
    std::printf("key -> silence: no eSpeak NG voice\n");
    return;
  }
  std::string text;
  for (int i = 0; i < 20; ++i) text += "Recebendo o arquivo grande, aguarde um pouco. ";
  Figures silence;
  for (int i = 0; i < rounds; ++i) {
    audio.reset();
    std::atomic<bool> pressed{false};
    Clock::time_point keyAt;
    std::thread typist([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150 + 37 * (i % 5)));
      keyAt = Clock::now();
      pressed = true;
      frontend.press();
    });
    spoken.speakText(text);
    spoken.waitSpeechEnd();
    typist.join();
    if (audio.gotStop && pressed)
      silence.add(std::chrono::duration<double, std::milli>(audio.stopped - keyAt).count());
    while (console.consoleKeyPending()) (void)console.consoleReadKey();
  }
  spoken.speechFinish();
  fs::remove_all(dir);
  silence.print("eSpeak NG: key -> audio output stopped", "  (target < 30 ms)");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  espeakFirstSample(rounds);
  keyToSilence(rounds);
  speechdFigures(rounds);
}
