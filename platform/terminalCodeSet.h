// The terminal's code set: how the console's Windows-1252 characters are
// written to the terminal and how the bytes it sends back are read, for the
// code set of the user's locale (UTF-8, a single-byte set such as
// ISO-8859-1, or another set iconv knows).
//
// A locale of plain ASCII (the C or POSIX locale, that is no locale chosen)
// is taken as UTF-8: nearly every terminal emulator speaks it, and such a
// run would otherwise show every accented letter as '?'.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace platform {

struct CodeSet {
  std::string name = "UTF-8";
  bool utf8 = true;
  // Each Windows-1252 byte as the terminal's bytes: control bytes as a
  // space, a character the set lacks (or a byte with no character) as '?'.
  std::array<std::string, 256> glyphs;
  // For sets other than UTF-8: the bytes of each character back to its
  // Windows-1252 byte (ASCII is not listed).
  std::map<std::string, uint8_t, std::less<>> characters;
};

// The code set called name by iconv; UTF-8 when iconv does not know it.
[[nodiscard]] CodeSet codeSetNamed(std::string_view name);

// The name of the locale's code set (LC_ALL, LC_CTYPE, LANG), without
// changing the program's own locale; "UTF-8" for plain ASCII.
[[nodiscard]] std::string localeCodeSetName();

// Windows-1252 text in the code set, control bytes dropped (for captions).
[[nodiscard]] std::string encodeText(const CodeSet& codes, std::string_view cp1252);

}  // namespace platform
