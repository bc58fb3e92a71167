// Figures of the diphone synthesiser library and its generated database
// (not part of the tests; run after a build that generated the database):
//
//   build/bench/synth_bench [--wav DIR] [--words LIST] [--word-limit N]
//                           [--pitch FACTOR] [--rate FACTOR] [--show-pitch 1]
//
// The engine's front runs at the rate factor the program uses for the speed
// of [SERVFALA] in the build tree's QUIRAL.INI (--rate overrides it), eSpeak
// NG at its default rate, and the syllable-unit voice with the units and
// joining parameters of the speed of [TRADUTOR], as the program starts them.
//
//  - length: the spoken time of each voice from its first sound to its last,
//    and how much of it is pauses (silent stretches of 100 ms or more), all
//    three measured alike; for ours also the pause and phone time the
//    engine asked for;
//  - duration: every phone's length in the output against its input line;
//  - pitch: F0 measured (autocorrelation, 40 ms window) at the middle of
//    every vowel of 60 ms or more against the targets interpolated;
//  - joins: the largest sample-to-sample step within 5 ms of every join of
//    two diphones against the largest step inside the two recordings they
//    were cut from;
//  - closeness: mel-cepstral distortion after time warping against eSpeak NG
//    saying the same sentence, beside the same figure for the syllable-unit
//    voice; clicks per second of the three;
//  - speed: real-time factors of input lines -> samples, of text -> samples
//    (the engine's front, then the library) and of eSpeak NG, in one run;
//  - coverage: the diphones the engine's rules make over a word list that
//    the database lacks.
// With --wav, each sentence is written as NN-ours.wav and NN-espeak.wav.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/ini.h"
#include "base/wav.h"
#include "bench/speechMeasures.h"
#include "speech/diphoneEngine.h"
#include "speech/dispatcher.h"
#include "speech/translator.h"
#include "synth/synthesiser.h"
#include "tools/espeakRender.h"
#include "tts/uttsFront.h"

namespace {

constexpr const char* kSentences[] = {"Bom dia, tudo bem com você?",
                                      "O arquivo foi recebido com sucesso.",
                                      "Digite o nome do computador remoto.",
                                      "A conexão com o servidor foi encerrada.",
                                      "Hoje o céu está azul e faz calor.",
                                      "Vou ao mercado comprar pão e leite.",
                                      "A reunião começa às três horas da tarde.",
                                      "Meu irmão mora perto da praia.",
                                      "Você pode me ajudar com esta mala?",
                                      "O ônibus chegou atrasado outra vez.",
                                      "Ela gosta de ler livros antes de dormir.",
                                      "Precisamos terminar o trabalho até sexta.",
                                      "O menino quebrou o copo na cozinha.",
                                      "Fechei a porta e apaguei a luz.",
                                      "O senhor sabe onde fica a estação?",
                                      "Minha avó fez um bolo de cenoura.",
                                      "O cachorro correu atrás do gato.",
                                      "Amanhã vai chover o dia inteiro.",
                                      "Quero um café com açúcar, por favor.",
                                      "O médico pediu exames de sangue.",
                                      "Nós vamos viajar nas férias de julho.",
                                      "O telefone tocou três vezes.",
                                      "Ele esqueceu a chave dentro do carro.",
                                      "A professora explicou a lição com calma.",
                                      "Comprei sapatos novos para a festa.",
                                      "O rio estava cheio depois da chuva.",
                                      "O computador novo é muito rápido.",
                                      "A feira de domingo tem frutas frescas.",
                                      "Esse caminho leva ao centro da cidade.",
                                      "O diretório remoto tem doze arquivos."};

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a) {
  return std::chrono::duration<double>(Clock::now() - a).count();
}

struct Line {
  std::string name;
  double ms = 0;
  std::vector<synth::PitchPoint> pitch;
};

std::vector<Line> parse(const std::vector<std::string>& pho) {
  std::vector<Line> out;
  for (const auto& l : pho) {
    const auto p = synth::parsePhoLine(l);
    if (p && p->kind == synth::PhoLine::Kind::Phone) out.push_back({p->name, p->ms, p->pitch});
  }
  return out;
}

std::vector<int16_t> synthesise(synth::Synthesiser& s, const std::vector<std::string>& pho) {
  std::vector<int16_t> out;
  int16_t buf[16000];
  s.reset();
  for (const auto& l : pho) {
    s.write(l + "\r\n");
    for (int n; (n = s.read(buf, 16000)) > 0;) out.insert(out.end(), buf, buf + n);
  }
  s.flush();
  for (int n; (n = s.read(buf, 16000)) > 0;) out.insert(out.end(), buf, buf + n);
  return out;
}

// F0 at a sample: the shortest lag whose normalised autocorrelation is a
// peak within 15 % of the best one (so that a period of two grains is not
// taken for the pitch), refined with a parabola; 0 when unvoiced.
double f0At(const std::vector<int16_t>& s, size_t at) {
  const size_t w = 320;
  constexpr int kLo = 50, kHi = 270;
  if (at < w || at + w + kHi + 1 >= s.size()) return 0;
  auto corr = [&](int lag) {
    double c = 0, e0 = 0, e1 = 0;
    for (size_t i = at - w; i < at + w; ++i) {
      c += double(s[i]) * s[i + lag];
      e0 += double(s[i]) * s[i];
      e1 += double(s[i + lag]) * s[i + lag];
    }
    return c / std::sqrt(e0 * e1 + 1);
  };
  std::vector<double> r(kHi + 2);
  for (int lag = kLo - 1; lag <= kHi + 1; ++lag) r[lag] = corr(lag);
  const double best = *std::max_element(r.begin() + kLo, r.begin() + kHi + 1);
  if (best < 0.5) return 0;
  int lag = kLo;
  while (lag < kHi && !(r[lag] >= 0.85 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]))
    ++lag;
  const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
  const double d = a - 2 * b + c;
  return 16000 / (lag + (d < 0 ? 0.5 * (a - c) / d : 0));
}

bool isVowel(const std::string& n) {
  static const std::set<std::string> v = {"a", "6",  "e",  "E",  "i",  "o", "O",
                                          "u", "a~", "e~", "i~", "o~", "u~"};
  return v.count(n) > 0;
}

void writeWav(const std::string& path, const std::vector<int16_t>& pcm, int rate) {
  const auto img =
      qr::makeWavImage(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2, rate, 1, 16);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(img.data()), static_cast<long>(img.size()));
}

// eSpeak NG's phoneme for each of ours, from the inventory.
std::map<std::string, std::string> espeakNames(const std::string& fon) {
  std::map<std::string, std::string> out;
  std::ifstream in(fon);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';') continue;
    std::istringstream w(line);
    std::string name, kind, espeak;
    if (w >> name >> kind >> espeak) out[name] = espeak == "_" ? " " : espeak;
  }
  return out;
}

// The input lines as eSpeak NG phoneme input: a word per ";" line.
std::string asEspeakPhonemes(const std::vector<std::string>& pho,
                             const std::map<std::string, std::string>& names) {
  std::string out;
  for (const auto& l : pho) {
    if (l.starts_with(';')) {
      out += ' ';
      continue;
    }
    const auto p = synth::parsePhoLine(l);
    if (!p || p->kind != synth::PhoLine::Kind::Phone) continue;
    const auto it = names.find(p->name);
    if (it != names.end()) out += it->second;
  }
  return out;
}

// Time in silent stretches of at least 100 ms inside a trimmed sound: 10 ms
// frames below -40 dBFS (the level trimSilence takes for silence).
double pauseSeconds(const std::vector<float>& s, int rate) {
  const size_t frame = static_cast<size_t>(rate / 100);
  size_t run = 0, total = 0;
  for (size_t at = 0; at + frame <= s.size(); at += frame) {
    double e = 0;
    for (size_t i = at; i < at + frame; ++i) e += double(s[i]) * s[i];
    if (e / frame < 1e-4) {
      ++run;
      continue;
    }
    if (run >= 10) total += run;
    run = 0;
  }
  if (run >= 10) total += run;
  return total / 100.0;
}

// A whole number from the build tree's QUIRAL.INI.
long iniNumber(const std::string& contents, const char* section, const std::string& key,
               long fallback) {
  const auto v = qr::iniLookup(contents, section, key);
  const auto n = v ? qr::convertNumber(*v) : qr::NumberValue{};
  return n.valid ? n.value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = QUIRAL_BUILD_ROOT;
  std::string wavDir, words = "/usr/share/dict/brazilian";
  size_t wordLimit = 0;
  bool showPitch = false;
  std::string ini;
  {
    std::ifstream f(root + "/QUIRAL.INI");
    std::getline(f, ini, '\0');
  }
  // The program's speeds: the engine's from [SERVFALA] (above 10 is taken
  // as 0 for it), the syllable units' from [TRADUTOR] (outside 1-5: 3).
  long voiceSpeed = iniNumber(ini, "SERVFALA", "VELOCIDADE", 0);
  if (voiceSpeed > 10) voiceSpeed = 0;
  long unitSpeed = iniNumber(ini, "TRADUTOR", "VELOCIDADE", 3);
  if (unitSpeed < 1 || unitSpeed > 5) unitSpeed = 3;
  double pitchFactor = 1.0, rateFactor = speech::rateFactor(static_cast<int>(voiceSpeed));
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--wav") wavDir = argv[i + 1];
    if (k == "--words") words = argv[i + 1];
    if (k == "--word-limit") wordLimit = std::stoul(argv[i + 1]);
    if (k == "--pitch") pitchFactor = std::stod(argv[i + 1]);
    if (k == "--rate") rateFactor = std::stod(argv[i + 1]);
    if (k == "--show-pitch") showPitch = argv[i + 1][0] == '1';
  }
  synth::Synthesiser syn;
  if (!syn.open(root + "/coraltts/br4")) {
    std::cerr << "synth_bench: " << syn.lastErrorText() << "\n";
    return 1;
  }
  syn.setNoError(true);
  const synth::Database& db = *syn.database();
  tts::EngineFront front;
  if (!front.load(tts::engineFilesIn(root + "/coraltts"))) {
    std::cerr << "synth_bench: the engine's files are not in " << root << "/coraltts\n";
    return 1;
  }
  const int espeakRate = measures::openEspeak();
  if (!espeakRate) {
    std::cerr << "synth_bench: no eSpeak NG pt-br voice\n";
    return 1;
  }
  speech::Translator tr;
  speech::DiphoneEngine units;
  const std::string unitDir = root + "/som/difones/";
  const std::string us = std::to_string(unitSpeed);
  const bool haveUnits =
      tr.loadTranslatorRules(unitDir + "regras.rgr") &&
      tr.loadTranslatorExceptions(unitDir + "portug.exc") &&
      units.openDatabase(
          unitDir, qr::iniLookup(ini, "SINTETIZADOR", "DIFONES" + us).value_or("DIFONES" + us));
  if (haveUnits)
    units.setParameters(static_cast<int>(iniNumber(ini, "SINTETIZADOR", "CORTEFON" + us, 400)),
                        static_cast<int>(iniNumber(ini, "SINTETIZADOR", "SOBRAFON" + us, 0)),
                        static_cast<int>(iniNumber(ini, "SINTETIZADOR", "INTERPAL" + us, 100)));

  double durMax = 0, durSum = 0, f0Sum = 0, f0Max = 0;
  size_t durCount = 0, durOver = 0, f0Count = 0, f0Over = 0;
  size_t joins = 0, joinsOver = 0;
  double worstJoinRatio = 0;
  const auto names = espeakNames(root + "/coraltts/portug.fon");
  double mcdSame = 0, mcdRules = 0;
  double mcdOurs = 0, mcdUnits = 0, audioOurs = 0, audioEspeak = 0, audioUnits = 0;
  double tPho = 0, tFront = 0, tEspeak = 0;
  // Spoken time (first sound to last) and the pauses inside it; for ours
  // also the time the lines ask for in pauses and in phones.
  double spokenOurs = 0, spokenEspeak = 0, spokenUnits = 0;
  double pausedOurs = 0, pausedEspeak = 0, pausedUnits = 0;
  double linePauses = 0, linePhones = 0;
  int clicksOurs = 0, clicksEspeak = 0, clicksUnits = 0;
  const size_t nSentences = std::size(kSentences);
  for (size_t k = 0; k < nSentences; ++k) {
    const std::string cp = qr::fromUtf8(kSentences[k]);
    auto t0 = Clock::now();
    const auto pho = front.phoLines(cp, pitchFactor, rateFactor);
    tFront += seconds(t0);
    t0 = Clock::now();
    const auto ours = synthesise(syn, pho);
    tPho += seconds(t0);
    t0 = Clock::now();
    const auto theirs = measures::espeakRender(kSentences[k], 175);
    tEspeak += seconds(t0);
    audioOurs += ours.size() / 16000.0;
    audioEspeak += static_cast<double>(theirs.size()) / espeakRate;

    // Durations: the phones where the output put them, against the lines.
    const auto lines = parse(pho);
    const auto spans = syn.phoneSpans();
    double lineStart = 0;
    std::vector<std::pair<double, double>> targets;  // ms, Hz
    for (size_t i = 0; i < lines.size() && i < spans.size(); ++i) {
      const double got = (spans[i].end - spans[i].start) / 16.0;
      const double err = std::fabs(got - lines[i].ms);
      durMax = std::max(durMax, err), durSum += err, ++durCount;
      if (err > 2) ++durOver;
      for (const auto& p : lines[i].pitch)
        targets.push_back({lineStart + p.pos / 100 * lines[i].ms, p.hz});
      lineStart += lines[i].ms;
    }
    const double endMs = lineStart;
    for (const auto& l : lines) (l.name == "_" ? linePauses : linePhones) += l.ms / 1000;
    if (std::fabs(ours.size() / 16.0 - endMs) > 0.07) ++durOver;
    // Pitch at vowel middles.
    std::stable_sort(targets.begin(), targets.end());
    auto target = [&](double ms) {
      if (targets.empty()) return 0.0;
      if (ms <= targets.front().first) return targets.front().second;
      if (ms >= targets.back().first) return targets.back().second;
      for (size_t i = 1; i < targets.size(); ++i)
        if (targets[i].first >= ms) {
          const auto& [a, fa] = targets[i - 1];
          const auto& [b, fb] = targets[i];
          return b > a ? fa + (fb - fa) * (ms - a) / (b - a) : fb;
        }
      return targets.back().second;
    };
    for (const auto& sp : spans) {
      if (!isVowel(sp.name) || sp.end - sp.start < 60 * 16) continue;
      const double mid = (sp.start + sp.end) / 2.0;
      const double want = target(mid / 16), got = f0At(ours, static_cast<size_t>(mid));
      if (want <= 0 || got <= 0) continue;
      const double err = std::fabs(got - want) / want * 100;
      f0Sum += err, f0Max = std::max(f0Max, err), ++f0Count;
      if (err > 5) {
        ++f0Over;
        if (showPitch)
          std::fprintf(stderr, "pitch: sentence %zu %s at %.0f ms: want %.1f Hz, got %.1f Hz\n", k,
                       sp.name.c_str(), mid / 16, want, got);
      }
    }
    // Joins.
    for (const auto& sp : spans) {
      if (sp.before < 0 || sp.after < 0) continue;
      double ref = 0;
      for (const int d : {sp.before, sp.after}) {
        const auto& dp = db.diphones[static_cast<size_t>(d)];
        for (size_t i = dp.start - db.margin + 1; i < dp.start + dp.count + db.margin; ++i)
          ref = std::max(ref, std::fabs(double(db.samples[i]) - db.samples[i - 1]));
      }
      const auto j = static_cast<long>(sp.join);
      double jump = 0;
      for (long i = std::max(1L, j - 80); i < std::min<long>(ours.size(), j + 80); ++i)
        jump = std::max(jump, std::fabs(double(ours[i]) - ours[i - 1]));
      ++joins;
      if (jump > ref) ++joinsOver;
      if (ref > 0) worstJoinRatio = std::max(worstJoinRatio, jump / ref);
    }
    // Closeness and clicks.
    const auto oursF = measures::trimSilence(measures::toFloat(ours));
    const auto theirsF = measures::trimSilence(measures::toFloat(theirs));
    mcdOurs += measures::melCepstralDistortion(oursF, 16000, theirsF, espeakRate);
    clicksOurs += measures::countClicks(oursF, 16000);
    spokenOurs += oursF.size() / 16000.0, pausedOurs += pauseSeconds(oursF, 16000);
    spokenEspeak += static_cast<double>(theirsF.size()) / espeakRate;
    pausedEspeak += pauseSeconds(theirsF, espeakRate);
    // The same phonemes said by eSpeak NG: how close the synthesiser keeps
    // to the voice it was cut from, whatever the rules make of the text.
    espeak_SetSynthCallback(tools::collectRendered);
    const auto& same = tools::renderPhonemes(asEspeakPhonemes(pho, names)).samples;
    const auto sameF = measures::trimSilence(measures::toFloat(same));
    mcdSame += measures::melCepstralDistortion(oursF, 16000, sameF, espeakRate);
    // And what our phonemes cost without our synthesis: eSpeak NG saying
    // them (without stress marks) against it saying the text.
    mcdRules += measures::melCepstralDistortion(sameF, espeakRate, theirsF, espeakRate);
    clicksEspeak += measures::countClicks(theirsF, espeakRate);
    if (haveUnits) {
      std::vector<float> u;
      units.speak(tr.translateToPhonetic(cp), 0, [&](const uint8_t* img, size_t n) {
        for (size_t i = speech::DiphoneEngine::kHeaderSize; i < n; ++i)
          u.push_back((img[i] - 128) / 128.0f);
        return true;
      });
      u = measures::trimSilence(u);
      audioUnits += u.size() / 11025.0;
      spokenUnits += u.size() / 11025.0, pausedUnits += pauseSeconds(u, 11025);
      mcdUnits += measures::melCepstralDistortion(u, 11025, theirsF, espeakRate);
      clicksUnits += measures::countClicks(u, 11025);
    }
    if (!wavDir.empty()) {
      char name[16];
      std::snprintf(name, sizeof name, "/%02zu", k);
      writeWav(wavDir + name + "-ours.wav", ours, 16000);
      writeWav(wavDir + name + "-espeak.wav", theirs, espeakRate);
    }
  }
  const double n = static_cast<double>(nSentences);
  std::printf("sentences: %zu, %.1f s of our output, %.1f s of eSpeak NG's\n", nSentences,
              audioOurs, audioEspeak);
  std::printf(
      "settings: rate factor %.2f (engine speed %ld), eSpeak NG at 175 words/min, syllable "
      "units at speed %ld\n",
      rateFactor, voiceSpeed, unitSpeed);
  std::printf("length, first sound to last: ours %.1f s (pauses %.1f s), eSpeak NG %.1f s (%.1f s)",
              spokenOurs, pausedOurs, spokenEspeak, pausedEspeak);
  if (haveUnits) std::printf(", syllable-unit voice %.1f s (%.1f s)", spokenUnits, pausedUnits);
  std::printf("\nour lines: phones %.1f s, pauses %.1f s (edges included)\n", linePhones,
              linePauses);
  std::printf("duration: %zu phones, error mean %.3f ms, max %.3f ms, over 2 ms: %zu\n", durCount,
              durSum / std::max<size_t>(1, durCount), durMax, durOver);
  std::printf("pitch: %zu vowels, error mean %.2f %%, max %.2f %%, over 5 %%: %zu\n", f0Count,
              f0Sum / std::max<size_t>(1, f0Count), f0Max, f0Over);
  std::printf(
      "joins: %zu, larger than the largest step in their recordings: %zu "
      "(largest ratio %.2f)\n",
      joins, joinsOver, worstJoinRatio);
  std::printf("mel-cepstral distortion against eSpeak NG: ours %.2f dB", mcdOurs / n);
  if (haveUnits) std::printf(", syllable-unit voice %.2f dB", mcdUnits / n);
  std::printf("; ours against eSpeak NG saying our phonemes %.2f dB", mcdSame / n);
  std::printf("; eSpeak NG saying our phonemes against it saying the text %.2f dB", mcdRules / n);
  std::printf("\nclicks per second: ours %.2f, eSpeak NG %.2f", clicksOurs / audioOurs,
              clicksEspeak / audioEspeak);
  if (haveUnits) std::printf(", syllable-unit voice %.2f", clicksUnits / audioUnits);
  std::printf("\nreal-time factor: lines->samples %.4f, text->samples %.4f, eSpeak NG %.4f\n",
              tPho / audioOurs, (tFront + tPho) / audioOurs, tEspeak / audioEspeak);

  // Coverage over the word list.
  std::ifstream list(words);
  std::set<std::string> missing;
  size_t wordCount = 0, wordsMissing = 0, pairs = 0;
  std::map<std::string, int> ids;
  for (size_t i = 0; i < db.phonemes.size(); ++i) ids[db.phonemes[i]] = static_cast<int>(i);
  std::set<std::pair<int, int>> have;
  for (const auto& d : db.diphones) have.insert({d.first, d.second});
  for (std::string w; std::getline(list, w);) {
    if (wordLimit && wordCount >= wordLimit) break;
    if (!w.empty() && w.back() == '\r') w.pop_back();
    if (w.empty()) continue;
    ++wordCount;
    std::string prev = "_";
    bool lacking = false;
    auto see = [&](const std::string& ph) {
      ++pairs;
      const auto a = ids.find(prev), b = ids.find(ph);
      if (a == ids.end() || b == ids.end() || !have.count({a->second, b->second})) {
        missing.insert(prev + "-" + ph);
        lacking = true;
      }
      prev = ph;
    };
    for (const auto& l : parse(front.phoLines(qr::fromUtf8(w), 1.0, 1.0))) see(l.name);
    see("_");
    if (lacking) ++wordsMissing;
  }
  std::printf(
      "coverage: %zu words, %zu diphones used, %zu distinct pairs missing, %zu words "
      "with one\n",
      wordCount, pairs, missing.size(), wordsMissing);
  for (const auto& m : missing) std::printf("  missing %s\n", qr::toUtf8(m).c_str());
  return 0;
}
