// Pure pieces of the letter-to-sound translator: the pre-mapping of a text,
// the stress automaton, rule and exception line parsing and the rule matcher.
// Words are Windows-1252 bytes, positions are 0-based. Rule centres and
// contexts are upper case and compared with the upper-cased word character.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tts/stress.h"

namespace speech::lts {

inline constexpr std::size_t kLeftMax = 5;
inline constexpr std::size_t kCentreMax = 5;
inline constexpr std::size_t kRightMax = 5;
inline constexpr std::size_t kOutputMax = 11;
inline constexpr std::size_t kExceptionLineMax = 255;
inline constexpr std::size_t kExceptionsMax = 15000;
// The character that stands for anything without a reading.
inline constexpr char kUnmapped = '\x01';

struct Rule {
  std::string left, centre, right, output;
  bool operator==(const Rule&) const = default;
};

struct Exception {
  std::string word, pronunciation;
  bool operator==(const Exception&) const = default;
};

[[nodiscard]] bool isVowel(unsigned char c);      // A E I O U a e i o u
[[nodiscard]] bool isConsonant(unsigned char c);  // other ASCII letters
[[nodiscard]] bool isLetter(unsigned char c);
[[nodiscard]] bool isAccentMark(unsigned char c);  // " ' ^ ` ~
[[nodiscard]] bool isSeparator(unsigned char c);   // space ! , . : ; ?

// Plain letters with accent marks for W/Y, the apostrophe after d, control
// characters and codes 128 and above; unmapped characters become " \x01 ".
[[nodiscard]] std::string preMap(std::string_view text);

// Index of the vowel the stress automaton marks in a lower-case word, if any.
using tts::stressPosition;
// Applies the automaton: the marked vowel turned to upper case.
[[nodiscard]] std::string markStress(std::string word);

// One line of a rule file: left "(" centre ")" right "=" output "|".
// Fields are cut to their limits; nothing when the centre is empty.
[[nodiscard]] std::optional<Rule> parseRuleLine(std::string_view line);
// One line of an exception file: word "=" pronunciation ["|"].
[[nodiscard]] std::optional<Exception> parseExceptionLine(std::string_view line);

// Whether the rule applies at position p of the word.
[[nodiscard]] bool ruleMatches(const Rule& rule, std::string_view word, std::size_t p);

}  // namespace speech::lts
