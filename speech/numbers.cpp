// Portuguese number words, piece names, time and date steps and the piece
// joiner. Tables are UTF-8 source text converted to Windows-1252 where a
// result is made.
#include "speech/numbers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "base/cp1252.h"
#include "base/wav.h"
#include "tts/numbers.h"

namespace speech {
namespace {

// Recorded pieces: no accents in the digit words.
constexpr tts::CardinalTables kPieceTables{
    {"zero", "um", "dois", "tres", "quatro", "cinco", "seis", "sete", "oito", "nove"},
    {"dez", "onze", "doze", "treze", "quatorze", "quinze", "dezesseis", "dezessete", "dezoito",
     "dezenove"},
    {"", "", "vinte", "trinta", "quarenta", "cinquenta", "sessenta", "setenta", "oitenta",
     "noventa"},
    {"", "cento", "duzentos", "trezentos", "quatrocentos", "quinhentos", "seiscentos", "setecentos",
     "oitocentos", "novecentos"},
};

constexpr std::array<std::string_view, 7> kWeekdays{"Domingo", "Segunda", "Terca", "Quarta",
                                                    "Quinta",  "Sexta",   "Sabado"};
constexpr std::array<std::string_view, 12> kMonths{"Janeiro",  "Fevereiro", "Marco",    "Abril",
                                                   "Maio",     "Junho",     "Julho",    "Agosto",
                                                   "Setembro", "Outubro",   "Novembro", "Dezembro"};

void appendStep(std::vector<SpokenStep>& steps, SpokenStep::Kind kind, std::string text,
                bool feminine = false) {
  steps.push_back({kind, std::move(text), feminine});
}

}  // namespace

std::string numberWords(uint64_t n) {
  return qr::W(tts::spellCardinal(n, kPieceTables));
}

std::string pieceNameOfWord(std::string_view word) {
  std::string w;
  for (char c : word) {
    const auto b = static_cast<uint8_t>(c);
    w += b == 0xE3 ? 'a' : b == 0xF5 ? 'o' : c;
  }
  if (w == "dezessete") w = "dezeset";
  std::string name = "_" + w;
  if (name.size() > 8) name.resize(8);
  return name;
}

std::vector<std::string> numberPieceNames(std::string_view words, bool feminine) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < words.size()) {
    if (words[i] == ' ') {
      ++i;
      continue;
    }
    size_t end = words.find(' ', i);
    if (end == std::string_view::npos) end = words.size();
    names.push_back(pieceNameOfWord(words.substr(i, end - i)));
    i = end;
  }
  if (feminine && !names.empty()) {
    if (names.back() == "_um")
      names.back() = "_uma";
    else if (names.back() == "_dois")
      names.back() = "_duas";
  }
  return names;
}

std::vector<SpokenStep> timeSteps(int hour, int minute) {
  using K = SpokenStep::Kind;
  std::vector<SpokenStep> steps;
  appendStep(steps, K::Number, numberWords(static_cast<uint64_t>(hour)), true);
  appendStep(steps, K::Piece, hour < 2 ? "_hora" : "_horas");
  if (minute != 0) {
    appendStep(steps, K::Number, numberWords(static_cast<uint64_t>(minute)));
    appendStep(steps, K::Piece, minute < 2 ? "_minuto" : "_minutos");
  }
  return steps;
}

std::vector<SpokenStep> dateSteps(int weekday, int day, int month, int year) {
  using K = SpokenStep::Kind;
  std::vector<SpokenStep> steps;
  appendStep(steps, K::Piece, "_" + std::string(kWeekdays[static_cast<size_t>(weekday) % 7]));
  if (day == 1)
    appendStep(steps, K::Piece, "_primeir");
  else
    appendStep(steps, K::Number, numberWords(static_cast<uint64_t>(day)));
  appendStep(steps, K::Piece, "_de");
  const auto monthName = kMonths[static_cast<size_t>((month + 11) % 12)];
  appendStep(steps, K::Piece, "_" + std::string(monthName.substr(0, 7)));
  appendStep(steps, K::Piece, "_de");
  if (year >= 2100) {
    // "dois mil" + "e" + the last two digits would drop the hundreds.
    appendStep(steps, K::Number, numberWords(static_cast<uint64_t>(year)));
    return steps;
  }
  if (year >= 2000) appendStep(steps, K::Number, numberWords(2000));
  if (year > 2000) appendStep(steps, K::Piece, "_e");
  if (year % 100 != 0) appendStep(steps, K::Number, numberWords(static_cast<uint64_t>(year % 100)));
  return steps;
}

std::vector<std::string> timeAndDatePieceNames() {
  std::vector<std::string> names{"_hora", "_horas", "_minuto", "_minutos", "_primeir", "_de", "_e"};
  for (auto d : kWeekdays) names.push_back("_" + std::string(d));
  for (auto m : kMonths) names.push_back("_" + std::string(m.substr(0, 7)));
  return names;
}

PieceJoiner::PieceJoiner(Player player) : player_(std::move(player)) {
  buffer_.reserve(kCapacity);
}

void PieceJoiner::addFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return;
  std::vector<uint8_t> data;
  uint8_t block[8192];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, f.get())) > 0)
    data.insert(data.end(), block, block + got);
  if (data.size() <= 44) return;
  addSamples(data.data() + 44, data.size() - 44);
}

void PieceJoiner::addSamples(const uint8_t* data, size_t length) {
  if (buffer_.size() + length > kCapacity) flush();
  while (length > kCapacity) {
    buffer_.assign(data, data + kCapacity);
    flush();
    data += kCapacity;
    length -= kCapacity;
  }
  buffer_.insert(buffer_.end(), data, data + length);
}

void PieceJoiner::flush() {
  if (buffer_.empty()) return;
  const auto image = qr::makeWavImage(buffer_.data(), buffer_.size(), 11025, 1, 8);
  buffer_.clear();
  player_(image);
}

}  // namespace speech
