// The built-in Portuguese engine's outer shell: the synthesiser library (the
// MBROLA C API, see mbrola.h) with its Brazilian Portuguese database, the
// text front's five data files (tts/), and the sound: played through the WAV
// player in chunks of at least half a second while the rest of the text is
// still being synthesised, or written to a WAV file whose header gets its
// true size when the engine closes.
//
// The database is found in the registry under
// HKEY_LOCAL_MACHINE\SOFTWARE\TCTS\Mbrola\databases\NAME (default value);
// without an entry the name itself is the path, and an empty entry means
// ROOT/coraltts/br4. The library is ROOT/mbrola.so (a build tree), else
// mbrola.so in the program's library directory (as installed), else
// "mbrola.so" along the loader's search path. Texts are Windows-1252; file names are used as
// given.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/minireg.h"
#include "base/wav.h"
#include "speech/dispatcher.h"
#include "speech/mbrola.h"
#include "tts/uttsFront.h"

namespace speech {

class WavPlayer;

// Sample bytes of a chunk handed to playback (half a second at 16 kHz), and
// the least a last chunk is padded to with silence.
inline constexpr size_t kEngineChunkBytes = 16000;
inline constexpr size_t kEngineLastChunkBytes = 256;

// Collects the synthesiser's 16-bit samples into WAV images: an image is
// handed on as soon as it holds kEngineChunkBytes or more, and finish()
// hands on the rest, padded with silence to kEngineLastChunkBytes.
class ChunkCollector {
 public:
  using Play = std::function<void(const uint8_t* image, size_t length)>;
  explicit ChunkCollector(uint32_t rate) : rate_(rate) {}
  void add(const uint8_t* bytes, size_t n, const Play& play);
  void finish(const Play& play);
  void clear() { image_.resize(qr::kWavHeaderSize); }
  [[nodiscard]] size_t pending() const { return image_.size() - qr::kWavHeaderSize; }

 private:
  void hand(const Play& play);
  uint32_t rate_;
  std::vector<uint8_t> image_ = std::vector<uint8_t>(qr::kWavHeaderSize);
};

// The path of a database: the registry's default value of
// HKEY_LOCAL_MACHINE\SOFTWARE\TCTS\Mbrola\databases\NAME, ROOT/coraltts/br4
// when that value is empty, the name itself when there is none.
[[nodiscard]] std::string engineDatabasePath(const qr::MiniReg& registry, const std::string& name,
                                             const std::string& root);

class CoralEngine {
 public:
  // root: the QUIRAL root (library, database); registry: where the
  // database is looked up; libraryDir: where the installed library is.
  CoralEngine(LibraryLoader& loader, WavPlayer& player, qr::MiniReg registry, std::string root,
              std::string libraryDir = {});
  ~CoralEngine();
  CoralEngine(const CoralEngine&) = delete;
  CoralEngine& operator=(const CoralEngine&) = delete;

  // Loads the library, opens the database and loads the five files (an
  // empty name takes its default: "br4", "portug.nrl", ".exc", ".abr",
  // ".pro", ".dfn" of the current directory); with an output file set,
  // creates it. False when any of it fails, with the library unloaded.
  [[nodiscard]] bool EngineStart(const std::string& database, const std::string& rules,
                                 const std::string& exceptions, const std::string& abbreviations,
                                 const std::string& prosody, const std::string& definitions);
  // The output file of the next EngineStart; empty: speak aloud.
  void EngineSetOutputFile(const std::string& path);
  void EngineSetFactors(double pitch, double rate);
  // Synthesises the whole text and hands its sound on; false when the
  // synthesiser refused a line or the output file could not be written.
  [[nodiscard]] bool EngineSpeak(std::string_view text);
  // Whether played speech still sounds (never in to-file mode).
  [[nodiscard]] bool EngineBusy();
  void EngineStop();
  // Completes the output file, releases the tables, closes the synthesiser
  // and unloads the library.
  void EngineClose();

  [[nodiscard]] bool started() const { return mbrola_.loaded(); }
  // What went wrong at the last start (the missing entry point, the
  // database path, the front's own messages), for the curious.
  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }

 private:
  void play(const uint8_t* image, size_t length);

  Mbrola mbrola_;
  WavPlayer& player_;
  qr::MiniReg registry_;
  std::string root_;
  std::string libraryDir_;
  tts::EngineFront front_;
  std::string outputName_;
  std::FILE* output_ = nullptr;
  bool toFile_ = false;
  double pitchFactor_ = 1.0;
  double rateFactor_ = 1.0;
  uint32_t rate_ = 16000;
  std::vector<short> readBuffer_;
  std::vector<std::string> messages_;
};

// The engine as the voice dispatcher drives it (kind 3).
[[nodiscard]] std::unique_ptr<BuiltinEngine> makeCoralVoice(LibraryLoader& loader,
                                                            WavPlayer& player, qr::MiniReg registry,
                                                            std::string root,
                                                            std::string libraryDir = {});

}  // namespace speech
