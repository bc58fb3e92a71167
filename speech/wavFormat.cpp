// The WAV layout understood by the player and the two speed options, as pure
// functions over byte buffers. Numbers in the files are little-endian; chunk
// names are compared without regard to case. Nothing here reads past the
// length it is given, whatever the sizes written in the data claim.
#include <algorithm>
#include <cstring>

#include "speech/wavPlay.h"

namespace speech {
namespace {

uint16_t le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Four bytes equal to an upper-case name, ignoring the case of letters.
bool nameIs(const uint8_t* p, const char* upper) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = p[i];
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
    if (c != static_cast<uint8_t>(upper[i])) return false;
  }
  return true;
}

struct CutWindow {
  size_t start, gap, width;
};

// The recorded speech of the environment is 11,025 Hz; any other rate is
// taken as four times as dense.
CutWindow cutWindowFor(uint32_t rate) {
  if (rate == 11025) return {200, 80, 50};
  return {800, 320, 200};
}

// Position of the largest sample in from..to (inclusive, clamped to the
// piece), the first among equals; only samples above 0 qualify.
std::optional<size_t> peak(const uint8_t* s, size_t n, size_t from, size_t to) {
  if (n == 0 || from >= n) return std::nullopt;
  to = std::min(to, n - 1);
  uint8_t best = 0;
  std::optional<size_t> at;
  for (size_t i = from; i <= to; ++i) {
    if (s[i] > best) {
      best = s[i];
      at = i;
    }
  }
  return at;
}

}  // namespace

bool isRiffHeader(const uint8_t* header12) {
  return nameIs(header12, "RIFF");
}

std::optional<uint32_t> fmtChunkSize(const uint8_t* header8) {
  if (!nameIs(header8, "FMT ")) return std::nullopt;
  return le32(header8 + 4);
}

std::optional<WavFormat> parseFmtContents(const uint8_t* contents, size_t size) {
  if (size < 16) return std::nullopt;
  WavFormat f;
  f.channels = le16(contents + 2);
  f.rate = le32(contents + 4);
  f.bits = le16(contents + 14);
  if (f.channels < 1 || f.channels > 2) return std::nullopt;
  if (f.bits != 8 && f.bits != 16) return std::nullopt;
  if (f.rate == 0 || f.rate > 1000000) return std::nullopt;
  return f;
}

ChunkHeader parseChunkHeader(const uint8_t* header8) {
  return {nameIs(header8, "DATA"), le32(header8 + 4)};
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

size_t wavPieceSize(uint64_t remaining) {
  if (remaining <= kBlockBytes) return static_cast<size_t>(remaining);
  if (remaining < kBlockBytes + 256) return kBlockBytes - 256;
  return kBlockBytes;
}

uint32_t fastRate(uint32_t rate) {
  const uint64_t triple = static_cast<uint64_t>(rate) * 3;
  uint64_t half = triple / 2;
  if ((triple & 1) != 0 && (half & 1) != 0) ++half;
  return static_cast<uint32_t>(std::min<uint64_t>(half, UINT32_MAX));
}

size_t cutSpeech(uint8_t* s, size_t n, uint16_t bits, uint32_t rate) {
  if (bits == 16) {
    for (size_t i = 0; i < n / 2; ++i) s[i] = static_cast<uint8_t>(s[2 * i + 1] ^ 0x80);
    n /= 2;
  }
  if (n < 1000) return n;
  const CutWindow w = cutWindowFor(rate);
  const auto first = peak(s, n, w.start, w.start + w.gap + w.width);
  if (!first) return n;
  size_t p = *first;
  size_t out = p;
  const size_t span = w.gap + w.width;
  while (n > 2 * span && p < n - 2 * span) {
    const auto a = peak(s, n, p + w.gap, p + span);
    const auto b = a ? peak(s, n, *a + w.gap, *a + span) : std::nullopt;
    if (!b) {
      // Silence where a period was expected: keep the rest as it is.
      std::memmove(s + out, s + p, n - p);
      return out + (n - p);
    }
    const size_t count = *b - *a + 1;
    std::memmove(s + out, s + *a, count);
    out += count;
    p = *b;
  }
  while (p < n && (s[out] > 128 + 20 || s[out] < 128 - 20)) {
    s[out++] = s[p++];
  }
  return out;
}

}  // namespace speech
