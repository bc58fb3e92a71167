// The voice dispatcher: one set of five operations (speechInit, speechSpeak,
// speechBusy, speechStop, speechClose) over the voice back ends, routed by
// the synthesiser kind chosen at start-up: 3 the built-in engine, 5 and 54
// two separate Speech Dispatcher voices, any other value eSpeak NG. The kind
// is 4 until speechInit, and stays what speechInit was given even when the
// voice did not start; with no voice every call is answered quietly.
//
// The back ends themselves are made by the starters the program wires in
// (platform/); this module decides only which one, when, and with what.
// Texts are Windows-1252.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "speech/pacing.h"
#include "speech/voice.h"

namespace qr {
class EventLog;
}

namespace speech {

enum class VoiceKind { Builtin, Speechd5, Speechd54, Espeak };

// 3, 5, 54, and every other value.
[[nodiscard]] VoiceKind voiceKindOf(int kind);

// What a voice is started with.
struct VoiceRequest {
  int voice = 0;           // 1-based position in the back end's list; 0 the first
  int speed = 0;           // 0: the voice's own
  int pitch = 0;           // 0: the voice's own
  std::string outputFile;  // empty: speak aloud
};

// --- The built-in engine (kind 3) ------------------------------------------

// The engine's database and its five rule files, in the order the engine
// takes them: ".nrl", ".exc", ".abr", ".pro", ".dfn".
struct BuiltinFiles {
  std::string database;
  std::array<std::string, 5> files;
  bool operator==(const BuiltinFiles&) const = default;
};

// From the "CORALTTS" values "MBROLA_DB", "DIR" and "BASE". An empty DIR is
// taken from the registry's database entry (its last three characters cut
// off), else fallbackDir. A "/" is added to the directory when missing.
[[nodiscard]] BuiltinFiles builtinFiles(std::string_view database, std::string_view dir,
                                        std::string_view base,
                                        const std::optional<std::string>& registryEntry,
                                        std::string_view fallbackDir);

// (pitch + 11) / 11 and 0.8 - speed / 15: a smaller rate factor is faster.
[[nodiscard]] double pitchFactor(int pitch);
[[nodiscard]] double rateFactor(int speed);

// The built-in engine as the dispatcher drives it; made by the starter
// before it is started, so that its factors are set whatever the start gave.
class BuiltinEngine : public Voice {
 public:
  virtual void setOutputFile(const std::string& path) = 0;
  [[nodiscard]] virtual bool start(const BuiltinFiles& files) = 0;
  virtual void setFactors(double pitch, double rate) = 0;
  // Ends the engine (and completes an output file).
  virtual void close() = 0;
};

// --- The dispatcher -----------------------------------------------------------

// Makers of the back ends; a maker that is empty or returns nullptr is a
// voice that cannot start.
struct VoiceStarters {
  std::function<std::unique_ptr<Voice>(const VoiceRequest&)> espeak = nullptr;
  // kind is 5 or 54: two separate instances of one back end.
  std::function<std::unique_ptr<Voice>(int kind, const VoiceRequest&)> speechd = nullptr;
  std::function<std::unique_ptr<BuiltinEngine>()> builtin = nullptr;
};

class Dispatcher {
 public:
  // pacing: the program's key test, delay and pump; beep: the computer's
  // beep, for a text a Speech Dispatcher voice refused.
  Dispatcher(Pacing& pacing, qr::EventLog& log, std::function<void()> beep, VoiceStarters starters,
             BuiltinFiles builtin);
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Starts the voice of the kind and waits until it is silent; false when
  // it could not start (nothing is said about it).
  [[nodiscard]] bool speechInit(int voice, int speed, int pitch, const std::string& outputFile,
                                int kind);
  // Hands the text over and returns at once.
  void speechSpeak(std::string_view text);
  // strict: only texts still being worked on count, not sound still playing.
  [[nodiscard]] bool speechBusy(bool strict);
  void speechStop();
  void speechClose();

  [[nodiscard]] int kind() const { return kind_; }
  // The running voice's wake-up descriptor for the program's wait, or -1.
  [[nodiscard]] int eventDescriptor() const;
  // Moves the running voice's work on (samples to the device, notices).
  void pump();
  // When the running voice wants pump() without news (kNoDeadline: never).
  [[nodiscard]] qr::Deadline nextPump() const;

 private:
  // Either back end, whichever kind runs.
  [[nodiscard]] Voice* voice() const;
  // Waits in the program's loop, woken by the voice's news and deadline.
  void waitWhileBusy(bool strict);

  Pacing& pacing_;
  qr::EventLog& log_;
  std::function<void()> beep_;
  VoiceStarters starters_;
  BuiltinFiles builtin_;
  int kind_ = 4;
  std::unique_ptr<Voice> system_;
  std::unique_ptr<BuiltinEngine> engine_;
  bool engineStarted_ = false;
};

}  // namespace speech
