// The FTP modules of one run wired together over a RecordingTela, logged in
// to a FakeFtp in passive mode, with a scratch directory for local files.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "ftp/ftpBrowse.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpRemoteCmds.h"
#include "ftp/ftpTransfer.h"
#include "platform/signals.h"
#include "transferServer.h"

namespace ftp_test {

class FakeDialogs : public ftp::FileDialogs {
 public:
  std::string localFile;
  std::vector<std::pair<uint8_t, bool>> reviewEnds;  // keys that end the editor
  std::vector<std::string> reviewed, clipboard;
  std::string chooseLocalFile(int) override { return localFile; }
  uint8_t reviewLine(std::string_view text, bool& extended) override {
    reviewed.emplace_back(text);
    if (reviewEnds.empty()) {
      extended = false;
      return 27;
    }
    const auto k = reviewEnds.front();
    reviewEnds.erase(reviewEnds.begin());
    extended = k.second;
    return k.first;
  }
  void putClipboard(std::string_view text) override { clipboard.emplace_back(text); }
};

// Keys typed ahead stay unseen by the key-pending test until an event has
// happened, so that a transfer or listing loop does not take them for a
// progress request.
class GatedTela : public RecordingTela {
 public:
  std::string holdUntil;
  bool holdDuringReceive = false;
  std::function<bool()> gate;  // keys stay unseen while it says false
  bool keyPending() override {
    if (gate && !keys.empty() && !gate()) return false;
    if (!holdUntil.empty()) {
      if (!has(holdUntil)) return false;
      holdUntil.clear();
    }
    if (holdDuringReceive && occurrences("announce FTRECEBE") != occurrences("announce FTFIMREC"))
      return false;
    return RecordingTela::keyPending();
  }
  void flushKeys() override {
    if (dropKeysOnFlush) keys.clear();
  }
  bool dropKeysOnFlush = false;
  size_t occurrences(const std::string& e) const {
    return static_cast<size_t>(std::count(events.begin(), events.end(), e));
  }
};

struct Rig {
  FakeFtp server;
  GatedTela ui;
  ftp::ClientState st;
  ftp::Messages msg{ui};
  ftp::Rede rede{st, ui};
  ftp::Dlg dlg{st, ui, msg, rede};
  ftp::Port port{st, dlg, rede};
  ftp::FtpFiles files{ui, msg, dlg};
  ftp::DirectoryCommands dir{ui, msg, files};
  FakeDialogs dialogs;
  ftp::Transfer transfer{st, ui, msg, dlg, rede, port};
  ftp::Browse browse{ui, msg, dialogs};
  // The prompt's commands over FTP as the program has them: D's listing and
  // its browser.
  ftp::RemoteCommands commands{st, ui, msg, transfer.files(), dialogs, browse};
  std::filesystem::path scratch;

  Rig() {
    platform::ignoreProcessSignals();  // as the program does at start-up
    ui.settings["PRAZO"] = "3";        // a server silent this long is gone
    scratch = std::filesystem::temp_directory_path() /
              ("naviro-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
  }
  ~Rig() {
    rede.CloseConnections();
    std::filesystem::remove_all(scratch);
  }
  // Connects and takes the greeting; the server is configured before.
  bool connect() {
    st.remoteName = st.remoteHost = "127.0.0.1";
    st.controlPort = server.port();
    st.passive = true;
    if (!rede.OpenControlConnection().ok()) return false;
    return dlg.ReadReply() == 220;
  }
  std::string path(const std::string& name) const { return (scratch / name).string(); }
  // The scratch directory's names.
  std::vector<std::string> localNames() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(scratch))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void keys(const std::string& k) {
    for (char c : k) ui.keys.push_back(static_cast<uint8_t>(c));
  }
  static int& counter() {
    static int n = 0;
    return n;
  }
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string pattern(size_t size) {
  std::string s(size, '\0');
  uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace ftp_test
