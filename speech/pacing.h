// What the sound modules need from the program while sound plays: whether a
// key is waiting (a key silences speech), a delay and a wait for a condition
// that keep the program responsive, and a pump that lets pending input and screen work flow
// without waiting. The console provides it; tests may give their own.
#pragma once

#include <functional>

#include "base/loop.h"

namespace speech {

class Pacing {
 public:
  virtual ~Pacing() = default;
  [[nodiscard]] virtual bool keyPending() = 0;
  virtual void delay(int milliseconds) = 0;
  virtual void pump() = 0;
  // Waits in the program's loop while busy() answers true: it is asked
  // again whenever wake() says something may have changed (news on its
  // descriptor, its deadline), a key came or a source of the loop moved.
  virtual void waitWhile(const std::function<bool()>& busy,
                         const std::function<qr::Wake()>& wake) = 0;
};

}  // namespace speech
