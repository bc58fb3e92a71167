// ConsoleTela: the FTP client's Tela over the real console, spoken layer,
// line editor, pop-up menu and configuration.
#pragma once

#include "ftp/ftpTela.h"

namespace qr {
class Console;
class Config;
class Spoken;
class LineInput;
}  // namespace qr

namespace ftp {

// The real thing, over the console and speech modules.
class ConsoleTela : public Tela {
 public:
  ConsoleTela(qr::Console& console, const qr::Config& config, qr::Spoken& spoken,
              qr::LineInput& input);

  void write(std::string_view text) override;
  void endLine() override;
  void moveCursor(int column, int row) override;
  int cursorColumn() override;
  int cursorRow() override;
  void setForeground(uint8_t colour) override;
  void setBackground(uint8_t colour) override;
  void clearScreen() override;
  void setCaption(std::string_view text) override;
  bool keyPending() override;
  uint8_t readKey() override;
  void flushKeys() override;
  bool takeEscape() override;
  bool keysArrived() override;
  void delay(int milliseconds) override;
  void waitFor(std::span<qr::WaitFd> fds, int ms) override;
  std::string readLinePlain() override;
  void speakText(std::string_view text) override;
  void writeSpoken(std::string_view text) override;
  void writeLineSpoken(std::string_view text) override;
  void spellText(std::string_view text) override;
  void speakAndGoOn(std::string_view text) override;
  bool soundExists(std::string_view name) override;
  void playSound(std::string_view name) override;
  void startSound(std::string_view name) override;
  void errorBeep() override;
  void waitSpeechEnd() override;
  void speechStart(std::string_view soundDir) override;
  SpeechStartReport speechStartReport() override;
  void speechFinish() override;
  std::string readLineSpoken() override;
  std::string readLineOffered(std::string_view proposal, uint8_t& endKey) override;
  uint8_t readKeySpoken() override;
  int runMenu(const MenuBox& box, const std::vector<MenuChoice>& items) override;
  std::string setting(std::string_view key) override;
  void logEvent(std::string_view kind, std::string_view text) override;
  [[noreturn]] void endProcess(int code) override;
  std::vector<std::string> takeNotices() override;
  std::vector<qr::Told> configNotice() override;
  std::string configDirectory() override;

 private:
  qr::Console& console_;
  const qr::Config& config_;
  qr::Spoken& spoken_;
  qr::LineInput& input_;
  uint64_t arrivalsSeen_ = 0;  // the key queue's arrivals when takeEscape looked
};

}  // namespace ftp
