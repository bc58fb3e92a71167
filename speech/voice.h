// A voice: whatever turns a text into sound the user hears — the recorded
// pieces with the syllable units, eSpeak NG, Speech Dispatcher, the built-in
// engine. speak() returns at once; the sound goes on while the program waits
// for keys, the network or the voice itself in its one wait. Text is
// Windows-1252.
#pragma once

#include <string_view>

#include "base/loop.h"

namespace speech {

class Voice {
 public:
  virtual ~Voice() = default;
  // Starts speaking the text; false when it could not be handed over.
  [[nodiscard]] virtual bool speak(std::string_view text) = 0;
  // Whether the voice still sounds. strict: only texts still being
  // processed count, not the tail the audio device is still playing.
  [[nodiscard]] virtual bool busy(bool strict) = 0;
  // Silences at once and discards what is queued.
  virtual void stop() = 0;
  // Moves pending work on (hands synthesised samples to the audio output,
  // takes notifications); called from the program's wait loop.
  virtual void pump() {}
  // A descriptor that becomes readable when the voice has news (end of
  // speech, samples ready), or -1 when pump() needs no wake-up of its own.
  [[nodiscard]] virtual int eventDescriptor() const { return -1; }
  // When pump() is next due without news on the descriptor (the device
  // makes room for more sound, a pause ends); kNoDeadline when only news
  // moves the voice on.
  [[nodiscard]] virtual qr::Deadline nextPump() const { return qr::kNoDeadline; }
};

}  // namespace speech
