// diphone_bench: figures of the syllable-unit synthesiser on the generated
// database.
//
//  - unit coverage: the share of the word list's words whose every unit is
//    found in the index (no noise for a missing short unit, no long unit
//    skipped), per speed level;
//  - speed, on a 500-word paragraph (translation included): time to the
//    first sound handed to the audio output, and the real-time factor (the
//    sound's duration over the time taken to make it), with a memory output.
//
//   diphone_bench [--data DIR] [--words LIST] [--speed N]
//
// The joining parameters of each speed are read from the build tree's
// QUIRAL.INI ([SINTETIZADOR] CORTEFONn, SOBRAFONn, INTERPALn).
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "speech/diphone.h"
#include "speech/diphoneEngine.h"
#include "speech/diphoneUnits.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace {

namespace units = speech::units;
using Clock = std::chrono::steady_clock;

struct Coverage {
  size_t words = 0, covered = 0, spelled = 0;
  std::vector<std::string> missing;  // a few of the words not covered, with the unit
};

Coverage coverage(const speech::Translator& tr, const std::vector<std::string>& words,
                  const std::vector<units::IndexRecord>& index) {
  Coverage c;
  const units::UnitLookup lookup = [&index](std::string_view m) {
    return units::findUnit(index, m);
  };
  for (const auto& w : words) {
    ++c.words;
    bool ok = true, letters = false;
    units::forEachResolvedName(
        tr.translateToPhonetic(w), lookup,
        [&](const units::NamePlay& n, const std::vector<units::Piece>& pieces) {
          bool found = !pieces.empty();
          for (const auto& p : pieces) {
            if (p.kind == units::Piece::Kind::Noise) found = false;
            if (p.kind == units::Piece::Kind::Letter) letters = true;
          }
          if (!found && ok && c.missing.size() < 8) c.missing.push_back(w + "(" + n.name + ")");
          ok = ok && found;
        });
    c.covered += ok;
    c.spelled += letters;
  }
  return c;
}

// Ordinary prose of 100 words, said five times: 500 words.
constexpr std::string_view kProse =
    "O programa liga ao servidor, pede a conta e a senha e diz cada resposta que chega. "
    "Com as setas o usuário percorre a lista de arquivos da pasta remota e ouve o nome, "
    "o tamanho e a data de cada um. Uma tecla recebe o arquivo, outra envia um "
    "arquivo do computador, e durante a transferência o programa conta quantos quilobytes "
    "já passaram. Se a ligação cai ou o servidor recusa um comando, o erro "
    "também é falada, porque quem não enxerga a tela precisa ouvir tudo o que acontece. "
    "No fim, a tecla de saída fecha o programa.";

std::string paragraph() {
  std::string text;
  for (int i = 0; i < 5; ++i) text += qr::fromUtf8(kProse) + " ";
  return text;
}

// A memory output that notes when the first block arrives.
struct TimedAudio : testing_support::MemoryAudio {
  Clock::time_point first{};
  bool queue(const uint8_t* data, size_t length) override {
    if (played.empty()) first = Clock::now();
    return MemoryAudio::queue(data, length);
  }
};

// The whole road the program takes: speech start-up from the build tree's
// QUIRAL.INI, translation, the synthesiser and the player, into memory.
void throughThePlayer(const std::string& text, int speed, int cut, int minimum, int pause) {
  testing_support::FakeFrontend frontend;
  frontend.idleAsksBeforeExit = 1 << 30;
  TimedAudio audio;
  qr::EventLog log;
  qr::Console console(frontend, audio, log);
  console.useSettings(qr::ConsoleSettings{});
  speech::WavPlayer player(console, audio, log);
  speech::Translator tr;
  const qr::Config config(QUIRAL_BUILD_ROOT, ".");
  speech::Diphone diphone(console, player, tr);
  diphone.setDatabase("DIFONES" + std::to_string(speed));
  diphone.setParameters(cut, minimum, pause);
  const qr::DiphoneDirectories dirs = qr::diphoneDirectories(config);
  if (const int code = diphone.diphoneStart(dirs.letters, dirs.database); code != 0) {
    std::cout << "through the player: start gives " << code << "\n";
    return;
  }
  const auto start = Clock::now();
  diphone.diphoneSpeak(tr.translateToPhonetic(text));
  const double made = std::chrono::duration<double>(Clock::now() - start).count();
  const double seconds = static_cast<double>(audio.played.size()) / units::kSampleRate;
  std::cout << "through the player, DIFONES" << speed << ": " << seconds
            << " s of sound; first sound after "
            << std::chrono::duration<double, std::milli>(audio.first - start).count()
            << " ms; real-time factor " << std::setprecision(0) << seconds / made
            << std::setprecision(2) << "x\n";
  diphone.diphoneStop();
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir = QUIRAL_BUILD_ROOT "/som/difones";
  std::string wordFile = "/usr/share/dict/brazilian";
  int speed = 0;  // 0: every speed level
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--data")
      dataDir = argv[i + 1];
    else if (k == "--words")
      wordFile = argv[i + 1];
    else if (k == "--speed")
      speed = std::stoi(argv[i + 1]);
  }
  dataDir += '/';
  speech::Translator tr;
  if (!tr.loadTranslatorRules(dataDir + "regras.rgr") ||
      !tr.loadTranslatorExceptions(dataDir + "portug.exc")) {
    std::cerr << "diphone_bench: no rule files in " << dataDir << "\n";
    return 1;
  }
  std::vector<std::string> words;
  std::ifstream in(wordFile);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) words.push_back(qr::fromUtf8(line));
  if (words.empty()) {
    std::cerr << "diphone_bench: no words in " << wordFile << "\n";
    return 1;
  }

  std::cout << std::fixed << std::setprecision(2);
  for (int n = 1; n <= 5; ++n) {
    speech::DiphoneEngine engine;
    if (!engine.openDatabase(dataDir, "DIFONES" + std::to_string(n))) {
      std::cerr << "diphone_bench: no DIFONES" << n << " in " << dataDir << "\n";
      return 1;
    }
    const auto c = coverage(tr, words, engine.index());
    std::cout << "coverage DIFONES" << n << ": " << 100.0 * c.covered / c.words << " % of "
              << c.words << " words, " << c.words - c.covered << " not covered ("
              << engine.index().size() << " units; " << c.spelled
              << " words spelled in part as letters)";
    for (const auto& w : c.missing) std::cout << ' ' << qr::toUtf8(w);
    std::cout << '\n';
  }

  // Speed levels with the joining parameters of the build tree's QUIRAL.INI.
  const std::string ini = QUIRAL_BUILD_ROOT "/QUIRAL.INI";
  auto number = [&ini](const std::string& key, long fallback) {
    const auto v = qr::iniRead(ini, "SINTETIZADOR", key);
    return v ? qr::convertNumber(*v).value : fallback;
  };
  const std::string text = paragraph();
  for (int n = 1; n <= 5; ++n) {
    if (speed > 0 && n != speed) continue;
    speech::DiphoneEngine engine;
    if (!engine.openDatabase(dataDir, "DIFONES" + std::to_string(n))) return 1;
    const std::string k = std::to_string(n);
    const int cut = static_cast<int>(number("CORTEFON" + k, 400));
    const int minimum = static_cast<int>(number("SOBRAFON" + k, 0));
    const int pause = static_cast<int>(number("INTERPAL" + k, 100));
    engine.setParameters(cut, minimum, pause);
    double best = 1e9, bestFirst = 1e9;
    size_t samples = 0;
    int pieces = 0;
    for (int round = 0; round < 5; ++round) {
      samples = 0;
      pieces = 0;
      Clock::time_point first{};
      const auto start = Clock::now();
      const std::string phon = tr.translateToPhonetic(text);
      engine.speak(phon, 0, [&](const uint8_t*, size_t len) {
        if (pieces++ == 0) first = Clock::now();
        samples += len - speech::DiphoneEngine::kHeaderSize;
        return true;
      });
      best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
      bestFirst =
          std::min(bestFirst, std::chrono::duration<double, std::milli>(first - start).count());
    }
    const double seconds = static_cast<double>(samples) / units::kSampleRate;
    std::cout << "DIFONES" << n << " (cut " << cut << ", minimum " << minimum << ", word pause "
              << pause << "): 500 words, " << seconds << " s of sound, " << 500 * 60.0 / seconds
              << " words/min, " << pieces << " pieces; first sound after " << bestFirst
              << " ms; real-time factor " << std::setprecision(0) << seconds / best
              << std::setprecision(2) << "x\n";
  }
  const std::string k = std::to_string(speed > 0 ? speed : 3);
  throughThePlayer(text, speed > 0 ? speed : 3, static_cast<int>(number("CORTEFON" + k, 400)),
                   static_cast<int>(number("SOBRAFON" + k, 0)),
                   static_cast<int>(number("INTERPAL" + k, 100)));
  return 0;
}
