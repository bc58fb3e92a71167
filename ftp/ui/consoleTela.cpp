// ConsoleTela: the client's view of the console, speech, editor and menu,
// over the real modules.
#include "ftp/ui/consoleTela.h"

#include <algorithm>

#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinInput.h"
#include "console/qrwinSpoken.h"
#include "console/qrform.h"

namespace ftp {

ConsoleTela::ConsoleTela(qr::Console& console, const qr::Config& config, qr::Spoken& spoken,
                         qr::LineInput& input)
    : console_(console), config_(config), spoken_(spoken), input_(input) {}

void ConsoleTela::write(std::string_view text) {
  console_.out(text);
}
void ConsoleTela::endLine() {
  console_.outLine();
}
void ConsoleTela::moveCursor(int column, int row) {
  console_.consoleMoveCursor(column, row);
}
int ConsoleTela::cursorColumn() {
  return console_.consoleCursorColumn();
}
int ConsoleTela::cursorRow() {
  return console_.consoleCursorRow();
}
void ConsoleTela::setForeground(uint8_t colour) {
  console_.consoleSetForeground(colour);
}
void ConsoleTela::setBackground(uint8_t colour) {
  console_.consoleSetBackground(colour);
}
void ConsoleTela::clearScreen() {
  console_.consoleClearScreen();
}
void ConsoleTela::setCaption(std::string_view text) {
  console_.setCaption(text);
}
bool ConsoleTela::keyPending() {
  return console_.consoleKeyPending();
}
uint8_t ConsoleTela::readKey() {
  return console_.consoleReadKey();
}
void ConsoleTela::flushKeys() {
  console_.flushKeys();
}

bool ConsoleTela::keysArrived() {
  return console_.consoleKeyPending() && console_.keyArrivals() != arrivalsSeen_;
}

// The queue cannot be peeked: take every byte, keep all keys but a plain
// ESC, and put them back in their order. Looked at only when keys came.
bool ConsoleTela::takeEscape() {
  const size_t n = console_.queuedKeyBytes();
  if (n == 0 || console_.keyArrivals() == arrivalsSeen_) {
    arrivalsSeen_ = console_.keyArrivals();
    return false;
  }
  std::string bytes;
  for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(console_.consoleReadKey());
  bool escape = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0 && i + 1 < bytes.size()) {
      (void)console_.queueKeyBytes(bytes.substr(i, 2));
      ++i;
    } else if (bytes[i] == 27) {
      escape = true;
    } else {
      (void)console_.queueKeyBytes(bytes.substr(i, 1));
    }
  }
  arrivalsSeen_ = console_.keyArrivals();
  return escape;
}

void ConsoleTela::delay(int milliseconds) {
  console_.consoleDelay(static_cast<uint16_t>(milliseconds < 0 ? 0 : milliseconds));
}
// The console's idle wait watches the front end's input with the sockets.
// Speech started earlier sounds on meanwhile; a key typed during the wait
// silences it.
void ConsoleTela::waitFor(std::span<qr::WaitFd> fds, int ms) {
  console_.idleWait(ms, fds);
  spoken_.pollSpeech();
}

// Reads a secret: nothing typed reaches the screen planes, not even in a
// colour that hides it, so no screen review, Braille display or terminal
// capture can read it back.
std::string ConsoleTela::readLinePlain() {
  constexpr size_t kRoom = 126;
  std::string line;
  for (;;) {
    const uint8_t key = console_.consoleReadKey();
    if (key == 0) {
      (void)console_.consoleReadKey();  // an extended key is no character
      continue;
    }
    if (key == 13) break;
    if (key == 8) {
      if (!line.empty()) line.pop_back();
      continue;
    }
    if (key < 32 || line.size() >= kRoom) continue;
    line += static_cast<char>(key);
  }
  console_.outLine();
  return line;
}

void ConsoleTela::speakText(std::string_view text) {
  spoken_.speakText(text);
}
void ConsoleTela::writeSpoken(std::string_view text) {
  spoken_.writeSpoken(text);
}
void ConsoleTela::writeLineSpoken(std::string_view text) {
  spoken_.writeLineSpoken(text);
}
void ConsoleTela::spellText(std::string_view text) {
  spoken_.spellText(text);
}
void ConsoleTela::speakAndGoOn(std::string_view text) {
  spoken_.speakAndGoOn(text);
}
bool ConsoleTela::soundExists(std::string_view name) {
  return spoken_.soundExists(name);
}
void ConsoleTela::playSound(std::string_view name) {
  spoken_.playSound(name);
}
void ConsoleTela::startSound(std::string_view name) {
  spoken_.startSound(name);
}
void ConsoleTela::errorBeep() {
  spoken_.errorBeep();
}
void ConsoleTela::waitSpeechEnd() {
  spoken_.waitSpeechEnd();
}
void ConsoleTela::speechStart(std::string_view soundDir) {
  spoken_.speechStart(0, soundDir);
}
SpeechStartReport ConsoleTela::speechStartReport() {
  return {spoken_.startProblems(), spoken_.settings().sapi};
}
void ConsoleTela::speechFinish() {
  spoken_.speechFinish();
}

std::string ConsoleTela::readLineSpoken() {
  std::string text;
  (void)input_.readLineSpoken(text);
  return text;
}

std::string ConsoleTela::readLineOffered(std::string_view proposal, uint8_t& endKey) {
  const int column = console_.consoleCursorColumn();
  const int row = console_.consoleCursorRow();
  std::string text(proposal);
  endKey = input_.editFieldHere(text, column, row, true, 255);
  if (endKey == 27) {
    // ESC gives nothing, and the typed text leaves the screen.
    console_.consoleMoveCursor(column, row);
    console_.consoleWrite(std::string(std::min<size_t>(text.size(), 80 - column), ' '));
    console_.consoleMoveCursor(column, row);
    text.clear();
  }
  console_.outLine();
  return text;
}

uint8_t ConsoleTela::readKeySpoken() {
  return input_.readKeySpoken();
}

int ConsoleTela::runMenu(const MenuBox& box, const std::vector<MenuChoice>& items) {
  qr::QrForm form(console_, spoken_);
  form.OpenMenu(box.column, box.row, box.width, box.colour, box.height);
  for (const auto& item : items) form.AddMenuItem(item.key, item.text);
  return form.RunMenu();
}

std::string ConsoleTela::setting(std::string_view key) {
  return config_.configValue("NAVIRO", key);
}

void ConsoleTela::logEvent(std::string_view kind, std::string_view text) {
  console_.log().event(kind, text);
}

std::vector<std::string> ConsoleTela::takeNotices() {
  std::vector<std::string> notices = console_.takeNotices();
  // Configuration values ignored as bad, each once.
  for (std::string& problem : config_.takeProblems()) notices.push_back(std::move(problem));
  return notices;
}

void ConsoleTela::endProcess(int code) {
  console_.programEnd(code);
}

std::string ConsoleTela::configDirectory() {
  return config_.windowsDir();
}

std::vector<qr::Told> ConsoleTela::configNotice() {
  return qr::defaultsNotice(config_, qr::noticeStateDir());
}

}  // namespace ftp
