// The stages in the engine's order over one text.
#include "tts/uttsFront.h"

#include "base/cp1252.h"

namespace tts {

EngineFiles engineFilesIn(std::string directory, std::string_view base) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  const std::string stem = directory + std::string(base);
  return {stem + ".nrl", stem + ".exc", stem + ".abr", stem + ".pro", stem + ".dfn"};
}

bool EngineFront::load(const EngineFiles& files) {
  messages_.clear();
  lts_.releaseRules();
  prosody_.ReleaseDiphones();
  auto take = [&](const std::vector<std::string>& found) {
    messages_.insert(messages_.end(), found.begin(), found.end());
  };
  auto missing = [&](const std::string& path) {
    messages_.push_back(qr::W("Arquivo do sintetizador não foi achado: ") + path);
    return false;
  };
  if (!lts_.loadRules(files.rules)) return missing(files.rules);
  if (!lts_.loadExceptions(files.exceptions)) {
    take(lts_.messages());
    return missing(files.exceptions);
  }
  take(lts_.messages());
  if (!normaliser_.loadAbbreviations(files.abbreviations)) return missing(files.abbreviations);
  take(normaliser_.messages());
  const bool prosodyLoaded = prosody_.LoadProsody(files.prosody);
  take(prosody_.messages());
  if (!prosodyLoaded) return false;
  const std::size_t before = prosody_.messages().size();
  if (!prosody_.LoadDiphones(files.definitions)) return missing(files.definitions);
  messages_.insert(messages_.end(), prosody_.messages().begin() + static_cast<long>(before),
                   prosody_.messages().end());
  return true;
}

void EngineFront::release() {
  lts_.releaseRules();
  prosody_.ReleaseDiphones();
}

std::vector<std::string> EngineFront::phonemeList(std::string_view text) const {
  const auto normal = normaliser_.normaliseText(text);
  return lts_.wordsToPhonemes(prosody_.AssignPatterns(prosody_.TagWords(normal)));
}

std::vector<std::string> EngineFront::phoLines(std::string_view text, double pitchFactor,
                                               double rateFactor) const {
  return prosody_.MakeMbrolaLines(phonemeList(text), pitchFactor, rateFactor);
}

}  // namespace tts
