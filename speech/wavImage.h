// The canonical 44-byte PCM WAV header and images built around samples: the
// one writer of the format for the player, the synthesiser, the spoken
// numbers and the sound-library generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace speech {

inline constexpr size_t kWavHeaderSize = 44;

// Writes the header of a PCM image of dataBytes bytes of samples.
void writeWavHeader(uint8_t* out44, uint32_t dataBytes, uint32_t rate = 11025,
                    uint16_t channels = 1, uint16_t bits = 8);

// A complete image: the header followed by the samples.
[[nodiscard]] std::vector<uint8_t> makeWavImage(const uint8_t* samples, size_t length,
                                                uint32_t rate, uint16_t channels, uint16_t bits);

}  // namespace speech
