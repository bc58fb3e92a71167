// The program's voices: the voice dispatcher over the platform's back ends,
// with the console as its host and the built-in engine's files from the
// "CORALTTS" section, the built-in engine playing through the WAV player;
// and the voice lists printed by `naviro --voices`.
#pragma once

#include <cstdio>
#include <memory>

#include "speech/dispatcher.h"

namespace qr {
class AudioOutput;
class Config;
class Console;
class ConsoleFrontend;
class EventLog;
}  // namespace qr

namespace speech {
class WavPlayer;
}

namespace app {

class Voices {
 public:
  Voices(qr::Console& console, qr::ConsoleFrontend& frontend, qr::AudioOutput& audio,
         speech::WavPlayer& player, qr::EventLog& log, const qr::Config& config);
  ~Voices();
  Voices(const Voices&) = delete;
  Voices& operator=(const Voices&) = delete;
  [[nodiscard]] speech::Dispatcher& dispatcher();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// For each back end, the numbered list that "VOZ" refers to: the Portuguese
// voices, and the others counted, or listed after them when all.
void printVoiceLists(std::FILE* out, bool all);

}  // namespace app
