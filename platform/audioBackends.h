// The audio outputs: SDL2 (real sound), null (every sound ends at once) and
// file (everything played appended to one WAV file, 16-bit mono at the rate
// of the first sound). The sample conversions of the file output are pure
// functions, tested on their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "speech/audio.h"

namespace platform {

[[nodiscard]] std::unique_ptr<qr::AudioOutput> makeNullAudio();

// nullptr with the reason in error when the file cannot be created.
[[nodiscard]] std::unique_ptr<qr::AudioOutput> makeFileAudio(const std::string& path,
                                                             std::string& error);

// nullptr with the reason in error when no audio device can be opened.
[[nodiscard]] std::unique_ptr<qr::AudioOutput> makeSdlAudio(std::string& error);
// The SDL device's period in sample frames at a rate: a power of two of at
// most about 12 ms, so that sound stops that soon after the queue is cleared.
[[nodiscard]] unsigned sdlPeriodFrames(uint32_t rate);

// Samples of a format as signed 16-bit mono (stereo is averaged; a partial
// last frame is dropped).
[[nodiscard]] std::vector<int16_t> toMono16(const qr::PcmFormat& format, const uint8_t* data,
                                            size_t length);
// Linear resampling from one rate to another; `position` carries the
// fractional read position from one block to the next (start with 0).
[[nodiscard]] std::vector<int16_t> resample(const std::vector<int16_t>& samples, uint32_t from,
                                            uint32_t to, double& position);
// The 44-byte header of a 16-bit mono PCM WAV file.
[[nodiscard]] std::vector<uint8_t> wavHeader(uint32_t rate, uint32_t dataBytes);

}  // namespace platform
