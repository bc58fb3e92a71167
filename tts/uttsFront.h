// The engine's text front: the five data files loaded together and the
// stages run in order over one text (normalise, tag, patterns,
// letter-to-sound, durations and pitch), giving the synthesiser's input
// lines. Each stage is reachable on its own for tools and tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tts/uttsNormal.h"
#include "tts/uttsProsody.h"
#include "tts/uttsRules.h"

namespace tts {

struct EngineFiles {
  std::string rules, exceptions, abbreviations, prosody, definitions;
};

// The five files of a directory and base name ("portug"): .nrl, .exc, .abr,
// .pro, .dfn; a "/" is put between directory and name when missing.
[[nodiscard]] EngineFiles engineFilesIn(std::string directory, std::string_view base = "portug");

class EngineFront {
 public:
  // Loads the files in the engine's order (rules, exceptions, abbreviations,
  // prosody, definitions), stopping at the first that fails. What was wrong
  // with them, fatal or not, is in messages(), one Portuguese sentence each,
  // for the caller to write and speak (nothing here shows a message).
  [[nodiscard]] bool load(const EngineFiles& files);
  void release();

  // Text (Windows-1252) to synthesiser input lines.
  [[nodiscard]] std::vector<std::string> phoLines(std::string_view text, double pitchFactor,
                                                  double rateFactor) const;
  // The stages up to the letter-to-sound rules: the phoneme list.
  [[nodiscard]] std::vector<std::string> phonemeList(std::string_view text) const;

  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }
  [[nodiscard]] const Normaliser& normaliser() const { return normaliser_; }
  [[nodiscard]] const Prosody& prosody() const { return prosody_; }

 private:
  Normaliser normaliser_;
  LetterToSound lts_;
  Prosody prosody_;
  std::vector<std::string> messages_;
};

}  // namespace tts
