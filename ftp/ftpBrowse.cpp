// ftpDir, the listing and its browser. Listings always go in type A
// (RFC 959 section 4.1.3: LIST data is ASCII), whatever the last transfer
// used; the browser reads the lines back from the temporary file.
#include "ftp/ftpBrowse.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "base/keyCodes.h"
#include "base/cp1252.h"
#include "ftp/ftpDir.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kEnter = 13;
constexpr int kIdleWaitMs = 100;
constexpr int kDirectoryColumn = 30;

using namespace qr::ext;  // the special keys' codes

struct MenuLetter {
  std::string_view key;
  uint8_t letter;
};
constexpr std::array<MenuLetter, 5> kBrowserMenu{{
    {"FTPAJA02", 'R'},
    {"FTPAJA03", 'A'},
    {"FTPAJA04", 'D'},
    {"FTPAJA05", 'V'},
    {"FTPAJA06", 'T'},
}};

constexpr bool isBlank(char c) {
  return c == ' ' || c == '\0';
}

}  // namespace

std::string NameOfListingLine(std::string_view line) {
  while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
  if (!line.empty() && line[0] == 'l') {
    const size_t arrow = line.rfind(" -> ");
    if (arrow != std::string_view::npos) {
      line = line.substr(0, arrow);
      while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    }
  }
  const size_t blank = line.rfind(' ');
  return std::string(blank == std::string_view::npos ? line : line.substr(blank + 1));
}

std::vector<std::string> ListingTable(std::string_view bytes) {
  std::vector<std::string> table;
  size_t at = 0;
  while (at < bytes.size() && table.size() < kListingLines) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view raw = bytes.substr(at, end - at);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string line = qr::fromUtf8(raw);
    if (line.size() > kListingWidth) line.resize(kListingWidth);
    table.push_back(std::move(line));
    at = end + 1;
  }
  return table;
}

uint8_t BrowserMenuLetter(int item) {
  if (item < 1 || item > static_cast<int>(kBrowserMenu.size())) return kEnter;
  return kBrowserMenu[static_cast<size_t>(item - 1)].letter;
}

Browse::Browse(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede, Dir& dir,
               Transfer& transfer, FileDialogs& dialogs)
    : st_(state),
      ui_(ui),
      msg_(msg),
      dlg_(dlg),
      rede_(rede),
      dir_(dir),
      transfer_(transfer),
      dialogs_(dialogs) {}

void Browse::ListRemoteDirectory() {
  while (dlg_.hasLines()) {
    (void)dlg_.ReadReply();
    if (dlg_.closed() || dlg_.interrupted()) return;
  }
  if (!dlg_.SendCommand("TYPE A")) return;
  (void)dlg_.ReadReply();
  if (!transfer_.openDataPath(true)) return;
  // openDataPath opened the data connection already; the temporary file is
  // made before anything can arrive on it.
  // Our own temporary file: truncated in place, never through a link put
  // in its stead.
  const int fd = st_.listingFileName.empty()
                     ? -1
                     : ::open(st_.listingFileName.c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (!file && fd >= 0) ::close(fd);
  if (!file) {
    rede_.CloseDataConnection();
    msg_.Announce("FTERRCRI", 1);
    return;
  }
  rede_.setTransferFile(file);
  msg_.Announce("FTDIRPED", 1);

  st_.transferBytes = 0;
  int code = 0;
  std::string line;
  if (dlg_.SendCommand("LIST")) {
    code = dlg_.ReadReply();
    if (!TransferStarts(code)) msg_.Announce("FTPEDREC", 1);
  }
  for (;;) {
    int event = kNone;
    if (!rede_.PollAndServe(event) || code == 425) break;
    if (dlg_.hasLines()) code = dlg_.ReadReply();
    if (ui_.keyPending() && transfer_.escapeOrProgress()) {
      if (transfer_.abort()) {
        rede_.CloseDataConnection();
        rede_.setTransferFile(nullptr);
        return;
      }
    }
    if (event == kNone) transfer_.idleWait(kIdleWaitMs);
  }
  rede_.setTransferFile(nullptr);
  transfer_.awaitFinalReply(code, line);
  rede_.CloseDataConnection();
  if (TransferCompleted(code))
    BrowseListing();
  else
    msg_.Announce("FTERRDIR", 1);
}

bool Browse::hasEntry(long position) const {
  return position >= 1 && position <= static_cast<long>(table_.size());
}

void Browse::AnnounceEntry(size_t position) {
  if (!hasEntry(static_cast<long>(position))) return;
  const std::string& line = table_[position - 1];
  ui_.endLine();
  ui_.writeSpoken(NameOfListingLine(line));
  if (IsDirectoryLine(line)) {
    ui_.moveCursor(kDirectoryColumn, ui_.cursorRow());
    ui_.writeSpoken(qr::W("  diretório"));
  }
}

uint8_t Browse::BrowserMenu() {
  MenuBox box;
  box.column = 40;
  box.row = ui_.cursorRow();
  box.width = 50;
  box.height = 5;
  box.colour = 5;
  std::vector<MenuChoice> items;
  for (const auto& e : kBrowserMenu) items.push_back({std::string(e.key), MessageText(e.key)});
  return BrowserMenuLetter(ui_.runMenu(box, items));
}

void Browse::BrowseListing() {
  std::FILE* file =
      st_.listingFileName.empty() ? nullptr : std::fopen(st_.listingFileName.c_str(), "rb");
  if (!file) {
    msg_.Announce("FTERTEMP", 1);
    return;
  }
  std::string bytes;
  char block[65536];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, n);
  std::fclose(file);
  table_ = ListingTable(bytes);
  bytes = {};

  msg_.Announce("FTUSSETA", 1);
  ui_.waitSpeechEnd();

  const long count = static_cast<long>(table_.size());
  long position = 1;
  bool leave = false;
  while (!leave) {
    if (hasEntry(position)) AnnounceEntry(static_cast<size_t>(position));
    uint8_t key = ui_.readKey();
    bool extended = false;
    if (key == 0) {
      key = ui_.readKey();
      extended = true;
    }
    const std::string name = hasEntry(position)
                                 ? NameOfListingLine(table_[static_cast<size_t>(position - 1)])
                                 : std::string();
    if (extended && (key == kLeft || key == kRight) && hasEntry(position)) {
      ui_.endLine();
      key = dialogs_.reviewLine(table_[static_cast<size_t>(position - 1)], extended);
    }
    if (extended && key == kF9) {
      key = BrowserMenu();
      extended = false;
    }
    if (!extended && key >= 'a' && key <= 'z') key = static_cast<uint8_t>(key - 32);

    if (extended) {
      switch (key) {
        case kDown:
          position += 1;
          break;
        case kUp:
          position -= 1;
          break;
        case kPageDown:
          position += 5;
          break;
        case kPageUp:
          position -= 5;
          break;
        case kHome:
        case kCtrlPageUp:
          position = 0;
          break;
        case kEnd:
        case kCtrlPageDown:
          position = count + 1;
          break;
        case kCtrlInsert:
          msg_.Announce("FTOK", 1);
          dialogs_.putClipboard(name);
          break;
        default:
          break;
      }
    } else {
      switch (key) {
        case kEscape:
          leave = true;
          break;
        case 'R':
          if (name.empty()) {
            ui_.errorBeep();
          } else {
            ui_.endLine();
            transfer_.ReceiveFile(name);
          }
          break;
        case 'A':
          dir_.ConfirmAndDelete(name);
          break;
        case 'D':
          if (dlg_.SendCommand("SIZE " + name)) {
            ui_.write(" .... ");
            (void)dlg_.ReadAndSpeakReply(false);
          }
          break;
        case 'T':
          if (dir_.ChangeRemoteDirectory(name)) leave = true;
          break;
        case 'V':
          if (dir_.ChangeRemoteDirectory("..")) leave = true;
          break;
        default:
          break;
      }
    }
    while (dlg_.hasLines()) {
      ui_.endLine();
      (void)dlg_.ReadReply();
      if (dlg_.closed() || dlg_.interrupted()) break;
    }
    if (position < 1 || position > count) {
      position = position < 1 ? 0 : count + 1;
      ui_.endLine();
      msg_.Announce("FTULTARQ", 1);
    }
  }
  table_.clear();
  table_.shrink_to_fit();
  ui_.endLine();
  ui_.flushKeys();
}

}  // namespace ftp
