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

// rate x 1.5, rounded to nearest with ties to even (11,025 -> 16,538): the
// fast flag for sound the time scaling cannot take.
[[nodiscard]] uint32_t fastRate(uint32_t rate);

// Speech cutting: drops every second pitch period of a mono piece in place.
// 16-bit samples are first turned into 8-bit ones. Returns the new length in
// bytes (8-bit samples). A search window with no sample above 0 ends the
// cutting there and keeps the rest of the piece unchanged.
[[nodiscard]] size_t cutSpeech(uint8_t* samples, size_t length, uint16_t bits, uint32_t rate);

// The speed-up of the fast flag.
inline constexpr double kFastTempo = 1.5;

// Pitch-keeping time-scale change (waveform-similarity overlap-add):
// interleaved samples of `bits` (8 unsigned or 16 signed) and `channels` at
// `rate` become about 1/tempo as long, at the same pitch. Frames of 20 ms are
// laid down every 10 ms, each taken from within 5 ms of where the tempo puts
// it, at the offset whose start best continues the wave already laid down
// (judged on the sum of the channels, which all take the same offset).
// Writes at most outBytes bytes of the same format; `accum` holds at least as
// many floats as output samples. Returns the bytes written.
[[nodiscard]] size_t timeScale(const uint8_t* in, size_t inBytes, uint16_t bits, uint16_t channels,
                               uint32_t rate, double tempo, uint8_t* out, size_t outBytes,
                               float* accum);

// The tempo at which recorded sound (messages, letters, number pieces,
// recorded at the pace of the default speed level 3) keeps the pace of the
// synthesiser's speed level 1..5.
[[nodiscard]] double speedTempo(int speed);

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
  // The same, returning once the whole sound is queued (a long one waits
  // for room on the device): the caller goes on while it sounds.
  [[nodiscard]] int startWavFile(const std::string& path);
  // Starts a complete WAV image; returns when its last block is queued.
  void playWavImage(const uint8_t* image, size_t length);
  [[nodiscard]] int playSamples(const uint8_t* samples, size_t length, uint32_t rate,
                                uint16_t channels, uint16_t bits);
  // The queue without waiting: hands at most one block of a sound to the
  // device, and only while the device has room and no sound of another
  // format still plays. The sample bytes taken (0: none now, offer them
  // again later), or -1 when the device cannot be opened.
  [[nodiscard]] long offerSamples(const uint8_t* samples, size_t length, const WavFormat& format);
  [[nodiscard]] bool wavBusy();
  void wavStop();
  // What may end a wait for room or for the end: a descriptor readable when
  // the device has played a block (-1 with nothing queued, or from a device
  // that cannot tell), and for a device that cannot tell, when the oldest
  // queued block will have been played (kNoDeadline otherwise).
  [[nodiscard]] int playedDescriptor() const;
  [[nodiscard]] qr::Deadline nextChange() const;
  // Takes the descriptor's news and gives back the blocks played.
  void takePlayed();

  void setFast(bool on);
  void setCut(bool on);
  [[nodiscard]] bool fast() const;
  [[nodiscard]] bool cut() const;
  // Time scaling of all 8- and 16-bit sound, mono or stereo, pitch kept
  // (1.0: none); the fast flag multiplies it by 1.5. Sound of other sample
  // sizes is played 1.5 times faster by its rate when the fast flag is on.
  void setTempo(double tempo);
  [[nodiscard]] double tempo() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace speech
