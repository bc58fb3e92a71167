// The voice dispatcher; see dispatcher.h. Every operation makes the same
// choice on the kind, in the order 3, 5, 54, everything else.
//
// The rules of the eSpeak NG kinds are kept here, before the text reaches
// the back end: blanks and control characters trimmed, a lone digit said
// as a number, and a text dropped when a key is already waiting (the user
// has moved on). The event log shows each text as it is handed over.
#include "speech/dispatcher.h"

#include <utility>

#include "base/eventlog.h"
#include "speech/voiceText.h"

namespace speech {
namespace {

constexpr std::array<const char*, 5> kRuleExtensions = {".nrl", ".exc", ".abr", ".pro", ".dfn"};

std::string withSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

VoiceKind voiceKindOf(int kind) {
  switch (kind) {
    case 3:
      return VoiceKind::Builtin;
    case 5:
      return VoiceKind::Speechd5;
    case 54:
      return VoiceKind::Speechd54;
    default:
      return VoiceKind::Espeak;
  }
}

BuiltinFiles builtinFiles(std::string_view database, std::string_view dir, std::string_view base,
                          const std::optional<std::string>& registryEntry,
                          std::string_view fallbackDir) {
  BuiltinFiles out;
  out.database = database.empty() ? "br4" : std::string(database);
  std::string directory(dir);
  if (directory.empty()) {
    // The registry names the database file itself; its directory is what
    // remains without the last three characters.
    if (registryEntry && registryEntry->size() >= 3) {
      directory = registryEntry->substr(0, registryEntry->size() - 3);
    } else {
      directory = fallbackDir;
    }
  }
  directory = withSlash(std::move(directory));
  const std::string name = base.empty() ? "portug" : std::string(base);
  for (size_t i = 0; i < kRuleExtensions.size(); ++i)
    out.files[i] = directory + name + kRuleExtensions[i];
  return out;
}

double pitchFactor(int pitch) {
  return (pitch + 11) / 11.0;
}

double rateFactor(int speed) {
  return 0.8 - speed / 15.0;
}

Dispatcher::Dispatcher(Pacing& pacing, qr::EventLog& log, std::function<void()> beep,
                       VoiceStarters starters, BuiltinFiles builtin)
    : pacing_(pacing),
      log_(log),
      beep_(std::move(beep)),
      starters_(std::move(starters)),
      builtin_(std::move(builtin)) {}

Dispatcher::~Dispatcher() = default;

Voice* Dispatcher::voice() const {
  return voiceKindOf(kind_) == VoiceKind::Builtin ? engine_.get() : system_.get();
}

bool Dispatcher::speechInit(int voice, int speed, int pitch, const std::string& outputFile,
                            int kind) {
  kind_ = kind;
  const VoiceRequest request{voice, speed, pitch, outputFile};
  bool started = false;
  switch (voiceKindOf(kind)) {
    case VoiceKind::Builtin:
      if (starters_.builtin) engine_ = starters_.builtin();
      if (engine_) {
        engine_->setOutputFile(outputFile);
        started = engine_->start(builtin_);
        engine_->setFactors(pitchFactor(pitch), rateFactor(speed));
        if (!started) engine_.reset();
      }
      break;
    case VoiceKind::Speechd5:
    case VoiceKind::Speechd54:
      if (starters_.speechd) system_ = starters_.speechd(kind, request);
      started = system_ != nullptr;
      break;
    case VoiceKind::Espeak:
      if (starters_.espeak) system_ = starters_.espeak(request);
      started = system_ != nullptr;
      break;
  }
  if (started) waitWhileBusy(true);
  return started;
}

void Dispatcher::speechSpeak(std::string_view text) {
  switch (voiceKindOf(kind_)) {
    case VoiceKind::Builtin:
      if (!engine_) return;
      log_.event("voice", text);
      (void)engine_->speak(text);
      return;
    case VoiceKind::Speechd5:
    case VoiceKind::Speechd54: {
      if (!system_) return;
      const std::string said = text.empty() ? std::string(" ") : sharedReadings(text);
      log_.event("voice", said);
      if (!system_->speak(said) && beep_) beep_();
      return;
    }
    case VoiceKind::Espeak: {
      if (!system_) return;
      const std::string said = voiceText(sharedReadings(text));
      if (said.empty() || pacing_.keyPending()) return;
      log_.event("voice", said);
      if (!system_->speak(said)) system_->stop();
      return;
    }
  }
}

bool Dispatcher::speechBusy(bool strict) {
  pacing_.pump();
  switch (voiceKindOf(kind_)) {
    case VoiceKind::Builtin:
      if (!engine_) return false;
      if (pacing_.keyPending()) {
        engine_->stop();
        return false;
      }
      engine_->pump();
      return engine_->busy(strict);
    case VoiceKind::Speechd5:
    case VoiceKind::Speechd54:
    case VoiceKind::Espeak:
      if (!system_) return false;
      system_->pump();
      return system_->busy(strict);
  }
  return false;
}

void Dispatcher::speechStop() {
  if (Voice* v = voice()) v->stop();
}

void Dispatcher::speechClose() {
  switch (voiceKindOf(kind_)) {
    case VoiceKind::Builtin:
      if (!engine_) return;
      waitWhileBusy(false);
      speechStop();
      engine_->close();
      engine_.reset();
      return;
    case VoiceKind::Speechd5:
    case VoiceKind::Speechd54:
      if (!system_) return;
      waitWhileBusy(false);
      system_.reset();
      return;
    case VoiceKind::Espeak:
      system_.reset();
      return;
  }
}

void Dispatcher::waitWhileBusy(bool strict) {
  pacing_.waitWhile([this, strict] { return speechBusy(strict); },
                    [this] { return qr::Wake{eventDescriptor(), nextPump()}; });
}

int Dispatcher::eventDescriptor() const {
  const Voice* v = voice();
  return v ? v->eventDescriptor() : -1;
}

void Dispatcher::pump() {
  if (Voice* v = voice()) v->pump();
}

qr::Deadline Dispatcher::nextPump() const {
  const Voice* v = voice();
  return v ? v->nextPump() : qr::kNoDeadline;
}

}  // namespace speech
