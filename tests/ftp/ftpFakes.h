// Test doubles for the FTP client: a Tela that records what is written,
// spoken and announced and answers questions from a script, and a scripted
// FTP server on loopback that records the commands it receives.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftpTela.h"
#include "platform/pollWaiter.h"

namespace ftp_test {

struct Ended {
  int code;
};

class RecordingTela : public ftp::Tela {
 public:
  std::deque<std::string> lines;    // answers of the line editor
  std::deque<std::string> secrets;  // answers of the plain reader
  std::deque<uint8_t> keys;         // key bytes
  // Plain FTP unless a test asks for TLS: the scripted servers answer the
  // design's dialogue.
  std::map<std::string, std::string> settings{{"TLS", "N"}};
  std::vector<std::string> events;  // "announce K", "write T", "speak T", ...
  std::string screen;               // everything written, line ends as \n
  int menuChoice = 0;
  std::vector<std::string> menuKeys;  // the catalogue keys of the last menu's items
  int column = 1;
  uint8_t foreground = 15;
  uint8_t foregroundWhileSecret = 15;
  int idleAsks = 0;
  bool escapeInterrupts = false;  // ESC typed ahead interrupts a wait
  std::string configDir;          // where CERTIFIC.TXT is kept

  bool has(const std::string& e) const {
    for (const auto& x : events)
      if (x == e) return true;
    return false;
  }
  std::vector<std::string> announced() const {
    std::vector<std::string> out;
    for (const auto& x : events)
      if (x.rfind("announce ", 0) == 0) out.push_back(x.substr(9));
    return out;
  }

  void write(std::string_view t) override {
    events.push_back("write " + std::string(t));
    screen += t;
    column += static_cast<int>(t.size());
  }
  void endLine() override {
    screen += "\n";
    column = 1;
  }
  void moveCursor(int c, int) override { column = c; }
  int cursorColumn() override { return column; }
  int cursorRow() override { return 10; }
  void setForeground(uint8_t c) override { foreground = c; }
  void setBackground(uint8_t) override {}
  void clearScreen() override {}
  void setCaption(std::string_view t) override { events.push_back("caption " + std::string(t)); }
  bool keyPending() override {
    ++keyLooks;
    if (keys.empty() && ++idleAsks > 2000) throw Ended{3};
    return !keys.empty();
  }
  // Keys are typed ahead: news when the queue changed since takeEscape
  // looked at it.
  bool keysArrived() override { return keyPending() && keys.size() != keysLookedAt; }
  int keyLooks = 0;
  size_t keysLookedAt = 0;
  uint8_t readKey() override {
    if (keys.empty()) throw Ended{3};
    const uint8_t k = keys.front();
    keys.pop_front();
    return k;
  }
  void flushKeys() override { events.push_back("flush"); }
  bool takeEscape() override {
    const bool escape = escapeInterrupts && !keys.empty() && keys.front() == 27;
    if (escape) keys.pop_front();
    keysLookedAt = keys.size();
    return escape;
  }
  void delay(int) override {}
  void waitFor(std::span<qr::WaitFd> fds, int ms) override { (void)waiter.wait(fds, ms); }
  platform::PollWaiter waiter;
  std::string readLinePlain() override {
    foregroundWhileSecret = foreground;
    if (secrets.empty()) throw Ended{3};
    std::string s = secrets.front();
    secrets.pop_front();
    screen += "\n";  // like the console's reader: nothing of the secret shows
    column = 1;
    return s;
  }
  void speakText(std::string_view t) override { events.push_back("speak " + std::string(t)); }
  void writeSpoken(std::string_view t) override {
    write(t);
    speakText(t);
  }
  void writeLineSpoken(std::string_view t) override {
    writeSpoken(t);
    endLine();
  }
  void spellText(std::string_view t) override { events.push_back("spell " + std::string(t)); }
  // Said while the program goes on: "say", apart from the "speak" that
  // holds the program until it is said.
  void speakAndGoOn(std::string_view t) override { events.push_back("say " + std::string(t)); }
  bool soundExists(std::string_view) override { return false; }
  void playSound(std::string_view n) override { events.push_back("sound " + std::string(n)); }
  void errorBeep() override { events.push_back("beep"); }
  void waitSpeechEnd() override {}
  void speechStart(std::string_view d) override {
    events.push_back("speechStart " + std::string(d));
  }
  void speechFinish() override {}
  std::string readLineSpoken() override {
    if (lines.empty()) throw Ended{3};
    std::string s = lines.front();
    lines.pop_front();
    screen += s + "\n";
    column = 1;
    return s;
  }
  // Enter (an empty answer) takes the proposal.
  std::string readLineOffered(std::string_view proposal, uint8_t& endKey) override {
    endKey = 13;
    if (proposal.empty()) return readLineSpoken();
    events.push_back("proposed " + std::string(proposal));
    const std::string s = readLineSpoken();
    return s.empty() ? std::string(proposal) : s;
  }
  uint8_t readKeySpoken() override { return readKey(); }
  int runMenu(const ftp::MenuBox&, const std::vector<ftp::MenuChoice>& items) override {
    events.push_back("menu " + std::to_string(items.size()));
    menuKeys.clear();
    for (const auto& item : items) menuKeys.push_back(item.key);
    return menuChoice;
  }
  std::string setting(std::string_view key) override {
    auto it = settings.find(std::string(key));
    return it == settings.end() ? std::string() : it->second;
  }
  void logEvent(std::string_view kind, std::string_view text) override {
    events.push_back(std::string(kind) + " " + std::string(text));
  }
  [[noreturn]] void endProcess(int code) override { throw Ended{code}; }
  std::string configDirectory() override { return configDir; }
};

// One step of the server: a reply sent in pieces (a short pause between
// pieces), after the client's next command when waitForCommand is set.
struct Step {
  bool waitForCommand = true;
  std::vector<std::string> pieces;
  bool closeAfter = false;
  int pauseMs = 0;  // before the first piece: a slow server
};

class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Step> steps) : steps_(std::move(steps)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    ::listen(listen_, 1);
    thread_ = std::thread([this] { run(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (thread_.joinable()) thread_.join();
  }
  uint16_t port() const { return port_; }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> g(m_);
    return commands_;
  }

 private:
  bool readCommand(int fd, std::string& pending) {
    for (;;) {
      const size_t eol = pending.find("\r\n");
      if (eol != std::string::npos) {
        std::lock_guard<std::mutex> g(m_);
        commands_.push_back(pending.substr(0, eol));
        pending.erase(0, eol + 2);
        return true;
      }
      char buf[512];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      pending.append(buf, static_cast<size_t>(n));
    }
  }
  void run() {
    const int fd = ::accept(listen_, nullptr, nullptr);
    if (fd < 0) return;
    std::string pending;
    for (const Step& s : steps_) {
      if (stop_) break;
      if (s.waitForCommand && !readCommand(fd, pending)) break;
      if (s.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.pauseMs));
      for (size_t i = 0; i < s.pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(60));
        (void)::send(fd, s.pieces[i].data(), s.pieces[i].size(), MSG_NOSIGNAL);
      }
      if (s.closeAfter) break;
    }
    // Keep taking commands (QUIT) until the client closes, answering 221.
    bool closing = false;
    for (const Step& s : steps_) closing = closing || s.closeAfter;
    while (!closing && !stop_ && readCommand(fd, pending)) {
      const std::string bye = "221 Tchau\r\n";
      (void)::send(fd, bye.data(), bye.size(), MSG_NOSIGNAL);
    }
    ::close(fd);
  }

  std::vector<Step> steps_;
  int listen_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex m_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
};

}  // namespace ftp_test
