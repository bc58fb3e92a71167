// Text normalisation: one walk over the text appending speakable words.
#include "tts/uttsNormal.h"

#include <string>

#include "base/cp1252.h"
#include "tts/dataFile.h"
#include "tts/letters.h"
#include "tts/numbers.h"

namespace tts {
namespace {

constexpr std::string_view kKeptPunctuation = " !(),.:;?";

}  // namespace

bool Normaliser::loadAbbreviations(const std::string& path) {
  table_.clear();
  firstOfKey_.clear();
  messages_.clear();
  const auto lines = readDataLines(path);
  if (!lines) return false;
  for (const auto& raw : *lines) {
    const auto line = trimBlanks(raw);
    if (line.empty() || line.front() == ';') continue;
    const auto eq = line.find('=');
    Abbreviation a;
    if (eq == std::string_view::npos) {
      a.expansion = line;
      messages_.push_back(qr::W("Abreviaturas: linha sem \"=\": ") + std::string(line));
    } else {
      a.key = upperText(trimBlanks(line.substr(0, eq)));
      a.expansion = trimBlanks(line.substr(eq + 1));
      firstOfKey_.emplace(a.key, table_.size());
    }
    table_.push_back(std::move(a));
  }
  return true;
}

std::string Normaliser::findAbbreviation(std::string_view word) const {
  const auto key = upperText(word);
  if (key.empty()) return {};
  const auto it = firstOfKey_.find(key);
  return it == firstOfKey_.end() ? std::string{} : table_[it->second].expansion;
}

std::string Normaliser::normaliseText(std::string_view input) const {
  std::string named;
  if (input.size() == 1) {
    named = characterName(static_cast<uint8_t>(input[0]));
    input = named;
  }
  const std::string_view t = input;
  const std::size_t n = t.size();
  auto at = [&](std::size_t i) -> unsigned char {
    return i < n ? static_cast<unsigned char>(t[i]) : 0;
  };
  std::string out;
  out.reserve(n * 2);
  std::size_t p = 0;
  while (p < n) {
    const unsigned char c = at(p);
    if (p > 0 && c == '-' && at(p - 1) == ' ' && p + 1 < n && at(p + 1) == ' ') {
      out += ',';
      ++p;
    } else if (minusSignAt(t, p)) {
      out += "menos ";
      ++p;
    } else if (nameHyphenAt(t, p)) {
      out += qr::W(" traço ");
      ++p;
    } else if (const size_t address = isDigit(c) ? ipv4LengthAt(t, p) : 0) {
      // An address is four numbers, never one with thousands points.
      for (const size_t end = p + address; p < end; ++p) {
        if (at(p) == '.') {
          out += "ponto ";
          continue;
        }
        size_t digits = p;
        while (isDigit(at(digits))) ++digits;
        out += cardinalWords(std::stoull(std::string(t.substr(p, digits - p))));
        out += ' ';
        p = digits - 1;
      }
    } else if (isDigit(c)) {
      out += readNumberToken(t, p);
      out += ' ';
      while ((at(p) == ',' || at(p) == '.') && isDigit(at(p + 1))) {
        out += at(p) == ',' ? qr::W("vírgula ") : std::string("ponto ");
        ++p;
        out += readNumberToken(t, p);
        out += ' ';
      }
    } else if (isLetter(c)) {
      const std::size_t start = p;
      bool consonantsOnly = true;
      while (p < n && isLetter(at(p))) {
        consonantsOnly = consonantsOnly && isConsonant(at(p));
        ++p;
        // A hyphen joins the parts of a compound word, but not a word to a
        // number ("nota-138"): that one is read.
        if (at(p) == '-' && !nameHyphenAt(t, p)) ++p;
      }
      const std::string_view word = t.substr(start, p - start);
      // "nº", "Nª": a word written with an ordinal sign is looked up with it.
      if (at(p) == 0xBA || at(p) == 0xAA) {
        const auto expansion = findAbbreviation(std::string(word) + static_cast<char>(at(p)));
        if (!expansion.empty()) {
          out += expansion;
          ++p;
          if (at(p) == '.') ++p;
          continue;
        }
      }
      const bool point = at(p) == '.';
      std::string said(word);
      if (consonantsOnly && !(point && !findAbbreviation(word).empty())) {
        said.clear();
        for (unsigned char w : word) said += w == '-' ? qr::W("traço") : characterName(w);
      }
      if (point && at(p + 1) == ' ') {
        const auto expansion = findAbbreviation(word);
        if (!expansion.empty()) {
          out += expansion;
          ++p;
          continue;
        }
      }
      out += said;
    } else {
      if (t.substr(p).starts_with("...")) {
        out += "... ";
        p += 3;
        continue;
      }
      if (c == '.' && p + 1 < n && at(p + 1) != ' ') {
        out += " ponto ";
      } else if (inSet(kKeptPunctuation, c)) {
        out += static_cast<char>(c);
      } else if (c != '\t' && c != '\n' && c != '\r') {
        out += ' ';
        out += characterName(c);
        out += ' ';
      }
      ++p;
    }
  }
  return out;
}

}  // namespace tts
