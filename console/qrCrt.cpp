// qrCrt: the console core. Owns the screen (console/screen.h) and the key
// queue, and waits: the front end draws the image handed to it and delivers
// key events while we wait.
//
// The console opens on first use of the screen or the keys.
#include "console/qrCrt.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

#include "base/programEnd.h"
#include "console/qrwinConfig.h"

namespace qr {

namespace {

constexpr int kPollSliceMs = 20;
// The console's keys of "QUIRAL.INI", read by bare reads: values of at
// most 80 bytes, only the first character of "AMPLIF" and "MODO".
enum class VideoKey {
  TabCores,
  CoresFixas,
  Lento,
  CorFundo,
  CorLetra,
  Amplif,
  Fonte,
  LarguraLetra,
  AlturaLetra,
  PesoLetra,
  CantoTela,
  Modo,
};
struct ConsoleKey {
  VideoKey id;
  std::string_view section;
  std::string_view key;
  std::string_view fallback;  // "" also stands for "absent"
  size_t maxLength;
};
constexpr std::array<ConsoleKey, 12> kConsoleKeys = {{
    {VideoKey::TabCores, "VIDEO", "TABCORES", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", 80},
    {VideoKey::CoresFixas, "VIDEO", "CORESFIXAS", "N", 80},
    {VideoKey::Lento, "VIDEO", "LENTO", "N", 80},
    {VideoKey::CorFundo, "VIDEO", "CORFUNDO", "0", 80},
    {VideoKey::CorLetra, "VIDEO", "CORLETRA", "15", 80},
    {VideoKey::Amplif, "VIDEO", "AMPLIF", "2", 1},
    {VideoKey::Fonte, "VIDEO", "FONTE", "Lucida Console", 80},
    {VideoKey::LarguraLetra, "VIDEO", "LARGURALETRA", "", 80},
    {VideoKey::AlturaLetra, "VIDEO", "ALTURALETRA", "", 80},
    {VideoKey::PesoLetra, "VIDEO", "PESOLETRA", "700", 80},
    {VideoKey::CantoTela, "VIDEO", "CANTOTELA", "SIM", 80},
    {VideoKey::Modo, "BRAILLE", "MODO", "0", 1},
}};

bool beginsWithS(std::string_view v) {
  return !v.empty() && (v.front() == 'S' || v.front() == 's');
}

// The code of a one-character value modulo n (an empty value gives 0).
int firstCharModulo(std::string_view v, int n) {
  return v.empty() ? 0 : static_cast<uint8_t>(v.front()) % n;
}

// A pixel size; empty or absent gives 0, "derive it from the screen".
int pixels(std::string_view v) {
  return v.empty() ? 0 : static_cast<int>(std::max(0L, convertNumber(v).value));
}

}  // namespace

ConsoleSettings readConsoleSettings(const Config& config, int presetWeight) {
  ConsoleSettings s;
  auto read = [&config](VideoKey id) {
    for (const ConsoleKey& k : kConsoleKeys)
      if (k.id == id) return config.bareRead(k.section, k.key, k.fallback, k.maxLength);
    return std::string();
  };

  // Up to 16 entries; the first bad one still takes its partial value and
  // ends the list, later colours keep their own number.
  const std::string map = read(VideoKey::TabCores);
  size_t pos = 0;
  for (size_t i = 0; i < s.colourMap.size(); ++i) {
    const size_t comma = map.find(',', pos);
    const std::string_view entry = std::string_view(map).substr(
        pos, comma == std::string::npos ? std::string::npos : comma - pos);
    const NumberValue n = convertNumber(entry);
    s.colourMap[i] = static_cast<uint8_t>(n.value);
    if (!n.valid || comma == std::string::npos) break;
    pos = comma + 1;
  }

  s.coloursChangeable = !beginsWithS(read(VideoKey::CoresFixas));
  s.slowScroll = beginsWithS(read(VideoKey::Lento));
  s.background = static_cast<uint8_t>(convertNumber(read(VideoKey::CorFundo)).value);
  s.foreground = static_cast<uint8_t>(convertNumber(read(VideoKey::CorLetra)).value);
  // "0" and "8" give 0, which would divide by zero in the magnifier.
  s.zoom = std::max(1, firstCharModulo(read(VideoKey::Amplif), 8));
  s.fontFace = read(VideoKey::Fonte);
  s.fontWidth = pixels(read(VideoKey::LarguraLetra));
  s.fontHeight = pixels(read(VideoKey::AlturaLetra));
  s.fontWeight = presetWeight;
  if (presetWeight != 0)
    s.fontWeight = static_cast<int>(convertNumber(read(VideoKey::PesoLetra)).value);
  s.maximised = !beginsWithS(read(VideoKey::CantoTela));
  const int mode = firstCharModulo(read(VideoKey::Modo), 4);
  s.brailleMode = mode == 3 ? 1 : mode;
  return s;
}

struct Console::State {
  State(Console& console, AudioOutput& audio, EventLog& log) : keys(console, audio, log) {}
  KeyTranslator keys;
  bool opened = false;
  ConsoleSettings settings;
  Screen screen;
  std::optional<ScreenImage> shown;  // the picture the front end drew last
  KeyQueue queue;
  uint64_t eventsSeen = 0;
  std::vector<std::string> notices;
  Loop loop;
  int soundWaits = 0;  // waitWhile calls running, one inside another
  std::vector<WaitFd> waitFds;  // kept so that a wait allocates nothing
};

Console::Console(ConsoleFrontend& frontend, AudioOutput& audio, EventLog& log)
    : s_(std::make_unique<State>(*this, audio, log)), frontend_(frontend), log_(log) {}

Console::~Console() {
  s_->keys.toneStop();
}

void Console::useSettings(const ConsoleSettings& settings) {
  s_->settings = settings;
}

void Console::consoleOpen() {
  State& s = *s_;
  if (s.opened) return;
  s.opened = true;
  const ConsoleSettings& cs = s.settings;
  s.screen.reset(static_cast<uint8_t>((cs.background * 16) | cs.foreground), cs.colourMap,
                 cs.coloursChangeable);
  present();
  s.keys.setBrailleMode(cs.brailleMode);
}

// Front ends draw what differs from their last picture; the console hands
// over only a picture that changed.
void Console::present() {
  State& s = *s_;
  if (!s.opened || s.shown == s.screen.image()) return;
  s.shown = s.screen.image();
  frontend_.present(*s.shown);
}

// Writes and clears are drawn at once; cursor moves and cell stores before
// the next wait.
void Console::consoleWrite(std::string_view bytes) {
  consoleOpen();
  for (int bells = s_->screen.write(bytes); bells > 0; --bells) {
    frontend_.beep();
    log_.event("beep");
  }
  present();
}

void Console::consoleMoveCursor(int column, int row) {
  consoleOpen();
  s_->screen.moveCursor(column, row);
}

int Console::consoleCursorColumn() {
  consoleOpen();
  return s_->screen.cursorColumn();
}

int Console::consoleCursorRow() {
  consoleOpen();
  return s_->screen.cursorRow();
}

void Console::consoleClearScreen() {
  consoleOpen();
  s_->screen.clear();
  present();
}

void Console::consoleClearToLineEnd() {
  consoleOpen();
  s_->screen.clearToLineEnd();
  present();
}

void Console::consoleSetForeground(uint8_t colour) {
  consoleOpen();
  s_->screen.setForeground(colour);
}

void Console::consoleSetBackground(uint8_t colour) {
  consoleOpen();
  s_->screen.setBackground(colour);
}

uint8_t Console::consoleTextAttr() {
  consoleOpen();
  return s_->screen.textAttr();
}

void Console::consoleSetTextAttr(uint8_t attr) {
  consoleOpen();
  s_->screen.setTextAttr(attr);
}

uint8_t Console::consoleCharAt(int column, int row) {
  consoleOpen();
  return s_->screen.charAt(column, row);
}

uint8_t Console::consoleAttrAt(int column, int row) {
  consoleOpen();
  return s_->screen.attrAt(column, row);
}

void Console::consolePutCell(int column, int row, uint8_t ch, uint8_t attr) {
  consoleOpen();
  s_->screen.putCell(column, row, ch, attr);
}

// Every wait of the console comes here, and through the loop: the sources
// (a voice, the player) are dispatched after every wait, key reads
// included, so speech goes on while the program waits for the user. A
// front end with an input descriptor is waited for in the one wait,
// together with the caller's descriptors and the sources', and then asked
// for its events without waiting; one without (the script, the window while
// events wait in its queues) is looked at first and the loop waits in
// slices, unless nothing else is watched (then it waits in its own poll).
void Console::pollFrontend(int maxWaitMs, bool askingForKey, std::span<WaitFd> extra) {
  present();
  Loop& loop = s_->loop;
  const int input = frontend_.inputDescriptor();
  maxWaitMs = std::max(maxWaitMs, 0);
  const Deadline until = std::min(deadlineIn(maxWaitMs), loop.nextDeadline());
  if (loop.waiter() == nullptr || (extra.empty() && !loop.hasDescriptors() &&
                                   (maxWaitMs == 0 || input < 0))) {
    frontend_.poll(std::min(maxWaitMs, msUntil(until)), askingForKey, *this);
    loop.dispatch();
    return;
  }
  if (input < 0) {
    const uint64_t seen = s_->eventsSeen;
    frontend_.poll(0, askingForKey, *this);
    const bool keyCame = s_->eventsSeen != seen;
    (void)loop.waitOnce(extra, keyCame ? Clock::now() : std::min(until, deadlineIn(kPollSliceMs)));
    if (keyCame) return;
    frontend_.poll(0, askingForKey, *this);
    return;
  }
  std::vector<WaitFd>& fds = s_->waitFds;
  fds.assign(1, WaitFd{input});
  fds.insert(fds.end(), extra.begin(), extra.end());
  (void)loop.waitOnce(fds, until);
  std::copy(fds.begin() + 1, fds.end(), extra.begin());
  frontend_.poll(0, askingForKey, *this);
}

void Console::sleepFor(int ms) {
  if (ms > 0) s_->loop.pause(deadlineIn(ms));
}

bool Console::consoleKeyPending() {
  consoleOpen();
  pollFrontend(0, true);
  return !s_->queue.empty();
}

// How long one wait of a key read or a pause may last: until the deadline
// when the front end is waited for through its descriptor (a key wakes the
// wait), in slices when it must be asked (the script; events waiting in a
// window's queues; a terminal's lone Esc being told apart).
Deadline Console::waitEnd(Deadline deadline) {
  if (s_->loop.waiter() != nullptr && frontend_.inputDescriptor() >= 0) return deadline;
  return std::min(deadline, deadlineIn(kPollSliceMs));
}

uint8_t Console::consoleReadKey() {
  consoleOpen();
  State& s = *s_;
  if (s.queue.empty()) {
    s.screen.showCaret(true);
    while (s.queue.empty()) pollFrontend(msUntil(waitEnd(kNoDeadline)), true);
    s.screen.showCaret(false);
    present();
  }
  return s.queue.pop();
}

// A timed pause: a deadline waited for in the loop, so keys are queued and
// speech goes on meanwhile. 0 looks at everything once.
void Console::consoleDelay(uint16_t milliseconds) {
  const Deadline deadline = deadlineIn(milliseconds);
  for (;;) {
    const uint64_t seen = s_->eventsSeen;
    const Deadline end = waitEnd(deadline);
    pollFrontend(msUntil(end), false);
    // A front end that returns at once with nothing to deliver must not
    // turn the delay into a busy loop.
    if (s_->eventsSeen == seen && !passed(end) &&
        (s_->loop.waiter() == nullptr || frontend_.inputDescriptor() < 0))
      sleepFor(msUntil(end));
    if (milliseconds == 0 || passed(deadline)) break;
  }
}

void Console::waitWhile(const std::function<bool()>& busy, const std::function<Wake()>& wake) {
  // A wake-up forgotten by a source costs at most this, never a hang.
  constexpr int kLongestWaitMs = 250;
  struct Playing {
    State& s;
    ConsoleFrontend& f;
    explicit Playing(State& state, ConsoleFrontend& frontend) : s(state), f(frontend) {
      if (s.soundWaits++ == 0) f.soundPlaying(true);
    }
    ~Playing() {
      if (--s.soundWaits == 0) f.soundPlaying(false);
    }
  } playing{*s_, frontend_};
  while (busy()) {
    const Wake w = wake();
    WaitFd fd{w.fd};
    // At least a millisecond: a deadline just passed while the condition
    // still holds must not spin.
    Deadline until = std::min({w.at, s_->loop.nextDeadline(), deadlineIn(kLongestWaitMs)});
    // A front end that is not waited for through a descriptor is looked at
    // in slices: its keys must still end the wait at once.
    if (s_->loop.waiter() == nullptr || frontend_.inputDescriptor() < 0)
      until = std::min(until, deadlineIn(kPollSliceMs));
    until = std::max(until, deadlineIn(1));
    const uint64_t seen = s_->eventsSeen;
    pollFrontend(msUntil(until), false, fd.fd >= 0 ? std::span<WaitFd>(&fd, 1) : std::span<WaitFd>{});
    if (s_->eventsSeen == seen && !passed(until) && !fd.readable && !fd.closed &&
        s_->loop.waiter() == nullptr)
      sleepFor(msUntil(until));
  }
}

void Console::consolePumpMessages() {
  pollFrontend(0, false);
}

std::string Console::consoleReadLine(size_t capacity) {
  std::string line;
  const size_t room = capacity > 2 ? capacity - 2 : 0;
  for (;;) {
    const uint8_t key = consoleReadKey();
    if (key == 0) continue;  // an extended key: its code is taken as a character
    if (key == 13) break;
    if (key == 8) {
      // Nothing stored, nothing erased: the prompt before the line stays.
      if (!line.empty()) {
        line.pop_back();
        consoleWrite("\b");
      }
      continue;
    }
    if (key < 32 || line.size() >= room) continue;
    line += static_cast<char>(key);
    consoleWrite(std::string_view(line).substr(line.size() - 1));
  }
  consoleWrite("\r\n");
  line += "\r\n";
  return line;
}

void Console::clipboardPutText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  frontend_.clipboardPut(text);
  log_.event("clipboard", text);
}

std::string Console::clipboardGetText(size_t capacity) {
  if (capacity == 0) return {};
  std::string text = frontend_.clipboardGet();
  text.resize(std::min(text.find('\0'), text.size()));
  if (text.size() > capacity - 1) text.resize(capacity - 1);
  return text;
}

void Console::consoleClose() {
  s_->queue.clear();
  s_->keys.toneStop();
  frontend_.exitProgram(0);
  throw ProgramEnd{0};  // a front end that returned
}

void Console::programEnd(int code) {
  if (s_->opened) setCaption("Programa terminado");
  s_->keys.setBreakChecking(false);
  s_->keys.toneStop();
  present();
  frontend_.exitProgram(code);
  throw ProgramEnd{code};  // a front end that returned
}

void Console::endByBreak() {
  if (s_->screen.caretVisible()) {
    s_->screen.showCaret(false);
    present();
  }
  s_->keys.toneStop();
  frontend_.exitProgram(255);
  throw ProgramEnd{255};  // a front end that returned
}

void Console::setCaption(std::string_view text) {
  log_.event("caption", text);
  frontend_.setCaption(text);
}

void Console::out(std::string_view text) {
  consoleWrite(text);
  consolePumpMessages();
}

void Console::outLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  out(line);
}

bool Console::queueKeyBytes(std::string_view bytes) {
  return s_->queue.push(bytes);
}

void Console::flushKeys() {
  s_->queue.clear();
}

size_t Console::queuedKeyBytes() const {
  return s_->queue.size();
}

uint64_t Console::keyArrivals() const {
  return s_->queue.arrivals();
}

void Console::addNotice(std::string text) {
  if (!text.empty()) s_->notices.push_back(std::move(text));
}

std::vector<std::string> Console::takeNotices() {
  addNotice(frontend_.takeNotice());
  return std::exchange(s_->notices, {});
}

void Console::idleWait(int ms, std::span<WaitFd> extra) {
  pollFrontend(std::max(ms, 0), true, extra);
}

void Console::useWaiter(Waiter& waiter) {
  s_->loop.useWaiter(waiter);
}

void Console::addSource(LoopSource& source) {
  s_->loop.add(source);
}

void Console::removeSource(LoopSource& source) {
  s_->loop.remove(source);
}

int Console::inputDescriptor() const {
  return frontend_.inputDescriptor();
}

const ScreenImage& Console::screen() {
  consoleOpen();
  return s_->screen.image();
}

const ConsoleSettings& Console::settings() {
  consoleOpen();
  return s_->settings;
}

bool Console::shiftHeld() {
  return s_->keys.shiftHeld();
}

bool Console::altHeld() {
  return s_->keys.altHeld();
}

KeyTranslator& Console::keys() {
  return s_->keys;
}

void Console::keyEvent(const KeyEvent& event) {
  ++s_->eventsSeen;
  s_->keys.handle(event);
}

void currentDate(uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& dayOfWeek) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  year = static_cast<uint16_t>(tm.tm_year + 1900);
  month = static_cast<uint16_t>(tm.tm_mon + 1);
  day = static_cast<uint16_t>(tm.tm_mday);
  dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
}

void currentTime(uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& hundredths) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  hour = static_cast<uint16_t>(tm.tm_hour);
  minute = static_cast<uint16_t>(tm.tm_min);
  second = static_cast<uint16_t>(tm.tm_sec);
  hundredths = static_cast<uint16_t>(ms / 10);
}

}  // namespace qr
