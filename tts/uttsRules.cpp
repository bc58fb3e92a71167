// Letter-to-sound conversion: exceptions, stress, rewrite rules and sandhi.
#include "tts/uttsRules.h"

#include <algorithm>

#include "base/cp1252.h"
#include "tts/dataFile.h"
#include "tts/letters.h"
#include "tts/stress.h"

namespace tts {
namespace {

// Character classes of the context symbols (upper-cased words; lower-case
// members kept for rules written in lower case).
constexpr std::string_view kVowels =
    "AEIOUaeiou\xC0\xC1\xC2\xC3\xC9\xCA\xCC\xCD\xD3\xD4\xD5\xD9\xDA\xDC"
    "\xE0\xE1\xE2\xE3\xE9\xEA\xEC\xED\xF3\xF4\xF5\xF9\xFA\xFC";
constexpr std::string_view kFrontVowels = "EIei\xC9\xCD\xE9\xED";
constexpr std::string_view kLiquidsNasals = "LMNRZlmnrz";
constexpr std::string_view kOpenVowels = "AOao\xC1\xC2\xD3\xD4\xE1\xE2\xF3\xF4";
constexpr std::string_view kNRS = "NRSnrs";
constexpr std::string_view kStressAccents = "\xE0\xE1\xE2\xE3\xE9\xEA\xED\xF3\xF4\xF5\xFA";
constexpr std::string_view kPlainVowels = "aeiouwy\xFC";
constexpr std::string_view kPunctuationItems = " !(),.:;?";
// First letters of a phoneme that begins with a vowel sound (the sandhi).
constexpr std::string_view kVowelPhonemeStarts = "aeiouwy6EOj";
constexpr char kStressMark = '>';
constexpr char kUnstressMark = '\xA8';  // "¨"

// Where a match begins with respect to the stressed letter.
enum class StressPlace { None, Before, At, After };

bool isVowelChar(unsigned char c) {
  return inSet(kVowels, c);
}

// Cuts s at the first delimiter; a missing one takes the rest and leaves the
// following pieces empty.
std::string_view takePiece(std::string_view& s, char delimiter, bool& missing) {
  if (missing) return {};
  const auto at = s.find(delimiter);
  if (at == std::string_view::npos) {
    missing = true;
    auto piece = s;
    s = {};
    return piece;
  }
  auto piece = s.substr(0, at);
  s.remove_prefix(at + 1);
  return piece;
}

std::string cut(std::string_view s, std::size_t max, bool& complete) {
  if (s.size() > max) complete = false;
  return std::string(s.substr(0, max));
}

bool rightContextMatches(std::string_view ctx, std::string_view w, std::size_t cur,
                         StressPlace place) {
  const std::size_t n = w.size();
  for (unsigned char sym : ctx) {
    const unsigned char c = cur < n ? static_cast<unsigned char>(w[cur]) : 0;
    switch (sym) {
      case '\'':
        if (place != StressPlace::At) return false;
        break;
      case '!':
        if (place == StressPlace::At) return false;
        break;
      case '^':
        if (place != StressPlace::After) return false;
        break;
      case '#':
        if (cur >= n || !isVowelChar(c)) return false;
        ++cur;
        break;
      case '%':
        if (cur < n) return false;
        break;
      case '&':
        if (cur >= n || !inSet(kLiquidsNasals, c)) return false;
        ++cur;
        break;
      case '*':
        if (cur >= n || !isConsonant(c) || c == 'L' || c == 'R') return false;
        break;
      case '+':
        if (cur >= n || !inSet(kFrontVowels, c)) return false;
        ++cur;
        break;
      case '[':
        if (cur < n && (!isConsonant(c) || c == 'H')) return false;
        break;
      case '\\':
        if (cur < n && c == 'S') ++cur;
        break;
      default:
        if (cur >= n || c != toUpper(sym)) return false;
        ++cur;
    }
  }
  return true;
}

// cur is one past the character under the cursor (0: before the word).
bool leftContextMatches(std::string_view ctx, std::string_view w, std::size_t cur,
                        StressPlace place) {
  for (std::size_t k = ctx.size(); k-- > 0;) {
    const auto sym = static_cast<unsigned char>(ctx[k]);
    const unsigned char c = cur > 0 ? static_cast<unsigned char>(w[cur - 1]) : 0;
    switch (sym) {
      case '\'':
        if (place != StressPlace::At) return false;
        break;
      case '!':
        if (place == StressPlace::At) return false;
        break;
      case '^':
        if (place != StressPlace::After) return false;
        break;
      case '#':
        if (cur == 0 || !isVowelChar(c)) return false;
        --cur;
        break;
      case '%':
        if (cur != 0) return false;
        break;
      case ']':
        if (cur == 0 || !inSet(kOpenVowels, c)) return false;
        --cur;
        break;
      case '_':
        if (cur == 0) break;
        if (!isVowelChar(c)) return false;
        --cur;
        break;
      case '|':
        if (cur == 0 || !inSet(kNRS, c)) return false;
        --cur;
        break;
      default:
        if (cur == 0 || c != toUpper(sym)) return false;
        --cur;
    }
  }
  return true;
}

bool startsWithVowelPhoneme(std::string_view line) {
  while (!line.empty() && (line.front() == kUnstressMark || line.front() == kStressMark))
    line.remove_prefix(1);
  return !line.empty() && inSet(kVowelPhonemeStarts, static_cast<unsigned char>(line.front()));
}

}  // namespace

std::optional<ParsedRule> parseRewriteRule(std::string_view line) {
  if (line.empty() || line.front() == ';') return std::nullopt;
  bool missing = false;
  ParsedRule p;
  p.rule.left = cut(takePiece(line, '(', missing), kContextMax, p.complete);
  const bool noOpen = missing;
  p.rule.match = cut(takePiece(line, ')', missing), kMatchMax, p.complete);
  p.rule.right = cut(takePiece(line, '=', missing), kContextMax, p.complete);
  const bool noEquals = missing;
  p.rule.output = cut(takePiece(line, '|', missing), kRuleOutputMax, p.complete);
  if (noOpen || noEquals) p.complete = false;
  if (p.rule.match.empty()) return std::nullopt;
  return p;
}

bool ruleFires(const RewriteRule& rule, std::string_view w, std::size_t p, std::size_t stress) {
  const StressPlace place = stress == 0       ? StressPlace::None
                            : p + 1 < stress  ? StressPlace::Before
                            : p + 1 == stress ? StressPlace::At
                                              : StressPlace::After;
  const auto& m = rule.match;
  if (p + m.size() > w.size()) return false;
  for (std::size_t k = 0; k < m.size(); ++k)
    if (static_cast<unsigned char>(w[p + k]) != toUpper(static_cast<unsigned char>(m[k])))
      return false;
  return leftContextMatches(rule.left, w, p, place) &&
         rightContextMatches(rule.right, w, p + m.size(), place);
}

std::size_t stressPositionOf(std::string_view upperWord) {
  if (upperWord.size() <= 2) return 0;
  for (std::string_view none : {"POR", "DAS", "DOS", "COM", "N\xC3O", "SIM"})
    if (upperWord == none) return 0;
  const std::string w = lowerText(upperWord);
  // An acute or circumflex accent outweighs a tilde (órgão, bênção, órfã);
  // otherwise the last accented vowel carries the stress.
  std::size_t tilde = 0;
  for (std::size_t k = w.size(); k-- > 0;) {
    const auto c = static_cast<unsigned char>(w[k]);
    if (!inSet(kStressAccents, c)) continue;
    if (c != 0xE3 && c != 0xF5) return k + 1;
    if (tilde == 0) tilde = k + 1;
  }
  if (tilde != 0) return tilde;
  if (std::none_of(w.begin(), w.end(),
                   [](char c) { return inSet(kPlainVowels, static_cast<unsigned char>(c)); }))
    return 0;
  // The automaton reads plain letters: ç, ñ and ü stand in for c, n and u.
  std::string plain = w;
  for (auto& c : plain) {
    if (c == '\xE7') c = 'c';
    if (c == '\xF1') c = 'n';
    if (c == '\xFC') c = 'u';
  }
  const auto k = stressPosition(plain);
  return k ? *k + 1 : 0;
}

void applySandhi(std::vector<std::string>& lines) {
  for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
    if (lines[i].empty() || lines[i].front() != ';') continue;
    if (!startsWithVowelPhoneme(lines[i + 1])) continue;
    std::string& last = lines[i - 2];
    const std::size_t mark = last.starts_with(kStressMark) ? 1 : 0;
    const std::string_view ph = std::string_view(last).substr(mark);
    if (ph == "r2")
      last = last.substr(0, mark) + "r";
    else if (ph == "s2")
      last = last.substr(0, mark) + "z";
  }
}

bool LetterToSound::loadRules(const std::string& path) {
  releaseRules();
  messages_.clear();
  const auto lines = readDataLines(path);
  if (!lines) return false;
  for (const auto& line : *lines) {
    if (line.empty() || line.front() == ';') continue;
    const auto parsed = parseRewriteRule(line);
    if (!parsed) {
      messages_.push_back(qr::W("Regras: linha sem letras a trocar: ") + line);
      continue;
    }
    if (!parsed->complete) messages_.push_back(qr::W("Regras: linha errada: ") + line);
    chains_[static_cast<unsigned char>(toUpper(static_cast<unsigned char>(parsed->rule.match[0])))]
        .push_back(parsed->rule);
  }
  return true;
}

bool LetterToSound::loadExceptions(const std::string& path) {
  exceptions_.clear();
  const auto lines = readDataLines(path);
  if (!lines) return false;
  for (const auto& raw : *lines) {
    const std::string line = upperText(std::string_view(raw).substr(0, kExceptionLineMax));
    if (line.empty() || line.front() == ';') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) {
      messages_.push_back(qr::W("Exceções: linha errada: ") + line);
      if (eq == std::string::npos) continue;
    }
    std::string replacement = line.substr(eq + 1);
    replacement = replacement.substr(0, replacement.find('|'));
    exceptions_.emplace_back(line.substr(0, eq), std::move(replacement));
  }
  std::stable_sort(exceptions_.begin(), exceptions_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return true;
}

void LetterToSound::releaseRules() {
  for (auto& chain : chains_) chain.clear();
}

std::size_t LetterToSound::ruleCount() const {
  std::size_t n = 0;
  for (const auto& chain : chains_) n += chain.size();
  return n;
}

std::string LetterToSound::applyExceptions(const std::string& word) const {
  std::string w = word, removed;
  while (!w.empty()) {
    const auto it =
        std::lower_bound(exceptions_.begin(), exceptions_.end(), w,
                         [](const auto& e, const std::string& k) { return e.first < k; });
    if (it != exceptions_.end() && it->first == w) return it->second + removed;
    if (w.back() != 'S' && w.back() != 'M') break;
    removed.insert(removed.begin(), w.back());
    w.pop_back();
  }
  return word;
}

void LetterToSound::convertWord(std::string_view word, std::vector<std::string>& out) const {
  const std::string w = applyExceptions(upperText(word));
  const std::size_t stress = stressPositionOf(w);
  bool marked = false;
  std::string pending;
  auto emit = [&](std::string_view output, std::size_t pos) {
    output = output.substr(0, std::min(output.size(), kEmittedOutputMax));
    for (char ch : output) {
      if (!marked && stress != 0 && pos + 1 >= stress) {
        pending += kStressMark;
        marked = true;
      }
      if (ch == '&') {
        if (!pending.empty()) out.push_back(std::move(pending));
        pending.clear();
      } else {
        pending += ch;
      }
    }
    if (!output.empty() && !pending.empty()) {
      out.push_back(std::move(pending));
      pending.clear();
    }
  };
  std::size_t pos = 0;
  while (pos < w.size()) {
    const auto c = static_cast<unsigned char>(w[pos]);
    const RewriteRule* fired = nullptr;
    if (c >= 32)
      for (const auto& rule : chains_[c])
        if (ruleFires(rule, w, pos, stress)) {
          fired = &rule;
          break;
        }
    if (!fired) {
      ++pos;
      continue;
    }
    emit(fired->output, pos);
    pos += fired->match.size();
  }
  out.push_back(std::move(pending));
}

std::vector<std::string> LetterToSound::wordsToPhonemes(
    const std::vector<std::string>& items) const {
  std::vector<std::string> out;
  out.reserve(items.size() * 8);
  for (const auto& item : items) {
    out.push_back(";" + item);
    const std::string_view word = item.size() > 4 ? std::string_view(item).substr(4) : "";
    if (word.empty()) {
      out.emplace_back("__");
      out.emplace_back();
    } else if (inSet(kPunctuationItems, static_cast<unsigned char>(word.front()))) {
      if (word.front() != ' ') out.push_back(std::string("_") + word.front());
    } else {
      convertWord(word, out);
    }
  }
  out.emplace_back("__");
  applySandhi(out);
  return out;
}

}  // namespace tts
