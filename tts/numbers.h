// Numbers, ordinals and character names of the built-in text-to-speech
// engine: the word material its text normalisation reads a text with.
//
// The cardinal reading is shared with the recorded-piece readings of the
// speech subsystem, which bring their own word table (spellCardinal).
// All texts out are Windows-1252 bytes; everything here is a pure function.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tts {

// The words a cardinal reading is made of (UTF-8 source text), indexed by
// a decimal digit.
struct CardinalTables {
  std::array<std::string_view, 10> units;
  std::array<std::string_view, 10> teens;
  std::array<std::string_view, 10> tens;
  std::array<std::string_view, 10> hundreds;
};

// The 15-digit group reading of n with the given words (UTF-8 result): only
// the last 15 decimal digits count; a number ending in a scale word keeps
// that word's trailing space ("mil ", "dois milhões ").
[[nodiscard]] std::string spellCardinal(uint64_t n, const CardinalTables& t);

// Cardinal reading of the engine (accented table).
[[nodiscard]] std::string cardinalWords(uint64_t n);
// Ordinal reading; gender 'f' gives the feminine forms. From 2000 on the
// cardinal is read instead.
[[nodiscard]] std::string ordinalWords(char gender, uint64_t n);
// Reads the number token that starts at text[pos] (a digit) and moves pos
// past what was read: leading zeros, thousands points, ordinal endings, digit
// runs with dashes spelled out.
[[nodiscard]] std::string readNumberToken(std::string_view text, size_t& pos);
// The spoken name of one Windows-1252 character; empty when it has none.
[[nodiscard]] std::string characterName(uint8_t c);

// --- Readings every voice shares ----------------------------------------
// A hyphen is read "menos" only where it stands before a digit at the start
// of a text or after anything but a letter or a digit ("-5", "a -3",
// "x=-2"); after a letter or a digit it joins the parts of a name
// ("nota-138.txt", "backup-2025-12.tar") and is read "traço". Letters here
// are every Windows-1252 letter (A-Z, a-z and the accented ones).
[[nodiscard]] bool minusSignAt(std::string_view text, size_t pos);
// A hyphen between two parts of a name, read "traço": after a letter or a
// digit and before a digit, or after a digit and before a letter. A hyphen
// between two letters (a compound word) is neither.
[[nodiscard]] bool nameHyphenAt(std::string_view text, size_t pos);
// The length of the IPv4 address (four numbers of at most three digits,
// each at most 255, with no leading zero, joined by points) that starts at
// text[pos], or 0. An address is read as four numbers with "ponto"
// between, never as one number with thousands points: "192.168.0.1", but
// not "1.000.000.000" (a group "000" is a thousands group) nor a longer
// run of points and digits.
[[nodiscard]] size_t ipv4LengthAt(std::string_view text, size_t pos);

}  // namespace tts
