// qrCrt: the text console. It joins a Screen (the 80x25 planes with colours
// and cursor, a value with pure writes), a KeyQueue, and the waiting: the
// program's standard output and plain line input, key reads and timed
// pauses, all through one loop. The logic is platform-free: a
// ConsoleFrontend (platform/) draws the screen's image and produces key
// events, which the key translation (qrCrtKeys) turns into queue bytes.
//
// Positions given to callers are 1-based (column 1..80, row 1..25); the
// planes are row-major, cell (c, r) at r * 80 + c, 0-based. Text is
// Windows-1252.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/eventlog.h"
#include "base/loop.h"
#include "base/wait.h"
#include "console/frontend.h"
#include "console/qrCrtKeys.h"
#include "console/screen.h"
#include "speech/audio.h"
#include "speech/pacing.h"

namespace qr {

class Config;

// Settings the console takes from sections "VIDEO" and "BRAILLE".
struct ConsoleSettings {
  std::array<uint8_t, 16> colourMap{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  bool coloursChangeable = true;
  bool slowScroll = false;
  uint8_t background = 0;
  uint8_t foreground = 15;
  int zoom = 2;
  int brailleMode = 0;
  std::string fontFace = "Lucida Console";
  int fontWidth = 0;   // 0: derived from the work area
  int fontHeight = 0;  // 0: derived from the work area
  int fontWeight = 0;  // 0: the platform's default weight
  bool maximised = false;
  bool operator==(const ConsoleSettings&) const = default;
};

// The console's keys of sections "VIDEO" and "BRAILLE", by bare reads.
// "PESOLETRA" is read only when the program presets a non-zero weight.
[[nodiscard]] ConsoleSettings readConsoleSettings(const Config& config, int presetWeight = 0);

class Console : public speech::Pacing, private KeySink {
 public:
  // The console reads no file and no environment: its settings are given to
  // useSettings (readConsoleSettings reads them), else the defaults hold.
  Console(ConsoleFrontend& frontend, AudioOutput& audio, EventLog& log);
  ~Console() override;
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  void useSettings(const ConsoleSettings& settings);  // before first use
  // The program's one wait (platform/); without it the console leaves the
  // waiting to the front end's poll and sleeps by itself.
  void useWaiter(Waiter& waiter);
  // Sources dispatched after every wait of the console (a voice that must
  // keep sounding while the program waits for a key).
  void addSource(LoopSource& source);
  void removeSource(LoopSource& source);

  void consoleOpen();
  void consoleWrite(std::string_view bytes);
  void consoleMoveCursor(int column, int row);
  [[nodiscard]] int consoleCursorColumn();
  [[nodiscard]] int consoleCursorRow();
  void consoleClearScreen();
  void consoleClearToLineEnd();
  void consoleSetForeground(uint8_t colour);
  void consoleSetBackground(uint8_t colour);
  [[nodiscard]] uint8_t consoleTextAttr();
  void consoleSetTextAttr(uint8_t attr);  // restores a saved attribute
  [[nodiscard]] uint8_t consoleCharAt(int column, int row);
  [[nodiscard]] uint8_t consoleAttrAt(int column, int row);
  // Stores a cell directly (screen restore of the menu and the file picker).
  void consolePutCell(int column, int row, uint8_t ch, uint8_t attr);
  [[nodiscard]] bool consoleKeyPending();
  [[nodiscard]] uint8_t consoleReadKey();
  void consoleDelay(uint16_t milliseconds);
  void consolePumpMessages();
  // Plain line reader: returns the bytes read followed by CR LF.
  [[nodiscard]] std::string consoleReadLine(size_t capacity = 128);
  void clipboardPutText(std::string_view text);
  [[nodiscard]] std::string clipboardGetText(size_t capacity);
  // These end the run: the front end finishes and qr::ProgramEnd unwinds to
  // main with the exit code.
  [[noreturn]] void consoleClose();
  // Normal end of the program: title "Programa terminado", exit code.
  [[noreturn]] void programEnd(int code = 0);
  void setCaption(std::string_view text);

  // Standard output: hands the bytes to consoleWrite, then lets messages flow.
  void out(std::string_view text);
  void outLine(std::string_view text = {});

  // Ctrl+Break: caret hidden, then the program ends with code 255.
  [[noreturn]] void endByBreak();

  // Key queue producer side (used by the key translation and by tests).
  [[nodiscard]] bool queueKeyBytes(std::string_view bytes);  // drops the whole key if no room
  void flushKeys();
  [[nodiscard]] size_t queuedKeyBytes() const;
  [[nodiscard]] uint64_t keyArrivals() const;  // see KeyQueue::arrivals

  // Notices for the user from the platform (the front end's, and those
  // handed in at start-up, such as a missing sound device), each once.
  void addNotice(std::string text);
  [[nodiscard]] std::vector<std::string> takeNotices();

  // Waits up to ms milliseconds for a key or for one of the caller's
  // descriptors (sockets, a voice's events), whichever comes first; the
  // front end's input is watched with them. Keys that arrived are queued.
  // ms 0 looks at them all without waiting. The descriptors are looked at
  // through the waiter given to useWaiter (without one, not at all).
  void idleWait(int ms, std::span<WaitFd> extra = {});
  [[nodiscard]] int inputDescriptor() const;

  [[nodiscard]] const ScreenImage& screen();
  // The settings in force (font, zoom, window size, slow scroll) for the
  // front end that draws; read when the console opens.
  [[nodiscard]] const ConsoleSettings& settings();
  // The modifier keys as of the latest key event.
  [[nodiscard]] bool shiftHeld();
  [[nodiscard]] bool altHeld();
  // The key translation, for its tests.
  [[nodiscard]] KeyTranslator& keys();
  // The event log, for the FTP screens' "send" lines.
  [[nodiscard]] EventLog& log() { return log_; }

  // The pacing of the sound modules: key test, delay and pump above.
  [[nodiscard]] bool keyPending() override { return consoleKeyPending(); }
  void delay(int milliseconds) override {
    consoleDelay(static_cast<uint16_t>(std::clamp(milliseconds, 0, 65535)));
  }
  void pump() override { consolePumpMessages(); }
  void waitWhile(const std::function<bool()>& busy,
                 const std::function<Wake()>& wake) override;

 private:
  void keyEvent(const KeyEvent& event) override;
  void present();  // hands the image to the front end when it changed
  void pollFrontend(int maxWaitMs, bool askingForKey, std::span<WaitFd> extra = {});
  void sleepFor(int ms);
  [[nodiscard]] Deadline waitEnd(Deadline deadline);
  struct State;
  std::unique_ptr<State> s_;
  ConsoleFrontend& frontend_;
  EventLog& log_;
};

void currentDate(uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& dayOfWeek);
void currentTime(uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& hundredths);

}  // namespace qr
