// How the program ends. Whoever ends it (the user's last key, Ctrl+Break, a
// terminal that hung up, a used-up key script) first puts its own things in
// order (the terminal restored, the dumps written) and then throws
// ProgramEnd with the exit code. main() catches it and returns the code, so
// every object is destroyed on the way out, in tests and in production
// alike. It is the one exception that crosses module boundaries, and only
// main() and tests catch it.
#pragma once

namespace qr {

struct ProgramEnd {
  int code = 0;
};

}  // namespace qr
