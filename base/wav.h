// The WAV (RIFF PCM) layout: the one reader and the one writer of the
// format, for the player, the synthesiser, the sound-library generator and
// the file audio output. Numbers are little-endian; chunk names are compared
// without regard to case. Nothing here reads past the length it is given,
// whatever the sizes written in the data claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qr {

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

// A whole WAV image in memory: the format and where its samples are (the
// first "data" chunk). The sample length is cut to the bytes present.
struct WavImageInfo {
  WavFormat format;
  size_t dataOffset = 0;
  size_t dataLength = 0;
};
[[nodiscard]] std::optional<WavImageInfo> parseWavImage(const uint8_t* image, size_t length);

inline constexpr size_t kWavHeaderSize = 44;

// Writes the canonical 44-byte header of a PCM image of dataBytes bytes.
void writeWavHeader(uint8_t* out44, uint32_t dataBytes, uint32_t rate = 11025,
                    uint16_t channels = 1, uint16_t bits = 8);

// A complete image: the header followed by the samples.
[[nodiscard]] std::vector<uint8_t> makeWavImage(const uint8_t* samples, size_t length,
                                                uint32_t rate, uint16_t channels, uint16_t bits);

}  // namespace qr
