// A line of this program's own, beyond the message catalogue, in its two
// forms: what is written on the screen (with every detail, such as a whole
// path) and what is said (the essential, worded for the ear). Texts are
// Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace qr {

struct Told {
  std::string written;
  std::string said;
  bool operator==(const Told&) const = default;
};

// The said form of a line written for the screen, for lines whose producer
// gave none: a path is said by its last part ("/home/ana/QUIRAL.INI" is
// "QUIRAL.INI"), brackets and parentheses are dropped, and a colon or
// semicolon that joins two parts becomes a comma. Everything a voice would
// name instead of reading ("barra", "dois pontos", "abre parênteses") goes;
// the words stay.
[[nodiscard]] std::string saidForm(std::string_view written);

}  // namespace qr
