// The console as the voice dispatcher's host: its key queue, its delay
// (which keeps the screen and the keyboard answering) and its beep.
#pragma once

#include <cstdint>

#include "console/qrCrt.h"
#include "speech/dispatcher.h"

namespace qr {

class ConsoleVoiceHost final : public speech::VoiceHost {
 public:
  explicit ConsoleVoiceHost(Console& console) : console_(console) {}
  bool keyWaiting() override { return console_.consoleKeyPending(); }
  void delay(int milliseconds) override {
    console_.consoleDelay(static_cast<uint16_t>(milliseconds));
  }
  void pumpMessages() override { console_.consolePumpMessages(); }
  void beep() override { console_.frontend().beep(); }

 private:
  Console& console_;
};

}  // namespace qr
