// Measures how often the translator puts the stress on the same syllable as
// eSpeak NG's Brazilian Portuguese voice, over a fixed sample of the system
// word list. Syllables are counted from the end of the word as runs of vowel
// symbols on both sides, so that glides, hiatus and nasal marks written
// differently by the two do not count as disagreements.
//
//   stress_agreement RULES EXCEPTIONS [WORDLIST [COUNT [MISMATCH-FILE]]]
//   stress_agreement RULES EXCEPTIONS --show WORD...
#include <espeak-ng/speak_lib.h>

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
#include "speech/translator.h"

namespace {

// Index from the end (1 = last) of the vowel run that holds the stress.
// Runs are broken only by consonant symbols (letters that are not vowels,
// the tap "*" and the spelled-letter "_"); unit separators, marks and
// eSpeak's length and stress signs inside a run are passed over. The
// translator marks the stressed vowel in upper case; eSpeak writes "'"
// before the stressed vowel.
std::optional<int> stressFromEnd(std::string_view ph, std::string_view vowels, char mark) {
  const bool apostrophe = mark != 0;
  std::vector<bool> runs;  // per vowel run: stressed?
  bool inRun = false, pending = false;
  for (std::size_t i = 0; i < ph.size(); ++i) {
    const char c = ph[i];
    if (apostrophe && c == '@' && i + 1 < ph.size() && ph[i + 1] == '-') {
      ++i;  // eSpeak's epenthetic vowel after a coda r is not a syllable
      continue;
    }
    const bool vowel = vowels.find(c) != std::string_view::npos;
    const bool consonant =
        !vowel && (std::isalpha(static_cast<unsigned char>(c)) || c == '*' || c == '_');
    if (apostrophe && c == mark) {
      pending = true;
    } else if (vowel) {
      if (!inRun) runs.push_back(false);
      inRun = true;
      if (pending || (!apostrophe && c >= 'A' && c <= 'Z')) runs.back() = true;
      pending = false;
    } else if (consonant) {
      inRun = false;
    }
  }
  for (std::size_t i = 0; i < runs.size(); ++i)
    if (runs[i]) return static_cast<int>(runs.size() - i);
  return std::nullopt;
}

constexpr std::string_view kOurVowels = "aeiouAEIOUwy";
constexpr std::string_view kEspeakVowels = "aeiouEO&@3yIUwjVY0";

std::string espeakPhonemes(const std::string& utf8) {
  const void* p = utf8.c_str();
  std::string out;
  while (p) {
    const char* ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, 0);
    if (ph) out += ph;
  }
  return out;
}

bool isPlainWord(std::string_view cp) {
  if (cp.size() < 2) return false;
  for (unsigned char c : cp)
    if (!((c >= 'a' && c <= 'z') || (c >= 224 && c != 247))) return false;
  return true;
}

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
  std::ifstream list(listPath);
  if (!list) {
    std::cerr << "cannot read " << listPath << "\n";
    return 1;
  }
  std::vector<std::string> words;
  for (std::string line; std::getline(list, line);)
    if (isPlainWord(qr::W(line))) words.push_back(line);
  if (words.size() < count) {
    std::cerr << "only " << words.size() << " words\n";
    return 1;
  }
  if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0) < 0 ||
      espeak_SetVoiceByName("pt-br") != EE_OK) {
    std::cerr << "eSpeak NG with the pt-br voice is not available\n";
    return 1;
  }
  std::ofstream mismatches(argc > 5 ? argv[5] : "/dev/null");
  const std::size_t stride = words.size() / count;
  int agree = 0, unmarked = 0, marked = 0, agreeMarked = 0, plain = 0, agreePlain = 0;
  double seconds = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const std::string& word = words[k * stride + stride / 2];
    const auto t0 = std::chrono::steady_clock::now();
    const std::string ours = tr.translateToPhonetic(qr::W(word));
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::string theirs = espeakPhonemes(word);
    const auto a = stressFromEnd(ours, kOurVowels, 0);
    // Words eSpeak reads without primary stress (eram, numa) keep their
    // secondary one.
    auto b = stressFromEnd(theirs, kEspeakVowels, '\'');
    if (!b) b = stressFromEnd(theirs, kEspeakVowels, ',');
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
  std::printf("words %zu (every %zu-th of %zu plain words in %s)\n", count, stride, words.size(),
              listPath.c_str());
  std::printf("stress agrees: %d (%.1f%%)\n", agree, 100.0 * agree / count);
  std::printf("no stress mark from the translator: %d\n", unmarked);
  std::printf("agreement where the translator marked stress: %.1f%% of %d\n",
              marked ? 100.0 * agreeMarked / marked : 0.0, marked);
  std::printf("words without accented letters: %d, agreeing %.1f%%\n", plain,
              plain ? 100.0 * agreePlain / plain : 0.0);
  std::printf("translation time: %.1f us per word\n", 1e6 * seconds / count);
  return 0;
}
