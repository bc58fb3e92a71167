// Terminal front end. Input is read from standard input in raw mode and
// decoded by termKeys in the locale's code set; the screen is drawn by
// termFrame's diff, or, in linear mode, written as plain lines by
// LinearText. The waits block in poll() so an idle program uses no
// processor time.
//
// The saved terminal settings live in one file-level record, the only state
// a signal handler or an atexit function can reach; it is set while a
// terminal front end exists.
#include "platform/terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "base/cp1252.h"
#include "base/programEnd.h"
#include "platform/script.h"
#include "platform/termFrame.h"
#include "platform/termKeys.h"
#include "platform/terminalCodeSet.h"
#include "platform/terminalLinear.h"

namespace platform {

namespace {

constexpr int kEscapeTimeoutMs = 50;
constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l\x1b[0m\x1b[2J";
constexpr char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

struct SavedTerminal {
  volatile sig_atomic_t active = 0;
  volatile sig_atomic_t linear = 0;  // no alternate screen to leave
  volatile sig_atomic_t resized = 0;
  termios settings{};
};
SavedTerminal gSaved;  // reached from signal handlers and atexit

void writeAll(const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
}

// Async-signal-safe: only write and tcsetattr.
void restoreTerminal() {
  if (!gSaved.active) return;
  gSaved.active = 0;
  if (!gSaved.linear) writeAll(kLeaveScreen, sizeof kLeaveScreen - 1);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &gSaved.settings);
}

void onEndSignal(int sig) {
  restoreTerminal();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void onResize(int) {
  gSaved.resized = 1;
}

TerminalSize querySize() {
  winsize ws{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
    return {ws.ws_col, ws.ws_row};
  return {};
}

ColourMode colourModeFromEnvironment() {
  const char* c = std::getenv("COLORTERM");
  if (c && (std::strstr(c, "truecolor") || std::strstr(c, "24bit"))) return ColourMode::TrueColour;
  return ColourMode::Ansi16;
}

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class TerminalFrontend final : public qr::ConsoleFrontend {
 public:
  TerminalFrontend(const termios& saved, bool linear)
      : linear_(linear),
        codes_(codeSetNamed(localeCodeSetName())),
        lines_(&codes_, (saved.c_oflag & OPOST) && (saved.c_oflag & ONLCR) ? "\n" : "\r\n") {
    eraseByte_ = saved.c_cc[VERASE] == 8 ? 8 : 127;
    termios raw = saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    gSaved.settings = saved;
    gSaved.resized = 0;
    gSaved.linear = linear ? 1 : 0;
    gSaved.active = 1;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    static bool registered = false;
    if (!registered) {
      registered = true;
      std::atexit(restoreTerminal);
    }
    struct sigaction sa {};
    sa.sa_handler = onEndSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    sa.sa_handler = onResize;
    ::sigaction(SIGWINCH, &sa, nullptr);
    mode_ = colourModeFromEnvironment();
    size_ = querySize();
    if (!linear_) writeAll(kEnterScreen, sizeof kEnterScreen - 1);
  }

  ~TerminalFrontend() override { restoreTerminal(); }

  void poll(int maxWaitMs, bool, qr::KeySink& sink) override {
    writeLines();
    const int64_t end = nowMs() + std::max(0, maxWaitMs);
    for (;;) {
      if (gSaved.resized) resize();
      int64_t now = nowMs();
      int timeout = static_cast<int>(std::max<int64_t>(0, end - now));
      if (!pending_.empty())
        timeout = static_cast<int>(std::clamp<int64_t>(escapeDeadline_ - now, 0, timeout));
      pollfd fd{STDIN_FILENO, POLLIN, 0};
      const int ready = ::poll(&fd, 1, timeout);
      bool delivered = false;
      if (ready > 0) {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) exitProgram(1);  // hung up
        if (n > 0) {
          if (pending_.empty()) escapeDeadline_ = nowMs() + kEscapeTimeoutMs;
          pending_.append(buffer, static_cast<size_t>(n));
          delivered = deliver(false, sink);
        }
      } else if (ready == 0 && !pending_.empty() && nowMs() >= escapeDeadline_) {
        delivered = deliver(true, sink);
      }
      if (delivered || nowMs() >= end) return;
    }
  }

  void present(const qr::ScreenImage& screen) override {
    picture_ = screen;
    if (linear_) {
      // Written at the next poll, when the row is drawn whole.
      pendingImage_ = screen;
      return;
    }
    const std::string notice = tooSmallNotice(size_);
    if (!notice.empty() && !noticeGiven_) {
      notice_ = notice;
      noticeGiven_ = true;
    }
    Frame now{screen, followCursor(last_ ? last_->view : View{}, screen, size_)};
    const std::string out = renderFrame(last_ ? &*last_ : nullptr, now, {size_, mode_, &codes_});
    writeAll(out.data(), out.size());
    last_ = std::move(now);
  }

  void setCaption(std::string_view text) override {
    const std::string out = "\x1b]2;" + encodeText(codes_, text) + "\x07";
    writeAll(out.data(), out.size());
  }

  void clipboardPut(std::string_view text) override {
    clipboard_ = std::string(text);
    const std::string out = "\x1b]52;c;" + base64(qr::toUtf8(text)) + "\x07";
    writeAll(out.data(), out.size());
  }

  std::string clipboardGet() override { return clipboard_; }

  void beep() override { writeAll("\x07", 1); }

  // The keyboard; -1 (ask poll() soon) while bytes wait to be told apart
  // from a lone Esc, which no byte on the descriptor will announce.
  int inputDescriptor() const override { return pending_.empty() ? STDIN_FILENO : -1; }

  std::string takeNotice() override { return std::exchange(notice_, {}); }

  [[noreturn]] void exitProgram(int code) override {
    writeLines();
    if (linear_) {
      const std::string out = lines_.finish();
      writeAll(out.data(), out.size());
    }
    restoreTerminal();
    if (picture_) writeScreenDumps(*picture_);
    throw qr::ProgramEnd{code};
  }

 private:
  bool deliver(bool final, qr::KeySink& sink) {
    const DecodedKeys keys = decodeTerminalInput(pending_, final, eraseByte_, &codes_);
    pending_.erase(0, keys.consumed);
    if (!pending_.empty()) escapeDeadline_ = nowMs() + kEscapeTimeoutMs;
    for (const auto& e : keys.events) sink.keyEvent(e);
    return !keys.events.empty();
  }

  // Linear mode: the picture presented since the last poll, as lines.
  void writeLines() {
    if (!pendingImage_) return;
    const std::string out = lines_.update(*pendingImage_, size_.columns);
    pendingImage_.reset();
    writeAll(out.data(), out.size());
  }

  void resize() {
    gSaved.resized = 0;
    const TerminalSize size = querySize();
    if (size == size_) return;
    size_ = size;
    if (linear_) return;
    writeAll("\x1b[0m\x1b[2J", 8);
    if (last_) {
      const qr::ScreenImage screen = last_->image;
      last_.reset();
      present(screen);
    }
  }

  std::string pending_;
  int64_t escapeDeadline_ = 0;
  uint8_t eraseByte_ = 127;
  ColourMode mode_ = ColourMode::Ansi16;
  TerminalSize size_;
  bool linear_ = false;
  CodeSet codes_;
  LinearText lines_;
  std::optional<qr::ScreenImage> pendingImage_;
  std::string notice_;
  bool noticeGiven_ = false;
  std::optional<Frame> last_;
  std::optional<qr::ScreenImage> picture_;  // the last one presented
  std::string clipboard_;
};

}  // namespace

std::string base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                       (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                       static_cast<uint8_t>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kDigits[(v >> s) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::unique_ptr<qr::ConsoleFrontend> makeTerminalFrontend(std::string& error, bool linear) {
  termios saved{};
  if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO) ||
      ::tcgetattr(STDIN_FILENO, &saved) != 0) {
    error =
        "naviro: the terminal console needs a terminal on standard input and output; "
        "run it in a terminal, or set QUIRAL_CONSOLE=script with QUIRAL_KEYS for a scripted run";
    return nullptr;
  }
  if (gSaved.active) {
    error = "naviro: the terminal is already in use by another console";
    return nullptr;
  }
  return std::make_unique<TerminalFrontend>(saved, linear);
}

}  // namespace platform
