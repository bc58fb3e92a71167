// Script console. The dumps for a signal are kept ready in a file-level
// record after every picture, because a signal handler may only write what
// is already formatted; it is the one state outside the front end object.
#include "platform/script.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "base/cp1252.h"
#include "base/programEnd.h"

namespace platform {

namespace {

constexpr size_t kDumpCapacity = 8192;
constexpr size_t kPathCapacity = 4096;

struct ReadyDumps {
  std::array<std::array<char, kDumpCapacity>, 2> screen{};
  std::array<std::array<char, kDumpCapacity>, 2> attrs{};
  std::array<size_t, 2> screenLength{};
  std::array<size_t, 2> attrsLength{};
  std::array<char, kPathCapacity> screenPath{};
  std::array<char, kPathCapacity> attrsPath{};
  volatile sig_atomic_t current = 0;
  volatile sig_atomic_t active = 0;
};
ReadyDumps gReady;  // reached from signal handlers

void writeFileRaw(const char* path, const char* data, size_t length) {
  if (path[0] == '\0') return;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n <= 0) break;
    data += n;
    length -= static_cast<size_t>(n);
  }
  ::close(fd);
}

void onEndSignal(int sig) {
  if (gReady.active) {
    gReady.active = 0;
    const int i = gReady.current;
    writeFileRaw(gReady.screenPath.data(), gReady.screen[i].data(), gReady.screenLength[i]);
    writeFileRaw(gReady.attrsPath.data(), gReady.attrs[i].data(), gReady.attrsLength[i]);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void copyPath(std::array<char, kPathCapacity>& to, const std::string& path) {
  to.fill('\0');
  if (path.size() < kPathCapacity) std::memcpy(to.data(), path.data(), path.size());
}

bool writeFile(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
  return static_cast<bool>(f);
}

class ScriptFrontend;
ScriptFrontend* gLive = nullptr;  // the front end whose dumps atexit writes

class ScriptFrontend final : public qr::ConsoleFrontend {
 public:
  ScriptFrontend(std::vector<ScriptStep> steps, qr::EventLog& log, ScriptFiles files,
                 ScriptClock clock)
      : steps_(std::move(steps)), log_(log), files_(std::move(files)), clock_(std::move(clock)) {
    const int64_t now = clock_.nowMs();
    lastChange_ = now;
    stepStart_ = now;
    lastOffer_ = now;
    seenGeneration_ = log_.generation();
    copyPath(gReady.screenPath, files_.screen);
    copyPath(gReady.attrsPath, files_.attrs);
    prepareSignalDumps();
    gReady.active = 1;
    gLive = this;
    static bool registered = false;
    if (!registered) {
      registered = true;
      std::atexit([] {
        if (gLive) gLive->writeDumps();
      });
    }
    struct sigaction sa {};
    sa.sa_handler = onEndSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
  }

  ~ScriptFrontend() override {
    writeDumps();
    if (gLive == this) gLive = nullptr;
  }

  void poll(int maxWaitMs, bool askingForKey, qr::KeySink& sink) override {
    int64_t now = clock_.nowMs();
    noteLog(now);
    untilExpired(now);
    if (askingForKey) {
      ++asks_;
      if (offer(now, sink)) return;
    }
    if (maxWaitMs > 0) clock_.sleepMs(std::min(maxWaitMs, nextWakeMs(clock_.nowMs())));
  }

  void soundPlaying(bool on) override {
    playing_ = on;
    // Quiet is counted from the end of the sound.
    if (!on) markChange(clock_.nowMs());
  }

  void present(const qr::ScreenImage& screen) override {
    if (screen == image_) return;
    image_ = screen;
    markChange(clock_.nowMs());
    prepareSignalDumps();
  }

  void setCaption(std::string_view text) override {
    if (text == caption_) return;
    caption_ = std::string(text);
    markChange(clock_.nowMs());
  }

  void clipboardPut(std::string_view text) override {
    clipboard_ = std::string(text);
    if (!files_.clipboard.empty()) (void)writeFile(files_.clipboard, qr::toUtf8(text));
  }

  std::string clipboardGet() override {
    if (files_.clipboard.empty()) return clipboard_;
    std::ifstream f(files_.clipboard, std::ios::binary);
    if (!f) return {};
    std::ostringstream s;
    s << f.rdbuf();
    return qr::fromUtf8(s.str());
  }

  void beep() override {}

  [[noreturn]] void exitProgram(int code) override {
    writeDumps();
    if (clock_.exit) clock_.exit(code);
    throw qr::ProgramEnd{code};
  }

  void writeDumps() {
    if (dumped_) return;
    dumped_ = true;
    gReady.active = 0;
    if (!files_.screen.empty()) (void)writeFile(files_.screen, screenDumpText(image_));
    if (!files_.attrs.empty()) (void)writeFile(files_.attrs, attrsDumpText(image_));
  }

 private:
  void markChange(int64_t now) {
    lastChange_ = now;
    asks_ = 0;
  }

  void noteLog(int64_t now) {
    if (log_.generation() != seenGeneration_) {
      seenGeneration_ = log_.generation();
      markChange(now);
    }
  }

  bool quiet(int64_t now) const {
    return !playing_ && now - lastChange_ >= kQuietMs && asks_ >= 2;
  }

  void advance(int64_t now) {
    ++next_;
    stepStart_ = now;
  }

  // Ends the run when {until} has waited in vain, asked for a key or not.
  void untilExpired(int64_t now) {
    if (next_ >= steps_.size() || steps_[next_].kind != ScriptStep::Kind::Until) return;
    if (now - stepStart_ < kUntilMs) return;
    if (screenText_.find(steps_[next_].text) != std::string::npos) return;
    std::cerr << "naviro: the key script waited " << kUntilMs / 1000 << " s in vain for \""
              << steps_[next_].text << "\" on the screen\n";
    exitProgram(124);
  }

  // Runs the steps that are due; true when a key was handed over.
  bool offer(int64_t now, qr::KeySink& sink) {
    while (next_ < steps_.size()) {
      const ScriptStep& step = steps_[next_];
      switch (step.kind) {
        case ScriptStep::Kind::Wait:
          if (now - stepStart_ < step.milliseconds) return false;
          advance(now);
          break;
        case ScriptStep::Kind::Until:
          if (screenText_.find(step.text) != std::string::npos) {
            advance(now);
            break;
          }
          untilExpired(now);
          return false;
        case ScriptStep::Kind::Dump:
          if (!quiet(now)) return false;
          (void)writeFile(step.text, screenText_);
          advance(now);
          break;
        case ScriptStep::Kind::Key:
          if (!quiet(now)) return false;
          advance(now);
          lastOffer_ = now;
          // The key itself starts a new wait for quiet.
          markChange(now);
          for (const auto& e : step.events) sink.keyEvent(e);
          return true;
      }
    }
    if (now - std::max(lastChange_, lastOffer_) >= kUsedUpMs) exitProgram(3);
    return false;
  }

  // How long a poll may sleep before something here falls due.
  int nextWakeMs(int64_t now) const {
    int64_t due = now - lastChange_ < kQuietMs ? lastChange_ + kQuietMs : now + 10;
    if (next_ < steps_.size() && steps_[next_].kind == ScriptStep::Kind::Wait)
      due = std::min<int64_t>(due, stepStart_ + steps_[next_].milliseconds);
    return static_cast<int>(std::clamp<int64_t>(due - now, 1, 10));
  }

  void prepareSignalDumps() {
    const int spare = 1 - gReady.current;
    screenText_ = screenDumpText(image_);
    const std::string attrs = attrsDumpText(image_);
    gReady.screenLength[spare] = std::min(screenText_.size(), kDumpCapacity);
    std::memcpy(gReady.screen[spare].data(), screenText_.data(), gReady.screenLength[spare]);
    gReady.attrsLength[spare] = std::min(attrs.size(), kDumpCapacity);
    std::memcpy(gReady.attrs[spare].data(), attrs.data(), gReady.attrsLength[spare]);
    gReady.current = spare;
  }

  std::vector<ScriptStep> steps_;
  size_t next_ = 0;
  qr::EventLog& log_;
  ScriptFiles files_;
  ScriptClock clock_;
  qr::ScreenImage image_;
  // The text of image_, made once per picture: {until} looks at it at
  // every poll, and a transfer polls thousands of times a second.
  std::string screenText_;
  std::string caption_;
  std::string clipboard_;
  uint64_t seenGeneration_ = 0;
  int64_t lastChange_ = 0;
  int64_t stepStart_ = 0;
  int64_t lastOffer_ = 0;
  int asks_ = 0;
  bool playing_ = false;  // the program waits for sound to end
  bool dumped_ = false;
};

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

ScriptClock realClock() {
  return ScriptClock{
      [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
      },
      [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
      nullptr,
  };
}

void writeScreenDumps(const qr::ScreenImage& screen) {
  (void)writeFile(envOr("QUIRAL_SCREEN"), screenDumpText(screen));
  (void)writeFile(envOr("QUIRAL_ATTRS"), attrsDumpText(screen));
}

std::string screenDumpText(const qr::ScreenImage& screen) {
  std::string out;
  for (int r = 0; r < qr::kRows; ++r) {
    std::string row(qr::kColumns, ' ');
    for (int c = 0; c < qr::kColumns; ++c) {
      const uint8_t ch = screen.chars[r * qr::kColumns + c];
      if (ch >= 32 && ch != 127) row[c] = static_cast<char>(ch);
    }
    row.erase(row.find_last_not_of(' ') + 1);
    out += qr::toUtf8(row);
    out += '\n';
  }
  return out;
}

std::string attrsDumpText(const qr::ScreenImage& screen) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(qr::kRows * (qr::kColumns * 2 + 1));
  for (int r = 0; r < qr::kRows; ++r) {
    for (int c = 0; c < qr::kColumns; ++c) {
      const uint8_t a = screen.attrs[r * qr::kColumns + c];
      out += kHex[a >> 4];
      out += kHex[a & 15];
    }
    out += '\n';
  }
  return out;
}

std::unique_ptr<qr::ConsoleFrontend> makeScriptFrontend(std::vector<ScriptStep> steps,
                                                        qr::EventLog& log, ScriptFiles files,
                                                        ScriptClock clock) {
  return std::make_unique<ScriptFrontend>(std::move(steps), log, std::move(files),
                                          std::move(clock));
}

std::unique_ptr<qr::ConsoleFrontend> makeScriptFrontendFromEnvironment(qr::EventLog& log) {
  std::vector<ScriptStep> steps;
  const std::string keys = envOr("QUIRAL_KEYS");
  if (!keys.empty()) {
    std::ifstream f(keys, std::ios::binary);
    if (!f) {
      std::cerr << "naviro: cannot read the key script " << keys << " (QUIRAL_KEYS)\n";
      throw qr::ProgramEnd{2};
    }
    std::ostringstream text;
    text << f.rdbuf();
    ParsedScript parsed = parseKeyScript(text.str());
    if (!parsed.error.empty()) {
      std::cerr << "naviro: " << keys << ": " << parsed.error << "\n";
      throw qr::ProgramEnd{2};
    }
    steps = std::move(parsed.steps);
  }
  return makeScriptFrontend(
      std::move(steps), log,
      {envOr("QUIRAL_SCREEN"), envOr("QUIRAL_ATTRS"), envOr("QUIRAL_CLIPBOARD")});
}

}  // namespace platform
