// The stress automaton shared by the engine's letter-to-sound rules and the
// syllable synthesiser's translator. It reads a lower-case word of plain
// letters from its end and marks the vowel that carries the stress by the
// ordinary Portuguese rules: a word ending in a, e, o (with s, m, ns) is
// stressed on the syllable before the last, any other word on its last.
#include "tts/stress.h"

#include "base/ascii.h"

namespace tts {
namespace {

constexpr bool in(std::string_view set, unsigned char c) {
  return set.find(static_cast<char>(c)) != std::string_view::npos;
}
// A y is read as an i ("bytes", "hobby"): a vowel of the word.
bool isVowel(unsigned char c) {
  return in("AEIOUYaeiouy", c);
}
bool isConsonant(unsigned char c) {
  return qr::isAsciiLetter(c) && !isVowel(c);
}

}  // namespace

std::optional<std::size_t> stressPosition(std::string_view w) {
  enum class S { S0, S1, S2, S3, S4, S5, S7, S8 };
  S state = S::S0;
  std::size_t ledTo7 = 0;  // the character that led to S7
  std::size_t ledTo8 = 0;  // the i or u that led to S8
  const std::size_t n = w.size();
  auto at = [&](std::size_t i) -> unsigned char {
    return i < n ? qr::asciiLower(static_cast<unsigned char>(w[i])) : 0;
  };
  // "u" of gu/qu before a vowel is not a vowel of its own (aqui, seguido).
  auto silentU = [&](std::size_t i) {
    return at(i) == 'u' && i > 0 && in("gq", at(i - 1)) && isVowel(at(i + 1));
  };
  for (std::size_t k = n; k-- > 0;) {
    const unsigned char c = at(k);
    switch (state) {
      case S::S0:
        if (in("aeo", c))
          state = S::S5;
        else if (in("iuy", c))
          state = S::S3;
        else if (in("lnrxz", c))
          state = S::S1;
        else if (c == 'm')
          state = S::S2;
        else if (c == 's')
          state = S::S4;
        break;
      case S::S1:
        if (isVowel(c)) return k;
        break;
      case S::S2:
        if (in("ae", c))
          state = S::S5;
        else if (in("iuy", c))
          state = S::S3;
        else if (c == 'o')
          return k;
        break;
      case S::S3:
        if (isConsonant(c) || silentU(k)) {
          state = S::S7;
          ledTo7 = k;
        } else {
          return k;
        }
        break;
      case S::S4:
        if (in("aeo", c))
          state = S::S5;
        else if (in("iuy", c))
          state = S::S3;
        break;
      case S::S5:
        if (in("aeo", c)) return k;
        if (silentU(k)) break;
        if (in("iuy", c)) {
          state = S::S8;
          ledTo8 = k;
        }
        break;
      case S::S7:
        return ledTo7 + 1;
      case S::S8: {
        const unsigned char next = at(ledTo8 + 1), after = at(ledTo8 + 2);
        const bool closedSyllable =
            in("lmnrz", next) && next != 0 &&
            ((next == 'n' && after == 'h') || (next == 'r' && after == 'r') ||
             (isConsonant(after) && after != 'h'));
        if (isConsonant(c) || silentU(k) || closedSyllable) {
          state = S::S7;
          ledTo7 = k;
        } else {
          return k;
        }
        break;
      }
    }
  }
  // A word that begins with its stressed i or u (ida, uva), or with the
  // consonant before it (dia, rua), has no character left to trigger the
  // mark: mark it here.
  if (state == S::S7 && ledTo7 + 1 < n) return ledTo7 + 1;
  if (state == S::S8) return ledTo8;
  return std::nullopt;
}

}  // namespace tts
