// The player's pure parts: block sizes and the two speed options, as
// functions over byte buffers.
#include <algorithm>
#include <cstring>

#include "speech/wavPlay.h"

namespace speech {
namespace {

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
