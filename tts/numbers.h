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

}  // namespace tts
