#include "base/cp1252.h"

#include <array>

namespace qr {
namespace {

// Code points of bytes 0x80..0x9F; the five unassigned bytes keep their C1 value.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when invalid.
size_t decodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  size_t len = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

constexpr std::array<uint8_t, 256> makeUpperTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<uint8_t>(c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c)
    if (c != 0xF7) t[c] = static_cast<uint8_t>(c - 32);  // ÷ is no letter
  t[0x9A] = 0x8A;                                        // š Š
  t[0x9C] = 0x8C;                                        // œ Œ
  t[0x9E] = 0x8E;                                        // ž Ž
  t[0xFF] = 0x9F;                                        // ÿ Ÿ (not ß)
  return t;
}
constexpr std::array<uint8_t, 256> kUpper = makeUpperTable();

}  // namespace

uint8_t upperCase(uint8_t c) {
  return kUpper[c];
}

std::string upperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(kUpper[static_cast<uint8_t>(c)]);
  return out;
}

char32_t codePointFromCp1252(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

std::optional<uint8_t> cp1252FromCodePoint(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<uint8_t>(0x80 + i);
  return std::nullopt;
}

std::string toUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 4);
  for (char c : cp1252) appendUtf8(out, codePointFromCp1252(static_cast<uint8_t>(c)));
  return out;
}

std::string fromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t len = decodeUtf8(utf8, i, cp);
    if (len == 0) {
      out += static_cast<char>(b);  // not UTF-8: take the byte as it is
      ++i;
      continue;
    }
    const auto byte = cp1252FromCodePoint(cp);
    out += byte ? static_cast<char>(*byte) : '?';
    i += len;
  }
  return out;
}

}  // namespace qr
