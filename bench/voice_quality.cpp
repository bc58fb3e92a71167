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
//    -24 dBFS falling 30 dB or more within 2 ms), for our syllable units
//    alone, for the whole recorded voice as the user hears it (the units,
//    and the recorded letters, number words and marks time-scaled to the
//    speed's pace, with the pauses after marks), and for eSpeak NG at the
//    speed's rate; our duration over eSpeak NG's;
//  - loudness: the active speech level (ITU-T P.56) of every source the
//    program mixes: the message recordings, the letter names, the number
//    pieces, the syllable-unit voice, eSpeak NG and the built-in engine, each
//    against the recordings';
//  - at speed 3, mel-cepstral distortion after dynamic time warping (24 mel
//    cepstra from 60 to 4,000 Hz, silent frames dropped; the measure is told
//    in bench/speechMeasures.h), with eSpeak NG at another rate against
//    itself for scale, and the ratio of the two. The ratio does not depend
//    on how the cepstra are scaled: it is the figure to compare across
//    measures (on a scale where eSpeak NG against itself is 5.4 dB, 10 dB
//    is a ratio of 1.85).
//
//   voice_quality [--data DIR] [--words LIST] [--count N] [--mismatches FILE]
//                 [--wav DIR [--wav-speed N]] [--skip-words] [--skip-sound] [--dump FILE]
//
// --dump writes every plain word of the list with our phonetic text and
// eSpeak NG's phonemes, for working on the rules.
// With VOICE_QUALITY_CLICKS set, every sentence the whole recorded voice
// clicks in is printed with its count.
// --wav writes our sentences and eSpeak NG's as WAV files (speed 3, or
// --wav-speed N) for listening and spectrograms. The joining parameters of each speed come from
// the build tree's QUIRAL.INI.
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "base/ini.h"
#include "base/wav.h"
#include "bench/speechFigures.h"
#include "bench/speechMeasures.h"
#include "console/qrwinConfig.h"
#include "ftp/ftpmsgCatalogue.h"
#include "speech/diphoneEngine.h"
#include "speech/numbers.h"
#include "speech/recordedVoice.h"
#include "speech/speechLevel.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "synth/synthesiser.h"
#include "tools/halfRate.h"
#include "tools/unitdbPhonemes.h"
#include "tts/uttsFront.h"

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

void dumpAll(const speech::Translator& tr, const std::string& listPath, const std::string& out) {
  std::ifstream list(listPath);
  std::ofstream o(out);
  for (std::string line; std::getline(list, line);)
    if (measures::isPlainWord(qr::W(line)))
      o << line << '\t' << qr::toUtf8(tr.translateToPhonetic(qr::W(line))) << '\t'
        << measures::espeakPhonemes(line) << '\n';
}

void wordFigures(const speech::Translator& tr, const std::string& listPath, size_t count,
                 const std::string& mismatchPath) {
  std::ofstream mismatches(mismatchPath.empty() ? "/dev/null" : mismatchPath);
  for (const bool heldOut : {false, true}) {
    const auto sample = measures::sampleWords(listPath, count, heldOut);
    if (!sample) {
      std::cerr << "voice_quality: fewer than " << count << " plain words in " << listPath << "\n";
      return;
    }
    size_t agree = 0, stressAgree = 0;
    for (const auto& word : sample->words) {
      const std::string phonetic = tr.translateToPhonetic(qr::W(word));
      const std::string ours = ourPhonemes(phonetic);
      const std::string theirs = measures::espeakPhonemes(word);
      const auto a = coarse(ours), b = coarse(theirs);
      const bool same = a == b;
      agree += same;
      const auto sa = measures::stressFromEnd(phonetic, "aeiouAEIOUwy", 0);
      const auto sb = measures::espeakStressFromEnd(theirs);
      const bool stressSame = sa && sb && *sa == *sb;
      stressAgree += stressSame;
      if (!heldOut && (!same || !stressSame))
        mismatches << word << '\t' << qr::toUtf8(phonetic) << '\t' << show(a) << '\t' << show(b)
                   << '\t' << theirs << (stressSame ? "" : "\tSTRESS") << '\n';
    }
    std::printf("%s words: %zu (every %zu-th of %zu plain words in %s)\n",
                heldOut ? "held-out" : "bench", count, sample->stride, sample->plainWords,
                listPath.c_str());
    std::printf("  word agreement with eSpeak NG: %.1f %%\n", 100.0 * agree / count);
    std::printf("  stressed syllable agreement:   %.1f %%\n", 100.0 * stressAgree / count);
  }
}

// --- Sound ---------------------------------------------------------------

// eSpeak NG at a rate, brought to 11,025 Hz through the generators' filter.
std::vector<float> espeakSay(const std::string& utf8, int rate, std::vector<int16_t>* raw) {
  const auto pcm = measures::espeakRender(utf8, rate);
  if (raw) *raw = pcm;
  std::vector<float> out = tools::halveRate(pcm);
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

// --- The whole recorded voice -------------------------------------------

// 8-bit samples of a WAV image or file, as floats; nothing for another
// format.
std::vector<float> eightBitSamples(const std::vector<uint8_t>& image) {
  std::vector<float> out;
  const auto info = qr::parseWavImage(image.data(), image.size());
  if (!info || info->format.bits != 8) return out;
  for (size_t i = 0; i < info->dataLength; ++i)
    out.push_back((image[info->dataOffset + i] - 128) / 128.0f);
  return out;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A text as the recorded voice sounds it at a speed: the pieces the
// program's plan makes of it (speech/recordedVoice's expand, piece for
// piece), recorded ones through the player's time scaling at the speed's
// tempo, the units as they are, and the pauses after marks as silence.
struct WholeVoice {
  speech::DiphoneEngine& units;
  const speech::Translator& tr;
  std::string letters;
  double tempo = 1;
  int pauseFullStop = 250, pauseComma = 150, pauseColon = 200;

  void scaled(const std::vector<uint8_t>& image, std::vector<float>& out) const {
    const auto info = qr::parseWavImage(image.data(), image.size());
    if (!info || info->format.bits != 8) return;
    const uint8_t* data = image.data() + info->dataOffset;
    if (std::abs(tempo - 1.0) < 1e-6) {
      for (size_t i = 0; i < info->dataLength; ++i) out.push_back((data[i] - 128) / 128.0f);
      return;
    }
    std::vector<uint8_t> block(speech::kBlockBytes);
    std::vector<float> accum(speech::kBlockBytes);
    for (size_t at = 0; at < info->dataLength;) {
      const size_t piece =
          std::min<size_t>(info->dataLength - at,
                           static_cast<size_t>(speech::kBlockBytes * std::min(1.0, tempo) * 0.98));
      const size_t n = speech::timeScale(data + at, piece, 8, 1, info->format.rate, tempo,
                                         block.data(), block.size(), accum.data());
      for (size_t i = 0; i < n; ++i) out.push_back((block[i] - 128) / 128.0f);
      at += piece;
    }
  }
  void file(const std::string& name, std::vector<float>& out) const {
    scaled(fileBytes(letters + name + ".wav"), out);
  }
  static void pause(int ms, std::vector<float>& out) {
    if (ms >= 50) out.insert(out.end(), static_cast<size_t>(ms / 50 * 50 * 11025 / 1000), 0.0f);
  }

  std::vector<float> say(const std::string& cp1252) const {
    using Kind = speech::SpeechStep::Kind;
    std::vector<float> out;
    for (const auto& step : speech::planSpeech(cp1252)) {
      switch (step.kind) {
        case Kind::Zero:
          file("_zero", out);
          break;
        case Kind::Minus:
          file("_MENOS", out);
          break;
        case Kind::Number: {
          speech::PieceJoiner joiner([&](const std::vector<uint8_t>& img) { scaled(img, out); });
          for (const auto& name : speech::numberPieceNames(
                   speech::numberWords(static_cast<uint64_t>(step.value)), false))
            joiner.addFile(letters + name + ".wav");
          joiner.flush();
          break;
        }
        case Kind::Spell:
          for (const char c : step.text) file("_" + std::to_string(static_cast<uint8_t>(c)), out);
          break;
        case Kind::Words:
          units.speak(tr.translateToPhonetic(step.text), 0, [&](const uint8_t* img, size_t n) {
            for (size_t i = speech::DiphoneEngine::kHeaderSize; i < n; ++i)
              out.push_back((img[i] - 128) / 128.0f);
            return true;
          });
          break;
        case Kind::Click:
          scaled(speech::clickImage(), out);
          break;
        case Kind::Punctuation: {
          const auto mark = static_cast<uint8_t>(step.text[0]);
          file("_" + std::to_string(mark), out);
          const bool spaceAfter = step.text.size() > 1 && step.text[1] == ' ';
          if (mark == '(' || mark == ')' || mark == ':' || mark == ';')
            pause(pauseColon, out);
          else if ((mark == ',' || mark == '-') && spaceAfter)
            pause(pauseComma, out);
          else if (mark == '.' && spaceAfter)
            pause(pauseFullStop, out);
          break;
        }
        case Kind::Char:
          file("_" + std::to_string(static_cast<uint8_t>(step.text[0])), out);
          break;
      }
    }
    return out;
  }
};

// --- Loudness ------------------------------------------------------------

struct Levels {
  std::vector<double> dB;
  size_t samples = 0, clipped = 0;  // at full scale
  void add(const std::vector<float>& s, int rate) {
    if (const auto l = measures::activeLevel(s, rate)) dB.push_back(*l);
    samples += s.size();
    for (float v : s) clipped += std::fabs(v) >= 0.999f;
  }
  double quantile(double q) const {
    std::vector<double> v = dB;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[static_cast<size_t>(q * (v.size() - 1) + 0.5)];
  }
};

std::vector<float> engineSay(const tts::EngineFront& front, synth::Synthesiser& syn,
                             const std::string& utf8, double rate) {
  std::vector<float> out;
  int16_t buf[8192];
  syn.reset();
  auto take = [&] {
    for (int n; (n = syn.read(buf, 8192)) > 0;)
      for (int i = 0; i < n; ++i) out.push_back(buf[i] / 32768.0f);
  };
  for (const auto& line : front.phoLines(qr::fromUtf8(utf8), 1.0, rate)) {
    syn.write(line + "\r\n");
    take();
  }
  syn.flush();
  take();
  return out;
}

void loudnessFigures(const speech::Translator& tr, const std::string& dataDir) {
  const std::string root = QUIRAL_BUILD_ROOT;
  std::map<std::string, Levels> sources;
  std::vector<std::string> order = {"message recordings",  "letter names", "number pieces",
                                    "syllable-unit voice", "eSpeak NG",    "built-in engine"};
  namespace fs = std::filesystem;
  for (const auto& e : fs::directory_iterator(root + "/som/naviro"))
    if (e.path().extension() == ".wav")
      sources["message recordings"].add(eightBitSamples(fileBytes(e.path().string())), 11025);
  for (const auto& e : fs::directory_iterator(root + "/som/letras")) {
    const std::string name = e.path().stem().string();
    if (e.path().extension() != ".wav" || name.size() < 2 || name[0] != '_') continue;
    const bool code = std::all_of(name.begin() + 1, name.end(), ::isdigit);
    const auto samples = eightBitSamples(fileBytes(e.path().string()));
    if (code) {
      const int c = std::stoi(name.substr(1));
      if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        sources["letter names"].add(samples, 11025);
    } else {
      sources["number pieces"].add(samples, 11025);
    }
  }
  const auto sentences = corpus();
  speech::DiphoneEngine units;
  if (units.openDatabase(dataDir, "DIFONES3")) {
    units.setParameters(400, 1100, 0);
    for (const auto& s : sentences)
      sources["syllable-unit voice"].add(oursSay(units, tr, s, nullptr), 11025);
  }
  // eSpeak NG and the engine at the volume the program gives them.
  const int espeakRate = 22050;
  espeak_SetParameter(espeakVOLUME, speech::kEspeakVolume, 0);
  for (const auto& s : sentences)
    sources["eSpeak NG"].add(measures::toFloat(measures::espeakRender(s, 175)), espeakRate);
  espeak_SetParameter(espeakVOLUME, 100, 0);
  tts::EngineFront front;
  synth::Synthesiser syn;
  if (front.load(tts::engineFilesIn(root + "/coraltts")) && syn.open(root + "/coraltts/br4")) {
    syn.setNoError(true);
    syn.setVolume(speech::kEngineVolume);
    for (const auto& s : sentences)
      sources["built-in engine"].add(engineSay(front, syn, s, 0.8), syn.database()->rate);
  }
  const double reference = speech::kSpeechLevel;
  std::printf(
      "active speech level (P.56), dB below full scale: median [10th..90th percentile]"
      " of each source, and the median against the program's level of %.1f dB (aim: within"
      " +-1.5 dB)\n",
      reference);
  for (const auto& name : order) {
    const Levels& l = sources[name];
    if (l.dB.empty()) {
      std::printf("  %-20s  none\n", name.c_str());
      continue;
    }
    const double m = l.quantile(0.5);
    std::printf("  %-20s %4zu  %6.1f [%6.1f..%6.1f]  %+5.1f dB%s  clipped %.3f %%\n", name.c_str(),
                l.dB.size(), m, l.quantile(0.1), l.quantile(0.9), m - reference,
                std::abs(m - reference) <= 1.5 ? "" : "  (outside)",
                100.0 * static_cast<double>(l.clipped) /
                    static_cast<double>(std::max<size_t>(1, l.samples)));
  }
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
  std::printf("speed  rate  ours s  eSpeak s  ratio  clicks/s: units  whole voice  eSpeak NG\n");
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
    double oursSeconds = 0, theirSeconds = 0, mcdSum = 0, selfSum = 0, wholeSeconds = 0;
    int oursClicks = 0, theirClicks = 0, wholeClicks = 0;
    WholeVoice whole{engine,
                     tr,
                     std::string(QUIRAL_BUILD_ROOT) + "/som/letras/",
                     speech::speedTempo(speed),
                     static_cast<int>(number("PAUSAPONTO" + k, 250)),
                     static_cast<int>(number("PAUSAVIRG" + k, 150)),
                     static_cast<int>(number("PAUSADOISPONTOS" + k, 200))};
    for (size_t i = 0; i < sentences.size(); ++i) {
      std::vector<uint8_t> ourRaw;
      std::vector<int16_t> theirRaw;
      const bool keep = !wavDir.empty() && speed == wavSpeed;
      const auto ours =
          measures::trimSilence(oursSay(engine, tr, sentences[i], keep ? &ourRaw : nullptr));
      const auto theirs =
          measures::trimSilence(espeakSay(sentences[i], rate, keep ? &theirRaw : nullptr));
      oursSeconds += static_cast<double>(ours.size()) / 11025;
      theirSeconds += static_cast<double>(theirs.size()) / 11025;
      oursClicks += measures::countClicks(ours, 11025);
      theirClicks += measures::countClicks(theirs, 11025);
      const auto heard = measures::trimSilence(whole.say(qr::fromUtf8(sentences[i])));
      wholeSeconds += static_cast<double>(heard.size()) / 11025;
      wholeClicks += measures::countClicks(heard, 11025);
      if (getenv("VOICE_QUALITY_CLICKS") && measures::countClicks(heard, 11025) > 0)
        std::printf("  speed %d: %d click(s) in: %s\n", speed, measures::countClicks(heard, 11025),
                    sentences[i].c_str());
      if (speed == 3) {
        mcdSum += measures::melCepstralDistortion(ours, 11025, theirs, 11025);
        selfSum += measures::melCepstralDistortion(
            measures::trimSilence(espeakSay(sentences[i], 160, nullptr)), 11025, theirs, 11025);
      }
      if (keep) {
        char name[32];
        std::snprintf(name, sizeof name, "/%02zu", i);
        writeWav8(wavDir + name + "-ours.wav", ourRaw);
        writeWav16(wavDir + name + "-espeak.wav", theirRaw);
      }
    }
    std::printf("%5d  %4d  %6.1f  %8.1f  %5.2f  %15.2f  %11.2f  %9.2f\n", speed, rate, oursSeconds,
                theirSeconds, oursSeconds / theirSeconds, oursClicks / oursSeconds,
                wholeClicks / wholeSeconds, theirClicks / theirSeconds);
    if (speed == 3)
      std::printf(
          "       mel-cepstral distortion at speed 3: %.2f dB (eSpeak NG at 160 "
          "against %d: %.2f dB; ratio %.2f)\n",
          mcdSum / static_cast<double>(sentences.size()), rate,
          selfSum / static_cast<double>(sentences.size()), mcdSum / selfSum);
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
  if (measures::openEspeak() == 0) {
    std::cerr << "voice_quality: eSpeak NG with the pt-br voice is not available\n";
    return 1;
  }
  if (!dumpFile.empty()) {
    dumpAll(tr, wordFile, dumpFile);
    return 0;
  }
  if (words) wordFigures(tr, wordFile, count, mismatchFile);
  if (sound) soundFigures(tr, dataDir, wavDir, wavSpeed);
  if (sound) loudnessFigures(tr, dataDir);
  return 0;
}
