// The diphone database file: one file holding every diphone of a voice, its
// samples, its pitch marks and a few lines of description. Written by the
// generator (tools/diphonedb) and read by the synthesiser library; this is
// the one reader and the one writer of the format.
//
// Layout, all numbers little-endian:
//
//   offset  size  field
//   0       8     magic "NVDIPH01"
//   8       4     sample rate in Hz (16000)
//   12      4     pitch the voice was recorded at, in hundredths of a Hz
//   16      2     margin: samples of the recording kept before and after
//                 every diphone in the sample block (context for the
//                 overlap-add windows at its edges)
//   18      2     P: number of phoneme names
//   20      ...   P names, each a length byte (1..15) and its bytes
//           4     D: number of diphones
//           D x 20  diphone records:
//                   1 index of the first phoneme, 1 index of the second,
//                   2 zero,
//                   4 first sample (into the sample block),
//                   4 sample count,
//                   4 boundary: sample (from the diphone's start) where the
//                     second phoneme begins,
//                   4 marks: bits 0..23 the first mark (into the mark
//                     block), bits 24..31 their count (at most 255, 2 s)
//           4     M: number of pitch marks
//           M x 4   marks: bits 0..30 the sample of the mark counted from its
//                   diphone's start, bit 31 set when the mark is voiced
//           4     N: number of samples
//           N x 2   the samples, signed 16-bit
//           4     T: length of the description text
//           T       the description: lines ended by LF (name, source, date
//                   of the generator's version, licence)
//           4     FNV-1a (32-bit) of every byte before it
//
// Marks of a diphone are increasing and lie inside it; every sample of a
// diphone is near one (unvoiced stretches are marked at the recording's
// period too).
//
// The reader checks every count against the file's length, every index and
// range, the marks' order and the checksum: a damaged or truncated file is
// refused, never half used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace synth {

inline constexpr char kDbMagic[9] = "NVDIPH01";

struct Mark {
  uint32_t at = 0;  // sample from the diphone's start
  bool voiced = false;
  bool operator==(const Mark&) const = default;
};

struct Diphone {
  uint8_t first = 0, second = 0;  // phoneme indexes
  uint32_t start = 0, count = 0;  // in the sample block
  uint32_t boundary = 0;          // where the second phoneme begins
  std::vector<Mark> marks;
  bool operator==(const Diphone&) const = default;
};

struct Database {
  uint32_t rate = 16000;
  double pitch = 120.0;  // Hz the voice was recorded at
  uint16_t margin = 0;   // context samples before and after each diphone
  std::vector<std::string> phonemes;
  std::vector<Diphone> diphones;
  std::vector<int16_t> samples;
  std::string info;
  bool operator==(const Database&) const = default;
};

// The file's bytes for a database; empty when it cannot be represented
// (a name too long, too many marks in one diphone, ...).
[[nodiscard]] std::vector<uint8_t> encodeDatabase(const Database& db);
// The database in a file's bytes; nullopt, with the reason in *why, when the
// bytes are not a whole, consistent database.
[[nodiscard]] std::optional<Database> decodeDatabase(const std::vector<uint8_t>& bytes,
                                                     std::string* why = nullptr);

}  // namespace synth
