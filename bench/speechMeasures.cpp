#include "bench/speechMeasures.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <complex>
#include <fstream>

#include "base/cp1252.h"

namespace measures {

namespace {

std::vector<int16_t> gPcm;

int collect(short* wav, int n, espeak_EVENT*) {
  if (wav && n > 0) gPcm.insert(gPcm.end(), wav, wav + n);
  return 0;
}

}  // namespace

int openEspeak(int options) {
  const int rate =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, options | espeakINITIALIZE_DONT_EXIT);
  if (rate <= 0 || espeak_SetVoiceByName("pt-br") != EE_OK) return 0;
  return rate;
}

std::string espeakPhonemes(const std::string& utf8) {
  const void* p = utf8.c_str();
  std::string out;
  while (p) {
    const char* ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, 0);
    if (ph) out += ph;
  }
  return out;
}

std::vector<int16_t> espeakRender(const std::string& utf8, int wordsPerMinute) {
  espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
  espeak_SetSynthCallback(collect);
  gPcm.clear();
  espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
               nullptr);
  espeak_Synchronize();
  return std::move(gPcm);
}

bool isPlainWord(std::string_view cp) {
  if (cp.size() < 2) return false;
  for (unsigned char c : cp)
    if (!((c >= 'a' && c <= 'z') || (c >= 224 && c != 247))) return false;
  return true;
}

std::optional<WordSample> sampleWords(const std::string& listPath, size_t count, bool heldOut) {
  std::ifstream list(listPath);
  if (!list || count == 0) return std::nullopt;
  std::vector<std::string> plain;
  for (std::string line; std::getline(list, line);)
    if (isPlainWord(qr::fromUtf8(line))) plain.push_back(line);
  if (plain.size() < count) return std::nullopt;
  WordSample s;
  s.plainWords = plain.size();
  s.stride = plain.size() / count;
  const size_t phase = heldOut ? s.stride / 4 : s.stride / 2;
  for (size_t k = 0; k < count; ++k) s.words.push_back(plain[k * s.stride + phase]);
  return s;
}

std::optional<int> stressFromEnd(std::string_view ph, std::string_view vowels, char mark) {
  const bool apostrophe = mark != 0;
  std::vector<bool> runs;  // per vowel run: stressed?
  bool inRun = false, pending = false;
  for (size_t i = 0; i < ph.size(); ++i) {
    const char c = ph[i];
    if (apostrophe && c == '@' && i + 1 < ph.size() && ph[i + 1] == '-') {
      ++i;
      continue;
    }
    const bool vowel = vowels.find(c) != std::string_view::npos;
    const bool consonant =
        !vowel && (std::isalpha(static_cast<unsigned char>(c)) || c == '*' || c == '_');
    if (apostrophe && c == mark) {
      pending = true;
    } else if (vowel) {
      if (!inRun) runs.push_back(false);
      inRun = true;
      if (pending || (!apostrophe && c >= 'A' && c <= 'Z')) runs.back() = true;
      pending = false;
    } else if (consonant) {
      inRun = false;
    }
  }
  for (size_t i = 0; i < runs.size(); ++i)
    if (runs[i]) return static_cast<int>(runs.size() - i);
  return std::nullopt;
}

std::optional<int> espeakStressFromEnd(std::string_view ph) {
  constexpr std::string_view kVowels = "aeiouEO&@3yIUwjVY0";
  auto s = stressFromEnd(ph, kVowels, '\'');
  return s ? s : stressFromEnd(ph, kVowels, ',');
}

std::vector<float> toFloat(const std::vector<int16_t>& pcm) {
  std::vector<float> out(pcm.size());
  for (size_t i = 0; i < pcm.size(); ++i) out[i] = pcm[i] / 32768.0f;
  return out;
}

std::vector<float> trimSilence(const std::vector<float>& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::fabs(s[a]) < 0.01f) ++a;
  while (b > a && std::fabs(s[b - 1]) < 0.01f) --b;
  return {s.begin() + static_cast<long>(a), s.begin() + static_cast<long>(b)};
}

int countClicks(const std::vector<float>& s, int rate) {
  const size_t ms = static_cast<size_t>(rate / 1000), half = ms / 2;
  auto level = [&](size_t from) {
    double e = 0;
    for (size_t i = from; i < from + ms && i < s.size(); ++i) e += s[i] * s[i];
    return 10 * std::log10(e / static_cast<double>(ms) + 1e-12);
  };
  int count = 0;
  size_t last = 0;
  bool any = false;
  for (size_t t = ms; t + 10 * ms <= s.size(); t += half) {
    const double before = level(t - ms);
    if (before < -24) continue;
    double after = -200;
    for (size_t k = 2; k < 10; ++k) after = std::max(after, level(t + k * ms));
    if (after <= before - 30 && (!any || t - last > 10 * ms)) {
      ++count;
      last = t;
      any = true;
    }
  }
  return count;
}

namespace {

constexpr size_t kCepstra = 24;
using Frames = std::vector<std::array<double, kCepstra>>;

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2 * M_PI / static_cast<double>(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t j = 0; j < len / 2; ++j) {
        const auto u = a[i + j], v = a[i + j + len / 2] * w;
        a[i + j] = u + v;
        a[i + j + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

// 24 mel cepstra per 10 ms frame: a 25 ms Hamming window, the power
// spectrum summed through 40 triangular mel bands over 60-4,000 Hz, the
// natural log of each band's power L_b, and the cosine series of that log
// envelope over the mel axis,
//   c_d = (2/K) sum_b L_b cos(pi d (b + 1/2) / K),  d = 1..24,
// so that L_b = c_0 + sum_d c_d cos(...). c_0, the level, is left out, so the
// two sounds need not be equally loud. Frames more than 40 dB below the
// sound's loudest frame are silence and are dropped.
//
// Why this scaling: with an orthonormal DCT (sqrt(2/K) in place of 2/K)
// every cepstrum is sqrt(K/2) times larger, 4.5 times at 40 bands and 6.3
// at 80, so the figure would depend on how finely the band is divided. As a
// series the cepstra do not depend on K, and
// (10/ln 10) sqrt(2 sum_d (c_d - c'_d)^2) is twice the root-mean-square
// difference in dB of the two smoothed log spectra. (Cepstra of the log
// amplitude, the other usual convention, give exactly half of every figure.)
Frames melCepstra(const std::vector<float>& s, int rate) {
  const auto kWin = static_cast<size_t>(std::lround(0.025 * rate));
  const auto kHop = static_cast<size_t>(std::lround(0.010 * rate));
  size_t kFft = 1;
  while (kFft < kWin) kFft <<= 1;
  constexpr size_t kBands = 40;
  auto mel = [](double f) { return 2595 * std::log10(1 + f / 700); };
  auto hz = [](double m) { return 700 * (std::pow(10, m / 2595) - 1); };
  std::vector<double> edges(kBands + 2);
  for (size_t i = 0; i < edges.size(); ++i)
    edges[i] = hz(mel(60) + (mel(4000) - mel(60)) * static_cast<double>(i) / (kBands + 1));
  Frames frames;
  std::vector<double> energy;
  for (size_t start = 0; start + kWin <= s.size(); start += kHop) {
    std::vector<std::complex<double>> a(kFft);
    double e = 0;
    for (size_t i = 0; i < kWin; ++i) {
      const double w = 0.54 - 0.46 * std::cos(2 * M_PI * static_cast<double>(i) / (kWin - 1));
      a[i] = s[start + i] * w;
      e += s[start + i] * s[start + i];
    }
    fft(a);
    std::array<double, kBands> band{};
    for (size_t b = 0; b < kBands; ++b) {
      double sum = 0;
      for (size_t k = 1; k < kFft / 2; ++k) {
        const double f = static_cast<double>(k) * rate / static_cast<double>(kFft);
        double w = 0;
        if (f > edges[b] && f <= edges[b + 1])
          w = (f - edges[b]) / (edges[b + 1] - edges[b]);
        else if (f > edges[b + 1] && f < edges[b + 2])
          w = (edges[b + 2] - f) / (edges[b + 2] - edges[b + 1]);
        sum += w * std::norm(a[k]);
      }
      band[b] = std::log(sum + 1e-12);
    }
    std::array<double, kCepstra> c{};
    for (size_t d = 0; d < kCepstra; ++d) {
      double v = 0;
      for (size_t b = 0; b < kBands; ++b)
        v += band[b] * std::cos(M_PI * static_cast<double>(d + 1) * (b + 0.5) / kBands);
      c[d] = v * 2.0 / kBands;
    }
    frames.push_back(c);
    energy.push_back(10 * std::log10(e / static_cast<double>(kWin) + 1e-12));
  }
  const double top = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  Frames kept;
  for (size_t i = 0; i < frames.size(); ++i)
    if (energy[i] > top - 40) kept.push_back(frames[i]);
  return kept;
}

// Mean distortion in dB along the best alignment: steps of one frame on
// either side or on both, every step weighing the same, the sum divided by
// the steps taken.
double dtwDistortion(const Frames& x, const Frames& y) {
  if (x.empty() || y.empty()) return 0;
  auto dist = [&](size_t i, size_t j) {
    double d = 0;
    for (size_t k = 0; k < kCepstra; ++k) d += (x[i][k] - y[j][k]) * (x[i][k] - y[j][k]);
    return 10 / std::log(10.0) * std::sqrt(2 * d);
  };
  const size_t n = x.size(), m = y.size();
  constexpr double kInf = 1e300;
  std::vector<double> cost((n + 1) * (m + 1), kInf);
  std::vector<int> steps((n + 1) * (m + 1), 0);
  cost[0] = 0;
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j) {
      const size_t here = i * (m + 1) + j;
      const size_t cands[3] = {(i - 1) * (m + 1) + j - 1, (i - 1) * (m + 1) + j,
                               i * (m + 1) + j - 1};
      size_t best = cands[0];
      for (size_t c : cands)
        if (cost[c] < cost[best]) best = c;
      cost[here] = cost[best] + dist(i - 1, j - 1);
      steps[here] = steps[best] + 1;
    }
  const size_t end = n * (m + 1) + m;
  return cost[end] / steps[end];
}

}  // namespace

double melCepstralDistortion(const std::vector<float>& sound, int rate,
                             const std::vector<float>& reference, int referenceRate) {
  return dtwDistortion(melCepstra(sound, rate), melCepstra(reference, referenceRate));
}

}  // namespace measures
