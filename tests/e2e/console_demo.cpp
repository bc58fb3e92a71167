// console_demo: the real console on the real front end and the real wait,
// for end-to-end tests of the platform side. Writes a prompt, then echoes every key it reads:
// characters as themselves, Enter as a new line, other control codes as
// "<N>" and extended keys as "<0 N>", until Escape.
#include <cstdlib>
#include <string>

#include "base/cp1252.h"
#include "base/eventlog.h"
#include "base/programEnd.h"
#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "platform/platform.h"
#include "platform/pollWaiter.h"

namespace {

int run() {
  const platform::FrontendKind kind = platform::chooseFrontend();
  const char* logPath = std::getenv("QUIRAL_LOG");
  qr::EventLog log(logPath ? logPath : "");
  auto frontend = platform::makeFrontend(kind, log);
  if (!frontend) return 1;
  std::string audioNotice;
  auto audio = platform::makeAudio(kind, &audioNotice);
  platform::PollWaiter waiter;  // the program's one wait, as in naviro
  qr::Console console(*frontend, *audio, log);
  console.useSettings(qr::readConsoleSettings(qr::Config()));
  console.addNotice(audioNotice);
  console.useWaiter(waiter);
  console.setCaption("console_demo");
  console.consoleSetBackground(1);
  console.consoleSetForeground(15);
  console.out(qr::W("Demonstração do console: tecle; Esc termina"));
  console.consoleSetBackground(0);
  console.outLine();
  for (const std::string& notice : console.takeNotices()) console.outLine(notice);
  console.consoleSetForeground(14);
  for (;;) {
    const uint8_t key = console.consoleReadKey();
    if (key == 27) break;
    if (key == 0) {
      console.out("<0 " + std::to_string(console.consoleReadKey()) + ">");
    } else if (key == 13) {
      console.outLine();
    } else if (key < 32 || key == 127) {
      console.out("<" + std::to_string(key) + ">");
    } else {
      console.out(std::string(1, static_cast<char>(key)));
    }
  }
  console.consoleSetForeground(15);
  console.outLine();
  console.out("Fim.");
  console.programEnd(0);
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const qr::ProgramEnd& end) {
    return end.code;
  }
}
