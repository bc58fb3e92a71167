// Choice of the console front end and the audio output at start-up.
#include "platform/platform.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "base/cp1252.h"
#include "console/qrwinConfig.h"
#include "platform/audioBackends.h"
#include "platform/script.h"
#include "platform/terminal.h"
#include "platform/window.h"

namespace platform {

namespace {

std::string_view env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string_view(v) : std::string_view();
}

}  // namespace

FrontendKind chooseFrontend() {
  const std::string_view chosen = env("QUIRAL_CONSOLE");
  if (chosen == "script") return FrontendKind::Script;
  if (chosen == "terminal") return FrontendKind::Terminal;
  if (chosen == "linear") return FrontendKind::Linear;
  if (chosen == "window") return FrontendKind::Window;
  if (!chosen.empty())
    std::cerr << "naviro: unknown QUIRAL_CONSOLE \"" << chosen
              << "\" (window, terminal, linear or script); choosing by the display\n";
  const std::string linear = qr::Config().bareRead("VIDEO", "LINEAR", "N", 80);
  if (!linear.empty() && (linear[0] == 'S' || linear[0] == 's')) return FrontendKind::Linear;
  if (!env("DISPLAY").empty() || !env("WAYLAND_DISPLAY").empty()) return FrontendKind::Window;
  return FrontendKind::Terminal;
}

std::unique_ptr<qr::ConsoleFrontend> makeFrontend(FrontendKind kind, qr::EventLog& log) {
  switch (kind) {
    case FrontendKind::Script:
      return makeScriptFrontendFromEnvironment(log);
    case FrontendKind::Window: {
      std::string error;
      auto frontend = makeWindowFrontend(qr::readConsoleSettings(qr::Config()), error);
      if (frontend) return frontend;
      std::cerr << error << "; using the terminal\n";
      [[fallthrough]];
    }
    case FrontendKind::Terminal:
    case FrontendKind::Linear: {
      std::string error;
      auto frontend = makeTerminalFrontend(error, kind == FrontendKind::Linear);
      if (!frontend) std::cerr << error << "\n";
      return frontend;
    }
  }
  return nullptr;
}

std::unique_ptr<qr::AudioOutput> makeAudio(FrontendKind kind, std::string* notice) {
  std::string_view chosen = env("QUIRAL_AUDIO");
  if (chosen.empty()) chosen = kind == FrontendKind::Script ? "null" : "sdl";
  std::string error;
  std::unique_ptr<qr::AudioOutput> audio;
  if (chosen == "null") return makeNullAudio();
  if (chosen == "sdl") {
    audio = makeSdlAudio(error);
  } else if (chosen.substr(0, 5) == "file:" && chosen.size() > 5) {
    audio = makeFileAudio(std::string(chosen.substr(5)), error);
  } else {
    error = "unknown QUIRAL_AUDIO \"" + std::string(chosen) + "\" (sdl, null or file:PATH)";
  }
  if (audio) return audio;
  std::cerr << "naviro: " << error << "; going on without sound\n";
  if (notice) *notice = qr::W("Sem som, o dispositivo de áudio não pôde ser aberto.");
  return makeNullAudio();
}

}  // namespace platform
