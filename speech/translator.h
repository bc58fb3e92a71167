// Letter-to-sound translator of the syllable-unit synthesiser: rules and
// exceptions turn Windows-1252 text into the synthesiser's phonetic text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace speech {

class Translator {
 public:
  Translator();
  ~Translator();
  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;

  [[nodiscard]] bool loadTranslatorRules(const std::string& path);
  [[nodiscard]] bool loadTranslatorExceptions(const std::string& path);
  [[nodiscard]] std::string translateToPhonetic(std::string_view text) const;
  void unload();

 private:
  struct Tables;
  std::unique_ptr<Tables> t_;
};

}  // namespace speech
