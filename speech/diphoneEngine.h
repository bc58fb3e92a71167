// The sound-making half of the syllable-unit synthesiser: the unit database
// (index in memory, data file open), the parameters of the current speed and
// the 64,000-byte output buffer that collects a WAV image. It hands each full
// image to a sink (the player, or a test's memory) and knows nothing of the
// console; speech::Diphone wraps it with configuration, translator and
// playback.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "speech/diphoneUnits.h"

namespace speech {

class DiphoneEngine {
 public:
  static constexpr size_t kBufferSize = 64000;
  static constexpr size_t kHeaderSize = 44;

  // Receives one complete WAV image; false stops the text (a key).
  using Sink = std::function<bool(const uint8_t* image, size_t length)>;

  DiphoneEngine();
  ~DiphoneEngine();
  DiphoneEngine(const DiphoneEngine&) = delete;
  DiphoneEngine& operator=(const DiphoneEngine&) = delete;

  // Reads dir + name + ".IND" whole and opens dir + name + ".DIF"; false
  // when either cannot be opened. dir ends with "/" or is empty.
  [[nodiscard]] bool openDatabase(const std::string& dir, std::string_view name);
  void closeDatabase();
  void setLettersDir(std::string dir) { lettersDir_ = std::move(dir); }
  void setParameters(int unitCut, int unitMinimum, int wordPause);

  // Speaks a phonetic text into the sink; returns when it is all handed over
  // or the sink asked to stop.
  void speak(std::string_view phonetic, int flag, const Sink& sink);

  [[nodiscard]] const std::vector<units::IndexRecord>& index() const { return index_; }
  [[nodiscard]] uint64_t dataSize() const { return dataSize_; }
  [[nodiscard]] int unitCut() const { return unitCut_; }

 private:
  void synthToken(std::string_view token);
  void playName(const units::NamePlay& play);
  void appendBytes(const uint8_t* data, size_t n);
  void appendSilence(int samples);
  void appendNoise();
  void appendUnit(size_t record, size_t bytes);
  void appendLetter(const std::string& name);
  void flush();

  std::vector<units::IndexRecord> index_;
  std::FILE* data_ = nullptr;
  uint64_t dataSize_ = 0;
  std::string lettersDir_;
  int unitCut_ = 400;
  int unitMinimum_ = 0;
  int wordPause_ = 100;

  std::vector<uint8_t> buffer_;
  size_t write_ = kHeaderSize;
  int stress_ = units::kStressBefore;
  bool stopped_ = false;
  const Sink* sink_ = nullptr;
  std::minstd_rand noise_{12345};
  std::vector<units::UnitString> strings_;
  std::vector<units::NamePlay> names_;
  std::vector<units::Piece> pieces_;
  std::vector<uint8_t> scratch_;
};

}  // namespace speech
