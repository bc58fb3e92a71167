// voice_quality: figures of the syllable-unit voice against eSpeak NG's
// Brazilian Portuguese voice, the voice its units are rendered from.
//
//  - word agreement: over a fixed sample of the word list, the translator's
//    phonetic text read as the unit generator renders it, and eSpeak NG's
//    own phonemes for the word, both brought to one coarse alphabet (vowel
//    quality e/E and o/O, nasality, consonants; stress and length left out);
//  - stressed syllable agreement over the same words;
//  - over a fixed corpus of sentences (program messages and everyday
//    speech), at every speed: clicks per second (a level of at least
//    -24 dBFS falling 30 dB or more within 2 ms), for our voice and for
//    eSpeak NG at the speed's rate, and our duration over eSpeak NG's;
//  - at speed 3, mel-cepstral distortion after dynamic time warping (24 mel
//    cepstra from 60 to 4,000 Hz, silent frames dropped), with eSpeak NG at
//    another rate against itself for scale.
//
//   voice_quality [--data DIR] [--words LIST] [--count N] [--mismatches FILE]
//                 [--wav DIR [--wav-speed N]] [--skip-words] [--skip-sound] [--dump FILE]
//
// --dump writes every plain word of the list with our phonetic text and
// eSpeak NG's phonemes, for working on the rules.
// --wav writes our sentences and eSpeak NG's as WAV files (speed 3, or
// --wav-speed N) for listening and spectrograms. The joining parameters of each speed come from
// the build tree's QUIRAL.INI.
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "base/ini.h"
#include "base/wav.h"
#include "console/qrwinConfig.h"
#include "ftp/ftpmsgCatalogue.h"
#include "speech/diphoneEngine.h"
#include "speech/translator.h"
#include "tools/halfRate.h"
#include "tools/unitdbPhonemes.h"

namespace {

// --- Corpus -------------------------------------------------------------

constexpr std::string_view kMessageKeys[] = {
    "FTERRBIB", "FTERCOMP", "FTNAOCON", "FTCOMCAI", "FTMODIMG", "FTERRMOD", "FTNOMLOC", "FTARQNAO",
    "FTNOMREM", "FTTRAREC", "FTERRENV", "FTFIMENV", "FTNAOCRI", "FTFIMREC", "FTOKAPAG", "FTNAOAPA",
    "FTERTEMP", "FTERRCRI", "FTDIRPED", "FTPEDREC", "FTVERDIR", "FTQUEDIR", "FTNAODIR", "FTVERBO",
    "FTERRCMD", "FTFIMPRG", "FTERRSRV", "FTCHAVE",  "FTACLIBE", "FTCOMINT", "FTNAOPSV", "FTPAJA02"};

constexpr std::string_view kEveryday[] = {"Bom dia, tudo bem com você?",
                                          "Hoje o céu está azul e faz calor.",
                                          "Vou ao mercado comprar pão e leite.",
                                          "A reunião começa às três horas da tarde.",
                                          "Meu irmão mora perto da praia.",
                                          "Você pode me ajudar com esta mala?",
                                          "O ônibus chegou atrasado outra vez.",
                                          "Ela gosta de ler livros antes de dormir.",
                                          "Precisamos terminar o trabalho até sexta.",
                                          "O menino quebrou o copo na cozinha.",
                                          "A comida estava muito gostosa.",
                                          "Fechei a porta e apaguei a luz.",
                                          "O senhor sabe onde fica a estação?",
                                          "Minha avó fez um bolo de cenoura.",
                                          "O cachorro correu atrás do gato.",
                                          "Amanhã vai chover o dia inteiro.",
                                          "Eles jogaram futebol no campo da escola.",
                                          "Quero um café com açúcar, por favor.",
                                          "O médico pediu exames de sangue.",
                                          "A janela do quarto ficou aberta.",
                                          "Nós vamos viajar nas férias de julho.",
                                          "O telefone tocou três vezes.",
                                          "Ele esqueceu a chave dentro do carro.",
                                          "A professora explicou a lição com calma.",
                                          "Comprei sapatos novos para a festa.",
                                          "O rio estava cheio depois da chuva.",
                                          "Obrigado pela ajuda de ontem.",
                                          "O computador novo é muito rápido.",
                                          "A feira de domingo tem frutas frescas.",
                                          "Esse caminho leva ao centro da cidade.",
                                          "Ninguém sabia a resposta certa.",
                                          "O trem parte da plataforma dois."};

std::vector<std::string> corpus() {
  std::vector<std::string> out;
  for (const auto key : kMessageKeys)
    for (const auto& m : ftp::kMessages)
      if (m.key == key) out.emplace_back(m.text);
  for (const auto s : kEveryday) out.emplace_back(s);
  return out;
}

// --- One coarse alphabet for both phoneme strings -------------------------

struct Phone {
  std::string p;
  bool vowel = false;
  bool nasal = false;
  bool operator==(const Phone& o) const { return p == o.p && nasal == o.nasal; }
};

// eSpeak NG's phoneme mnemonics (as `espeak-ng -x` writes them) in the
// coarse alphabet. Taps (* R) are r; the strong r (x) and a final r are X;
// [ɐ] and [a] are a; [ɪ] and [j] are i; [ʊ] and [w] are u. A "~" or a
// nasal coda N nasalises the vowel run it ends; a vowel run is nasal as a
// whole, marked on its first vowel.
std::vector<Phone> coarse(std::string_view s) {
  std::vector<Phone> out;
  auto nasaliseRun = [&out] {
    for (size_t i = out.size(); i-- > 0 && out[i].vowel;) out[i].nasal = true;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const char n = i + 1 < s.size() ? s[i + 1] : 0;
    if (c == '@' && n == '-') {
      ++i;
      continue;
    }
    if (c == 't' && n == 'S') {
      out.push_back({"C"});
      ++i;
    } else if (c == 'd' && n == 'Z') {
      out.push_back({"J"});
      ++i;
    } else if ((c == 'n' || c == 'l') && n == '^') {
      out.push_back({c == 'n' ? "N" : "L"});
      ++i;
    } else if (c == '~') {
      nasaliseRun();
    } else if (c == 'N') {
      if (!out.empty() && out.back().vowel) nasaliseRun();
    } else if (std::string_view("a&A@").find(c) != std::string_view::npos) {
      out.push_back({"a", true});
    } else if (std::string_view("iIyj").find(c) != std::string_view::npos) {
      out.push_back({"i", true});
    } else if (std::string_view("uUw").find(c) != std::string_view::npos) {
      out.push_back({"u", true});
    } else if (std::string_view("eEoO").find(c) != std::string_view::npos) {
      out.push_back({std::string(1, c), true});
    } else if (c == '*' || c == 'R') {
      out.push_back({"r"});
    } else if (c == 'x' || c == 'r' || c == 'h') {
      out.push_back({"X"});
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      out.push_back({std::string(1, c)});
    } else if (c == '_' && i + 1 < s.size()) {
      out.push_back({std::string("_") + n});  // a spelled letter matches nothing
      ++i;
    }
  }
  // A coda l is [w] in Brazilian speech.
  for (size_t i = 0; i < out.size(); ++i)
    if (out[i].p == "l" && (i + 1 == out.size() || !out[i + 1].vowel)) out[i] = {"u", true};
  // A nasal consonant between a vowel and a consonant only nasalises the
  // vowel ("campo", "conta"); a nasal e before a consonant, which eSpeak
  // writes as the diphthong [ẽj̃], is a nasal e.
  for (size_t i = 1; i + 1 < out.size(); ++i) {
    if ((out[i].p == "m" || out[i].p == "n") && out[i - 1].vowel && !out[i + 1].vowel) {
      out[i - 1].nasal = true;
      out.erase(out.begin() + static_cast<long>(i));
      --i;
    }
  }
  for (size_t i = 0; i + 2 < out.size(); ++i)
    if (out[i].p == "e" && out[i + 1].p == "i" && (out[i].nasal || out[i + 1].nasal) &&
        !out[i + 2].vowel) {
      out[i].nasal = true;
      out.erase(out.begin() + static_cast<long>(i) + 1);
    }
  // One nasal mark per vowel run, on its first vowel.
  for (size_t i = 0; i < out.size();) {
    if (!out[i].vowel) {
      ++i;
      continue;
    }
    size_t j = i;
    bool nasal = false;
    for (; j < out.size() && out[j].vowel; ++j) nasal = nasal || out[j].nasal;
    for (size_t k = i; k < j; ++k) out[k].nasal = k == i && nasal;
    i = j;
  }
  return out;
}

std::string show(const std::vector<Phone>& v) {
  std::string s;
  for (const auto& p : v) s += p.p + (p.nasal ? "~" : "");
  return s;
}

// Our phonetic word as the unit generator renders it, in eSpeak NG's
// mnemonics; spelled letters stay "_c".
std::string ourPhonemes(std::string_view phonetic) {
  std::string out, word;
  auto flushWord = [&] {
    if (!word.empty()) out += tools::unitPhonemes(word);
    word.clear();
  };
  for (size_t i = 0; i < phonetic.size(); ++i) {
    const char c = phonetic[i];
    if (c == '[' || c == ']' || c == '/' || c == ' ') continue;
    if (c == '_' && i + 1 < phonetic.size()) {
      flushWord();
      out += '_';
      out += phonetic[++i];
      continue;
    }
    word += c;
  }
  flushWord();
  return out;
}

// Index from the end (1 = last) of the vowel run that holds the stress;
// runs are broken by consonant symbols. The translator marks the stressed
// vowel in upper case; eSpeak writes "'" before it.
std::optional<int> stressFromEnd(std::string_view ph, std::string_view vowels, char mark) {
  const bool apostrophe = mark != 0;
  std::vector<bool> runs;
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

std::string espeakPhonemes(const std::string& utf8) {
  const void* p = utf8.c_str();
  std::string out;
  while (p) {
    const char* ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, 0);
    if (ph) out += ph;
  }
  return out;
}

bool isPlainWord(std::string_view cp) {
  if (cp.size() < 2) return false;
  for (unsigned char c : cp)
    if (!((c >= 'a' && c <= 'z') || (c >= 224 && c != 247))) return false;
  return true;
}

void dumpAll(const speech::Translator& tr, const std::string& listPath, const std::string& out) {
  std::ifstream list(listPath);
  std::ofstream o(out);
  for (std::string line; std::getline(list, line);)
    if (isPlainWord(qr::W(line)))
      o << line << '\t' << qr::toUtf8(tr.translateToPhonetic(qr::W(line))) << '\t'
        << espeakPhonemes(line) << '\n';
}

void wordFigures(const speech::Translator& tr, const std::string& listPath, size_t count,
                 const std::string& mismatchPath) {
  std::ifstream list(listPath);
  std::vector<std::string> words;
  for (std::string line; std::getline(list, line);)
    if (isPlainWord(qr::W(line))) words.push_back(line);
  if (words.size() < count) {
    std::cerr << "voice_quality: only " << words.size() << " words in " << listPath << "\n";
    return;
  }
  std::ofstream mismatches(mismatchPath.empty() ? "/dev/null" : mismatchPath);
  const size_t stride = words.size() / count;
  size_t agree = 0, stressAgree = 0;
  for (size_t k = 0; k < count; ++k) {
    const std::string& word = words[k * stride + stride / 2];
    const std::string phonetic = tr.translateToPhonetic(qr::W(word));
    const std::string ours = ourPhonemes(phonetic);
    const std::string theirs = espeakPhonemes(word);
    const auto a = coarse(ours), b = coarse(theirs);
    const bool same = a == b;
    agree += same;
    const auto sa = stressFromEnd(phonetic, "aeiouAEIOUwy", 0);
    auto sb = stressFromEnd(theirs, "aeiouEO&@3yIUwjVY0", '\'');
    if (!sb) sb = stressFromEnd(theirs, "aeiouEO&@3yIUwjVY0", ',');
    const bool stressSame = sa && sb && *sa == *sb;
    stressAgree += stressSame;
    if (!same || !stressSame)
      mismatches << word << '\t' << qr::toUtf8(phonetic) << '\t' << show(a) << '\t' << show(b)
                 << '\t' << theirs << (stressSame ? "" : "\tSTRESS") << '\n';
  }
  std::printf("words: %zu (every %zu-th of %zu plain words in %s)\n", count, stride, words.size(),
              listPath.c_str());
  std::printf("word agreement with eSpeak NG: %.1f %%\n", 100.0 * agree / count);
  std::printf("stressed syllable agreement:   %.1f %%\n", 100.0 * stressAgree / count);
}

// --- Sound ---------------------------------------------------------------

std::vector<int16_t> gPcm;
int onSynth(short* wav, int n, espeak_EVENT*) {
  if (wav && n > 0) gPcm.insert(gPcm.end(), wav, wav + n);
  return 0;
}

// eSpeak NG at a rate, brought to 11,025 Hz through the generators' filter.
std::vector<float> espeakSay(const std::string& utf8, int rate, std::vector<int16_t>* raw) {
  espeak_SetParameter(espeakRATE, rate, 0);
  gPcm.clear();
  espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
               nullptr);
  espeak_Synchronize();
  if (raw) *raw = gPcm;
  std::vector<float> out = tools::halveRate(gPcm);
  for (auto& v : out) v /= 32768.0f;
  return out;
}

std::vector<float> oursSay(speech::DiphoneEngine& engine, const speech::Translator& tr,
                           const std::string& utf8, std::vector<uint8_t>* raw) {
  std::vector<float> out;
  engine.speak(tr.translateToPhonetic(qr::fromUtf8(utf8)), 0, [&](const uint8_t* img, size_t n) {
    for (size_t i = speech::DiphoneEngine::kHeaderSize; i < n; ++i) {
      out.push_back((img[i] - 128) / 128.0f);
      if (raw) raw->push_back(img[i]);
    }
    return true;
  });
  return out;
}

// Leading and trailing silence (below -40 dBFS) off.
std::vector<float> trimmed(const std::vector<float>& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::fabs(s[a]) < 0.01f) ++a;
  while (b > a && std::fabs(s[b - 1]) < 0.01f) --b;
  return {s.begin() + static_cast<long>(a), s.begin() + static_cast<long>(b)};
}

// Clicks: at 0.5 ms steps, the level over the 1 ms before is at least
// -24 dBFS, and from 2 ms later on it stays 30 dB or more below that for
// 8 ms (every 1 ms window of it; 8 ms spans a pitch period, so the dip
// between two glottal pulses is not taken for a click). Events closer than
// 10 ms count once.
int clicks(const std::vector<float>& s, double rate) {
  const size_t ms = static_cast<size_t>(rate / 1000.0), half = ms / 2;
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

// 24 mel cepstra per 10 ms frame (25 ms Hamming window, 512-point FFT,
// 40 mel bands over 60-4,000 Hz, natural log of the band amplitudes, DCT-II);
// frames more than 40 dB below the loudest are dropped.
using Frames = std::vector<std::array<double, 24>>;

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

Frames melCepstra(const std::vector<float>& s) {
  constexpr double kRate = 11025;
  constexpr size_t kWin = 276, kHop = 110, kFft = 512, kBands = 40;
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
        const double f = static_cast<double>(k) * kRate / kFft;
        double w = 0;
        if (f > edges[b] && f <= edges[b + 1])
          w = (f - edges[b]) / (edges[b + 1] - edges[b]);
        else if (f > edges[b + 1] && f < edges[b + 2])
          w = (edges[b + 2] - f) / (edges[b + 2] - edges[b + 1]);
        sum += w * std::abs(a[k]);
      }
      band[b] = std::log(sum + 1e-9);
    }
    std::array<double, 24> c{};
    for (size_t d = 0; d < 24; ++d) {
      double v = 0;
      for (size_t b = 0; b < kBands; ++b)
        v += band[b] * std::cos(M_PI * static_cast<double>(d + 1) * (b + 0.5) / kBands);
      c[d] = v * std::sqrt(2.0 / kBands);
    }
    frames.push_back(c);
    energy.push_back(10 * std::log10(e / kWin + 1e-12));
  }
  const double top = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  Frames kept;
  for (size_t i = 0; i < frames.size(); ++i)
    if (energy[i] > top - 40) kept.push_back(frames[i]);
  return kept;
}

// Mean mel-cepstral distortion in dB along the best alignment.
double mcd(const Frames& x, const Frames& y) {
  if (x.empty() || y.empty()) return 0;
  auto dist = [&](size_t i, size_t j) {
    double d = 0;
    for (size_t k = 0; k < 24; ++k) d += (x[i][k] - y[j][k]) * (x[i][k] - y[j][k]);
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

void writeWav16(const std::string& path, const std::vector<int16_t>& pcm) {
  const auto img =
      qr::makeWavImage(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2, 22050, 1, 16);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(img.data()), static_cast<long>(img.size()));
}

void writeWav8(const std::string& path, const std::vector<uint8_t>& samples) {
  const auto img = qr::makeWavImage(samples.data(), samples.size(), 11025, 1, 8);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(img.data()), static_cast<long>(img.size()));
}

void soundFigures(const speech::Translator& tr, const std::string& dataDir,
                  const std::string& wavDir, int wavSpeed) {
  const std::string ini = QUIRAL_BUILD_ROOT "/QUIRAL.INI";
  auto number = [&ini](const std::string& key, long fallback) {
    const auto v = qr::iniRead(ini, "SINTETIZADOR", key);
    return v ? qr::convertNumber(*v).value : fallback;
  };
  const auto sentences = corpus();
  std::printf("sentences: %zu (%zu program messages, %zu everyday)\n", sentences.size(),
              std::size(kMessageKeys), std::size(kEveryday));
  std::printf("speed  rate  ours s  eSpeak s  ratio  clicks/s ours  eSpeak\n");
  for (int speed = 1; speed <= 5; ++speed) {
    speech::DiphoneEngine engine;
    if (!engine.openDatabase(dataDir, "DIFONES" + std::to_string(speed))) {
      std::cerr << "voice_quality: no DIFONES" << speed << " in " << dataDir << "\n";
      return;
    }
    const std::string k = std::to_string(speed);
    engine.setParameters(static_cast<int>(number("CORTEFON" + k, 400)),
                         static_cast<int>(number("SOBRAFON" + k, 0)),
                         static_cast<int>(number("INTERPAL" + k, 100)));
    const int rate = tools::kSpeedRates[static_cast<size_t>(speed - 1)];
    double oursSeconds = 0, theirSeconds = 0, mcdSum = 0, selfSum = 0;
    int oursClicks = 0, theirClicks = 0;
    for (size_t i = 0; i < sentences.size(); ++i) {
      std::vector<uint8_t> ourRaw;
      std::vector<int16_t> theirRaw;
      const bool keep = !wavDir.empty() && speed == wavSpeed;
      const auto ours = trimmed(oursSay(engine, tr, sentences[i], keep ? &ourRaw : nullptr));
      const auto theirs = trimmed(espeakSay(sentences[i], rate, keep ? &theirRaw : nullptr));
      oursSeconds += static_cast<double>(ours.size()) / 11025;
      theirSeconds += static_cast<double>(theirs.size()) / 11025;
      oursClicks += clicks(ours, 11025);
      theirClicks += clicks(theirs, 11025);
      if (speed == 3) {
        const auto ref = melCepstra(theirs);
        mcdSum += mcd(melCepstra(ours), ref);
        selfSum += mcd(melCepstra(trimmed(espeakSay(sentences[i], 160, nullptr))), ref);
      }
      if (keep) {
        char name[32];
        std::snprintf(name, sizeof name, "/%02zu", i);
        writeWav8(wavDir + name + "-ours.wav", ourRaw);
        writeWav16(wavDir + name + "-espeak.wav", theirRaw);
      }
    }
    std::printf("%5d  %4d  %6.1f  %8.1f  %5.2f  %13.2f  %6.2f\n", speed, rate, oursSeconds,
                theirSeconds, oursSeconds / theirSeconds, oursClicks / oursSeconds,
                theirClicks / theirSeconds);
    if (speed == 3)
      std::printf(
          "       mel-cepstral distortion at speed 3: %.2f dB (eSpeak NG at 160 "
          "against %d: %.2f dB)\n",
          mcdSum / static_cast<double>(sentences.size()), rate,
          selfSum / static_cast<double>(sentences.size()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir = QUIRAL_BUILD_ROOT "/som/difones";
  std::string wordFile = "/usr/share/dict/brazilian";
  std::string mismatchFile, wavDir, dumpFile;
  size_t count = 2000;
  int wavSpeed = 3;
  bool words = true, sound = true;
  for (int i = 1; i < argc; ++i) {
    const std::string k = argv[i];
    const bool hasValue = i + 1 < argc;
    if (k == "--data" && hasValue)
      dataDir = argv[++i];
    else if (k == "--words" && hasValue)
      wordFile = argv[++i];
    else if (k == "--count" && hasValue)
      count = std::stoul(argv[++i]);
    else if (k == "--mismatches" && hasValue)
      mismatchFile = argv[++i];
    else if (k == "--wav" && hasValue)
      wavDir = argv[++i];
    else if (k == "--wav-speed" && hasValue)
      wavSpeed = std::stoi(argv[++i]);
    else if (k == "--dump" && hasValue)
      dumpFile = argv[++i];
    else if (k == "--skip-words")
      words = false;
    else if (k == "--skip-sound")
      sound = false;
    else {
      std::cerr << "usage: voice_quality [--data DIR] [--words LIST] [--count N] "
                   "[--mismatches FILE] [--wav DIR] [--skip-words] [--skip-sound]\n";
      return 2;
    }
  }
  dataDir += '/';
  speech::Translator tr;
  if (!tr.loadTranslatorRules(dataDir + "regras.rgr") ||
      !tr.loadTranslatorExceptions(dataDir + "portug.exc")) {
    std::cerr << "voice_quality: no rule files in " << dataDir << "\n";
    return 1;
  }
  if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) < 0 ||
      espeak_SetVoiceByName("pt-br") != EE_OK) {
    std::cerr << "voice_quality: eSpeak NG with the pt-br voice is not available\n";
    return 1;
  }
  espeak_SetSynthCallback(onSynth);
  if (!dumpFile.empty()) {
    dumpAll(tr, wordFile, dumpFile);
    return 0;
  }
  if (words) wordFigures(tr, wordFile, count, mismatchFile);
  if (sound) soundFigures(tr, dataDir, wavDir, wavSpeed);
  return 0;
}
