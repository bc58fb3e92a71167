// Windows-1252, the program's internal text: conversion to and from UTF-8
// at the edges, and the one upper-casing of its letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qr {

// Windows-1252 bytes to UTF-8. Bytes with no character (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same number.
[[nodiscard]] std::string toUtf8(std::string_view cp1252);

// UTF-8 to Windows-1252; characters with no Windows-1252 form become '?'.
// Bytes that are not valid UTF-8 are taken as Windows-1252 as they are.
[[nodiscard]] std::string fromUtf8(std::string_view utf8);

// The Windows-1252 byte for one Unicode code point, if it has one.
[[nodiscard]] std::optional<uint8_t> cp1252FromCodePoint(char32_t cp);
[[nodiscard]] char32_t codePointFromCp1252(uint8_t byte);

// Source texts are UTF-8: W("ção") gives the Windows-1252 bytes.
[[nodiscard]] inline std::string W(std::string_view utf8) {
  return fromUtf8(utf8);
}

// The capital of a Windows-1252 letter: a-z, the accented letters 224-254
// except the division sign 247, and the four letters whose capitals stand in
// 128-159 (š œ ž ÿ). Every other byte is returned as it is.
[[nodiscard]] uint8_t upperCase(uint8_t c);
[[nodiscard]] std::string upperCase(std::string_view text);

}  // namespace qr
