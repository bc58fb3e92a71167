// The recorded voice: the program's own voice, made of recorded pieces
// (letters, number words, the environment's sounds) and the syllable-unit
// synthesiser for runs of letters. A text is first cut into the pieces a
// user hears (planSpeech, pure); speak() queues them and returns at once;
// pump() turns the next pieces into sound and hands them to the player
// without waiting, each piece after the one before has sounded, with the
// pauses after punctuation. A key waiting silences it (the pieces not yet
// started are dropped). Text is Windows-1252; directories end with "/".
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/wav.h"
#include "speech/voice.h"

namespace qr {
class EventLog;
}

namespace speech {

class Diphone;
class Pacing;
class Translator;
class WavPlayer;

// How a text is spoken, one step per piece, decided from the text alone.
struct SpeechStep {
  enum class Kind : uint8_t {
    Zero,         // a leading zero: "_zero"
    Number,       // value spoken as number words
    Spell,        // a run spelt character by character
    Words,        // a run of letters and blanks for the synthesiser
    Click,        // a long run of one symbol
    Punctuation,  // text: the mark and the character after it
    Minus,        // "-" before a digit: "_MENOS"
    Char,         // one character by its recorded name
  };
  Kind kind = Kind::Char;
  std::string text;
  long value = 0;
  bool operator==(const SpeechStep&) const = default;
};
[[nodiscard]] std::vector<SpeechStep> planSpeech(std::string_view text);

// The click of a long run of one symbol: a short burst of noise, then
// silence, as a WAV image.
[[nodiscard]] std::vector<uint8_t> clickImage();

// Where the recorded voice finds its letters and how long it pauses after
// punctuation, in milliseconds.
struct RecordedSettings {
  std::string lettersDir;
  int pauseFullStop = 250;
  int pauseComma = 150;
  int pauseColon = 200;
};

class RecordedVoice final : public Voice {
 public:
  // pacing: the key test (a key silences the voice); log: what is heard,
  // as the pieces start ("char N", "sound PATH", "image N", "click").
  RecordedVoice(Pacing& pacing, WavPlayer& player, Translator& translator, Diphone& diphone,
                qr::EventLog& log);
  ~RecordedVoice() override;
  RecordedVoice(const RecordedVoice&) = delete;
  RecordedVoice& operator=(const RecordedVoice&) = delete;

  [[nodiscard]] RecordedSettings& settings() { return settings_; }

  bool speak(std::string_view text) override;
  // strict: pieces still to start; otherwise also the sound still playing.
  bool busy(bool strict) override;
  void stop() override;
  void pump() override;
  // The player's news of played blocks moves the voice on.
  [[nodiscard]] int eventDescriptor() const override;
  [[nodiscard]] qr::Deadline nextPump() const override;

 private:
  // One piece ready to sound: the events logged as it starts, its samples
  // (none for a pause or a missing file) and a pause after it.
  struct Piece {
    std::vector<std::pair<std::string, std::string>> events;
    std::vector<uint8_t> image;  // a whole WAV image
    qr::WavImageInfo info{};
    bool unitSpeed = false;  // syllable units: already at the speed's pace
    bool plain = false;      // a click: never cut
    int pauseMs = 0;
  };
  using Clock = std::chrono::steady_clock;

  void expand(const SpeechStep& step);
  void addFile(const std::string& path, std::vector<std::pair<std::string, std::string>> events);
  void addImage(std::vector<uint8_t> image, bool unitSpeed, bool plain);
  void addChar(uint8_t c);
  void addPause(int ms);
  // Hands the started piece's samples to the player; false while the
  // device has no room.
  bool feed();

  Pacing& pacing_;
  WavPlayer& player_;
  Translator& translator_;
  Diphone& diphone_;
  qr::EventLog& log_;
  RecordedSettings settings_;
  std::deque<SpeechStep> steps_;
  std::deque<Piece> pieces_;
  bool started_ = false;          // pieces_.front() is sounding
  size_t fed_ = 0;                // its sample bytes handed over
  int pauseMs_ = 0;               // a pause to begin once the sound has ended
  Clock::time_point pauseEnd_{};  // the pause running ends here
};

}  // namespace speech
