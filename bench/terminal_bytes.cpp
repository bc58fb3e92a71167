// Bytes written to the terminal per scrolled line. The real console writes
// listing lines on a full screen, each line scrolling it by one; each
// picture is rendered as the terminal front end renders it, in terminal
// mode (16 colours, 80x25 and 80x24) and in linear mode. "redrawn" renders
// the same pictures as if the console had not scrolled, which is what a
// renderer without the terminal's scrolling sends.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/eventlog.h"
#include "base/programEnd.h"
#include "console/qrCrt.h"
#include "platform/termFrame.h"
#include "platform/terminalLinear.h"

namespace {

constexpr int kLines = 200;

class Screenless : public qr::ConsoleFrontend {
 public:
  void poll(int, bool, qr::KeySink&) override {}
  void present(const qr::ScreenImage&) override {}
  void setCaption(std::string_view) override {}
  void clipboardPut(std::string_view) override {}
  std::string clipboardGet() override { return {}; }
  void beep() override {}
  [[noreturn]] void exitProgram(int code) override { throw qr::ProgramEnd{code}; }
};

class NoAudio : public qr::AudioOutput {
 public:
  int open(const qr::PcmFormat&) override { return 0; }
  bool queue(const uint8_t*, size_t) override { return true; }
  size_t pending() const override { return 0; }
  void stop() override {}
  void close() override {}
  void toneStart(const qr::PcmFormat&, const uint8_t*, size_t) override {}
  void toneStop() override {}
};

std::string listingLine(int n) {
  char line[96];
  std::snprintf(line, sizeof line,
                "-rw-r--r--   1 ftp      ftp        %6d Dec 09 02:%02d arquivo%03d.txt",
                1000 + 37 * n, n % 60, n);
  return line;
}

}  // namespace

int main() try {
  Screenless frontend;
  NoAudio audio;
  qr::EventLog log("");
  qr::Console console(frontend, audio, log);
  console.useSettings({});
  console.consoleSetForeground(6);
  for (int n = 0; n < qr::kRows; ++n) console.consoleWrite(listingLine(n) + "\r\n");

  struct Mode {
    const char* name;
    platform::TerminalSize size;
    bool scroll;
    size_t bytes = 0;
    std::optional<platform::Frame> last;
  } modes[] = {{"terminal 80x25", {80, 25}, true, 0, {}},
               {"terminal 80x25, redrawn", {80, 25}, false, 0, {}},
               {"terminal 80x24", {80, 24}, true, 0, {}},
               {"terminal 80x24, redrawn", {80, 24}, false, 0, {}}};
  platform::LinearText linear;
  (void)linear.update(console.screen(), 80);
  size_t linearBytes = 0;
  for (auto& m : modes) {
    const qr::ScreenImage& s = console.screen();
    m.last = platform::Frame{s, platform::followCursor({}, s, m.size)};
  }
  size_t textBytes = 0;
  for (int n = 0; n < kLines; ++n) {
    const std::string line = listingLine(qr::kRows + n);
    textBytes += line.size() + 2;
    console.consoleWrite(line + "\r\n");
    const qr::ScreenImage& s = console.screen();
    for (auto& m : modes) {
      platform::Frame now{s, platform::followCursor(m.last->view, s, m.size)};
      if (!m.scroll) m.last->image.scrolls = s.scrolls;  // as if not scrolled
      m.bytes +=
          platform::renderFrame(&*m.last, now, {m.size, platform::ColourMode::Ansi16}).size();
      m.last = now;
    }
    linearBytes += linear.update(s, 80).size();
  }
  std::printf("bytes written to the terminal per scrolled line (%d lines of %zu characters)\n",
              kLines, textBytes / kLines - 2);
  for (const auto& m : modes) std::printf("  %-26s %7.1f\n", m.name, double(m.bytes) / kLines);
  std::printf("  %-26s %7.1f\n", "linear", double(linearBytes) / kLines);
} catch (const qr::ProgramEnd& end) {
  return end.code;  // the front end ended the run
}
