// qrwin, the spoken-interaction layer and the speech start-up. Texts are
// Windows-1252. A text goes to the active voice: the system voice chosen in
// the configuration, else the recorded voice (speech/recordedVoice.h), which
// speaks it piece by piece. Every wait pumps the console and ends at a key;
// a key silences speech and stays in the queue for the caller (errorBeep
// alone discards keys). Directories end with "/".
#include "console/qrwinSpoken.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "base/cp1252.h"
#include "console/launcher.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "speech/diphone.h"
#include "speech/dispatcher.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"

namespace qr {
namespace {

constexpr size_t kMaxDocumentWord = 255;
// The error tone: about 46 ms at about 1378 Hz.
constexpr std::array<uint8_t, 8> kToneCycle = {128, 112, 96, 80, 64, 80, 96, 112};
constexpr size_t kToneBytes = 512;
constexpr uint32_t kToneRate = 11025;

constexpr bool isDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

bool flagValue(std::string_view v) {
  return !v.empty() && v[0] != 'N' && v[0] != 'n';
}

std::string withSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

std::vector<uint8_t> toneImage() {
  std::array<uint8_t, kToneBytes> samples{};
  for (size_t i = 0; i < kToneBytes; ++i) samples[i] = kToneCycle[i % kToneCycle.size()];
  samples.back() = 128;
  return speech::makeWavImage(samples.data(), samples.size(), kToneRate, 1, 8);
}

bool isDirectory(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::is_directory(dir.empty() ? std::string(".") : dir, ec);
}

// Which key to look at when the syllable-unit synthesiser did not start
// (error 1: a directory or the database; 2: the rule files), with the file
// that holds it.
std::string diphoneProblem(const Config& config, int error, const DiphoneDirectories& dirs,
                           const SpeechSettings& settings) {
  const std::string file = fromUtf8(config.sourceFile()) + ": ";
  if (!isDirectory(dirs.letters))
    return fromUtf8(config.bareFile()) + ": [TRADUTOR] DIRLETRAS=" + dirs.letters +
           W(": não é um diretório");
  if (!isDirectory(dirs.database))
    return file + "[TRADUTOR] DIRDIFONES=" + dirs.database + W(": não é um diretório");
  if (error == 1)
    return file + "[SINTETIZADOR] DIFONES" + std::to_string(settings.speed) + "=" +
           settings.databaseName + W(": o banco de unidades não abre em ") + dirs.database;
  return file + "[TRADUTOR] DIRDIFONES=" + dirs.database +
         W(": faltam as regras (regras.rgr, portug.exc)");
}

// The voice dispatcher as a voice: whichever system voice it started.
class SystemVoice final : public speech::Voice {
 public:
  explicit SystemVoice(speech::Dispatcher*& voices) : voices_(voices) {}
  bool speak(std::string_view text) override {
    if (voices_) voices_->speechSpeak(text);
    return voices_ != nullptr;
  }
  bool busy(bool strict) override { return voices_ && voices_->speechBusy(strict); }
  void stop() override {
    if (voices_) voices_->speechStop();
  }
  void pump() override {
    if (voices_) voices_->pump();
  }
  int eventDescriptor() const override { return voices_ ? voices_->eventDescriptor() : -1; }
  qr::Deadline nextPump() const override {
    return voices_ ? voices_->nextPump() : qr::kNoDeadline;
  }

 private:
  speech::Dispatcher*& voices_;
};

}  // namespace

DocumentCommand documentCommand(
    std::string_view word, std::string_view currentDir,
    const std::function<std::string(std::string_view extension)>& progFor) {
  word = word.substr(0, kMaxDocumentWord);
  const std::string w(word);
  if (w.starts_with("http://") || w.starts_with("https://") || w.starts_with("www.")) {
    return {progFor("HTM"), w};
  }
  const size_t dot = word.find('.');
  const std::string extension =
      upperCase(dot == std::string_view::npos ? word.substr(0, 3) : word.substr(dot + 1, 3));
  if (extension == "EXE" || extension == "COM") {
    if (w.starts_with("/")) return {w, {}};
    return {withSlash(std::string(currentDir)) + w, {}};
  }
  std::string program = progFor(extension);
  if (program.empty()) return {w, {}};
  return {program, w};
}

struct Spoken::State {
  const Config& config;
  speech::WavPlayer& player;
  speech::Translator& translator;
  speech::Diphone& diphone;
  SpeechSettings settings;
  bool speechPending = true;
  std::vector<uint8_t> click = speech::clickImage();
  std::vector<uint8_t> tone = toneImage();
  Launcher* launcher = nullptr;
  std::string started;  // the sound startSound left playing, until its end is seen
  speech::Dispatcher* voices = nullptr;
  speech::RecordedVoice recorded;
  SystemVoice system{voices};
  std::vector<std::string> problems;  // of the last start-up

  State(Console& console, const Config& c, speech::WavPlayer& p, speech::Translator& t,
        speech::Diphone& d)
      : config(c),
        player(p),
        translator(t),
        diphone(d),
        recorded(console, p, t, d, console.log()) {}

  // The voice texts go to: the system voice once started, else the
  // recorded voice.
  speech::Voice& active() {
    if (settings.sapi) return system;
    recorded.settings() = {settings.lettersDir, settings.pauseFullStop, settings.pauseComma,
                           settings.pauseColon};
    return recorded;
  }

  bool voiceInit(int voice, int speed, int pitch, int kind) {
    return voices && voices->speechInit(voice, speed, pitch, {}, kind);
  }
  bool voiceBusy() { return voices && voices->speechBusy(false); }
  void voiceStop() {
    if (voices) voices->speechStop();
  }
  void voiceClose() {
    if (voices) voices->speechClose();
  }
  // The active voice as a source of the console's loop: it goes on
  // sounding during every wait, key reads included.
  struct VoiceSource final : LoopSource {
    explicit VoiceSource(State& state) : s(state) {}
    int descriptor() const override { return s.active().eventDescriptor(); }
    Deadline deadline() const override { return s.active().nextPump(); }
    void dispatch() override { s.active().pump(); }
    State& s;
  };
  VoiceSource source{*this};

  // What may end a wait while speech sounds besides a key: news from the
  // voice (samples ready, the end of a text), its deadline or the player's.
  Wake speechWake() {
    speech::Voice& v = active();
    return Wake{v.eventDescriptor(), std::min(v.nextPump(), player.nextChange())};
  }
};

Spoken::Spoken(Console& console, const Config& config, speech::WavPlayer& player,
               speech::Translator& translator, speech::Diphone& diphone)
    : s_(std::make_unique<State>(console, config, player, translator, diphone)),
      console_(console) {
  console_.addSource(s_->source);
}

Spoken::~Spoken() {
  console_.removeSource(s_->source);
}

void Spoken::useLauncher(Launcher& launcher) {
  s_->launcher = &launcher;
}

void Spoken::useVoices(speech::Dispatcher* voices) {
  s_->voices = voices;
}

SpeechSettings& Spoken::settings() {
  return s_->settings;
}

void Spoken::speechSpeedSettings(int speed) {
  State& s = *s_;
  const std::string n = std::to_string(speed);
  auto value = [&](std::string_view key) {
    return s.config.configValue("SINTETIZADOR", std::string(key) + n);
  };
  auto numberOr = [&](std::string_view key, long fallback) {
    const NumberValue v = convertNumber(value(key));
    return static_cast<int>(v.valid ? v.value : fallback);
  };
  s.settings.speed = speed;
  // Absent, the database of the speed is the sound library's own.
  s.settings.databaseName = value("DIFONES").substr(0, 8);
  if (s.settings.databaseName.empty()) s.settings.databaseName = "DIFONES" + n;
  const int cut = static_cast<int>(convertNumber(value("CORTEFON")).value);
  const int extra = numberOr("SOBRAFON", 0);
  const int interWord = numberOr("INTERPAL", 0);
  s.diphone.setParameters(cut, extra, interWord);
  s.diphone.setDatabase(s.settings.databaseName);
  s.player.setFast(flagValue(value("RAPIDINHO")));
  // Recorded sound keeps the pace of the chosen speed, at its own pitch.
  s.player.setTempo(speech::speedTempo(speed));
  s.player.setCut(flagValue(value("CORTAFALA")));
  s.settings.pauseFullStop = numberOr("PAUSAPONTO", 250);
  s.settings.pauseComma = numberOr("PAUSAVIRG", 150);
  s.settings.pauseColon = numberOr("PAUSADOISPONTOS", 200);
}

void Spoken::speechStart(int speed, std::string_view soundDir) {
  State& s = *s_;
  if (speed <= 0)
    speed = static_cast<int>(convertNumber(s.config.configValue("TRADUTOR", "VELOCIDADE")).value);
  if (speed < 1 || speed > 5) speed = 3;
  speechSpeedSettings(speed);
  const DiphoneDirectories dirs = diphoneDirectories(s.config);
  const int error = s.diphone.diphoneStart(dirs.letters, dirs.database);
  s.problems.clear();
  if (error != 0) {
    // Written, not spoken (the synthesiser is what failed); the recorded
    // messages still speak, and the program says the rest.
    console_.outLine(W("Erro de inicialização: ") + std::to_string(error));
    console_.outLine("Banco de dados de voz: " + s.settings.databaseName);
    s.diphone.diphoneStop();
    s.problems.push_back(diphoneProblem(s.config, error, dirs, s.settings));
  }
  s.settings.soundDir = withSlash(std::string(soundDir));
  s.settings.lettersDir =
      withSlash(s.config.bareRead("TRADUTOR", "DIRLETRAS", Config::quiralRoot() + "/som/letras/"));
  speechSpeedSettings(speed);
  s.settings.sapi = false;
  if (flagValue(s.config.configValue("TRADUTOR", "SAPI"))) {
    auto number = [&](std::string_view key) {
      return static_cast<int>(convertNumber(s.config.configValue("SERVFALA", key)).value);
    };
    const int voice = number("VOZ");
    int voiceSpeed = number("VELOCIDADE");
    const int pitch = number("TOM");
    const int kind = number("TIPOSAPI");
    if (kind != 4 && voiceSpeed > 10) voiceSpeed = 0;
    s.settings.sapi = s.voiceInit(voice, voiceSpeed, pitch, kind);
    s.settings.synthKind = kind;
  }
}

const std::vector<std::string>& Spoken::startProblems() const {
  return s_->problems;
}

void Spoken::writeSpoken(std::string_view text) {
  console_.out(text);
  speakText(text);
}

void Spoken::writeLineSpoken(std::string_view text) {
  writeSpoken(text);
  console_.outLine();
}

void Spoken::speakText(std::string_view text) {
  State& s = *s_;
  if (!s.started.empty()) waitSpeechEnd();  // a sound left playing ends first
  console_.log().event("text", text);
  // The text before ends first; a key silences it and this one.
  waitWhileSpeaking();
  if (console_.consoleKeyPending()) return;
  (void)s.active().speak(text);
  s.speechPending = true;
  // Nothing moves the recorded voice on while the program waits for a key:
  // it is heard to the end (or to a key) here.
  if (!s.settings.sapi) waitSpeechEnd();
}

void Spoken::speakAndGoOn(std::string_view text) {
  State& s = *s_;
  console_.log().event("text", text);
  if (console_.consoleKeyPending()) return;
  (void)s.active().speak(text);
  s.speechPending = true;
}

void Spoken::speakChar(uint8_t ch) {
  waitSpeechEnd();
  console_.log().event("char", static_cast<long long>(ch));
  (void)s_->player.playWavFile(s_->settings.lettersDir + "_" + std::to_string(ch) + ".wav");
}

namespace {
std::string soundPath(const SpeechSettings& settings, std::string_view name) {
  const std::string& dir = name.starts_with('_') ? settings.lettersDir : settings.soundDir;
  return dir + std::string(name) + ".wav";
}
}  // namespace

void Spoken::playSound(std::string_view name) {
  waitSpeechEnd();
  (void)s_->player.playWavFile(soundPath(s_->settings, name));
}

void Spoken::startSound(std::string_view name) {
  waitSpeechEnd();
  State& s = *s_;
  if (s.player.startWavFile(soundPath(s.settings, name)) != 0) return;
  s.speechPending = true;
  s.started = std::string(name);
}

void Spoken::pollSpeech() {
  if (!s_->speechPending) return;
  if (speechBusyAny()) return;
  s_->speechPending = false;
  noteSoundEnded();
}

bool Spoken::soundExists(std::string_view name) const {
  std::error_code error;
  return std::filesystem::is_regular_file(toUtf8(soundPath(s_->settings, name)), error);
}

void Spoken::spellText(std::string_view text) {
  for (char c : text) {
    if (console_.consoleKeyPending()) return;
    speakChar(static_cast<uint8_t>(c));
  }
}

void Spoken::speakDtmf(std::string_view text) {
  State& s = *s_;
  const bool fast = s.player.fast();
  const double tempo = s.player.tempo();
  s.player.setFast(false);
  s.player.setTempo(1.0);
  for (char raw : text) {
    const uint8_t c = upperCase(static_cast<uint8_t>(raw));
    if (isDigit(c) || c == '#' || c == '*') {
      const char name = c == '*' ? 'X' : static_cast<char>(c);
      (void)s.player.playWavFile(s.settings.lettersDir + "dtmf_" + name + ".wav");
      console_.consoleDelay(100);  // a timed pause between the tones
    } else if (c == ',') {
      console_.consoleDelay(1000);  // a timed pause for the comma
    }
  }
  s.player.setFast(fast);
  s.player.setTempo(tempo);
}

void Spoken::clickSound() {
  State& s = *s_;
  waitSpeechEnd();
  console_.log().event("click");
  const bool cut = s.player.cut();
  s.player.setCut(false);
  s.player.playWavImage(s.click.data(), s.click.size());
  waitWhilePlaying();
  s.player.setCut(cut);
}

void Spoken::errorBeep() {
  State& s = *s_;
  waitSpeechEnd();
  console_.flushKeys();
  console_.log().event("beep");
  const bool cut = s.player.cut();
  const bool fast = s.player.fast();
  const double tempo = s.player.tempo();
  s.player.setCut(false);
  s.player.setFast(false);
  s.player.setTempo(1.0);
  s.player.playWavImage(s.tone.data(), s.tone.size());
  waitWhilePlaying();
  s.player.setCut(cut);
  s.player.setFast(fast);
  s.player.setTempo(tempo);
}

void Spoken::playImageWait(const std::vector<uint8_t>& image) {
  waitSpeechEnd();
  s_->player.playWavImage(image.data(), image.size());
  waitWhilePlaying();
}

bool Spoken::speechBusyAny() {
  if (console_.consoleKeyPending()) {
    stopSpeech();
    return false;
  }
  // The voice first: it hands the player its next blocks before the player
  // is asked whether anything still sounds.
  const bool voice = s_->active().busy(false);
  const bool wav = s_->player.wavBusy();
  return voice || wav;
}

void Spoken::waitWhileSpeaking() {
  console_.waitWhile([this] { return speechBusyAny(); }, [this] { return s_->speechWake(); });
}

void Spoken::waitWhilePlaying() {
  speech::WavPlayer& player = s_->player;
  console_.waitWhile([&player] { return player.wavBusy(); },
                     [&player] { return Wake{-1, player.nextChange()}; });
}

void Spoken::waitSpeechEnd() {
  if (!s_->speechPending) return;
  waitWhileSpeaking();
  s_->speechPending = false;
  noteSoundEnded();
}

// The log's mark of the moment a started sound was found over (ended or
// stopped by a key).
void Spoken::noteSoundEnded() {
  if (s_->started.empty()) return;
  console_.log().event("ended", s_->started);
  s_->started.clear();
}

void Spoken::stopSpeech() {
  State& s = *s_;
  console_.log().event("stop");
  s.player.wavStop();
  s.recorded.stop();
  if (s.settings.sapi && (s.voiceBusy() || s.settings.synthKind == 3)) s.voiceStop();
}

void Spoken::speechFinish() {
  State& s = *s_;
  waitWhileSpeaking();
  stopSpeech();
  if (s.settings.sapi) {
    s.voiceClose();
    s.settings.sapi = false;
  }
  s.diphone.diphoneStop();
}

void Spoken::openDocument(std::string_view word) {
  State& s = *s_;
  std::error_code error;
  const std::string cwd = fromUtf8(std::filesystem::current_path(error).string());
  const DocumentCommand command = documentCommand(word, cwd, [&](std::string_view extension) {
    return s.config.configValue("QUIRAL", "PROG." + std::string(extension));
  });
  waitWhileSpeaking();
  // A word that is a document rather than a program is opened by the
  // desktop's association, as is a web address with no browser configured.
  if (s.launcher == nullptr) {
  } else if (command.program.empty()) {
    (void)s.launcher->startDetached("xdg-open", command.parameter);
  } else if (!s.launcher->startDetached(command.program, command.parameter) &&
             command.parameter.empty()) {
    (void)s.launcher->startDetached("xdg-open", command.program);
  }
  waitWhileSpeaking();
}

}  // namespace qr
