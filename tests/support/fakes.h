// Test doubles for the console's platform side: a front end fed with key
// events from the test and an audio output that keeps what was played.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/programEnd.h"
#include "console/frontend.h"
#include "speech/audio.h"

namespace testing_support {

// Thrown by FakeFrontend::exitProgram, as by every front end, so a test
// sees how a run ended.
using FakeExit = qr::ProgramEnd;

class FakeFrontend : public qr::ConsoleFrontend {
 public:
  // Events handed to the console one per poll that asks for a key.
  std::deque<qr::KeyEvent> script;
  // After this many polls that ask for a key with nothing left, the run
  // ends with code 3 (like the script console's used-up rule).
  int idleAsksBeforeExit = 200;
  qr::ScreenImage last;
  int presents = 0;
  std::vector<std::string> captions;
  std::string clipboard;
  int beeps = 0;

  void poll(int, bool askingForKey, qr::KeySink& sink) override {
    if (!askingForKey) return;
    if (script.empty()) {
      if (++idleAsks_ > idleAsksBeforeExit) exitProgram(3);
      return;
    }
    idleAsks_ = 0;
    const qr::KeyEvent e = script.front();
    script.pop_front();
    sink.keyEvent(e);
  }
  void present(const qr::ScreenImage& screen) override {
    last = screen;
    ++presents;
  }
  void setCaption(std::string_view text) override { captions.emplace_back(text); }
  void clipboardPut(std::string_view text) override { clipboard = std::string(text); }
  std::string clipboardGet() override { return clipboard; }
  void beep() override { ++beeps; }
  [[noreturn]] void exitProgram(int code) override { throw qr::ProgramEnd{code}; }

  // Helpers to script keys the way a keyboard produces them.
  void typeChar(uint8_t ch) {
    script.push_back({qr::KeyEvent::Type::Char, qr::VKey::Other, ch, false, false, false});
  }
  void typeText(std::string_view cp1252) {
    for (char c : cp1252) typeChar(static_cast<uint8_t>(c));
  }
  void pressKey(qr::VKey key, bool ctrl = false, bool alt = false, bool shift = false) {
    script.push_back({qr::KeyEvent::Type::Down, key, 0, ctrl, alt, shift});
    script.push_back({qr::KeyEvent::Type::Up, key, 0, ctrl, alt, shift});
  }

 private:
  int idleAsks_ = 0;
};

class MemoryAudio : public qr::AudioOutput {
 public:
  struct Tone {
    qr::PcmFormat format;
    std::vector<uint8_t> samples;
  };
  std::vector<qr::PcmFormat> opens;
  std::vector<uint8_t> played;  // every byte queued, in order
  std::vector<Tone> tones;
  bool toneOn = false;
  bool isOpen = false;
  int stops = 0;
  int failOpenWith = 0;

  int open(const qr::PcmFormat& format) override {
    if (failOpenWith) return failOpenWith;
    opens.push_back(format);
    isOpen = true;
    return 0;
  }
  bool queue(const uint8_t* data, size_t length) override {
    if (!isOpen) return false;
    played.insert(played.end(), data, data + length);
    return true;
  }
  size_t pending() const override { return 0; }  // every block plays at once
  void stop() override { ++stops; }
  void close() override { isOpen = false; }
  void toneStart(const qr::PcmFormat& format, const uint8_t* data, size_t length) override {
    tones.push_back({format, std::vector<uint8_t>(data, data + length)});
    toneOn = true;
  }
  void toneStop() override { toneOn = false; }
};

}  // namespace testing_support
