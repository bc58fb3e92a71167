// Pure parts of the syllable-unit synthesiser, shared by the synthesiser, the
// unit database generator (tools/unitdb) and the tests: the character classes
// of the phonetic text, the token reader, the splitting of a token into unit
// strings and of a unit string into unit names, the resolution of a name
// against the index with the fallbacks for missing units, the 15-byte index
// records and their bisection, and the WAV layout of the letter recordings.
//
// Phonetic text is Windows-1252 bytes as written by the translator:
// "[kA/za] [ /_k]". Positions are 0-based here. Unit names are "$" followed
// by the unit's characters (looked up upper-cased) or "_" followed by a
// character code (a recorded letter).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/wav.h"

namespace speech::units {

inline constexpr size_t kRecordSize = 15;
inline constexpr size_t kMaxNameLength = 8;
inline constexpr size_t kMaxTokenLength = 40;
inline constexpr size_t kMaxUnitString = 12;
inline constexpr int kNoiseSamples = 300;
inline constexpr uint8_t kNoiseLow = 88;
inline constexpr uint8_t kNoiseHigh = 167;
inline constexpr uint32_t kSampleRate = 11025;

// Stress modes: before the stressed unit of a word, while building a unit
// with a stressed vowel, after it.
inline constexpr int kStressBefore = 1;
inline constexpr int kStressIn = 2;
inline constexpr int kStressAfter = 0;

[[nodiscard]] bool isVowel(char c);
[[nodiscard]] bool isConsonant(char c);
[[nodiscard]] bool isGlide(char c);
[[nodiscard]] bool isAccentMark(char c);
[[nodiscard]] bool isStressedVowel(char c);

// Pause in samples for a punctuation character ("." "," ";" ":"), else 0.
[[nodiscard]] int punctuationPause(char c);

struct Token {
  std::string text;
  int pauseSamples = 0;    // a punctuation token turned into a pause
  bool wordStart = false;  // a "[" was skipped: stress mode starts again
  char closedBy = 0;       // ' ', ']', '/' or 0 at the end of the text
};

// Reads the token at pos and moves pos past it. flag non-zero keeps
// punctuation tokens as tokens instead of pauses.
[[nodiscard]] Token readToken(std::string_view text, size_t& pos, int flag);

struct UnitString {
  std::string text;
  double factor = 1.0;
  bool operator==(const UnitString&) const = default;
};

// Splits a token into the unit strings it is played as: consonant clusters,
// final consonants, "rr", glides and final "s" are split off.
void splitToken(std::string_view token, double factor, std::vector<UnitString>& out);
[[nodiscard]] std::vector<UnitString> splitToken(std::string_view token, double factor = 1.0);

struct NamePlay {
  std::string name;
  int stress = kStressBefore;
  double factor = 1.0;
  bool operator==(const NamePlay&) const = default;
};

// Turns a unit string into the unit names it plays ("^" -> "CIRC", "~" ->
// "TIL"), updating the stress mode as the unit string is played.
void unitNames(std::string_view unit, double factor, int& stress, std::vector<NamePlay>& out);

// One record of the ".IND" file.
struct IndexRecord {
  std::string name;  // upper case, at most 8 characters
  uint16_t length = 0;
  uint32_t offset = 0;
  bool operator==(const IndexRecord&) const = default;
};

// Parses an index image; a trailing partial record is ignored, a name length
// above 8 counts as 8.
[[nodiscard]] std::vector<IndexRecord> parseIndex(std::span<const uint8_t> bytes);
void encodeRecord(const IndexRecord& record, uint8_t* out15);
// Byte-wise order of the index, a shorter name before a longer one it begins.
[[nodiscard]] bool nameLess(std::string_view a, std::string_view b);
// Bisection over records sorted by nameLess; the name is compared as given.
[[nodiscard]] std::optional<size_t> findUnit(const std::vector<IndexRecord>& records,
                                             std::string_view name);
[[nodiscard]] std::string upperName(std::string_view name);

// Bytes of a found unit to play: the unit cut shortens units outside the
// stressed one, not below the unit minimum; then the factor.
[[nodiscard]] size_t unitBytes(uint32_t recordLength, int stress, size_t nameLength, int unitCut,
                               int unitMinimum, double factor);

// Samples over which a unit cut short fades to silence (5 ms).
inline constexpr size_t kCutFadeSamples = 55;
// Fades the end of 8-bit unsigned samples linearly to silence (128) over
// kCutFadeSamples, or over half of them when they are fewer.
void fadeOut(uint8_t* samples, size_t n);

// What playing a name comes to.
struct Piece {
  enum class Kind { Letter, Unit, Noise };
  Kind kind = Kind::Unit;
  std::string name;   // Letter: "_" + code; Unit: the name as played
  size_t record = 0;  // Unit: index of the record found
  int stress = 0;
  double factor = 1.0;
  bool operator==(const Piece&) const = default;
};

// Looks an upper-cased name up; the record's number when found.
using UnitLookup = std::function<std::optional<size_t>(std::string_view upper)>;

// Resolves a unit name against the index, with the fallbacks for missing
// units: short names become noise, longer ones are split.
void resolveName(std::string_view name, int stress, double factor, const UnitLookup& lookup,
                 std::vector<Piece>& out);

// Walks a phonetic text as the synthesiser plays it (tokens, unit strings,
// unit names, fallbacks) without sound, handing every unit name with the
// pieces it resolves to. For the database generator and the coverage figures.
using PieceVisitor = std::function<void(const NamePlay& name, const std::vector<Piece>& pieces)>;
void forEachResolvedName(std::string_view phonetic, const UnitLookup& lookup,
                         const PieceVisitor& visit);

// The format and samples of a WAV image: "RIFF", "fmt " at byte 12, the first
// "data" chunk (chunk names without regard to case). A data chunk that runs
// past the image is cut at its end.
struct WavView {
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint16_t bits = 0;
  std::span<const uint8_t> data;
};
[[nodiscard]] std::optional<WavView> parseWav(std::span<const uint8_t> image);
using qr::writeWavHeader;  // the canonical 44-byte header
// Converts samples to 8-bit unsigned mono at 11,025 Hz (letters recorded in
// another format would otherwise be played as noise).
[[nodiscard]] std::vector<uint8_t> toUnitFormat(const WavView& wav);

}  // namespace speech::units
