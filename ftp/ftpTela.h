// ftpTela: what the FTP client needs of the console, the speech layer, the
// line editor, the pop-up menu and the configuration, gathered in one small
// interface: the protocol core reaches the user only through it.
// ConsoleTela (ftp/ui) joins it to the real modules; tests put a recorder in
// its place. Texts are Windows-1252.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/told.h"
#include "base/wait.h"

namespace ftp {

struct MenuChoice {
  std::string key;
  std::string text;
};

// What of speech did not start (startProblems: lines naming the file and
// key to look at, Windows-1252), and whether a system voice speaks texts
// all the same.
struct SpeechStartReport {
  std::vector<std::string> problems;
  bool systemVoice = false;
};

struct MenuBox {
  int column = 1;
  int row = 1;
  int width = 50;
  uint8_t colour = 5;
  int height = 13;
};

class Tela {
 public:
  virtual ~Tela() = default;

  // Console.
  virtual void write(std::string_view text) = 0;  // at the cursor, flushed
  virtual void endLine() = 0;
  virtual void moveCursor(int column, int row) = 0;
  [[nodiscard]] virtual int cursorColumn() = 0;
  [[nodiscard]] virtual int cursorRow() = 0;
  virtual void setForeground(uint8_t colour) = 0;
  virtual void setBackground(uint8_t colour) = 0;
  virtual void clearScreen() = 0;
  virtual void setCaption(std::string_view text) = 0;
  [[nodiscard]] virtual bool keyPending() = 0;  // also lets the window work
  [[nodiscard]] virtual uint8_t readKey() = 0;
  virtual void flushKeys() = 0;
  // True when ESC was typed since the last look; it is taken out of the
  // queue, other keys typed ahead stay in it, in order.
  [[nodiscard]] virtual bool takeEscape() = 0;
  // True when keys came since takeEscape last looked: the keys it left in
  // the queue for their command are not news again.
  [[nodiscard]] virtual bool keysArrived() { return keyPending(); }
  virtual void delay(int milliseconds) = 0;
  // The one wait: up to ms milliseconds for a key or for one of fds (the
  // sockets), whose readiness is written into them. Keys that came are
  // queued.
  virtual void waitFor(std::span<qr::WaitFd> fds, int ms) = 0;
  // The plain, silent line reader; the text without its CR LF.
  [[nodiscard]] virtual std::string readLinePlain() = 0;

  // Speech.
  virtual void speakText(std::string_view text) = 0;
  virtual void writeSpoken(std::string_view text) = 0;
  virtual void writeLineSpoken(std::string_view text) = 0;
  // A line of this program's own beyond the catalogue, written with its
  // details and said with only what the ear needs: no path read out letter
  // group by letter group, no bracket, colon or slash a voice would name.
  virtual void writeLineSaying(std::string_view written, std::string_view said) {
    write(written);
    if (!said.empty()) speakText(said);
    endLine();
  }
  virtual void spellText(std::string_view text) = 0;
  // Says text while the caller goes on (data keeps moving while progress
  // is said): after what is being said, and waitFor keeps it sounding.
  virtual void speakAndGoOn(std::string_view text) { speakText(text); }
  [[nodiscard]] virtual bool soundExists(std::string_view name) = 0;
  virtual void playSound(std::string_view name) = 0;
  // A recorded sound left sounding while the caller goes on (a request is
  // sent meanwhile); whatever is said next waits for its end, a key stops
  // it, and waitFor keeps an eye on it.
  virtual void startSound(std::string_view name) { playSound(name); }
  virtual void errorBeep() = 0;
  virtual void waitSpeechEnd() = 0;
  virtual void speechStart(std::string_view soundDir) = 0;
  [[nodiscard]] virtual SpeechStartReport speechStartReport() { return {}; }
  virtual void speechFinish() = 0;

  // Line editor (ESC gives an empty line) and spoken key reading.
  [[nodiscard]] virtual std::string readLineSpoken() = 0;
  // The same with an answer proposed (an arrow keeps it, the first
  // printable key replaces it); endKey is the key that ended the editor
  // (13 Enter; the code of Down or Up, which may open a list).
  [[nodiscard]] virtual std::string readLineOffered(std::string_view proposal, uint8_t& endKey) {
    (void)proposal;
    endKey = 13;
    return readLineSpoken();
  }
  [[nodiscard]] virtual uint8_t readKeySpoken() = 0;

  // The pop-up menu: the chosen item's number, 0 when none.
  [[nodiscard]] virtual int runMenu(const MenuBox& box, const std::vector<MenuChoice>& items) = 0;

  // Environment: a value of section "NAVIRO", the event log, the end.
  [[nodiscard]] virtual std::string setting(std::string_view key) = 0;
  virtual void logEvent(std::string_view kind, std::string_view text) = 0;
  [[noreturn]] virtual void endProcess(int code) = 0;
  // What the platform has to tell the user (a terminal too small, no sound
  // device), each text once.
  [[nodiscard]] virtual std::vector<std::string> takeNotices() { return {}; }
  // Lines to write and to say after the banner: where the configuration
  // lives, at the first start without one of the user's own.
  [[nodiscard]] virtual std::vector<qr::Told> configNotice() { return {}; }
  // The directory of the user's QUIRAL.INI, where files the client keeps
  // beside it go; empty when there is none.
  [[nodiscard]] virtual std::string configDirectory() { return {}; }
};

}  // namespace ftp
