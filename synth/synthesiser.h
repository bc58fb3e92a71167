// The diphone synthesiser behind the library's C entry points: phoneme
// lines in, 16-bit samples out, by pitch-synchronous overlap-add of diphones
// cut from one recording.
//
// Time runs in output samples from the start of the current utterance (the
// last flush or reset). Phone i occupies [start, end); the diphone of phones
// i and i+1 covers from a split point inside phone i to one inside phone
// i+1, each split placed in proportion to the two diphones' halves, and its
// two halves are stretched linearly onto those stretches. A grain (two
// pitch periods of the recording, Hann-windowed around a pitch mark) is
// added at every output pitch mark; in voiced parts the output marks follow
// the pitch targets, interpolated linearly between targets and held before
// the first and after the last; each period takes the pitch at its middle.
// Where the windows of overlapping grains sum to more than one (a pitch above
// the recording's), the output is divided by their sum. Samples are handed
// out as soon as no later grain can reach them and the pitch there is known.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "synth/dbFormat.h"

namespace synth {

// Error codes of lastError: 0 none, negative otherwise.
enum ErrorCode : int {
  kNoError = 0,
  kErrDatabase = -1,  // the database could not be opened or read
  kErrNotOpen = -2,   // no database is open
  kErrBadLine = -3,   // an input line could not be read
  kErrUnknown = -4,   // a phoneme or diphone the database lacks
  kErrArgument = -5,  // a bad argument to an entry point
};

struct PitchPoint {
  double pos = 0;  // percent of the phone
  double hz = 0;
};

// One input line, read.
struct PhoLine {
  enum class Kind { Empty, Phone, Flush } kind = Kind::Empty;
  std::string name;
  double ms = 0;
  std::vector<PitchPoint> pitch;
};
// Reads one line (without its line end): "name ms [pos hz]...", ";" starts a
// comment, "#" alone flushes. nullopt when the line is malformed.
[[nodiscard]] std::optional<PhoLine> parsePhoLine(std::string_view line);

class Synthesiser {
 public:
  // Opens the database file; false (with the error set) when it cannot be
  // read whole. rename and clone are "old new ..." pairs of phoneme names.
  bool open(const std::string& path, std::string_view rename = {}, std::string_view clone = {});
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // Takes input text (one or more lines); false when a line was refused.
  bool write(std::string_view text);
  // Ends the utterance: everything written becomes readable.
  bool flush();
  // Up to n output samples; 0 when nothing is ready; -1 on error.
  int read(int16_t* out, int n);
  void reset();

  int lastError() const { return error_; }
  const std::string& lastErrorText() const { return errorText_; }
  void setNoError(bool on) { noError_ = on; }
  bool noError() const { return noError_; }
  void setFrequency(int hz);
  int frequency() const { return outRate_; }
  void setVolume(float v) { volume_ = v; }
  float volume() const { return volume_; }
  // Line index of the database's description; nullopt past the last.
  std::optional<std::string> infoLine(int index) const;
  const Database* database() const { return db_.get(); }

  // Where each phone of the last flushed utterance began and ended, in
  // samples at the database rate from its start (for measurement).
  struct PhoneSpan {
    std::string name;
    int64_t start = 0, end = 0;
    double join = 0;              // where its two diphones meet
    int before = -1, after = -1;  // those diphones (-1: silence)
  };
  std::vector<PhoneSpan> phoneSpans() const;

  // Appends one phone; false (error set) when it makes an unknown diphone
  // and no-error mode is off.
  bool addPhone(const std::string& name, double ms, const std::vector<PitchPoint>& pitch);

 private:
  struct Phone {
    int id = -1;  // phoneme index, -1 when unknown
    std::string name;
    int64_t start = 0, end = 0;
  };
  void setError(int code, std::string text);
  int phonemeId(const std::string& name) const;
  int diphoneOf(int a, int b) const;
  void synthesise(bool final);
  void emit(int64_t upTo);
  std::optional<double> pitchAt(double t, bool final) const;
  void makeKernel();
  void startUtterance();

  std::unique_ptr<Database> db_;
  std::map<std::string, int> ids_;  // phoneme names (after renames and clones)
  std::vector<int> table_;          // diphone index by first * P + second, -1 none
  int error_ = kNoError;
  std::string errorText_;
  bool noError_ = false;
  float volume_ = 1.0f;
  int outRate_ = 16000;
  double period_ = 133;  // the recording's pitch period in samples

  // The utterance.
  std::vector<Phone> phones_;                       // [0] is a silent phone of no length
  std::vector<int> diphones_;                       // of phones k, k+1; -1 when silent
  std::vector<double> splits_;                      // split point inside phone k
  std::vector<std::pair<double, double>> targets_;  // (sample, Hz), by time
  double totalMs_ = 0;
  double nextMark_ = 0;        // where the next grain goes
  double voicedUntil_ = -1;    // a voiced grain's melody holds up to here
  size_t cursor_ = 0;          // diphone under nextMark_
  std::vector<float> acc_;     // output not yet final, from sample accBase_
  std::vector<float> weight_;  // the grains' windows summed over acc_
  int64_t accBase_ = 0;
  // Final samples at the database rate, then at the output rate.
  std::vector<int16_t> ready_;
  size_t readyAt_ = 0;
  double resamplePos_ = 0;
  std::vector<float> kernel_;  // the rate converter's low-pass, one side
  int kernelHalf_ = 0;         // its half length in database samples
  std::vector<int16_t> out_;
  size_t outAt_ = 0;
  bool flushed_ = false;
  std::vector<PhoneSpan> lastSpans_;
};

}  // namespace synth
