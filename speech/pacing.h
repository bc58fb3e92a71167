// What the sound modules need from the program while sound plays: whether a
// key is waiting (a key silences speech), a delay that keeps the program
// responsive, and a pump that lets pending input and screen work flow
// without waiting. The console provides it; tests may give their own.
#pragma once

namespace speech {

class Pacing {
 public:
  virtual ~Pacing() = default;
  [[nodiscard]] virtual bool keyPending() = 0;
  virtual void delay(int milliseconds) = 0;
  virtual void pump() = 0;
};

}  // namespace speech
