// The unit database generator's reading of the translator's phonetic text as
// eSpeak NG phonemes, and the speaking rate of each speed level. Shared with
// the voice-quality bench, which compares what the units are rendered from
// with what eSpeak NG itself says.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "speech/diphoneUnits.h"

namespace tools {

// Speaking rate (eSpeak NG words per minute) of each speed level, 1 slowest.
inline constexpr std::array<int, 5> kSpeedRates{150, 185, 220, 270, 330};
// The rate each speed's units are said at: joined with word pauses, they
// then keep the pace of eSpeak NG at the speed's own rate.
inline constexpr std::array<int, 5> kRenderRates{185, 225, 275, 310, 350};

// Phonetic symbols of the translator and the eSpeak NG phoneme each stands
// for; longer sequences first. Glides are handled apart (onset or offglide).
struct PhonemeSymbol {
  std::string_view text;
  std::string_view phoneme;
};
inline constexpr std::array<PhonemeSymbol, 34> kPhonemeSymbols{{
    {"tch", "tS"}, {"dj", "dZ"}, {"nh", "n^"}, {"rr", "x"}, {"ks", "ks"}, {"a^", "&"},
    {"e^", "e"},   {"i^", "i"},  {"o^", "o"},  {"u^", "u"}, {"a~", "&~"}, {"e~", "e~"},
    {"i~", "i~"},  {"o~", "o~"}, {"u~", "u~"}, {"nn", "N"}, {"b", "b"},   {"c", "k"},
    {"d", "d"},    {"f", "f"},   {"g", "g"},   {"j", "Z"},  {"k", "k"},   {"l", "l"},
    {"m", "m"},    {"n", "n"},   {"p", "p"},   {"q", "k"},  {"r", "*"},   {"s", "s"},
    {"t", "t"},    {"v", "v"},   {"x", "S"},   {"z", "z"},
}};

// The unit's text in the translator's alphabet, from a name as played:
// "$kAza" -> "kAza", "$aCIRC" -> "a^", "$aTIL" -> "a~".
inline std::string unitText(std::string_view name) {
  std::string t(name.substr(1));
  auto endsWith = [&t](std::string_view s) {
    return t.size() >= s.size() && t.compare(t.size() - s.size(), s.size(), s) == 0;
  };
  if (endsWith("CIRC"))
    t = t.substr(0, t.size() - 4) + "^";
  else if (endsWith("TIL"))
    t = t.substr(0, t.size() - 3) + "~";
  return t;
}

// eSpeak NG phoneme input for a text in the translator's alphabet (a unit,
// or a whole word without its separators): "kAza" -> "k'az&". Vowel
// quality: a stressed e or o without a mark is open, with "^" closed;
// unstressed ones are closed; a final unstressed a is reduced. With
// `full`, a unit without a stressed vowel is said as stressed all the same
// (long and full, with the quality of its unstressed vowels): the unit cut
// makes the unstressed one out of it.
inline std::string unitPhonemes(std::string_view text, bool full = false) {
  namespace units = speech::units;
  std::string t(text);
  // A nasal mark after a diphthong nasalises both of its vowels.
  if (t.size() >= 3 && t.back() == '~' && units::isGlide(t[t.size() - 2]) &&
      units::isVowel(t[t.size() - 3]) && !units::isGlide(t[t.size() - 3]))
    t.insert(t.size() - 2, "~");
  std::string out;
  const bool stressed = std::any_of(t.begin(), t.end(), units::isStressedVowel);
  for (size_t i = 0; i < t.size();) {
    const bool upper = units::isStressedVowel(t[i]);
    std::string rest = t.substr(i);
    if (upper) {
      rest[0] = static_cast<char>(rest[0] + 32);
      out += '\'';
    }
    const char c = rest[0];
    if (units::isGlide(c)) {
      const bool onset = rest.size() > 1 && units::isVowel(rest[1]) && !units::isGlide(rest[1]);
      const bool nasal = rest.size() > 1 && rest[1] == '~';
      out += onset ? (c == 'w' ? "w" : "j") : (c == 'w' ? "U" : "y");
      if (nasal) out += '~';
      i += nasal ? 2 : 1;
      continue;
    }
    const PhonemeSymbol* hit = nullptr;
    for (const auto& s : kPhonemeSymbols)
      if (std::string_view(rest).substr(0, s.text.size()) == s.text) {
        hit = &s;
        break;
      }
    if (hit) {
      out += hit->phoneme;
      i += hit->text.size();
      continue;
    }
    if (units::isVowel(c)) {
      if (upper && c == 'e')
        out += 'E';
      else if (upper && c == 'o')
        out += 'O';
      else if (!upper && !full && c == 'a' && i + 1 == t.size() && t.size() > 1)
        out += '&';
      else
        out += c;
    }
    ++i;
  }
  if (!stressed && out.find_first_of("aeiouEO&") != std::string::npos)
    out = (full ? "'" : ",") + out;
  return out;
}

}  // namespace tools
