// Letter classes and case of the engine's Windows-1252 text. The engine's
// letters are A-Z, a-z and the accented letters Portuguese uses (À Á Â Ã Ç
// É Ê Ì Í Ñ Ó Ô Õ Ù Ú Ü and their lower-case forms); other bytes of
// 192-255 are not letters to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/cp1252.h"

namespace tts {

constexpr bool inSet(std::string_view set, unsigned char c) {
  return set.find(static_cast<char>(c)) != std::string_view::npos;
}

inline constexpr std::string_view kAccentedUpper =
    "\xC0\xC1\xC2\xC3\xC7\xC9\xCA\xCC\xCD\xD1\xD3\xD4\xD5\xD9\xDA\xDC";
inline constexpr std::string_view kAccentedLower =
    "\xE0\xE1\xE2\xE3\xE7\xE9\xEA\xEC\xED\xF1\xF3\xF4\xF5\xF9\xFA\xFC";

using qr::isAsciiLetter;
constexpr bool isLetter(unsigned char c) {
  return isAsciiLetter(c) || inSet(kAccentedUpper, c) || inSet(kAccentedLower, c);
}
constexpr bool isDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
// B-Z consonants of both cases, Ç Ñ ç ñ.
constexpr bool isConsonant(unsigned char c) {
  return (isAsciiLetter(c) && !inSet("AEIOUaeiou", c)) || inSet("\xC7\xD1\xE7\xF1", c);
}
// Plain and accented vowels of both cases.
constexpr bool isVowel(unsigned char c) {
  return isLetter(c) && !isConsonant(c);
}

// Upper case is the program's one upper-casing; lower case of a
// Windows-1252 letter (A-Z and 192-222 but the multiplication sign), other
// bytes unchanged.
inline unsigned char toUpper(unsigned char c) {
  return qr::upperCase(c);
}
constexpr unsigned char toLower(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 222 && c != 215))
    return static_cast<unsigned char>(c + 32);
  return c;
}
inline std::string upperText(std::string_view s) {
  return qr::upperCase(s);
}
inline std::string lowerText(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(toLower(static_cast<unsigned char>(c)));
  return out;
}
inline std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

}  // namespace tts
