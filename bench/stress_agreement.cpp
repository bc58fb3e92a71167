// Measures how often the translator puts the stress on the same syllable as
// eSpeak NG's Brazilian Portuguese voice, over a fixed sample of the system
// word list. Syllables are counted from the end of the word as runs of vowel
// symbols on both sides, so that glides, hiatus and nasal marks written
// differently by the two do not count as disagreements.
//
//   stress_agreement RULES EXCEPTIONS [WORDLIST [COUNT [MISMATCH-FILE]]]
//   stress_agreement RULES EXCEPTIONS --show WORD...
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "bench/speechMeasures.h"
#include "speech/translator.h"

namespace {

constexpr std::string_view kOurVowels = "aeiouAEIOUwy";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: stress_agreement RULES EXCEPTIONS [WORDLIST [COUNT [MISMATCHES]]]\n"
                 "       stress_agreement RULES EXCEPTIONS --show WORD...\n";
    return 2;
  }
  speech::Translator tr;
  if (!tr.loadTranslatorRules(argv[1]) || !tr.loadTranslatorExceptions(argv[2])) {
    std::cerr << "cannot load " << argv[1] << " or " << argv[2] << "\n";
    return 1;
  }
  if (argc > 3 && std::string_view(argv[3]) == "--show") {
    for (int i = 4; i < argc; ++i)
      std::cout << argv[i] << "\t" << qr::toUtf8(tr.translateToPhonetic(qr::W(argv[i]))) << "\n";
    return 0;
  }
  const std::string listPath = argc > 3 ? argv[3] : "/usr/share/dict/brazilian";
  const std::size_t count = argc > 4 ? std::stoul(argv[4]) : 2000;
  const auto sample = measures::sampleWords(listPath, count);
  if (!sample) {
    std::cerr << "cannot read " << count << " plain words from " << listPath << "\n";
    return 1;
  }
  if (measures::openEspeak() == 0) {
    std::cerr << "eSpeak NG with the pt-br voice is not available\n";
    return 1;
  }
  std::ofstream mismatches(argc > 5 ? argv[5] : "/dev/null");
  int agree = 0, unmarked = 0, marked = 0, agreeMarked = 0, plain = 0, agreePlain = 0;
  double seconds = 0;
  for (const auto& word : sample->words) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::string ours = tr.translateToPhonetic(qr::W(word));
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::string theirs = measures::espeakPhonemes(word);
    const auto a = measures::stressFromEnd(ours, kOurVowels, 0);
    const auto b = measures::espeakStressFromEnd(theirs);
    if (!a)
      ++unmarked;
    else
      ++marked;
    // Words without accented letters are the ones the automaton decides.
    const std::string cp = qr::W(word);
    const bool unaccented =
        std::all_of(cp.begin(), cp.end(), [](char c) { return (c & 0x80) == 0; });
    plain += unaccented;
    if (a && b && *a == *b) {
      ++agree;
      ++agreeMarked;
      agreePlain += unaccented;
    } else {
      mismatches << word << "\t" << qr::toUtf8(ours) << "\t" << theirs << "\t" << (a ? *a : 0)
                 << "\t" << (b ? *b : 0) << "\n";
    }
  }
  std::printf("words %zu (every %zu-th of %zu plain words in %s)\n", count, sample->stride,
              sample->plainWords, listPath.c_str());
  std::printf("stress agrees: %d (%.1f%%)\n", agree, 100.0 * agree / count);
  std::printf("no stress mark from the translator: %d\n", unmarked);
  std::printf("agreement where the translator marked stress: %.1f%% of %d\n",
              marked ? 100.0 * agreeMarked / marked : 0.0, marked);
  std::printf("words without accented letters: %d, agreeing %.1f%%\n", plain,
              plain ? 100.0 * agreePlain / plain : 0.0);
  std::printf("translation time: %.1f us per word\n", 1e6 * seconds / count);
  return 0;
}
