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

// Where a unit is said: the phonetic character just before it in the word
// (0 at the word's start) and the text that follows it in the word (empty at
// the word's end). Brazilian speech changes a sound by its neighbours: a
// final unstressed vowel is reduced, a nasal vowel closes on a nasal
// consonant before another consonant, r after a consonant is a short tap.
struct UnitContext {
  char before = 0;
  std::string_view after;
};

// eSpeak NG phoneme input for a text in the translator's alphabet (a unit,
// or a whole word without its separators): "kAza" -> "k'az&". Vowel
// quality: a stressed e or o without a mark is open, with "^" closed;
// unstressed ones are closed. At the word's end an unstressed vowel is
// reduced ([ɐ], [ɪ], [ʊ]). With `full`, a unit without a stressed vowel is
// said as stressed all the same (long and full, with the quality of its
// unstressed vowels): the unit cut makes the unstressed one out of it.
inline std::string unitPhonemes(std::string_view text, bool full = false, UnitContext where = {}) {
  namespace units = speech::units;
  std::string t(text);
  // A nasal mark after a diphthong nasalises both of its vowels.
  if (t.size() >= 3 && t.back() == '~' && units::isGlide(t[t.size() - 2]) &&
      units::isVowel(t[t.size() - 3]) && !units::isGlide(t[t.size() - 3]))
    t.insert(t.size() - 2, "~");
  // A closed mark after a diphthong belongs to its vowel: "Ow^" is "O^w".
  if (t.size() >= 3 && t.back() == '^' && units::isGlide(t[t.size() - 2]) &&
      units::isVowel(t[t.size() - 3]) && !units::isGlide(t[t.size() - 3])) {
    t.pop_back();
    t.insert(t.size() - 1, "^");
  }
  // The word's last vowel, when unstressed and followed by nothing but an s:
  // the translator writes a reduced final e and o as i and u; an e or o it
  // leaves is a full vowel ("fez").
  size_t reduced = std::string::npos;
  if (where.after.empty()) {
    const size_t last = t.find_last_of("aeiou");
    if (last != std::string::npos && t.find_first_not_of('s', last + 1) == std::string::npos &&
        (t[last] == 'i' || t[last] == 'u' || (t[last] == 'a' && last > 0)))
      reduced = last;
  }
  const char next = where.after.empty() ? 0 : where.after[0];
  const bool consonantNext = units::isConsonant(next);
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
      // Nasal diphthongs as eSpeak NG writes them: [ɐ̃w̃] "&U~", and a final
      // [ẽj̃] closing on its nasal, "eIN".
      const size_t afterGlide = i + (nasal ? 2 : 1);
      if (!onset && out.size() >= 2 && out.back() == '~') {
        const char v = out[out.size() - 2];
        if (v == '&' && c == 'w') {
          out.replace(out.size() - 2, 2, "&U~");
          i = afterGlide;
          continue;
        }
        if (v == 'e' && c == 'y' && t.find_first_not_of('s', afterGlide) == std::string::npos &&
            (where.after.empty() || consonantNext)) {
          out.replace(out.size() - 2, 2, "eIN");
          i = afterGlide;
          continue;
        }
      }
      // Offglides as eSpeak NG's diphthongs: [aj] "aI", [ej] "eI", [aw]
      // "aU", [ow] "ow"; after a nasal vowel [j̃] stays "y".
      const char v = out.empty() ? 0 : out.back();
      if (onset)
        out += c == 'w' ? "w" : "j";
      else if (c == 'w')
        out += v == 'o' || v == 'u' ? "w" : "U";
      else
        out += v == '~' ? "y" : "I";
      if (nasal) out += '~';
      i += nasal ? 2 : 1;
      continue;
    }
    // A nasal vowel before a consonant, or ending the word, closes on a
    // nasal consonant: [m] before p and b, [N] otherwise.
    if (units::isVowel(c) && rest.size() > 1 && rest[1] == '~') {
      const char after = rest.size() > 2 ? rest[2] : next;
      if (after == 0 || units::isConsonant(after)) {
        static constexpr std::string_view kNasal[][2] = {
            {"a", "&~"}, {"e", "eI"}, {"i", "i"}, {"o", "o"}, {"u", "u~"}};
        for (const auto& [v, ph] : kNasal)
          if (v[0] == c) out += ph;
        out += after == 'p' || after == 'b' ? 'm' : 'N';
        i += 2;
        continue;
      }
    }
    const PhonemeSymbol* hit = nullptr;
    for (const auto& s : kPhonemeSymbols)
      if (std::string_view(rest).substr(0, s.text.size()) == s.text) {
        hit = &s;
        break;
      }
    if (hit) {
      const char before = i > 0 ? t[i - 1] : where.before;
      if (hit->text == "r" && units::isConsonant(before) && before != 'r' && before != 'l' &&
          before != 'm' && before != 'n' && before != 's')
        out += 'R';  // the tap of a cluster: "pr", "tr", "br"
      else if (hit->text == "rr" && rest.size() == 2 && where.after.empty())
        out += 'r';  // a word's final r
      else
        out += hit->phoneme;
      i += hit->text.size();
      // A tap closing a syllable before a consonant leads into it with a
      // short vowel, as eSpeak NG says "porta".
      const char following = i < t.size() ? t[i] : next;
      if (hit->text == "r" && units::isConsonant(following)) out += "@-";
      continue;
    }
    if (units::isVowel(c)) {
      if (upper && c == 'e')
        out += 'E';
      else if (upper && c == 'o')
        out += 'O';
      else if (i == reduced)
        out += c == 'a' ? '&' : c == 'i' ? 'y' : 'U';
      else
        out += c;
    }
    ++i;
  }
  if (!stressed && out.find_first_of("aeiouEO&UyI") != std::string::npos)
    out = (full ? "'" : ",") + out;
  return out;
}

}  // namespace tools
