// Text normalisation of the built-in engine: numbers, ordinals, minus signs,
// decimal commas and points, consonant-only words spelled, abbreviations
// expanded from the abbreviations file and symbols named. Sentence
// punctuation (, . : ; ! ? and parentheses) stays for the later stages.
// Texts are Windows-1252 bytes.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tts {

struct Abbreviation {
  std::string key;  // trimmed, upper-cased
  std::string expansion;
};

class Normaliser {
 public:
  // Fills the abbreviations table from a file of "KEY=expansion" lines
  // (";" comments); false when the file cannot be opened. A line without
  // "=" is kept as an entry that never matches and is reported.
  [[nodiscard]] bool loadAbbreviations(const std::string& path);
  // The expansion of a word (compared upper-cased), or empty; the first
  // equal key of the file wins.
  [[nodiscard]] std::string findAbbreviation(std::string_view word) const;
  [[nodiscard]] std::string normaliseText(std::string_view text) const;

  [[nodiscard]] std::size_t abbreviationCount() const { return table_.size(); }
  // What the last load found wrong, one message per line.
  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::vector<Abbreviation> table_;
  std::unordered_map<std::string, std::size_t> firstOfKey_;
  std::vector<std::string> messages_;
};

}  // namespace tts
