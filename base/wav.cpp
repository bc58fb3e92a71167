#include "base/wav.h"

#include <algorithm>
#include <cstring>

#include "base/ascii.h"
#include "base/bytes.h"

namespace qr {
namespace {

// Four bytes equal to an upper-case name, ignoring the case of letters.
bool nameIs(const uint8_t* p, const char* upper) {
  for (int i = 0; i < 4; ++i) {
    if (asciiUpper(p[i]) != static_cast<uint8_t>(upper[i])) return false;
  }
  return true;
}

}  // namespace

bool isRiffHeader(const uint8_t* header12) {
  return nameIs(header12, "RIFF");
}

std::optional<uint32_t> fmtChunkSize(const uint8_t* header8) {
  if (!nameIs(header8, "FMT ")) return std::nullopt;
  return readLe32(header8 + 4);
}

std::optional<WavFormat> parseFmtContents(const uint8_t* contents, size_t size) {
  if (size < 16) return std::nullopt;
  WavFormat f;
  f.channels = readLe16(contents + 2);
  f.rate = readLe32(contents + 4);
  f.bits = readLe16(contents + 14);
  if (f.channels < 1 || f.channels > 2) return std::nullopt;
  if (f.bits != 8 && f.bits != 16) return std::nullopt;
  if (f.rate == 0 || f.rate > 1000000) return std::nullopt;
  return f;
}

ChunkHeader parseChunkHeader(const uint8_t* header8) {
  return {nameIs(header8, "DATA"), readLe32(header8 + 4)};
}

std::optional<WavImageInfo> parseWavImage(const uint8_t* image, size_t length) {
  if (image == nullptr || length < 20 || !isRiffHeader(image)) return std::nullopt;
  const auto fmtSize = fmtChunkSize(image + 12);
  if (!fmtSize || *fmtSize > length - 20) return std::nullopt;
  const auto format = parseFmtContents(image + 20, *fmtSize);
  if (!format) return std::nullopt;
  size_t pos = 20 + static_cast<size_t>(*fmtSize);
  while (length - pos >= 8) {
    const ChunkHeader chunk = parseChunkHeader(image + pos);
    pos += 8;
    const size_t left = length - pos;
    if (chunk.isData) {
      return WavImageInfo{*format, pos, std::min<size_t>(chunk.size, left)};
    }
    if (chunk.size > left) return std::nullopt;
    pos += chunk.size;
  }
  return std::nullopt;
}

void writeWavHeader(uint8_t* h, uint32_t dataBytes, uint32_t rate, uint16_t channels,
                    uint16_t bits) {
  const uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  std::memcpy(h, "RIFF", 4);
  putLe32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  putLe32(h + 16, 16);
  putLe16(h + 20, 1);  // PCM
  putLe16(h + 22, channels);
  putLe32(h + 24, rate);
  putLe32(h + 28, rate * align);
  putLe16(h + 32, align);
  putLe16(h + 34, bits);
  std::memcpy(h + 36, "data", 4);
  putLe32(h + 40, dataBytes);
}

std::vector<uint8_t> makeWavImage(const uint8_t* samples, size_t length, uint32_t rate,
                                  uint16_t channels, uint16_t bits) {
  std::vector<uint8_t> image(kWavHeaderSize + length);
  writeWavHeader(image.data(), static_cast<uint32_t>(length), rate, channels, bits);
  if (length > 0) std::copy(samples, samples + length, image.begin() + kWavHeaderSize);
  return image;
}

}  // namespace qr
