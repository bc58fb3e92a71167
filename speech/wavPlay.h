// WAV playback: all recorded sound of the program goes through here, from a
// file or from a complete WAV image in memory, in blocks queued on the audio
// output. A key press cuts the sound off. Every wait pumps the console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "speech/wavImage.h"
#include <vector>

namespace qr {
class Console;
class AudioOutput;
class EventLog;
}  // namespace qr

namespace speech {

// Size of one device block and of the file read buffer.
inline constexpr size_t kBlockBytes = 65534;

// --- Pure parts: the WAV layout and the speed options -------------------

// The format fields used: channels, sample rate, bits per sample. Only PCM
// that the output can play (1 or 2 channels, 8 or 16 bits, rate > 0) is
// accepted; the format tag itself is not examined.
struct WavFormat {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint16_t bits = 0;
  bool operator==(const WavFormat&) const = default;
};

// "RIFF" at byte 0 (any case); bytes 4-11 are not examined.
[[nodiscard]] bool isRiffHeader(const uint8_t* header12);
// The size of the "fmt " chunk that must stand at byte 12, from its 8-byte
// header; nullopt when the name is not "fmt " (any case).
[[nodiscard]] std::optional<uint32_t> fmtChunkSize(const uint8_t* header8);
// Reads channels, rate and bits from the "fmt " contents.
[[nodiscard]] std::optional<WavFormat> parseFmtContents(const uint8_t* contents, size_t size);
struct ChunkHeader {
  bool isData = false;
  uint32_t size = 0;
};
[[nodiscard]] ChunkHeader parseChunkHeader(const uint8_t* header8);

// A whole WAV image in memory: the format and where its samples are. The
// sample length is cut to the bytes actually present.
struct WavImageInfo {
  WavFormat format;
  size_t dataOffset = 0;
  size_t dataLength = 0;
};
[[nodiscard]] std::optional<WavImageInfo> parseWavImage(const uint8_t* image, size_t length);

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
  WavPlayer(qr::Console& console, qr::AudioOutput& audio);
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
