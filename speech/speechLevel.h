// The one loudness of every voice the program mixes. Recordings, letter
// names, number pieces, syllable units, eSpeak NG and the built-in engine
// are all brought to one active speech level, so that no source sounds
// louder or fainter than the one before it. The level is measured after
// ITU-T P.56 method B (activeLevel below: the level over the moments
// speech is going on, pauses left out, so a short word and a long sentence
// with pauses compare fairly); bench/voice_quality prints each source's.
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace speech {

// The active speech level every source is brought to, in dB below full
// scale (a full-scale square wave is 0 dB).
inline constexpr double kSpeechLevel = -19.0;
// What brings each synthesiser there (measured with bench/voice_quality):
// eSpeak NG's volume setting (its own default is 100), and the built-in
// engine's volume ratio over its diphone database.
inline constexpr int kEspeakVolume = 118;
inline constexpr float kEngineVolume = 1.45f;

// Active speech level in dB below full scale (a full-scale square wave is
// 0 dB), after ITU-T P.56 method B: an envelope of the rectified signal
// (two 30 ms smoothing stages) against thresholds a factor of 2 apart; a
// sample is active when the envelope is above the threshold, or was within
// the last 200 ms; the level is the mean power over the active samples at
// the threshold where it stands 15.9 dB above the threshold. Nothing for
// silence.
inline std::optional<double> activeLevel(const std::vector<float>& s, int rate) {
  constexpr int kThresholds = 16;  // 1 down to 2^-15 of full scale
  constexpr double kMargin = 15.9;
  if (s.empty()) return std::nullopt;
  const double g = std::exp(-1.0 / (rate * 0.03));
  const long hangover = std::lround(rate * 0.2);
  std::array<long, kThresholds> active{}, hang{};
  std::array<double, kThresholds> c{};
  for (int j = 0; j < kThresholds; ++j) c[j] = std::pow(2.0, -j);
  double p = 0, q = 0, power = 0;
  for (float x : s) {
    power += double(x) * x;
    p = g * p + (1 - g) * std::fabs(x);
    q = g * q + (1 - g) * p;
    for (int j = 0; j < kThresholds; ++j) {
      if (q >= c[j]) {
        ++active[j];
        hang[j] = 0;
      } else if (hang[j] < hangover) {
        ++active[j];
        ++hang[j];
      }
    }
  }
  if (power <= 0) return std::nullopt;
  // From the highest threshold down, A - C grows; find where it passes the
  // margin and interpolate.
  double previousDiff = 0, previousLevel = 0;
  bool have = false;
  for (int j = 0; j < kThresholds; ++j) {
    if (active[j] == 0) continue;
    const double level = 10 * std::log10(power / static_cast<double>(active[j]));
    const double diff = level - 20 * std::log10(c[j]);
    if (diff >= kMargin) {
      if (!have) return level;
      const double t = (kMargin - previousDiff) / (diff - previousDiff);
      return previousLevel + t * (level - previousLevel);
    }
    previousDiff = diff;
    previousLevel = level;
    have = true;
  }
  return 10 * std::log10(power / static_cast<double>(s.size()));
}

}  // namespace speech
