// The player's pure parts: block sizes and the two speed options, as
// functions over byte buffers.
#include <algorithm>
#include <cmath>
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

namespace speech {
namespace {

float sampleAt(const uint8_t* in, size_t i, uint16_t bits) {
  if (bits == 16) return static_cast<float>(static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8));
  return static_cast<float>(in[i]) - 128.0f;
}

}  // namespace

size_t timeScale(const uint8_t* in, size_t inBytes, uint16_t bits, uint16_t channels, uint32_t rate,
                 double tempo, uint8_t* out, size_t outBytes, float* accum) {
  const size_t width = bits == 16 ? 2 : 1;
  const size_t ch = std::max<uint16_t>(channels, 1);
  const size_t frames = inBytes / (width * ch);
  const size_t capacity = outBytes / (width * ch);
  if (frames == 0 || capacity == 0 || !(tempo > 0)) return 0;
  const size_t outFrames =
      std::min(capacity, static_cast<size_t>(std::llround(static_cast<double>(frames) / tempo)));
  const size_t hop = std::max<size_t>(2, rate / 100);  // 10 ms
  const size_t length = 2 * hop;
  const long tolerance = static_cast<long>(rate / 200);  // 5 ms
  // The channels move together: one offset for all, chosen on their sum.
  auto mix = [&](size_t frame) {
    float v = 0;
    for (size_t c = 0; c < ch; ++c) v += sampleAt(in, frame * ch + c, bits);
    return v;
  };
  std::fill(accum, accum + outFrames * ch, 0.0f);
  // The sound ends where its source ends, and as it ends there. The output
  // cuts the last frame off after `tail` frames; that frame and the two
  // before it are taken side by side from the source's end, so its last
  // 20-30 ms (a vowel dying away, the silence after it) are heard at their
  // own pace and the cut falls on the source's own end. Cut mid-swing, or
  // with the dying away skipped, every sped-up sound would end in a click.
  // The frames before them spread over the rest of the source, and the last
  // of them is chosen to lead both from its predecessor and into them.
  const size_t last = (outFrames - 1) / hop;
  const long tail = static_cast<long>(outFrames - last * hop);
  const long hopL = static_cast<long>(hop);
  const size_t kept = std::min<size_t>(3, last);  // frames copied as they are
  const size_t firstKept = last + 1 - kept;       // 1 when the sound is short
  const long endStart = std::max(0L, static_cast<long>(frames) - tail);
  const long keptStart = std::max(0L, endStart - static_cast<long>(kept - 1) * hopL);
  // Where the frames before the kept ones go: evenly up to keptStart.
  const double pace =
      firstKept > 1 ? static_cast<double>(keptStart) / static_cast<double>(firstKept * hop) : tempo;
  auto likeness = [&](long a, long b) {
    double score = 0;
    for (size_t j = 0; j < hop; j += 2)
      score +=
          static_cast<double>(mix(static_cast<size_t>(a) + j)) * mix(static_cast<size_t>(b) + j);
    return score;
  };
  long previous = 0;
  for (size_t k = 0; k * hop < outFrames; ++k) {
    long src = 0;
    if (k > 0 && k >= firstKept) {
      src = std::min(keptStart + static_cast<long>(k - firstKept) * hopL, endStart);
    } else if (k > 0) {
      const long nominal = std::lround(static_cast<double>(k * hop) * pace);
      const long latest = static_cast<long>(frames) - static_cast<long>(length);
      const long target = previous + hopL;
      const bool leadsIn = k + 1 == firstKept && keptStart + hopL <= static_cast<long>(frames);
      src = std::clamp(nominal, 0L, std::max(0L, latest));
      if (target + hopL <= static_cast<long>(frames)) {
        double best = -1e300;
        const long from = std::max(0L, src - tolerance);
        const long to = std::min(std::max(0L, latest), src + tolerance);
        for (long c = from; c <= to; ++c) {
          double score = likeness(c, target);
          if (leadsIn) score += likeness(c + hopL, keptStart);
          if (score > best) {
            best = score;
            src = c;
          }
        }
      }
    }
    for (size_t j = 0; j < length; ++j) {
      const size_t o = k * hop + j;
      const size_t i = static_cast<size_t>(src) + j;
      if (o >= outFrames || i >= frames) break;
      // Hann windows half a frame apart add up to one; the first frame
      // starts at full weight.
      const double w =
          (k == 0 && j < hop) ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(j) / hop);
      for (size_t c = 0; c < ch; ++c)
        accum[o * ch + c] += static_cast<float>(w) * sampleAt(in, i * ch + c, bits);
    }
    previous = src;
  }
  for (size_t o = 0; o < outFrames * ch; ++o) {
    const long v = std::lround(accum[o]);
    if (bits == 16) {
      const auto s16 = static_cast<int16_t>(std::clamp(v, -32768L, 32767L));
      out[2 * o] = static_cast<uint8_t>(s16 & 0xFF);
      out[2 * o + 1] = static_cast<uint8_t>((s16 >> 8) & 0xFF);
    } else {
      out[o] = static_cast<uint8_t>(std::clamp(v + 128, 0L, 255L));
    }
  }
  return outFrames * ch * width;
}

double speedTempo(int speed) {
  // Words per minute of eSpeak NG that the unit database of each speed
  // level keeps pace with.
  constexpr double kRates[5] = {150, 185, 220, 270, 330};
  if (speed < 1 || speed > 5) return 1.0;
  return kRates[speed - 1] / kRates[2];
}

}  // namespace speech
