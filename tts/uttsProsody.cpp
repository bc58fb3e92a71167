// Tagging, intonation patterns and the synthesiser input lines.
#include "tts/uttsProsody.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "base/cp1252.h"
#include "tts/dataFile.h"
#include "tts/letters.h"

namespace tts {
namespace {

constexpr int kNeutralFactor = 100;
constexpr int kStressFactor = 145;
constexpr int kFillerDuration = 50;
constexpr char kStressMark = '>';
constexpr char kUnstressMark = '\xA8';  // "¨"

std::optional<int> toInt(std::string_view s) {
  s = trimBlanks(s);
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// The lines of one section: from the line after its title to the next line
// that begins with "[", trimmed, without empty and comment lines. Nothing
// when the title is not in the file.
std::optional<std::vector<std::string_view>> sectionLines(const std::vector<std::string>& lines,
                                                          std::string_view title) {
  auto it = std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return trimBlanks(l) == title; });
  if (it == lines.end()) return std::nullopt;
  std::vector<std::string_view> out;
  for (++it; it != lines.end(); ++it) {
    const auto line = trimBlanks(*it);
    if (line.starts_with('[')) break;
    if (line.empty() || line.front() == '*' || line.front() == ';') continue;
    out.push_back(line);
  }
  return out;
}

// Letters, digits, "@", "_" and "~" make up phoneme names.
bool isPhonemeChar(unsigned char c) {
  return isAsciiLetter(c) || isDigit(c) || c == '@' || c == '_' || c == '~';
}

bool isTagLetter(unsigned char c) {
  return isLetter(c);
}

// The phonemes that carry the voice's melody: vowels, and the glides that
// close their syllables.
bool isVowelPhoneme(std::string_view name) {
  if (name.size() == 2 && name[1] == '~') name.remove_suffix(1);
  return name.size() == 1 && std::string_view("a6eEioOu").find(name[0]) != std::string_view::npos;
}
bool isGlidePhoneme(std::string_view name) {
  return name == "j" || name == "w" || name == "j~" || name == "w~";
}

// The phoneme name of a line of the letter-to-sound list, marks off.
std::string_view phonemeName(std::string_view line) {
  if (line.starts_with(kStressMark)) line.remove_prefix(1);
  if (line.starts_with(kUnstressMark)) line.remove_prefix(1);
  return line;
}

// Where a word's melody turns, as indices into the phoneme list: its
// stressed vowel (the last vowel when the word has no stress mark: a
// monosyllable such as "sim" or "não" still ends a sentence), its last
// vowel or glide, and whether the stressed syllable is the word's last.
struct WordMelody {
  std::size_t stressed = SIZE_MAX;
  std::size_t last = SIZE_MAX;
  bool endsStressed = false;
};

WordMelody melodyOf(const std::vector<std::string>& phonemes, std::size_t first) {
  WordMelody m;
  std::size_t marked = SIZE_MAX, lastVowel = SIZE_MAX;
  for (std::size_t i = first; i < phonemes.size() && !phonemes[i].empty(); ++i) {
    if (phonemes[i].starts_with(';')) break;
    const auto name = phonemeName(phonemes[i]);
    if (phonemes[i].starts_with(kStressMark) && marked == SIZE_MAX) marked = i;
    if (isVowelPhoneme(name)) lastVowel = i;
    if (isVowelPhoneme(name) || isGlidePhoneme(name)) m.last = i;
  }
  m.stressed = marked != SIZE_MAX ? marked : lastVowel != SIZE_MAX ? lastVowel : m.last;
  m.endsStressed = m.stressed != SIZE_MAX && (lastVowel == SIZE_MAX || lastVowel <= m.stressed);
  return m;
}

std::string classOfItem(std::string_view item) {
  return item.size() >= 3 ? std::string(item.substr(1, 2)) : std::string{};
}

}  // namespace

bool Prosody::LoadProsody(const std::string& path) {
  durations_.clear();
  durationIndex_.clear();
  classes_.clear();
  rules_.clear();
  hertz_ = kDefaultHertz;
  tabHertz_.fill(0);
  messages_.clear();
  auto fail = [&](std::string_view utf8, std::string_view line = {}) {
    messages_.push_back(qr::W(utf8) + std::string(line));
    return false;
  };
  const auto lines = readDataLines(path);
  if (!lines) return fail("Configuração da prosódia não foi achada");

  const auto duration = sectionLines(*lines, qr::W("[DURAÇÃO]"));
  if (!duration) return fail("Duração dos difones errada ou ausente");
  for (auto line : *duration) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
      return fail("Configuração da prosódia: fonema errado: ", line);
    std::string name(trimBlanks(line.substr(0, eq)).substr(0, 2));
    auto ms = toInt(line.substr(eq + 1));
    if (!ms) {
      fail("Configuração da prosódia: fonema errado: ", line);
      ms = 100;
    }
    durationIndex_.emplace(name, *ms);
    durations_.emplace_back(std::move(name), *ms);
  }

  const auto keys = sectionLines(*lines, qr::W("[CHAVES]"));
  if (!keys) return fail("Prosódia: palavras chaves ausentes");
  for (auto line : *keys) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return fail("Configuração da prosódia: chave errada: ", line);
    classes_.emplace_back(upperText(trimBlanks(line.substr(0, eq))),
                          upperText(trimBlanks(line.substr(eq + 1)).substr(0, 2)));
  }
  std::stable_sort(classes_.begin(), classes_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  const auto prosody = sectionLines(*lines, qr::W("[PROSÓDIA]"));
  if (!prosody) return fail("Prosódia: especificações ausentes");
  for (auto line : *prosody) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return fail("Configuração da prosódia: chave errada: ", line);
    const auto key = trimBlanks(line.substr(0, eq));
    const auto value = line.substr(eq + 1);
    if (upperText(key) == "HERTZ") {
      if (const auto hz = toInt(value))
        hertz_ = *hz;
      else
        fail("Configuração da prosódia: HERTZ errado: ", line);
    } else if (upperText(key) == "TABHERTZ") {
      std::array<int, 10> tab{};
      std::size_t count = 0, start = 0;
      bool good = true;
      while (good && start <= value.size()) {
        auto comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        const auto v = toInt(value.substr(start, comma - start));
        if (!v || count == tab.size())
          good = false;
        else
          tab[count++] = *v;
        start = comma + 1;
      }
      if (good && count == tab.size())
        tabHertz_ = tab;
      else
        fail("Configuração da prosódia: TABHERTZ errado: ", line);
    } else {
      IntonationRule r;
      std::string_view classes = key;
      std::array<std::string*, 3> parts{&r.previous, &r.current, &r.next};
      for (auto* part : parts) {
        const auto bar = classes.find('|');
        *part =
            upperText(trimBlanks(classes.substr(0, std::min(bar, classes.size()))).substr(0, 3));
        classes = bar == std::string_view::npos ? std::string_view{} : classes.substr(bar + 1);
      }
      r.pattern = trimBlanks(value);
      rules_.push_back(std::move(r));
    }
  }
  return true;
}

bool Prosody::LoadDiphones(const std::string& path) {
  diphones_.clear();
  const auto lines = readDataLines(path);
  if (!lines) return false;
  for (const auto& raw : *lines) {
    const auto line = trimBlanks(raw);
    if (line.empty() || line.front() == '!' || line.front() == '*' || line.front() == ';') continue;
    std::array<std::string, 2> names;
    std::size_t p = 0;
    for (auto& name : names) {
      while (p < line.size() && !isPhonemeChar(static_cast<unsigned char>(line[p]))) ++p;
      while (p < line.size() && isPhonemeChar(static_cast<unsigned char>(line[p])))
        name += line[p++];
    }
    if (names[1].empty()) {
      messages_.push_back(qr::W("Difones: linha errada: ") + std::string(line));
      continue;
    }
    diphones_.push_back(upperText(names[0] + "-" + names[1]));
  }
  std::sort(diphones_.begin(), diphones_.end());
  return true;
}

void Prosody::ReleaseDiphones() {
  diphones_.clear();
}

int Prosody::durationOf(std::string_view phoneme) const {
  const auto it = durationIndex_.find(std::string(phoneme));
  return it == durationIndex_.end() ? 100 : it->second;
}

std::string Prosody::classOf(std::string_view word) const {
  const std::string key = upperText(word);
  const auto it = std::lower_bound(classes_.begin(), classes_.end(), key,
                                   [](const auto& e, const std::string& k) { return e.first < k; });
  return it != classes_.end() && it->first == key ? it->second : std::string("XX");
}

bool Prosody::hasDiphone(std::string_view first, std::string_view second) const {
  const std::string key = upperText(std::string(first) + "-" + std::string(second));
  return std::binary_search(diphones_.begin(), diphones_.end(), key);
}

std::vector<std::string> Prosody::TagWords(std::string_view text) const {
  std::vector<std::string> items{"[--]"};
  std::size_t p = 0;
  const std::size_t n = text.size();
  while (true) {
    while (p < n && text[p] == ' ') ++p;
    if (p >= n) break;
    const auto c = static_cast<unsigned char>(text[p]);
    std::string token, cls;
    if (c == '.' && p + 1 < n && text[p + 1] == '.') {
      token = ".";
      cls = ".-";
      while (p < n && text[p] == '.') ++p;
    } else if (!isTagLetter(c)) {
      token = std::string(1, static_cast<char>(c));
      cls = std::string(2, static_cast<char>(c));
      ++p;
    } else {
      const std::size_t start = p;
      while (p < n && isTagLetter(static_cast<unsigned char>(text[p]))) ++p;
      token = std::string(text.substr(start, p - start));
      cls = classOf(token);
    }
    items.push_back("[" + cls + "]" + token);
    if (token[0] == '!' || token[0] == '.' || token[0] == '?') items.emplace_back("[--]");
  }
  return items;
}

std::vector<std::string> Prosody::AssignPatterns(const std::vector<std::string>& tagged) const {
  std::vector<std::size_t> live;
  for (std::size_t i = 0; i < tagged.size(); ++i)
    if (!tagged[i].empty()) live.push_back(i);
  std::vector<std::string> out;
  out.reserve(live.size());
  std::string previousPattern;
  for (std::size_t k = 0; k < live.size(); ++k) {
    const std::string& item = tagged[live[k]];
    const std::string prev = k > 0 ? classOfItem(tagged[live[k - 1]]) : std::string{};
    const std::string cur = classOfItem(item);
    const std::string next = k + 1 < live.size() ? classOfItem(tagged[live[k + 1]]) : std::string{};
    std::string pattern = "555";
    for (const auto& r : rules_) {
      if ((r.previous.empty() || r.previous == prev) && (r.current.empty() || r.current == cur) &&
          (r.next.empty() || r.next == next)) {
        pattern = r.pattern;
        break;
      }
    }
    if (!pattern.empty() && pattern[0] == '?')
      pattern[0] = previousPattern.size() >= 3 ? previousPattern[2] : '5';
    previousPattern = pattern;
    const auto close = item.find(']');
    out.push_back(pattern + "|" +
                  (close == std::string::npos ? std::string{} : item.substr(close + 1)));
  }
  return out;
}

std::vector<std::string> Prosody::MakeMbrolaLines(const std::vector<std::string>& phonemes,
                                                  double pitchFactor, double rateFactor) const {
  std::vector<std::string> out;
  out.reserve(phonemes.size() + 8);
  int factor = kNeutralFactor;
  std::string pattern = "555";
  int pitchState = 0;
  std::size_t wordLength = 0;
  std::size_t wordFirst = SIZE_MAX;
  WordMelody melody;
  std::string previous = "_";
  auto pitchOf = [&](char digit) -> int {
    if (digit < '0' || digit > '9') return 0;
    const int percent = tabHertz_[static_cast<std::size_t>(digit - '0')];
    if (percent == 0) return 0;
    return static_cast<int>(percent * pitchFactor * hertz_ / 100.0);
  };
  for (std::size_t i = 0; i < phonemes.size(); ++i) {
    std::string line = phonemes[i];
    if (line.starts_with(';')) {
      if (line.size() >= 5 && line[4] == '|') {
        pattern = line.substr(1, 3);
        line = ";" + line.substr(5);
        wordLength = line.size() - 1;
        pitchState = 0;
        wordFirst = i + 1;
        melody = melodyOf(phonemes, wordFirst);
      }
      out.push_back(std::move(line));
      continue;
    }
    if (line.empty()) {
      factor = kNeutralFactor;
      out.emplace_back();
      continue;
    }
    if (line.front() == kStressMark) {
      factor = kStressFactor;
      pitchState = 2;
      line.erase(0, 1);
      if (line.starts_with(kUnstressMark)) line.erase(0, 1);
    } else if (line.front() == kUnstressMark) {
      factor = kNeutralFactor;
      line.erase(0, 1);
    }
    if (line.empty()) continue;
    int ms;
    std::string name;
    if (line.front() == '_') {
      if (line.size() == 1)
        ms = 100;
      else if (line[1] == ' ')
        ms = toInt(line.substr(2)).value_or(100);
      else
        ms = durationOf(line);
      name = "_";
    } else {
      name = line;
      ms = durationOf(name);
      if (pitchState < 2) {
        if (wordLength > 12)
          ms = ms * 80 / 100;
        else if (wordLength > 8)
          ms = ms * 90 / 100;
      }
    }
    ms = static_cast<int>(ms * factor * rateFactor / 100.0);
    // The synthesiser refuses a phoneme of no length.
    if (ms < 1) ms = 1;
    std::string result = name + " " + std::to_string(ms);
    // The pattern's three digits: at the word's first phoneme, at its
    // stressed nucleus and at its last nucleus. The last movement of a
    // phrase (a statement falls, a yes/no question rises, a comma holds the
    // voice up) is heard on the stressed vowel and what follows it, so it
    // is placed there and never on the pause after the word: a word that
    // ends on its stressed vowel ("café", "amanhã", "sim") moves within
    // that vowel.
    // A vowel that ends an utterance fades out over its second half, so a
    // movement on a final stressed vowel is over by 70 % of it.
    auto digitOf = [&](std::size_t k) { return pattern.size() > k ? pattern[k] : '5'; };
    std::vector<std::pair<int, char>> targets;
    if (melody.stressed == SIZE_MAX) {
      // No vowel (a pause, a mark): the first digit, as any item.
      if (pitchState == 0) targets.emplace_back(50, digitOf(0));
    } else {
      if (i == wordFirst && i != melody.stressed) targets.emplace_back(50, digitOf(0));
      if (i == melody.stressed && melody.endsStressed) {
        targets.emplace_back(10, digitOf(1));
        targets.emplace_back(70, digitOf(2));
      } else if (i == melody.stressed) {
        targets.emplace_back(80, digitOf(1));
      } else if (i == melody.last && !melody.endsStressed) {
        const bool ends = i + 1 >= phonemes.size() || phonemes[i + 1].empty();
        targets.emplace_back(ends ? 50 : 100, digitOf(2));
      }
    }
    if (pitchState == 0) pitchState = 1;
    if (pitchState == 2) pitchState = 3;
    for (const auto& [position, digit] : targets) {
      const int hz = pitchOf(digit);
      // A pitch of no height is left out rather than refused.
      if (hz > 0) result += " " + std::to_string(position) + " " + std::to_string(hz);
    }
    if (!previous.empty() && !hasDiphone(previous, name)) {
      if (previous == "r2" && hasDiphone("r2", "_"))
        out.emplace_back("_ " + std::to_string(kFillerDuration));
      else if (hasDiphone(previous, "y"))
        out.emplace_back("y " + std::to_string(kFillerDuration));
      else
        out.emplace_back("_ " + std::to_string(kFillerDuration));
    }
    previous = name;
    out.push_back(std::move(result));
  }
  return out;
}

}  // namespace tts
