// Figures of the built-in engine's text front:
//  - phoneme agreement with eSpeak NG's Brazilian Portuguese voice over a
//    fixed sample of the system word list (every n-th plain word), after
//    mapping eSpeak's phoneme names onto ours: identical phoneme strings and
//    identical stressed syllable;
//  - rhythm over a paragraph in syllables per second, and the direction of
//    the last pitch movement of a question and of a statement;
//  - the time to turn a 1,000-word text into synthesiser input lines;
//  - the final pitch movement of 40 sentences said as statements and as
//    yes/no questions, by our synthesiser and by eSpeak NG: autocorrelation
//    F0 over the last 200 ms of voicing (bench/speechFigures.h). Sentences
//    end in stressed syllables (café, amanhã, sim), unstressed ones
//    (inteiro, hoje) and proparoxytones (música).
//
//   engine_bench [--dir DIR] [--words N] [--list FILE] [--mismatches FILE] [--rate F]
//   engine_bench [--dir DIR] --show WORD...
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "bench/speechFigures.h"
#include "bench/speechMeasures.h"
#include "synth/synthesiser.h"
#include "tts/uttsFront.h"

namespace {

using Phonemes = std::vector<std::string>;

struct Transcription {
  Phonemes phonemes;
  std::optional<int> stressFromEnd;  // 1 = last syllable
};

bool isNucleus(std::string_view p) {
  static const std::vector<std::string_view> kNuclei{"a", "6",  "e",  "E",  "i",  "o", "O",
                                                     "u", "a~", "e~", "i~", "o~", "u~"};
  return std::find(kNuclei.begin(), kNuclei.end(), p) != kNuclei.end();
}

std::optional<int> stressOf(const Phonemes& ph, std::size_t stressedFrom) {
  if (stressedFrom >= ph.size()) return std::nullopt;
  std::size_t k = stressedFrom;
  while (k < ph.size() && !isNucleus(ph[k])) ++k;
  if (k == ph.size()) return std::nullopt;
  int fromEnd = 0;
  for (std::size_t i = k; i < ph.size(); ++i) fromEnd += isNucleus(ph[i]);
  return fromEnd;
}

// Our phoneme lines of one word (stress mark ">" on the stressed phoneme).
Transcription ours(const tts::EngineFront& front, const std::string& cpWord) {
  Transcription t;
  std::size_t stressed = SIZE_MAX;
  for (auto line : front.phonemeList(cpWord)) {
    if (line.empty() || line[0] == ';' || line[0] == '_') continue;
    if (line[0] == '>') {
      stressed = t.phonemes.size();
      line.erase(0, 1);
    }
    if (!line.empty() && line[0] == '\xA8') line.erase(0, 1);
    t.phonemes.push_back(line);
  }
  t.stressFromEnd = stressOf(t.phonemes, stressed);
  return t;
}

bool isEspeakVowel(char c) {
  return std::string_view("aeiouEO&yUI").find(c) != std::string_view::npos;
}

// eSpeak NG's -x notation mapped onto our names. Its glides (I, U after a
// vowel), reduced finals (y, U), nasal codas (N, ~), the tap "*" and "r"
// before a consonant or at the end, and "lj", "n^" for lh and nh are
// rewritten; its epenthetic "@-" and length and palatal marks dropped.
Transcription mapEspeak(std::string_view x, std::string_view cpWord) {
  // eSpeak writes "iU" both for the hiatus of -io (arredios) and the glide
  // of -iu (cerziu); the spelling tells them apart.
  const bool finalIo = cpWord.ends_with("io") || cpWord.ends_with("ios");
  // "lj" is also eSpeak's lh.
  const bool lh = cpWord.find("lh") != std::string_view::npos;
  Transcription t;
  std::size_t stressed = SIZE_MAX, secondary = SIZE_MAX;
  bool pendingStress = false, pendingSecondary = false;
  auto push = [&](std::string name) {
    if (isNucleus(name)) {
      if (pendingStress) stressed = t.phonemes.size();
      if (pendingSecondary && secondary == SIZE_MAX) secondary = t.phonemes.size();
      pendingStress = pendingSecondary = false;
    }
    t.phonemes.push_back(std::move(name));
  };
  auto nextIsVowel = [&](std::size_t i) {
    while (i < x.size() && std::string_view("',:;").find(x[i]) != std::string_view::npos) ++i;
    return i < x.size() && (isEspeakVowel(x[i]) || x[i] == 'j' || x[i] == 'w');
  };
  // What follows position i is the word's end or a final s.
  auto atEnd = [&](std::size_t i) {
    while (i < x.size() && x[i] == '#') ++i;
    return i >= x.size() || (x[i] == 's' && (i + 1 >= x.size() || x[i + 1] == '#'));
  };
  auto previousIsVowel = [&]() { return !t.phonemes.empty() && isNucleus(t.phonemes.back()); };
  for (std::size_t i = 0; i < x.size(); ++i) {
    const char c = x[i];
    const char n1 = i + 1 < x.size() ? x[i + 1] : 0;
    switch (c) {
      case '\'':
        pendingStress = true;
        continue;
      case ',':
        pendingSecondary = true;
        continue;
      case ':':
      case ';':
      case ' ':
      case '#':
      case '_':
        continue;
      case '@':
        if (n1 == '-') ++i;
        continue;
      default:
        break;
    }
    if (isEspeakVowel(c) && c != 'I' && c != 'U' && c != 'y') {
      std::string v = c == '&' ? "6" : std::string(1, c);
      if (c == 'e' && n1 == 'I' && i + 2 < x.size() && (x[i + 2] == 'm' || x[i + 2] == 'n') &&
          !nextIsVowel(i + 3)) {
        push("e~");  // eImp: a nasal e before a stop
        i += 2;
        continue;
      }
      if (n1 == '~' || n1 == 'N') {
        v = c == '&' ? "a~" : v + "~";
        ++i;
        if (n1 == '~' && i + 1 < x.size() && x[i + 1] == 'N') ++i;
      } else if ((n1 == 'I' || n1 == 'U') && i + 2 < x.size() &&
                 (x[i + 2] == '~' || x[i + 2] == 'N')) {
        // a nasal diphthong: &U~, eIN, oI~; eIN before a consonant is a
        // plain nasal e (benta)
        v = (c == '&' ? std::string("a") : std::string(1, c)) + "~";
        push(v);
        if (c != 'e' || n1 != 'I' || atEnd(i + 3)) push(n1 == 'I' ? "j~" : "w~");
        i += 2;
        continue;
      }
      push(v);
      continue;
    }
    if (c == 'I') {
      if (n1 == '~' || n1 == 'N') {
        push("j~");
        ++i;
      } else {
        push(previousIsVowel() ? "j" : "i");
      }
      continue;
    }
    if (c == 'U') {
      if (n1 == '~' || n1 == 'N') {
        push(previousIsVowel() ? "w~" : "u~");
        ++i;
      } else {
        // final -io(s) is a hiatus: arredios
        const bool hiatus =
            finalIo && !t.phonemes.empty() && t.phonemes.back() == "i" && atEnd(i + 1);
        push(previousIsVowel() && !hiatus ? "w" : "u");
      }
      continue;
    }
    if (c == 'y') {
      // after a nasal vowel it is the nasal glide: m&~y
      const bool nasal =
          !t.phonemes.empty() && t.phonemes.back().size() == 2 && t.phonemes.back()[1] == '~';
      push(nasal ? "j~" : "i");
      continue;
    }
    if (c == 't' && n1 == 'S') {
      push("tS");
      ++i;
      continue;
    }
    if (c == 'd' && n1 == 'Z') {
      push("dZ");
      ++i;
      continue;
    }
    if (c == 'n' && n1 == '^') {
      push("J");
      ++i;
      continue;
    }
    if (c == 'l' && (n1 == '^' || (lh && n1 == 'j' && nextIsVowel(i + 2)))) {
      push("L");
      ++i;
      continue;
    }
    if (c == '*') {
      push(nextIsVowel(i + 1) ? "r" : "r2");
      continue;
    }
    if (c == 'r') {
      push(nextIsVowel(i + 1) ? "r" : "r2");
      continue;
    }
    if (c == 'R') {
      push("r");
      continue;
    }
    if (c == 'x') {
      push(nextIsVowel(i + 1) ? "R" : "r2");
      continue;
    }
    if (c == 'j' && !t.phonemes.empty() && t.phonemes.back().size() == 2 &&
        t.phonemes.back()[1] == '~') {
      push("j~");
      continue;
    }
    if ((c == 'm' || c == 'n') && previousIsVowel() && !nextIsVowel(i + 1)) {
      // a nasal coda written as a consonant before a stop: omb, &~mp
      auto& v = t.phonemes.back();
      if (v.size() == 1) v = v == "6" ? "a~" : v + "~";
      continue;
    }
    if ((c == 's' || c == 'z') && !nextIsVowel(i + 1)) {
      push("s2");
      continue;
    }
    push(std::string(1, c));
  }
  if (stressed == SIZE_MAX) stressed = secondary;
  t.stressFromEnd = stressOf(t.phonemes, stressed);
  return t;
}

std::string joined(const Phonemes& p) {
  std::string s;
  for (const auto& x : p) s += x + " ";
  if (!s.empty()) s.pop_back();
  return s;
}

// e/E and o/O taken as one.
Phonemes withoutOpenness(Phonemes p) {
  for (auto& x : p) {
    if (x == "E") x = "e";
    if (x == "O") x = "o";
  }
  return p;
}

// Phoneme names eSpeak NG reports while it synthesises a text.
std::string heardPhonemes;
int collectPhonemes(short*, int, espeak_EVENT* ev) {
  for (; ev->type != espeakEVENT_LIST_TERMINATED; ++ev) {
    if (ev->type != espeakEVENT_PHONEME) continue;
    char name[9] = {};
    std::memcpy(name, &ev->id.string, 8);
    heardPhonemes += std::string(name) + " ";
  }
  return 0;
}

// Every eSpeak NG equivalent of the inventory, said between two a's (or,
// where a vowel would join the a before it into a diphthong, between two
// p's) as phoneme input, must come back as itself: the diphone database is
// made from these.
int checkInventory(const std::string& path) {
  std::ifstream in(path);
  int count = 0, bad = 0;
  espeak_SetSynthCallback(collectPhonemes);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';') continue;
    std::istringstream f(line);
    std::string name, kind, espeak;
    f >> name >> kind >> espeak;
    auto heard = [&](const std::string& text) {
      heardPhonemes.clear();
      espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                   espeakCHARS_UTF8 | espeakPHONEMES, nullptr, nullptr);
      return heardPhonemes.find(" " + espeak + " ") != std::string::npos;
    };
    ++count;
    if (!heard("[[p'a" + espeak + "a]]") && !heard("[[p" + espeak + "p'a]]")) {
      std::printf("inventory: %s (%s) is not an eSpeak NG phoneme: heard %s\n", name.c_str(),
                  espeak.c_str(), heardPhonemes.c_str());
      ++bad;
    }
  }
  std::printf("inventory: %d phonemes, %d without an eSpeak NG equivalent\n", count, bad);
  return bad;
}

constexpr std::string_view kParagraph =
    "O servidor respondeu que o arquivo foi recebido por inteiro. Agora você pode abrir a "
    "pasta dos documentos e escolher outro arquivo para enviar, ou então voltar ao menu "
    "principal. Se a conexão cair no meio da transferência, o programa avisa e guarda o que "
    "já chegou, para que nada se perca. Quando terminar, aperte a tecla de saída e espere a "
    "mensagem de despedida, que confirma que tudo foi fechado com cuidado.";

struct Timing {
  double seconds = 0;
  double speakingSeconds = 0;  // without pauses
  int syllables = 0;
};

Timing timingOf(const std::vector<std::string>& lines) {
  Timing t;
  for (const auto& l : lines) {
    if (l.empty() || l[0] == ';') continue;
    std::istringstream in(l);
    std::string name;
    int ms = 0;
    in >> name >> ms;
    t.seconds += ms / 1000.0;
    if (name != "_") t.speakingSeconds += ms / 1000.0;
    t.syllables += isNucleus(name);
  }
  return t;
}

// The last two pitch targets on sounding phonemes: (before, last).
std::pair<int, int> lastTargets(const std::vector<std::string>& lines) {
  std::vector<int> hz;
  for (const auto& l : lines) {
    if (l.empty() || l[0] == ';') continue;
    std::istringstream in(l);
    std::string name;
    int ms = 0, pos = 0, pitch = 0;
    in >> name >> ms;
    if (name == "_") continue;
    while (in >> pos >> pitch) hz.push_back(pitch);
  }
  if (hz.size() < 2) return {0, 0};
  return {hz[hz.size() - 2], hz.back()};
}

// Sentences said both ways, ending in every kind of stress.
constexpr std::string_view kFinalSentences[] = {"Ele chegou ontem de manhã",
                                                "Vamos tomar um café",
                                                "O arquivo está aqui",
                                                "Ela comprou um sofá",
                                                "O servidor respondeu",
                                                "Você vai sair amanhã",
                                                "O filho dele se chama João",
                                                "A transferência terminou",
                                                "Ele quer falar com você",
                                                "O pacote chegou",
                                                "Ele disse que sim",
                                                "A resposta foi não",
                                                "O programa está bem",
                                                "Isso fica lá",
                                                "Eles moram no sul",
                                                "Eu gosto de pão",
                                                "Ela tem medo do mar",
                                                "O arquivo chegou inteiro",
                                                "Você vai sair hoje",
                                                "A pasta está vazia",
                                                "O computador está ligado",
                                                "A senha foi aceita",
                                                "Ele trabalha com o filho",
                                                "Amanhã vai chover de novo",
                                                "O diretório tem muitos arquivos",
                                                "A reunião começa às três horas",
                                                "O telefone tocou três vezes",
                                                "Ela gosta de ler livros",
                                                "Os documentos estão na mesa",
                                                "O menino quebrou o copo",
                                                "Ela estuda música",
                                                "O computador novo é muito rápido",
                                                "Este arquivo é o último",
                                                "Ele mora em São Paulo",
                                                "Isso é lógico",
                                                "O ônibus chegou atrasado",
                                                "O servidor fechou a conexão",
                                                "A lâmpada da sala queimou",
                                                "Recebi o arquivo de ontem",
                                                "Eles jogaram futebol no campo"};

std::vector<float> synthesise(synth::Synthesiser& s, const std::vector<std::string>& pho) {
  std::vector<float> out;
  int16_t buf[16000];
  s.reset();
  auto take = [&] {
    for (int n; (n = s.read(buf, 16000)) > 0;)
      for (int i = 0; i < n; ++i) out.push_back(buf[i] / 32768.0f);
  };
  for (const auto& l : pho) {
    s.write(l + "\r\n");
    take();
  }
  s.flush();
  take();
  return out;
}

// Final movements of the sentences said with a mark, by both voices: how
// many meet the aim, and the median movement.
void finalPitch(const tts::EngineFront& front, synth::Synthesiser& syn, double rate,
                int espeakSampleRate) {
  std::printf(
      "final pitch over the last 200 ms voiced, %zu sentences "
      "(statements aim <= -1 semitone, questions >= +2):\n",
      std::size(kFinalSentences));
  for (const char mark : {'.', '?'}) {
    std::vector<double> ours, theirs;
    int oursMet = 0, theirsMet = 0, oursNone = 0;
    auto meets = [mark](double st) { return mark == '.' ? st <= -1.0 : st >= 2.0; };
    for (const auto sentence : kFinalSentences) {
      const std::string utf8 = std::string(sentence) + mark;
      const auto m = measures::finalMovement(measures::pitchTrack(
          synthesise(syn, front.phoLines(qr::fromUtf8(utf8), 1.0, rate)), syn.database()->rate));
      if (m) {
        ours.push_back(*m);
        oursMet += meets(*m);
      } else {
        ++oursNone;
      }
      const auto e = measures::finalMovement(measures::pitchTrack(
          measures::toFloat(measures::espeakRender(utf8, espeakRATE_NORMAL)), espeakSampleRate));
      if (e) {
        theirs.push_back(*e);
        theirsMet += meets(*e);
      }
      if (getenv("ENGINE_BENCH_ALL"))
        std::printf("  %-42s ours %+5.1f  eSpeak NG %+5.1f\n", utf8.c_str(), m.value_or(0),
                    e.value_or(0));
      if (getenv("ENGINE_BENCH_TRACK")) {
        const auto t = measures::pitchTrack(
            synthesise(syn, front.phoLines(qr::fromUtf8(utf8), 1.0, rate)), syn.database()->rate);
        std::printf("   ");
        for (double f : t) std::printf(" %.0f", f);
        std::printf("\n");
      }
    }
    auto median = [](std::vector<double> v) {
      if (v.empty()) return 0.0;
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    std::printf(
        "  %-10s ours: %2d of %zu meet the aim (median %+.1f st%s)   "
        "eSpeak NG: %2d of %zu (median %+.1f st)\n",
        mark == '.' ? "statements" : "questions", oursMet, std::size(kFinalSentences), median(ours),
        oursNone ? ", some unvoiced" : "", theirsMet, std::size(kFinalSentences), median(theirs));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ENGINE_BENCH_DIR, listPath = "/usr/share/dict/brazilian", mismatchPath;
  std::size_t count = 2000;
  double rate = 0.8;
  std::vector<std::string> show;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--dir" && i + 1 < argc)
      dir = argv[++i];
    else if (a == "--words" && i + 1 < argc)
      count = std::stoul(argv[++i]);
    else if (a == "--list" && i + 1 < argc)
      listPath = argv[++i];
    else if (a == "--mismatches" && i + 1 < argc)
      mismatchPath = argv[++i];
    else if (a == "--rate" && i + 1 < argc)
      rate = std::stod(argv[++i]);
    else if (a == "--show")
      for (++i; i < argc; ++i) show.emplace_back(argv[i]);
    else {
      std::cerr << "usage: engine_bench [--dir DIR] [--words N] [--list FILE] "
                   "[--mismatches FILE] [--rate F] [--show WORD...]\n";
      return 2;
    }
  }
  tts::EngineFront front;
  if (!front.load(tts::engineFilesIn(dir))) {
    for (const auto& m : front.messages()) std::cerr << qr::toUtf8(m) << "\n";
    std::cerr << "cannot load the engine's files from " << dir << "\n";
    return 1;
  }
  const int espeakRate = measures::openEspeak(espeakINITIALIZE_PHONEME_EVENTS);
  if (espeakRate == 0) {
    std::cerr << "eSpeak NG with the pt-br voice is not available\n";
    return 1;
  }
  if (!show.empty()) {
    for (const auto& w : show) {
      const auto a = ours(front, qr::fromUtf8(w));
      const std::string raw = measures::espeakPhonemes(w);
      const auto b = mapEspeak(raw, qr::fromUtf8(w));
      std::printf("%s\n  ours   %s  (stress %d)\n  espeak %s  (stress %d)  [%s]\n", w.c_str(),
                  joined(a.phonemes).c_str(), a.stressFromEnd.value_or(0),
                  joined(b.phonemes).c_str(), b.stressFromEnd.value_or(0), raw.c_str());
    }
    return 0;
  }

  checkInventory(dir + "/portug.fon");
  std::ofstream mismatches(mismatchPath.empty() ? "/dev/null" : mismatchPath);
  for (const bool heldOut : {false, true}) {
    const auto sample = measures::sampleWords(listPath, count, heldOut);
    if (!sample) {
      std::cerr << "fewer than " << count << " plain words in " << listPath << "\n";
      return 1;
    }
    int same = 0, sameLoose = 0, sameStress = 0;
    for (const auto& word : sample->words) {
      const auto a = ours(front, qr::fromUtf8(word));
      const std::string raw = measures::espeakPhonemes(word);
      const auto b = mapEspeak(raw, qr::fromUtf8(word));
      const bool identical = a.phonemes == b.phonemes;
      const bool stress = a.stressFromEnd && a.stressFromEnd == b.stressFromEnd;
      same += identical;
      sameLoose += withoutOpenness(a.phonemes) == withoutOpenness(b.phonemes);
      sameStress += stress;
      if (!heldOut && (!identical || !stress || getenv("ENGINE_BENCH_ALL")))
        mismatches << word << "\t" << joined(a.phonemes) << "\t" << joined(b.phonemes) << "\t"
                   << a.stressFromEnd.value_or(0) << "\t" << b.stressFromEnd.value_or(0) << "\t"
                   << raw << "\n";
    }
    std::printf("%s sample: %zu words, every %zu-th of %zu plain words in %s\n",
                heldOut ? "held-out" : "bench", count, sample->stride, sample->plainWords,
                listPath.c_str());
    std::printf("  word agreement with eSpeak NG (identical phoneme string): %d (%.1f%%)\n", same,
                100.0 * same / count);
    std::printf("  identical taking e/E and o/O as one: %d (%.1f%%)\n", sameLoose,
                100.0 * sameLoose / count);
    std::printf("  identical stressed syllable: %d (%.1f%%)\n", sameStress,
                100.0 * sameStress / count);
  }

  const std::string paragraph = qr::fromUtf8(kParagraph);
  for (double r : {rate, 1.0}) {
    const auto t = timingOf(front.phoLines(paragraph, 1.0, r));
    std::printf(
        "rhythm at rate factor %.2f: %d syllables in %.2f s: %.2f syllables/s "
        "(%.2f without pauses)\n",
        r, t.syllables, t.seconds, t.syllables / t.seconds, t.syllables / t.speakingSeconds);
  }
  {
    const double seconds =
        static_cast<double>(
            measures::espeakRender(std::string(kParagraph), espeakRATE_NORMAL).size()) /
        espeakRate;
    std::printf("eSpeak NG reads the same paragraph at its default rate in %.2f s\n", seconds);
  }
  for (std::string_view s : {"Você vai sair hoje?", "Você vai sair hoje.",
                             "O arquivo chegou inteiro?", "O arquivo chegou inteiro."}) {
    const auto [before, last] = lastTargets(front.phoLines(qr::fromUtf8(s), 1.0, rate));
    std::printf("%-28s last targets %d -> %d Hz: %s\n", std::string(s).c_str(), before, last,
                last > before   ? "rising"
                : last < before ? "falling"
                                : "level");
  }

  {
    synth::Synthesiser syn;
    if (syn.open(dir + "/br4")) {
      syn.setNoError(true);
      finalPitch(front, syn, rate, espeakRate);
    } else {
      std::printf("final pitch: no synthesiser database in %s (%s)\n", dir.c_str(),
                  syn.lastErrorText().c_str());
    }
  }

  std::string thousand;
  std::size_t wordsIn = 0;
  while (wordsIn < 1000) {
    for (std::size_t i = 0; i < kParagraph.size() && wordsIn < 1000; ++i) {
      thousand += kParagraph[i];
      if (kParagraph[i] == ' ') ++wordsIn;
    }
    thousand += ' ';
  }
  thousand = qr::fromUtf8(thousand);
  std::vector<double> ms;
  std::size_t lines = 0;
  for (int run = 0; run < 21; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    lines = front.phoLines(thousand, 1.0, rate).size();
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("1,000-word text to %zu input lines: median %.2f ms, slowest %.2f ms (21 runs)\n",
              lines, ms[ms.size() / 2], ms.back());
  return 0;
}
