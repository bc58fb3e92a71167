// Figures of a sound that both the speech benchmarks and the tests use, as
// pure functions over float samples in [-1, 1) at any rate of 8 kHz or more:
//  - the pitch track (autocorrelation), and from it the final movement of an
//    utterance: how far its pitch moves over its last 200 ms of voicing;
//  - the active speech level, from speech/speechLevel.h.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "speech/speechLevel.h"

namespace measures {

using speech::activeLevel;

inline constexpr double kPitchStepSeconds = 0.01;

// F0 in Hz every 10 ms (0 where unvoiced): each 30 ms window is compared
// with itself one lag later by normalised cross-correlation over lags of
// 60..400 Hz; a window is voiced when its best correlation reaches 0.5 and
// its level is within 20 dB of the loudest window's (the faint tail of a
// vowel dying into a pause is not the melody anyone hears), and when it is
// part of a voiced run of at least 30 ms. The shortest lag within 0.9 of the
// best is taken, which keeps a doubled period from being heard as half the
// pitch.
inline std::vector<double> pitchTrack(const std::vector<float>& s, int rate) {
  const size_t step = static_cast<size_t>(rate * kPitchStepSeconds);
  const size_t window = static_cast<size_t>(rate * 0.03);
  const size_t shortest = static_cast<size_t>(rate / 400), longest = static_cast<size_t>(rate / 60);
  std::vector<double> hz;
  if (s.size() < window + longest + 1 || step == 0) return hz;
  const size_t count = (s.size() - window - longest) / step;
  std::vector<double> energy(count);
  double loudest = 0;
  for (size_t f = 0; f < count; ++f) {
    double e = 0;
    for (size_t i = 0; i < window; ++i) e += double(s[f * step + i]) * s[f * step + i];
    energy[f] = e;
    loudest = std::max(loudest, e);
  }
  std::vector<double> r(longest + 1);
  for (size_t f = 0; f < count; ++f) {
    const size_t a = f * step;
    if (energy[f] < loudest * 1e-2 || energy[f] <= 0) {
      hz.push_back(0);
      continue;
    }
    double best = 0;
    for (size_t lag = shortest; lag <= longest; ++lag) {
      double xy = 0, yy = 0;
      for (size_t i = 0; i < window; ++i) {
        xy += double(s[a + i]) * s[a + i + lag];
        yy += double(s[a + i + lag]) * s[a + i + lag];
      }
      r[lag] = yy > 0 ? xy / std::sqrt(energy[f] * yy) : 0;
      best = std::max(best, r[lag]);
    }
    if (best < 0.5) {
      hz.push_back(0);
      continue;
    }
    size_t lag = shortest;
    // The first peak that comes within 0.9 of the best.
    while (lag < longest && !(r[lag] >= 0.9 * best && r[lag] >= r[lag + 1])) ++lag;
    double exact = static_cast<double>(lag);
    if (lag > shortest && lag < longest) {
      const double y0 = r[lag - 1], y1 = r[lag], y2 = r[lag + 1];
      const double d = y0 - 2 * y1 + y2;
      if (d < 0) exact += 0.5 * (y0 - y2) / d;
    }
    hz.push_back(rate / exact);
  }
  // Voiced runs shorter than three windows are taken as unvoiced.
  for (size_t f = 0; f < hz.size();) {
    size_t end = f;
    while (end < hz.size() && hz[end] > 0) ++end;
    if (end - f < 3)
      std::fill(hz.begin() + static_cast<long>(f), hz.begin() + static_cast<long>(end), 0.0);
    f = end + 1;
  }
  return hz;
}

// The pitch movement at the end of an utterance, in semitones: over its
// last 200 ms of voiced frames, the median pitch of the last 50 ms against
// that of the first 50 ms. Nothing when less than 200 ms is voiced.
inline std::optional<double> finalMovement(const std::vector<double>& track) {
  std::vector<double> voiced;
  for (double f : track)
    if (f > 0) voiced.push_back(f);
  constexpr size_t kSpan = 20, kEdge = 5;
  if (voiced.size() < kSpan) return std::nullopt;
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  const auto end = voiced.end();
  const double first = median({end - kSpan, end - kSpan + kEdge});
  const double last = median({end - kEdge, end});
  return 12.0 * std::log2(last / first);
}

}  // namespace measures
