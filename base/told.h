// A line of this program's own, beyond the message catalogue, in its two
// forms: what is written on the screen (with every detail, such as a whole
// path) and what is said (the essential, worded for the ear). Texts are
// Windows-1252.
#pragma once

#include <string>

namespace qr {

struct Told {
  std::string written;
  std::string said;
  bool operator==(const Told&) const = default;
};

}  // namespace qr
