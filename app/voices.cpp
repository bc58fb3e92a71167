// The program's voices; see voices.h.
#include "app/voices.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/minireg.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "platform/sharedLibrary.h"
#include "platform/voices.h"
#include "speech/coralEngine.h"

#ifndef NAVIRO_LIBDIR_FROM_BIN
#define NAVIRO_LIBDIR_FROM_BIN "../lib/naviro"
#endif
#ifndef NAVIRO_INSTALL_LIBDIR
#define NAVIRO_INSTALL_LIBDIR "/usr/local/lib/naviro"
#endif

namespace app {
namespace {

// The program's own library directory: where it stands from the running
// program's bin/ (whatever the prefix it was installed under), else the
// configured one.
std::string libraryDir() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path beside =
        (program.parent_path() / NAVIRO_LIBDIR_FROM_BIN).lexically_normal();
    if (std::filesystem::is_directory(beside, ec)) return beside.string();
  }
  return NAVIRO_INSTALL_LIBDIR;
}

speech::BuiltinFiles builtinFiles(const qr::Config& config) {
  std::optional<std::string> entry;
  std::string value;
  if (qr::MiniReg::forWindowsDir(config.windowsDir())
          .ReadRegistryString("HKEY_LOCAL_MACHINE", "SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\",
                              value))
    entry = value;
  return speech::builtinFiles(
      config.configValue("CORALTTS", "MBROLA_DB"), config.configValue("CORALTTS", "DIR"),
      config.configValue("CORALTTS", "BASE"), entry, qr::Config::quiralRoot() + "/coraltts/");
}

bool portuguese(const speech::VoiceEntry& v) {
  return v.language.size() >= 2 && (v.language[0] | 0x20) == 'p' && (v.language[1] | 0x20) == 't' &&
         (v.language.size() == 2 || v.language[2] == '-' || v.language[2] == '_');
}

// The Portuguese voices first, each with the number VOZ takes; the others
// after them when all are asked for, else only counted.
void printList(std::FILE* out, const char* title,
               const std::optional<std::vector<speech::VoiceEntry>>& voices, bool all) {
  std::fprintf(out, "%s\n", title);
  if (!voices) {
    std::fputs("  (não disponível)\n", out);
    return;
  }
  if (voices->empty()) std::fputs("  (nenhuma voz)\n", out);
  size_t others = 0;
  for (const bool wanted : {true, false}) {
    for (size_t i = 0; i < voices->size(); ++i) {
      const speech::VoiceEntry& v = (*voices)[i];
      if (portuguese(v) != wanted) continue;
      if (!wanted && !all) {
        ++others;
        continue;
      }
      std::fprintf(out, "%5zu  %s  (%s)\n", i + 1, v.name.c_str(), v.language.c_str());
    }
  }
  if (others > 0)
    std::fprintf(out, "  e mais %zu %s de outras línguas (naviro --voices --all lista todas)\n",
                 others, others == 1 ? "voz" : "vozes");
}

}  // namespace

struct Voices::State {
  platform::DlLoader loader;
  speech::Dispatcher dispatcher;

  State(qr::Console& console, qr::ConsoleFrontend& frontend, qr::AudioOutput& audio,
        speech::WavPlayer& player, qr::EventLog& log, const qr::Config& config)
      : dispatcher(
            console, log, [&frontend] { frontend.beep(); },
            speech::VoiceStarters{
                [&audio](const speech::VoiceRequest& request) {
                  return platform::startEspeakVoice(request, audio);
                },
                &platform::startSpeechdVoice,
                [this, &player, &config] {
                  return speech::makeCoralVoice(loader, player,
                                                qr::MiniReg::forWindowsDir(config.windowsDir()),
                                                qr::Config::quiralRoot(), libraryDir());
                },
            },
            builtinFiles(config)) {}
};

Voices::Voices(qr::Console& console, qr::ConsoleFrontend& frontend, qr::AudioOutput& audio,
               speech::WavPlayer& player, qr::EventLog& log, const qr::Config& config)
    : s_(std::make_unique<State>(console, frontend, audio, player, log, config)) {}

Voices::~Voices() = default;

speech::Dispatcher& Voices::dispatcher() {
  return s_->dispatcher;
}

void printVoiceLists(std::FILE* out, bool all) {
  printList(out, "eSpeak NG (TIPOSAPI=4), VOZ=", platform::espeakVoices(), all);
  printList(out, "Speech Dispatcher (TIPOSAPI=5 ou 54), VOZ=", platform::speechdVoices(), all);
}

}  // namespace app
