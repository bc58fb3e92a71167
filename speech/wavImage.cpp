#include "speech/wavImage.h"

#include <algorithm>
#include <cstring>

namespace speech {
namespace {

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

}  // namespace

void writeWavHeader(uint8_t* h, uint32_t dataBytes, uint32_t rate, uint16_t channels,
                    uint16_t bits) {
  const uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);  // PCM
  put16(h + 22, channels);
  put32(h + 24, rate);
  put32(h + 28, rate * align);
  put16(h + 32, align);
  put16(h + 34, bits);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes);
}

std::vector<uint8_t> makeWavImage(const uint8_t* samples, size_t length, uint32_t rate,
                                  uint16_t channels, uint16_t bits) {
  std::vector<uint8_t> image(kWavHeaderSize + length);
  writeWavHeader(image.data(), static_cast<uint32_t>(length), rate, channels, bits);
  if (length > 0) std::copy(samples, samples + length, image.begin() + kWavHeaderSize);
  return image;
}

}  // namespace speech
