// Letter-to-sound translator of the syllable-unit synthesiser. A text is
// pre-mapped to plain letters with accent marks, cut into words, looked up
// in the exception list, given a stress mark and rewritten by the rule file
// into phonetic text: "[" units joined by "/" "]" per word, spelled letters
// as "[ /_c]". Everything is Windows-1252 bytes.
#include "speech/translator.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/ascii.h"
#include "speech/translatorRules.h"

namespace speech {
namespace lts {
namespace {

struct MapRow {
  std::array<std::uint8_t, 6> codes;
  std::string_view text;
};

// Codes 128 and above of both code pages (the old OEM page in 128-175 and
// Windows-1252 above 191); a code not listed has no reading.
constexpr std::array kMapRows{
    MapRow{{128, 135, 199, 231}, "ss"},
    MapRow{{129, 154, 220, 252}, "u\""},
    MapRow{{130, 144, 201, 233}, "e'"},
    MapRow{{131, 194, 226}, "a^"},
    MapRow{{132, 142, 195, 196, 227, 228}, "a~"},
    MapRow{{133, 192, 224}, "a`"},
    MapRow{{134, 143, 160, 193, 225}, "a'"},
    MapRow{{136, 202, 234}, "e^"},
    MapRow{{137, 203, 235}, "e\""},
    MapRow{{138, 200, 232}, "e`"},
    MapRow{{139, 207, 239}, "i\""},
    MapRow{{140, 206, 238}, "i^"},
    MapRow{{141, 204, 236}, "i`"},
    MapRow{{145, 198, 230}, "ae"},
    MapRow{{146}, "-"},
    MapRow{{147, 212, 244}, "o^"},
    MapRow{{148, 153, 213, 245}, "o~"},
    MapRow{{149, 210, 214, 242, 246}, "o`"},
    MapRow{{150, 219, 251}, "u^"},
    MapRow{{151, 217, 249}, "u`"},
    MapRow{{152}, "y-"},
    MapRow{{161, 205, 237}, "i'"},
    MapRow{{162, 211, 243}, "o'"},
    MapRow{{163, 218, 250}, "u'"},
    MapRow{{164, 165, 209, 241}, "nh"},
    MapRow{{167}, "\xA7"},
    MapRow{{168, 191}, "?"},
    MapRow{{171}, "\xAA"},
    MapRow{{173}, "!"},
    MapRow{{174, 175}, "\""},
    MapRow{{187}, "\xBA"},
    MapRow{{197, 229}, "a"},
    MapRow{{215, 247}, "x"},
    MapRow{{216, 248}, "0"},
};

constexpr std::array<std::string_view, 128> kHighMap = [] {
  std::array<std::string_view, 128> m{};
  for (const auto& row : kMapRows)
    for (auto code : row.codes)
      if (code >= 128) m[code - 128] = row.text;
  return m;
}();

constexpr bool in(std::string_view set, unsigned char c) {
  return set.find(static_cast<char>(c)) != std::string_view::npos;
}

bool isVowelOrMark(unsigned char c) {
  return isVowel(c) || isAccentMark(c);
}
bool isBackVowel(unsigned char c) {
  return in("AOao", c);
}
bool isFrontVowel(unsigned char c) {
  return in("EIei", c);
}

// W and Y are read as vowels beside another letter (Wagner, Kelly); beside
// nothing but each other they stay consonants, so "Www" is still spelled.
bool hasLetterBeside(std::string_view text, std::size_t i) {
  auto plainLetter = [](unsigned char c) { return isLetter(c) && !in("WwYy", c); };
  return (i > 0 && plainLetter(text[i - 1])) || (i + 1 < text.size() && plainLetter(text[i + 1]));
}

std::string_view trimmedField(std::string_view s, std::size_t max) {
  return s.substr(0, std::min(s.size(), max));
}

// Cuts s at the first delimiter; a missing one takes the rest and leaves the
// following fields empty.
std::string_view takeField(std::string_view& s, char delimiter, bool& missing) {
  if (missing) return {};
  auto at = s.find(delimiter);
  if (at == std::string_view::npos) {
    missing = true;
    auto field = s;
    s = {};
    return field;
  }
  auto field = s.substr(0, at);
  s.remove_prefix(at + 1);
  return field;
}

}  // namespace

bool isVowel(unsigned char c) {
  return in("AEIOUaeiou", c);
}
bool isLetter(unsigned char c) {
  return qr::isAsciiLetter(c);
}
bool isConsonant(unsigned char c) {
  return isLetter(c) && !isVowel(c);
}
bool isAccentMark(unsigned char c) {
  return in("\"'^`~", c);
}
bool isSeparator(unsigned char c) {
  return in(" !,.:;?", c);
}

std::string preMap(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c == 'W' || c == 'w') && hasLetterBeside(text, i)) {
      out += 'u';
    } else if ((c == 'Y' || c == 'y') && hasLetterBeside(text, i)) {
      out += 'i';
    } else if (c == '\'' && i > 0 && qr::asciiLower(text[i - 1]) == 'd') {
      // d'água: the apostrophe is not read
    } else if (c < 32 || (c >= 128 && kHighMap[c - 128].empty())) {
      out += ' ';
      out += kUnmapped;
      out += ' ';
    } else if (c >= 128) {
      out += kHighMap[c - 128];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string markStress(std::string word) {
  // The u of gü and qü is a glide, not a syllable: the stress is sought as
  // if it were a consonant (agüentar, tranqüilo, pingüim).
  std::string probe;
  std::vector<std::size_t> from;  // index in word of each probe letter
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (qr::asciiLower(word[i]) == 'u' && i > 0 && i + 1 < word.size() && word[i + 1] == '"' &&
        in("gq", qr::asciiLower(static_cast<unsigned char>(word[i - 1])))) {
      probe += 'w';
      from.push_back(i++);
      continue;
    }
    probe += word[i];
    from.push_back(i);
  }
  if (auto k = stressPosition(probe)) word[from[*k]] = qr::asciiUpper(word[from[*k]]);
  return word;
}

std::optional<Rule> parseRuleLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  bool missing = false;
  Rule r;
  r.left = trimmedField(takeField(line, '(', missing), kLeftMax);
  r.centre = trimmedField(takeField(line, ')', missing), kCentreMax);
  r.right = trimmedField(takeField(line, '=', missing), kRightMax);
  r.output = trimmedField(takeField(line, '|', missing), kOutputMax);
  if (r.centre.empty()) return std::nullopt;
  return r;
}

std::optional<Exception> parseExceptionLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  line = trimmedField(line, kExceptionLineMax);
  const auto eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  Exception e;
  e.word = line.substr(0, eq);
  auto rest = line.substr(eq + 1);
  e.pronunciation = rest.substr(0, rest.find('|'));
  return e;
}

bool ruleMatches(const Rule& rule, std::string_view word, std::size_t p) {
  const long n = static_cast<long>(word.size());
  auto ch = [&](long i) { return qr::asciiUpper(static_cast<unsigned char>(word[i])); };
  const auto& centre = rule.centre;
  if (p + centre.size() > word.size()) return false;
  for (std::size_t k = 0; k < centre.size(); ++k)
    if (ch(static_cast<long>(p + k)) != static_cast<unsigned char>(centre[k])) return false;

  long cur = static_cast<long>(p) - 1;
  for (std::size_t k = rule.left.size(); k-- > 0;) {
    const auto sym = static_cast<unsigned char>(rule.left[k]);
    switch (sym) {
      case '#': {
        const long from = cur;
        while (cur >= 0 && isVowelOrMark(ch(cur))) --cur;
        if (cur == from) return false;
        break;
      }
      case '%':
        if (cur >= 0) return false;
        break;
      case ']':
        if (cur >= 0 && isBackVowel(ch(cur)))
          cur -= 1;
        else if (cur >= 1 && isAccentMark(ch(cur)) && isBackVowel(ch(cur - 1)))
          cur -= 2;
        else
          return false;
        break;
      case '_':
        if (cur < 0) break;
        if (isVowel(ch(cur)))
          cur -= 1;
        else if (cur >= 1 && isAccentMark(ch(cur)) && isVowel(ch(cur - 1)))
          cur -= 2;
        else
          return false;
        break;
      case '|':
        if (cur >= 0 && in("NRS", ch(cur)))
          cur -= 1;
        else
          return false;
        break;
      default:
        if (cur >= 0 && ch(cur) == sym)
          cur -= 1;
        else
          return false;
    }
  }

  cur = static_cast<long>(p + centre.size());
  for (const char s : rule.right) {
    const auto sym = static_cast<unsigned char>(s);
    switch (sym) {
      case '#': {
        const long from = cur;
        while (cur < n && isVowelOrMark(ch(cur))) ++cur;
        if (cur == from) return false;
        break;
      }
      case '%':
        if (cur < n) return false;
        break;
      case '&':
        if (cur < n && in("LMNRZ", ch(cur)))
          cur += 1;
        else
          return false;
        break;
      case '*':
        if (!(cur < n && isConsonant(ch(cur)) && !in("RL", ch(cur)))) return false;
        break;
      case '+':
        if (!(cur < n && isFrontVowel(ch(cur)))) return false;
        cur += 1;
        if (cur < n && isAccentMark(ch(cur))) cur += 1;
        break;
      case '[':
        if (cur < n && !(isConsonant(ch(cur)) && ch(cur) != 'H')) return false;
        break;
      case '\\':
        if (cur < n && ch(cur) == 'S') cur += 1;
        break;
      case '!':
        // The centre begins on the stressed vowel (marked in upper case).
        if (!(word[p] >= 'A' && word[p] <= 'Z')) return false;
        break;
      default:
        if (cur < n && ch(cur) == sym)
          cur += 1;
        else
          return false;
    }
  }
  return true;
}

}  // namespace lts

namespace {
// One list per first character of the centre, codes 32 to 95.
using RuleLists = std::array<std::vector<lts::Rule>, 64>;
}  // namespace

struct Translator::Tables {
  RuleLists rules;
  std::vector<lts::Exception> exceptions;  // sorted by word
};

namespace {

constexpr unsigned char kFirstListed = 32, kLastListed = 95;

bool hasOwnStress(std::string_view w) {
  return std::any_of(w.begin(), w.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (lts::isAccentMark(u) && u != '"') ||
           std::string_view("AEIOU").find(c) != std::string_view::npos;
  });
}

// A directory opens as a stream on Linux but is no rule file.
bool isDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

const lts::Exception* findException(const std::vector<lts::Exception>& list, std::string_view w) {
  auto it =
      std::lower_bound(list.begin(), list.end(), w,
                       [](const lts::Exception& e, std::string_view key) { return e.word < key; });
  return (it != list.end() && it->word == w) ? &*it : nullptr;
}

// Appends the phonetic form of a word that went through exceptions and
// stress: spelled when it has nothing to read, otherwise rule by rule.
void appendPhonetic(const RuleLists& rules, const std::string& w, std::string& out) {
  const bool spell = w[0] == lts::kUnmapped || std::all_of(w.begin(), w.end(), [](char c) {
                       const auto u = static_cast<unsigned char>(c);
                       return lts::isConsonant(u) || lts::isSeparator(u);
                     });
  if (spell) {
    for (char c : w) {
      out += "[ /_";
      out += c;
      out += ']';
    }
    return;
  }

  out += '[';
  for (std::size_t p = 0; p < w.size();) {
    if (p > 0) out += '/';
    const auto c = static_cast<unsigned char>(qr::asciiUpper(w[p]));
    const lts::Rule* hit = nullptr;
    if (c >= kFirstListed && c <= kLastListed)
      for (const auto& r : rules[c - kFirstListed])
        if (lts::ruleMatches(r, w, p)) {
          hit = &r;
          break;
        }
    std::string unit = hit ? hit->output : std::string(" /_") + static_cast<char>(c);
    if (std::string_view("AEIOU").find(w[p]) != std::string_view::npos) {
      for (char& u : unit)
        if (lts::isVowel(static_cast<unsigned char>(u))) {
          u = qr::asciiUpper(u);
          break;
        }
    }
    out += unit;
    p += hit ? hit->centre.size() : 1;
  }
  out += ']';
}

}  // namespace

Translator::Translator() : t_(std::make_unique<Tables>()) {}
Translator::~Translator() = default;

bool Translator::loadTranslatorRules(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || isDirectory(path)) return false;
  for (auto& list : t_->rules) list.clear();
  std::string line;
  while (std::getline(in, line)) {
    auto rule = lts::parseRuleLine(line);
    if (!rule) continue;
    const auto first = static_cast<unsigned char>(rule->centre[0]);
    if (first < kFirstListed || first > kLastListed) continue;
    t_->rules[first - kFirstListed].push_back(std::move(*rule));
  }
  return true;
}

bool Translator::loadTranslatorExceptions(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || isDirectory(path)) return false;
  auto& list = t_->exceptions;
  list.clear();
  std::string line;
  while (list.size() < lts::kExceptionsMax && std::getline(in, line)) {
    if (auto e = lts::parseExceptionLine(line)) list.push_back(std::move(*e));
  }
  std::stable_sort(list.begin(), list.end(), [](const lts::Exception& a, const lts::Exception& b) {
    return a.word < b.word;
  });
  return true;
}

void Translator::unload() {
  for (auto& list : t_->rules) {
    list.clear();
    list.shrink_to_fit();
  }
  t_->exceptions.clear();
  t_->exceptions.shrink_to_fit();
}

std::string Translator::translateToPhonetic(std::string_view text) const {
  const std::string mapped = lts::preMap(text);
  std::string out;
  std::size_t i = 0;
  while (true) {
    while (i < mapped.size() && mapped[i] == ' ') ++i;
    if (i >= mapped.size()) break;

    std::string w;
    bool accented = false;
    if (lts::isLetter(static_cast<unsigned char>(mapped[i]))) {
      while (i < mapped.size() && (lts::isLetter(static_cast<unsigned char>(mapped[i])) ||
                                   lts::isAccentMark(static_cast<unsigned char>(mapped[i])))) {
        const char c = mapped[i++];
        if (lts::isAccentMark(static_cast<unsigned char>(c)) && c != '"') accented = true;
        w += qr::asciiLower(c);
      }
      // Exceptions, peeling a final s or m into a suffix until one is found.
      // A plural in -ns is also looked up as its singular in -m ("pinguins"
      // as "pinguim"), whose pronunciation then ends in -ns again.
      std::string stem = w, suffix;
      while (!stem.empty()) {
        if (const auto* e = findException(t_->exceptions, stem)) {
          w = e->pronunciation + suffix;
          break;
        }
        if (stem.size() > 2 && stem.ends_with("ns")) {
          const auto* e = findException(t_->exceptions, stem.substr(0, stem.size() - 2) + 'm');
          if (e && e->pronunciation.ends_with('m')) {
            w = e->pronunciation.substr(0, e->pronunciation.size() - 1) + "ns" + suffix;
            break;
          }
        }
        const char last = stem.back();
        if (last != 's' && last != 'm') break;
        suffix.insert(suffix.begin(), last);
        stem.pop_back();
      }
      // An exception that carries its own accent or stressed vowel keeps it.
      if (!accented && !hasOwnStress(w)) {
        const auto vowels = std::count_if(
            w.begin(), w.end(), [](char c) { return lts::isVowel(static_cast<unsigned char>(c)); });
        if (vowels >= 2 || (vowels == 1 && w.back() == 'l')) w = lts::markStress(std::move(w));
      }
    } else {
      w.assign(1, mapped[i++]);
    }
    if (w.empty()) continue;

    appendPhonetic(t_->rules, w, out);
  }
  return out;
}

}  // namespace speech
