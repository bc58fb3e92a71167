// Test doubles that keep real time, for tests and benches of what a person
// hears: a console front end whose keys come through a pipe (as a
// terminal's do, so the program's one wait sees them), and an audio output
// that plays at its format's rate and notes when it first got samples and
// when it was told to stop.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/programEnd.h"
#include "console/frontend.h"
#include "speech/audio.h"

namespace testing_support {

class PipeFrontend final : public qr::ConsoleFrontend {
 public:
  PipeFrontend() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~PipeFrontend() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  PipeFrontend(const PipeFrontend&) = delete;
  PipeFrontend& operator=(const PipeFrontend&) = delete;

  // Types one character; may be called from another thread.
  void press(char c = 'x') { (void)!write(fds_[1], &c, 1); }

  void poll(int maxWaitMs, bool, qr::KeySink& sink) override {
    pollfd p{fds_[0], POLLIN, 0};
    if (::poll(&p, 1, maxWaitMs) <= 0) return;
    char c = 0;
    if (read(fds_[0], &c, 1) == 1)
      sink.keyEvent({qr::KeyEvent::Type::Char, qr::VKey::Other, static_cast<uint8_t>(c), false,
                     false, false});
  }
  void present(const qr::ScreenImage&) override {}
  void setCaption(std::string_view) override {}
  void clipboardPut(std::string_view) override {}
  std::string clipboardGet() override { return {}; }
  void beep() override {}
  int inputDescriptor() const override { return fds_[0]; }
  [[noreturn]] void exitProgram(int code) override { throw qr::ProgramEnd{code}; }

 private:
  int fds_[2];
};

class ClockAudio final : public qr::AudioOutput {
 public:
  using Clock = std::chrono::steady_clock;
  Clock::time_point firstQueue{}, firstLoud{}, stopped{};
  bool gotSamples = false, gotLoud = false, gotStop = false;
  size_t bytes = 0;  // every byte queued

  int open(const qr::PcmFormat& format) override {
    format_ = format;
    open_ = true;
    return 0;
  }
  bool queue(const uint8_t* data, size_t length) override {
    if (!open_) return false;
    if (!gotSamples) firstQueue = Clock::now();
    gotSamples = true;
    // The first block in which speech is heard (16-bit samples above 1000).
    for (size_t i = 0; format_.bits == 16 && !gotLoud && i + 1 < length; i += 2) {
      const auto sample = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
      if (sample > 1000 || sample < -1000) {
        gotLoud = true;
        firstLoud = Clock::now();
      }
    }
    if (pending() == 0) {
      start_ = Clock::now();
      queued_ = 0;
    }
    queued_ += length;
    bytes += length;
    return true;
  }
  size_t pending() const override {
    if (!open_ || queued_ == 0) return 0;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double played = seconds * format_.rate * format_.channels * (format_.bits / 8);
    return played >= queued_ ? 0 : queued_ - static_cast<size_t>(played);
  }
  void stop() override {
    if (!gotStop) stopped = Clock::now();
    gotStop = true;
    queued_ = 0;
  }
  void close() override {
    open_ = false;
    queued_ = 0;
  }
  void toneStart(const qr::PcmFormat&, const uint8_t*, size_t) override {}
  void toneStop() override {}
  void reset() {
    gotSamples = gotLoud = gotStop = false;
    queued_ = 0;
  }
  [[nodiscard]] double seconds16() const { return bytes / 2.0 / format_.rate; }

 private:
  qr::PcmFormat format_;
  bool open_ = false;
  size_t queued_ = 0;
  Clock::time_point start_{};
};

}  // namespace testing_support
