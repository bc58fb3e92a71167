// naviro: the talking FTP client. Wiring of the modules and the start-up:
// the platform's front end and audio, the console, the configuration, the
// speech modules, the line editor with its screen review, and the program
// body. However the run ends (the user, a closed terminal, a used-up key
// script), qr::ProgramEnd unwinds to here and its code is the exit code.
//
//   naviro [--help] [--version] [--voices [--all]] [HOST[:PORT]]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/voices.h"
#include "base/cp1252.h"
#include "base/eventlog.h"
#include "base/programEnd.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinInput.h"
#include "console/qrwinSpoken.h"
#include "ftp/naviro.h"
#include "ftp/ui/consoleTela.h"
#include "ftp/ui/ftpFileUi.h"
#include "console/review.h"
#include "platform/keyringSecret.h"
#include "platform/launcher.h"
#include "platform/platform.h"
#include "platform/pollWaiter.h"
#include "platform/signals.h"
#include "sftp/sftpFiles.h"
#include "speech/diphone.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"

namespace {

constexpr const char* kUsage =
    "Uso: naviro [--help] [--version] [--voices [--all]] [ftps://|ftp://][COMPUTADOR[:PORTA]]\n"
    "Cliente FTP falado. Sem COMPUTADOR, o nome é perguntado ao iniciar;\n"
    "a porta de controle é 21 quando não é dada. Com ftps:// a conexão\n"
    "criptografada (TLS) é exigida.\n"
    "--voices lista as vozes do sistema em português com o número a pôr em VOZ;\n"
    "com --all, também as das outras línguas.\n";

// errors: what of the configuration and of speech failed, for standard
// error once the console is gone (a terminal shows the program's own screen
// until then).
int run(const std::optional<std::string>& host, qr::EventLog& log,
        std::vector<std::string>& errors);

// One version: the screen's (the banner) is the package's.
static_assert(std::string_view(NAVIRO_VERSION) == ftp::kClientVersion,
              "the project's version in CMakeLists.txt is not the one the program shows");

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> host;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("naviro %s\n", ftp::kClientVersion);
      return 0;
    }
    if (std::strcmp(arg, "--voices") == 0) {
      bool all = false;
      for (int j = 1; j < argc; ++j) all = all || std::strcmp(argv[j], "--all") == 0;
      app::printVoiceLists(stdout, all);
      return 0;
    }
    if (std::strcmp(arg, "--all") == 0) continue;  // with --voices
    if (std::strncmp(arg, "--", 2) == 0) {
      std::fprintf(stderr, "naviro: opção desconhecida: %s\n%s", arg, kUsage);
      return 2;
    }
    if (!host) host = qr::fromUtf8(arg);
  }

  const char* logPath = std::getenv("QUIRAL_LOG");
  qr::EventLog log(logPath ? logPath : "");
  std::vector<std::string> errors;
  int code = 0;
  try {
    code = run(host, log, errors);
  } catch (const qr::ProgramEnd& end) {
    code = end.code;
  }
  for (const std::string& e : errors) std::fprintf(stderr, "naviro: %s\n", qr::toUtf8(e).c_str());
  return code;
}

namespace {

int run(const std::optional<std::string>& host, qr::EventLog& log,
        std::vector<std::string>& errors) {
  platform::ignoreProcessSignals();
  const platform::FrontendKind kind = platform::chooseFrontend();
  std::unique_ptr<qr::ConsoleFrontend> frontend = platform::makeFrontend(kind, log);
  if (!frontend) return 1;
  std::string audioNotice;
  std::unique_ptr<qr::AudioOutput> audio = platform::makeAudio(kind, &audioNotice);

  platform::PollWaiter waiter;
  const qr::Config config;
  qr::Console console(*frontend, *audio, log);
  console.addNotice(audioNotice);
  console.useWaiter(waiter);
  console.useSettings(qr::readConsoleSettings(config));
  speech::WavPlayer player(console, *audio, log);
  speech::Translator translator;
  speech::Diphone diphone(console, player, translator);
  qr::Spoken spoken(console, config, player, translator, diphone);
  platform::SpawnLauncher launcher;
  spoken.useLauncher(launcher);
  app::Voices voices(console, *frontend, *audio, player, log, config);
  spoken.useVoices(&voices.dispatcher());
  qr::LineInput input(console, spoken);
  qr::Review review(console, spoken);
  input.setScreenReview(&review);

  ftp::ConsoleTela tela(console, config, spoken, input);
  ftp::ConsoleFileDialogs dialogs(console, spoken, input);
  ftp::Client client(tela, host, &dialogs);
  client.state().fileCreationMask = platform::fileCreationMask();
  const std::unique_ptr<qr::Keyring> keyring = qr::makeSystemKeyring();
  client.useKeyring(keyring.get());
  client.offerSftp([](ftp::ClientState& st, ftp::Tela& ui, ftp::Messages& msg, ftp::Rede& rede,
                      std::function<bool()> connect, int deadlineMs) {
    return std::make_unique<sftp::SftpFiles>(st, ui, msg, rede, std::move(connect), deadlineMs);
  });
  int code = 0;
  try {
    client.Run();
  } catch (const qr::ProgramEnd& end) {
    code = end.code;
  }
  errors = config.problems();
  for (const std::string& p : spoken.startProblems()) errors.push_back(p);
  return code;
}

}  // namespace
