// qrwin, the spoken-interaction layer: the one road by which the program
// writes and speaks. A text is handed to the active voice: a configured
// system voice, else the recorded voice (digits and numbers from recorded
// number words, single characters from letter sounds, words through the
// syllable-unit synthesiser). Any key silences speech. Also holds the
// speech start-up of the environment.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "speech/recordedVoice.h"

namespace speech {
class WavPlayer;
class Diphone;
class Translator;
class Dispatcher;
}  // namespace speech

namespace qr {

class Console;
class Config;
class Launcher;

// Speech settings kept after start-up.
struct SpeechSettings {
  int speed = 3;
  std::string databaseName;  // "DIFONES" n
  int pauseFullStop = 250;
  int pauseComma = 150;
  int pauseColon = 200;
  std::string soundDir;    // ends with "/" when not empty
  std::string lettersDir;  // ends with "/" when not empty
  bool sapi = false;
  int synthKind = 4;
};

// How the recorded voice cuts a text into the pieces a user hears.
using speech::planSpeech;
using speech::SpeechStep;

// What opening a document or address starts: a program and its one
// parameter (empty: none). progFor(extension) gives the configured program
// of "PROG." + extension, in upper case ("HTM" for web addresses).
struct DocumentCommand {
  std::string program;
  std::string parameter;
  bool operator==(const DocumentCommand&) const = default;
};
[[nodiscard]] DocumentCommand documentCommand(
    std::string_view word, std::string_view currentDir,
    const std::function<std::string(std::string_view extension)>& progFor);

class Spoken {
 public:
  Spoken(Console& console, const Config& config, speech::WavPlayer& player,
         speech::Translator& translator, speech::Diphone& diphone);
  ~Spoken();
  Spoken(const Spoken&) = delete;
  Spoken& operator=(const Spoken&) = delete;

  // Speech start-up of the environment (configuration keys of "TRADUTOR",
  // "SINTETIZADOR", "SERVFALA"). A syllable-unit synthesiser that cannot
  // start is written on the screen and reported (startProblems); the
  // program goes on, the recordings still speak.
  void speechStart(int speed, std::string_view soundDir);
  // What of the last start-up did not start, one line each naming the
  // configuration file and key to look at (Windows-1252).
  [[nodiscard]] const std::vector<std::string>& startProblems() const;
  void speechSpeedSettings(int speed);
  // The voice dispatcher speechStart starts when "SAPI" asks for a voice;
  // without one the recorded pieces speak.
  void useVoices(speech::Dispatcher* voices);

  void writeSpoken(std::string_view text);
  void writeLineSpoken(std::string_view text);
  void speakText(std::string_view text);
  // Starts saying text after what is being said and returns at once: the
  // waits (idleWait, every wait for speech) keep it sounding, a key stops
  // it.
  void speakAndGoOn(std::string_view text);
  void speakChar(uint8_t ch);
  void playSound(std::string_view name);
  // Starts a recorded sound and returns while it sounds, so that the caller
  // can go on (send a request) meanwhile. Whatever is said next, and every
  // wait for speech, waits for its end; a key stops it.
  void startSound(std::string_view name);
  // One look, without waiting, at speech that sounds while the program
  // works: notes its end, or stops it when a key is waiting. The program's
  // waits for the network call it.
  void pollSpeech();
  [[nodiscard]] bool soundExists(std::string_view name) const;
  void spellText(std::string_view text);
  void speakDtmf(std::string_view text);
  void clickSound();
  void errorBeep();
  void playImageWait(const std::vector<uint8_t>& image);
  [[nodiscard]] bool speechBusyAny();
  void waitSpeechEnd();
  void stopSpeech();
  void speechFinish();
  // Opens a document or address with the launcher given here (none: the
  // word is not opened).
  void openDocument(std::string_view word);
  void useLauncher(Launcher& launcher);

  // Spoken numbers, time and date from recorded pieces (qrwinNumbers.cpp).
  // The words overload takes a text of number words (Windows-1252); a
  // negative value is preceded by "_MENOS".
  void speakNumberWords(long value, bool feminine = false);
  void speakNumberWords(std::string_view words, bool feminine);
  void speakTime();  // the local time now
  void speakTime(int hour, int minute);
  void speakDate();                                           // the local date today
  void speakDate(int weekday, int day, int month, int year);  // weekday 0 = Sunday

  [[nodiscard]] SpeechSettings& settings();
  [[nodiscard]] Console& console() { return console_; }

 private:
  void noteSoundEnded();
  // Waits in the console's loop until speech (or the player alone) is over
  // or a key came.
  void waitWhileSpeaking();
  void waitWhilePlaying();

  struct State;
  std::unique_ptr<State> s_;
  Console& console_;
};

}  // namespace qr
