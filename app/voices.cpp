// The program's voices; see voices.h.
#include "app/voices.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/registry.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "platform/voices.h"

namespace app {
namespace {

// The registry file: $QUIRAL_REGISTRY, else registry.reg beside QUIRAL.INI;
// a missing file is an empty registry.
std::string registryText(const qr::Config& config) {
  const char* env = std::getenv("QUIRAL_REGISTRY");
  const std::string path = env && *env ? std::string(env) : config.windowsDir() + "/registry.reg";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

speech::BuiltinFiles builtinFiles(const qr::Config& config) {
  std::optional<std::string> entry;
  std::string value;
  if (qr::ReadRegistryString(registryText(config), "HKEY_LOCAL_MACHINE",
                             "SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\", value))
    entry = value;
  return speech::builtinFiles(
      config.configValue("CORALTTS", "MBROLA_DB"), config.configValue("CORALTTS", "DIR"),
      config.configValue("CORALTTS", "BASE"), entry, qr::Config::quiralRoot() + "/coraltts/");
}

void printList(std::FILE* out, const char* title,
               const std::optional<std::vector<speech::VoiceEntry>>& voices) {
  std::fprintf(out, "%s\n", title);
  if (!voices) {
    std::fputs("  (não disponível)\n", out);
    return;
  }
  if (voices->empty()) std::fputs("  (nenhuma voz)\n", out);
  for (size_t i = 0; i < voices->size(); ++i) {
    const speech::VoiceEntry& v = (*voices)[i];
    std::fprintf(out, "%5zu  %s  (%s)\n", i + 1, v.name.c_str(), v.language.c_str());
  }
}

}  // namespace

struct Voices::State {
  speech::Dispatcher dispatcher;

  State(qr::Console& console, qr::ConsoleFrontend& frontend, qr::AudioOutput& audio,
        qr::EventLog& log, const qr::Config& config)
      : dispatcher(
            console, log, [&frontend] { frontend.beep(); },
            speech::VoiceStarters{
                [&audio](const speech::VoiceRequest& request) {
                  return platform::startEspeakVoice(request, audio);
                },
                &platform::startSpeechdVoice,
                nullptr,
            },
            builtinFiles(config)) {}
};

Voices::Voices(qr::Console& console, qr::ConsoleFrontend& frontend, qr::AudioOutput& audio,
               qr::EventLog& log, const qr::Config& config)
    : s_(std::make_unique<State>(console, frontend, audio, log, config)) {}

Voices::~Voices() = default;

speech::Dispatcher& Voices::dispatcher() {
  return s_->dispatcher;
}

void printVoiceLists(std::FILE* out) {
  printList(out, "eSpeak NG (TIPOSAPI=4), VOZ=", platform::espeakVoices());
  printList(out, "Speech Dispatcher (TIPOSAPI=5 ou 54), VOZ=", platform::speechdVoices());
}

}  // namespace app
