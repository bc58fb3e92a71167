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
// --wav writes our sentences and eSpeak NG's as WAV files (speed 3, or
// --wav-speed N) for listening and spectrograms. The joining parameters of each speed come from
// the build tree's QUIRAL.INI.
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
#include "bench/speechMeasures.h"
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
      const auto ours =
          measures::trimSilence(oursSay(engine, tr, sentences[i], keep ? &ourRaw : nullptr));
      const auto theirs =
          measures::trimSilence(espeakSay(sentences[i], rate, keep ? &theirRaw : nullptr));
      oursSeconds += static_cast<double>(ours.size()) / 11025;
      theirSeconds += static_cast<double>(theirs.size()) / 11025;
      oursClicks += measures::countClicks(ours, 11025);
      theirClicks += measures::countClicks(theirs, 11025);
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
    std::printf("%5d  %4d  %6.1f  %8.1f  %5.2f  %13.2f  %6.2f\n", speed, rate, oursSeconds,
                theirSeconds, oursSeconds / theirSeconds, oursClicks / oursSeconds,
                theirClicks / theirSeconds);
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
  return 0;
}
