// The syllable-unit synthesiser as the program sees it: given the letters
// and unit database directories, opens the database of the current speed,
// loads the translator's rule and exception files, and plays the engine's
// WAV images through the player, waiting (through the pacing) until each has
// sounded. A key stops the rest of the text.
#include "speech/diphone.h"

#include <filesystem>

#include "speech/diphoneEngine.h"
#include "speech/pacing.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"

namespace speech {
namespace {

std::string withSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

bool isDirectory(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::is_directory(dir.empty() ? std::string(".") : dir, ec);
}

}  // namespace

struct Diphone::State {
  Pacing& pacing;
  WavPlayer& player;
  Translator& translator;
  DiphoneEngine engine;
  std::string database = "DIFONES2";
  std::string lettersDir;
  bool started = false;

  State(Pacing& pc, WavPlayer& p, Translator& t) : pacing(pc), player(p), translator(t) {}
};

Diphone::Diphone(Pacing& pacing, WavPlayer& player, Translator& translator)
    : s_(std::make_unique<State>(pacing, player, translator)) {}

Diphone::~Diphone() = default;

int Diphone::diphoneStart(const std::string& lettersDir, const std::string& databaseDir) {
  s_->lettersDir = withSlash(lettersDir);
  if (!isDirectory(s_->lettersDir)) return 1;
  const std::string dbDir = withSlash(databaseDir);
  if (!isDirectory(dbDir)) return 1;
  if (!s_->engine.openDatabase(dbDir, s_->database)) return 1;
  s_->engine.setLettersDir(s_->lettersDir);
  if (!s_->translator.loadTranslatorRules(dbDir + "regras.rgr") ||
      !s_->translator.loadTranslatorExceptions(dbDir + "portug.exc"))
    return 2;
  s_->started = true;
  return 0;
}

void Diphone::diphoneSpeak(std::string_view phonetic, int flag) {
  if (!s_->started) return;
  const DiphoneEngine::Sink sink = [this](const uint8_t* image, size_t length) {
    if (s_->pacing.keyPending()) return false;
    s_->player.playWavImage(image, length);
    s_->pacing.waitWhile([this] { return s_->player.wavBusy(); },
                         [this] { return qr::Wake{-1, s_->player.nextChange()}; });
    return !s_->pacing.keyPending();
  };
  // The units of each speed are already at its pace: the player's time
  // scaling for recorded sound is not for them (the fast flag still is).
  const double tempo = s_->player.tempo();
  s_->player.setTempo(1.0);
  s_->engine.speak(phonetic, flag, sink);
  s_->player.setTempo(tempo);
}

void Diphone::diphoneSynth(std::string_view phonetic, int flag, const ImageSink& sink) {
  if (!s_->started) return;
  s_->engine.speak(phonetic, flag, [&sink](const uint8_t* image, size_t length) {
    sink(image, length);
    return true;
  });
}

void Diphone::diphoneStop() {
  s_->engine.closeDatabase();
  s_->translator.unload();
  s_->started = false;
}

void Diphone::setParameters(int cut, int extra, int interWordPause) {
  s_->engine.setParameters(cut, extra, interWordPause);
}

void Diphone::setDatabase(std::string_view name) {
  s_->database = std::string(name.substr(0, 8));
}

const std::string& Diphone::lettersDirectory() const {
  return s_->lettersDir;
}

}  // namespace speech
