// Letter-to-sound rules and stress of the built-in engine. Words of the
// patterned items become phoneme lines: exceptions first, then the stress
// position, then context-sensitive rewrite rules from the rules file; marks
// become pause lines, and a last pass joins a word-final r or s to a
// following vowel.
//
// Rule line: left "(" match ")" right "=" output ["|"]; ";" starts a
// comment. In an output "&" separates phonemes. Besides the context symbols
// of the letter classes, "'" in a context asks that the match begin at the
// stressed letter, "!" that it not, and "^" that it begin after it.
// Positions are 0-based here.
// Texts are Windows-1252 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tts {

inline constexpr std::size_t kContextMax = 5;
inline constexpr std::size_t kMatchMax = 5;
inline constexpr std::size_t kRuleOutputMax = 20;
inline constexpr std::size_t kEmittedOutputMax = 11;
inline constexpr std::size_t kExceptionLineMax = 255;

struct RewriteRule {
  std::string left, match, right, output;
  bool operator==(const RewriteRule&) const = default;
};

// One rule line; nothing for a comment, an empty line or a line without a
// match. `complete` tells whether every separator was there and no piece
// had to be cut.
struct ParsedRule {
  RewriteRule rule;
  bool complete = true;
};
[[nodiscard]] std::optional<ParsedRule> parseRewriteRule(std::string_view line);

// Whether the rule fires at position p of an upper-cased word whose stressed
// position (plus one, 0 for none) is `stress`.
[[nodiscard]] bool ruleFires(const RewriteRule& rule, std::string_view word, std::size_t p,
                             std::size_t stress = 0);

// The stressed position of an upper-cased word plus one, 0 for none: the
// last accented vowel, else the stress automaton; no stress for words of up
// to two letters and for POR, DAS, DOS, COM, NÃO and SIM.
[[nodiscard]] std::size_t stressPositionOf(std::string_view upperWord);

// The final pass over the whole list: a word's last "r2" becomes "r" and its
// last "s2" becomes "z" when the next word begins with a vowel phoneme.
void applySandhi(std::vector<std::string>& lines);

class LetterToSound {
 public:
  [[nodiscard]] bool loadRules(const std::string& path);
  [[nodiscard]] bool loadExceptions(const std::string& path);
  void releaseRules();

  // Items are pattern "|" word (a phrase break has no word). For each item:
  // ";" + item, then "__" and an empty line for a break, "_" + mark for a
  // punctuation mark, or the word's phoneme lines and an empty line; "__"
  // at the end; then the sandhi pass.
  [[nodiscard]] std::vector<std::string> wordsToPhonemes(
      const std::vector<std::string>& items) const;
  // The phoneme lines of one word, with the empty line that closes it.
  void convertWord(std::string_view word, std::vector<std::string>& out) const;
  // The exception of a word, trying it without final S and M letters too.
  [[nodiscard]] std::string applyExceptions(const std::string& upperWord) const;

  [[nodiscard]] std::size_t ruleCount() const;
  [[nodiscard]] std::size_t exceptionCount() const { return exceptions_.size(); }
  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::array<std::vector<RewriteRule>, 256> chains_;
  std::vector<std::pair<std::string, std::string>> exceptions_;
  std::vector<std::string> messages_;
};

}  // namespace tts
