// WAV playback: all recorded sound of the program goes through here, from a
// file or from a complete WAV image in memory, in blocks queued on the audio
// output. A key press cuts the sound off. Every wait pumps the console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qr {
class Console;
class AudioOutput;
class EventLog;
}  // namespace qr

namespace speech {

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
