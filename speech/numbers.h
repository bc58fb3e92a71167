// Numbers in Portuguese words, and the recorded pieces that say them.
//
// Two families of readings live here. The recorded-piece family (numberWords,
// numberPieceNames, timeSteps, dateSteps, PieceJoiner) names the WAV pieces of
// the letters directory: words without accents except the scale words, piece
// names of at most 8 bytes, a feminine last word for hours. The engine family
// (cardinalWords, ordinalWords, readNumberToken, characterName, in tts/)
// gives the accented words of the built-in text-to-speech engine. The two
// word tables differ on purpose ("tres"/"três", "cinquenta"/"cinqüenta").
//
// All texts in and out are Windows-1252 bytes. Everything but PieceJoiner is
// a pure function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tts/numbers.h"

namespace speech {

// Words of n (only its last 15 decimal digits count), single spaces between
// words; a number ending in a scale word keeps that word's trailing space
// ("mil ", "dois milhões ").
[[nodiscard]] std::string numberWords(uint64_t n);

// Piece names ("_dois", "_milhao", "_dezeset", "_quatroc") of a text of number
// words; with feminine, a last "_um"/"_dois" becomes "_uma"/"_duas".
[[nodiscard]] std::vector<std::string> numberPieceNames(std::string_view words, bool feminine);

// The piece name of one word: "_" + word, "ã"/"õ" without tilde, "dezessete"
// shortened to "dezeset", cut to 8 bytes.
[[nodiscard]] std::string pieceNameOfWord(std::string_view word);

// One step of a time or date announcement: number words played as one joined
// sound, or a fixed piece played by name.
struct SpokenStep {
  enum class Kind { Number, Piece };
  Kind kind = Kind::Piece;
  std::string text;  // number words, or a piece name such as "_horas"
  bool feminine = false;
  bool operator==(const SpokenStep&) const = default;
};

[[nodiscard]] std::vector<SpokenStep> timeSteps(int hour, int minute);
// weekday 0 = Sunday, month 1-12, year in full.
[[nodiscard]] std::vector<SpokenStep> dateSteps(int weekday, int day, int month, int year);

// The fixed pieces the time and date announcements may ask for.
[[nodiscard]] std::vector<std::string> timeAndDatePieceNames();

// Joins piece files (8-bit mono 11,025 Hz, data from byte 44) into one sound
// of at most kCapacity bytes of samples; a full buffer is handed to the
// player and reused. Missing or header-only files add nothing; a piece larger
// than the buffer is played in parts.
class PieceJoiner {
 public:
  static constexpr size_t kCapacity = 30000;
  using Player = std::function<void(const std::vector<uint8_t>& image)>;

  explicit PieceJoiner(Player player);
  void addFile(const std::string& path);
  void addSamples(const uint8_t* data, size_t length);
  // Plays what the buffer holds, if anything.
  void flush();

 private:
  Player player_;
  std::vector<uint8_t> buffer_;
};

// The engine family lives with the engine; these names stay for the callers
// that read numbers and characters aloud from recorded pieces.
using tts::cardinalWords;
using tts::characterName;
using tts::ordinalWords;
using tts::readNumberToken;

}  // namespace speech
