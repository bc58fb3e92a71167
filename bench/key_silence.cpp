// Key to silence. Plays a long tone through the real player (WavPlayer) on
// the SDL output, presses a key in the middle, and measures:
//   stop      key delivered -> the player has stopped and the device's queue
//             is empty (the program goes on from here)
//   restart   the next sound's start: the call that queues it
// What the device had taken from the queue still sounds after the stop: one
// device period, printed beside, plus the sound server's own buffer on a
// real machine (a few ms with PipeWire or PulseAudio). SDL's disk driver
// (writing to a scratch file in real time) stands for the sound card, so the
// device thread, its periods and its opening and closing are SDL's own.
//   key_silence [TRIALS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/eventlog.h"
#include "base/programEnd.h"
#include "base/wav.h"
#include "console/qrCrt.h"
#include "platform/audioBackends.h"
#include "speech/wavPlay.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kRate = 11025;

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A front end with no screen that presses one key at a set time.
class KeyAt : public qr::ConsoleFrontend {
 public:
  Clock::time_point due = Clock::time_point::max();
  Clock::time_point pressed;
  bool delivered = false;

  void poll(int maxWaitMs, bool, qr::KeySink& sink) override {
    const auto end = Clock::now() + std::chrono::milliseconds(maxWaitMs);
    if (!delivered && due < end) {
      std::this_thread::sleep_until(due);
      pressed = Clock::now();
      delivered = true;
      sink.keyEvent({qr::KeyEvent::Type::Char, qr::VKey::Other, 'x', false, false, false});
      return;
    }
    std::this_thread::sleep_until(end);
  }
  void present(const qr::ScreenImage&) override {}
  void setCaption(std::string_view) override {}
  void clipboardPut(std::string_view) override {}
  std::string clipboardGet() override { return {}; }
  void beep() override {}
  [[noreturn]] void exitProgram(int code) override { throw qr::ProgramEnd{code}; }
};

std::vector<uint8_t> toneImage(double seconds) {
  std::vector<uint8_t> samples(static_cast<size_t>(seconds * kRate));
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 12) % 2 ? 200 : 56;
  return qr::makeWavImage(samples.data(), samples.size(), kRate, 1, 8);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) try {
  const int trials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const auto dir = std::filesystem::temp_directory_path() / "naviro_key_silence";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "device.raw").string();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  std::string error;
  auto audio = platform::makeSdlAudio(error);
  if (!audio) {
    std::fprintf(stderr, "key_silence: %s\n", error.c_str());
    return 1;
  }
  KeyAt frontend;
  qr::EventLog log("");
  qr::Console console(frontend, *audio, log);
  console.useSettings({});
  speech::WavPlayer player(console, *audio, log);
  const std::vector<uint8_t> tone = toneImage(3.0);

  std::vector<double> stop, restart;
  for (int t = 0; t < trials; ++t) {
    const auto start = Clock::now();
    player.playWavImage(tone.data(), tone.size());
    restart.push_back(ms(Clock::now() - start));
    frontend.delivered = false;
    frontend.due = Clock::now() + std::chrono::milliseconds(300 + 37 * t % 100);
    console.waitWhile([&] { return player.wavBusy(); },
                      [&] { return qr::Wake{-1, player.nextChange()}; });
    const auto stopped = Clock::now();
    console.flushKeys();
    stop.push_back(ms(stopped - frontend.pressed));
  }
  std::printf("key to silence over %d trials (median / max, ms)\n", trials);
  auto line = [](const char* what, const std::vector<double>& v) {
    std::printf("  %-8s %7.1f / %7.1f\n", what, median(v), *std::max_element(v.begin(), v.end()));
  };
  line("stop", stop);
  line("restart", restart);
  const double period = platform::sdlPeriodFrames(kRate) * 1000.0 / kRate;
  std::printf("  device period %.1f ms at %u Hz: silence within %.1f ms of the key (max)\n", period,
              kRate, *std::max_element(stop.begin(), stop.end()) + period);
  std::filesystem::remove_all(dir);
} catch (const qr::ProgramEnd& end) {
  return end.code;  // the front end ended the run
}
