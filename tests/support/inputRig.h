// A console with the whole spoken layer behind it, for tests of the line
// editor, the pop-up menu and screen review. Keys are offered the way a
// patient user types: only when the program blocks for a key, never to a
// mere key-pending test, so speech is never cut short by keys typed ahead.
// Sounds named in the constructor exist as tiny WAV files, so playing one
// shows in the event log as "sound <dir>/<name>.wav".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinSpoken.h"
#include "speech/diphone.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace testing_support {

class PacedFrontend : public FakeFrontend {
 public:
  void poll(int maxWaitMs, bool askingForKey, qr::KeySink& sink) override {
    if (maxWaitMs == 0) return;
    FakeFrontend::poll(maxWaitMs, askingForKey, sink);
  }
};

inline std::string makeSoundDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "naviro-input-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return "/tmp";
  return pattern;
}

inline void writeTinyWav(const std::string& path) {
  const unsigned char header[44] = {'R', 'I', 'F',  'F',  52,  0,   0,    0,    'W', 'A', 'V',
                                    'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                    1,   0,   0x11, 0x2B, 0,   0,   0x11, 0x2B, 0,   0,   1,
                                    0,   8,   0,    'd',  'a', 't', 'a',  16,   0,   0,   0};
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(header, 1, sizeof header, f);
    const unsigned char silence[16] = {128, 128, 128, 128, 128, 128, 128, 128,
                                       128, 128, 128, 128, 128, 128, 128, 128};
    std::fwrite(silence, 1, sizeof silence, f);
    std::fclose(f);
  }
}

struct SpokenRig {
  std::string dir = makeSoundDir();
  PacedFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  qr::Config config{dir, dir};
  speech::WavPlayer player{console, audio, log};
  speech::Translator translator;
  speech::Diphone diphone{console, player, translator};
  qr::Spoken spoken{console, config, player, translator, diphone};

  explicit SpokenRig(std::initializer_list<const char*> sounds = {}) {
    log.keepLines(true);
    console.useSettings(qr::ConsoleSettings{});
    spoken.settings().lettersDir = dir + "/";
    spoken.settings().soundDir = dir + "/";
    for (const char* name : sounds) writeTinyWav(dir + "/" + name + ".wav");
    spoken.waitSpeechEnd();
    log.clear();
  }
  ~SpokenRig() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // Row r as text, trailing blanks removed.
  std::string row(int r) {
    std::string s;
    for (int c = 1; c <= qr::kColumns; ++c) s += static_cast<char>(console.consoleCharAt(c, r));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }

  // The logged events of the kinds the user hears, with sound paths cut to
  // the sound's name: "char 97", "sound _DEL", "text abc", "click", "beep".
  std::vector<std::string> heard() {
    std::vector<std::string> out;
    const std::string prefix = "sound " + dir + "/";
    for (const std::string& line : log.lines()) {
      if (line.rfind(prefix, 0) == 0) {
        std::string name = line.substr(prefix.size());
        if (name.size() > 4) name.resize(name.size() - 4);
        out.push_back("sound " + name);
      } else if (line.rfind("char ", 0) == 0 || line.rfind("text", 0) == 0 || line == "click" ||
                 line == "beep") {
        out.push_back(line);
      }
    }
    return out;
  }
  int count(std::string_view event) {
    int n = 0;
    for (const std::string& e : heard()) n += e == event;
    return n;
  }

  void type(std::string_view cp1252) { frontend.typeText(cp1252); }
  void key(qr::VKey k, bool ctrl = false, bool alt = false, bool shift = false) {
    frontend.pressKey(k, ctrl, alt, shift);
  }
  void ch(uint8_t c) { frontend.typeChar(c); }
};

}  // namespace testing_support
