// eSpeak NG speaks at 22,050 Hz; the sound library and the unit database are
// 11,025 Hz. A windowed-sinc low-pass below the new Nyquist frequency, then
// every second sample, halves the rate without aliasing. Shared by the two
// generators so their sounds are filtered alike.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tools {

// Blackman window, 255 taps, cut-off 5.15 kHz: flat to about 4.8 kHz (the
// hiss of s and z), 70 dB down from about 5.5 kHz, the new Nyquist
// frequency; what little folds back lands above 5 kHz.
inline constexpr int kHalfRateTaps = 255;

inline std::array<double, kHalfRateTaps> halfRateFilter() {
  constexpr double kCutoff = 5150.0 / 22050.0;  // of the input rate
  std::array<double, kHalfRateTaps> h{};
  double sum = 0;
  for (int i = 0; i < kHalfRateTaps; ++i) {
    const double m = i - (kHalfRateTaps - 1) / 2.0;
    const double sinc = m == 0 ? 2 * kCutoff : std::sin(2 * M_PI * kCutoff * m) / (M_PI * m);
    const double w = 0.42 - 0.5 * std::cos(2 * M_PI * i / (kHalfRateTaps - 1)) +
                     0.08 * std::cos(4 * M_PI * i / (kHalfRateTaps - 1));
    h[i] = sinc * w;
    sum += h[i];
  }
  for (auto& v : h) v /= sum;
  return h;
}

// The samples in[first, last) at half the rate; samples outside the range
// still feed the filter, so a cut piece keeps its edges.
inline std::vector<float> halveRate(const std::vector<int16_t>& in, size_t first = 0,
                                    size_t last = SIZE_MAX) {
  static const auto h = halfRateFilter();
  if (last > in.size()) last = in.size();
  std::vector<float> out;
  if (first >= last) return out;
  out.reserve((last - first) / 2 + 1);
  const auto n = static_cast<long>(in.size());
  constexpr long kHalf = (kHalfRateTaps - 1) / 2;
  for (size_t c = first; c < last; c += 2) {
    double acc = 0;
    for (int k = 0; k < kHalfRateTaps; ++k) {
      const long j = static_cast<long>(c) + k - kHalf;
      if (j >= 0 && j < n) acc += h[k] * in[j];
    }
    out.push_back(static_cast<float>(acc));
  }
  return out;
}

}  // namespace tools
