// The case of the ASCII letters A-Z and a-z, and nothing else: for the
// protocol's words (commands, facts, host names, keys of a listing), file
// name suffixes and key letters, where an accented byte must stay as it is.
// The case of Windows-1252 text shown or spoken is cp1252.h's upperCase.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qr {

[[nodiscard]] constexpr bool isAsciiLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

[[nodiscard]] constexpr char asciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
[[nodiscard]] constexpr uint8_t asciiUpper(uint8_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c;
}
[[nodiscard]] constexpr char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
[[nodiscard]] constexpr uint8_t asciiLower(uint8_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c - 'A' + 'a') : c;
}

[[nodiscard]] inline std::string asciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = asciiUpper(c);
  return out;
}
[[nodiscard]] inline std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = asciiLower(c);
  return out;
}

// Equal but for the case of ASCII letters.
[[nodiscard]] constexpr bool asciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

}  // namespace qr
