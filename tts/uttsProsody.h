// Word tagging and prosody of the built-in engine. Before the letter-to-sound
// rules: the normalised text is cut into words and marks, each word gets a
// two-letter class from the prosody file's dictionary, and each item a
// three-digit intonation pattern from its rules. After them: every phoneme
// line becomes a synthesiser input line "name duration [position pitch]",
// the duration from the table (lengthened from the stressed phoneme on,
// shortened in long words, scaled by the rate factor) and at most one pitch
// target from the word's pattern (scaled by the pitch factor). Where the
// diphone list lacks a transition a short filler is put in.
//
// Items between the stages: tagged "[" class "]" text ("[--]" a phrase
// break); patterned: pattern "|" text. Texts are Windows-1252 bytes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tts {

inline constexpr int kDefaultHertz = 230;

struct IntonationRule {
  std::string previous, current, next;  // class patterns; empty matches all
  std::string pattern;
  bool operator==(const IntonationRule&) const = default;
};

class Prosody {
 public:
  // Reads the sections [DURAÇÃO], [CHAVES] and [PROSÓDIA]; false, with a
  // message, when the file cannot be opened, a section is missing or a line
  // lacks its "="; a duration that is not a number is reported and taken as
  // 100.
  [[nodiscard]] bool LoadProsody(const std::string& path);
  // Reads the diphone list: per line, the first two phoneme names.
  [[nodiscard]] bool LoadDiphones(const std::string& path);
  void ReleaseDiphones();

  [[nodiscard]] std::vector<std::string> TagWords(std::string_view text) const;
  [[nodiscard]] std::vector<std::string> AssignPatterns(
      const std::vector<std::string>& tagged) const;
  [[nodiscard]] std::vector<std::string> MakeMbrolaLines(const std::vector<std::string>& phonemes,
                                                         double pitchFactor,
                                                         double rateFactor) const;

  // Table look-ups (for the tools and tests).
  [[nodiscard]] int durationOf(std::string_view phoneme) const;    // 100 when absent
  [[nodiscard]] std::string classOf(std::string_view word) const;  // "XX" when absent
  [[nodiscard]] bool hasDiphone(std::string_view first, std::string_view second) const;
  [[nodiscard]] int hertz() const { return hertz_; }
  [[nodiscard]] const std::vector<std::pair<std::string, int>>& durations() const {
    return durations_;
  }
  [[nodiscard]] const std::vector<IntonationRule>& rules() const { return rules_; }
  [[nodiscard]] std::size_t diphoneCount() const { return diphones_.size(); }
  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::vector<std::pair<std::string, int>> durations_;
  std::unordered_map<std::string, int> durationIndex_;
  std::vector<std::pair<std::string, std::string>> classes_;  // sorted by word
  std::vector<IntonationRule> rules_;
  int hertz_ = kDefaultHertz;
  std::array<int, 10> tabHertz_{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::string> diphones_;  // "first-second", upper-cased, sorted
  std::vector<std::string> messages_;
};

}  // namespace tts
