// The syllable-unit (diphone) synthesiser: joins recorded units from the
// DIFONESn database into speech for a phonetic text. The program's default
// voice.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace speech {

class Pacing;
class Translator;
class WavPlayer;

class Diphone {
 public:
  Diphone(Pacing& pacing, WavPlayer& player, Translator& translator);
  ~Diphone();
  Diphone(const Diphone&) = delete;
  Diphone& operator=(const Diphone&) = delete;

  // Opens the database in databaseDir and the recorded letters in
  // lettersDir. 0 started; 1 a directory or database file cannot be opened;
  // 2 the rule or exception file cannot be loaded.
  [[nodiscard]] int diphoneStart(const std::string& lettersDir, const std::string& databaseDir);
  // Speaks a phonetic text; returns when the sound has ended (or a key).
  // flag non-zero: punctuation tokens are not turned into pauses.
  void diphoneSpeak(std::string_view phonetic, int flag = 0);
  // Synthesises a phonetic text into complete WAV images for sink without
  // playing them (nothing before diphoneStart). The units of each speed are
  // already at its pace.
  using ImageSink = std::function<void(const uint8_t* image, size_t length)>;
  void diphoneSynth(std::string_view phonetic, int flag, const ImageSink& sink);
  void diphoneStop();
  // Joining parameters of the current speed (CORTEFON, SOBRAFON, INTERPAL)
  // and the database name ("DIFONES" n).
  void setParameters(int cut, int extra, int interWordPause);
  void setDatabase(std::string_view name);
  // The letters directory found by diphoneStart (ends with "/").
  [[nodiscard]] const std::string& lettersDirectory() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace speech
