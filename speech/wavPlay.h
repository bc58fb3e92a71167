// WAV playback: all recorded sound of the program goes through here, from a
// file or from a complete WAV image in memory, in blocks queued on the audio
// output. A key press cuts the sound off. Every wait goes through the pacing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <vector>

#include "base/wav.h"
#include "speech/pacing.h"

namespace qr {
class AudioOutput;
class EventLog;
}  // namespace qr

namespace speech {

// Size of one device block and of the file read buffer.
inline constexpr size_t kBlockBytes = 65534;

// --- Pure parts: block sizes and the speed options ----------------------

// The WAV layout lives in base/wav.h; these names are the player's too.
using qr::ChunkHeader;
using qr::fmtChunkSize;
using qr::isRiffHeader;
using qr::makeWavImage;
using qr::parseChunkHeader;
using qr::parseFmtContents;
using qr::parseWavImage;
using qr::WavFormat;
using qr::WavImageInfo;
using qr::writeWavHeader;

// Next piece of a "data" chunk with `remaining` bytes left, chosen so that no
// later piece is shorter than 256 bytes.
[[nodiscard]] size_t wavPieceSize(uint64_t remaining);

// rate x 1.5, rounded to nearest with ties to even (11,025 -> 16,538).
[[nodiscard]] uint32_t fastRate(uint32_t rate);

// Speech cutting: drops every second pitch period of a mono piece in place.
// 16-bit samples are first turned into 8-bit ones. Returns the new length in
// bytes (8-bit samples). A search window with no sample above 0 ends the
// cutting there and keeps the rest of the piece unchanged.
[[nodiscard]] size_t cutSpeech(uint8_t* samples, size_t length, uint16_t bits, uint32_t rate);

// --- The player ----------------------------------------------------------

class WavPlayer {
 public:
  WavPlayer(Pacing& pacing, qr::AudioOutput& audio, qr::EventLog& log);
  ~WavPlayer();
  WavPlayer(const WavPlayer&) = delete;
  WavPlayer& operator=(const WavPlayer&) = delete;

  // 0 played (or not started because a key was waiting); -1 the file cannot
  // be opened or is not a PCM WAV file; other: the device's open error.
  [[nodiscard]] int playWavFile(const std::string& path);
  // Starts a complete WAV image; returns when its last block is queued.
  void playWavImage(const uint8_t* image, size_t length);
  [[nodiscard]] int playSamples(const uint8_t* samples, size_t length, uint32_t rate,
                                uint16_t channels, uint16_t bits);
  [[nodiscard]] bool wavBusy();
  void wavStop();

  void setFast(bool on);
  void setCut(bool on);
  [[nodiscard]] bool fast() const;
  [[nodiscard]] bool cut() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace speech
