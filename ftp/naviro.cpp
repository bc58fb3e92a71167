// naviro: the program body.
#include "ftp/naviro.h"

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ftp/ftpHost.h"
#include "ftp/ftpTela.h"

namespace ftp {

namespace {

constexpr std::array<std::string_view, 15> kHelpList{
    "FTAJUD00", "FTAJUD01", "FTAJUD03", "FTAJUD04", "FTAJUD07", "FTAJUD02", "FTAJUD05", "FTAJUD8C",
    "FTAJUD06", "FTAJUD8D", "FTAJUD08", "FTAJUD8A", "FTAJUD8B", "FTAJUD09", "FTAJUD10"};

struct MenuEntry {
  std::string_view key;
  uint8_t ch;
};
constexpr std::array<MenuEntry, 14> kHelpMenu{{
    {"FTAJUD01", 'l'},
    {"FTAJUD03", 'r'},
    {"FTAJUD04", 't'},
    {"FTAJUD07", 'q'},
    {"FTAJUD02", 'd'},
    {"FTAJUD05", 'a'},
    {"FTAJUD8C", 'i'},
    {"FTAJUD06", 's'},
    {"FTAJUD8D", 'c'},
    {"FTAJUD08", 'v'},
    {"FTAJUD8A", 'p'},
    {"FTAJUD8B", '/'},
    {"FTAJUD09", '?'},
    {"FTAJUD10", 27},
}};

constexpr uint8_t kEnter = 13;
constexpr uint8_t kEscape = 27;
constexpr int kIdleWaitMs = 20;
constexpr int kQuitWaitMs = 3000;

std::string makeListingFile() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  std::string pattern = dir + "dirXXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  return pattern;
}

}  // namespace

void SplitHostPort(std::string_view typed, std::string& host, uint16_t& port) {
  const HostSpec spec = ParseHost(typed);
  host = spec.host;
  port = spec.port;
}

uint8_t HelpMenuCharacter(int position) {
  if (position < 1 || position > static_cast<int>(kHelpMenu.size())) return kEnter;
  return kHelpMenu[static_cast<size_t>(position - 1)].ch;
}

Client::Client(Tela& ui, std::optional<std::string> host, FileDialogs* dialogs)
    : ui_(ui),
      hostArgument_(std::move(host)),
      msg_(ui),
      rede_(st_, ui, msg_),
      dlg_(st_, ui, msg_, rede_),
      tls_(st_, ui, msg_, dlg_, rede_),
      login_(st_, ui, msg_, dlg_),
      port_(st_, ui, msg_, dlg_, rede_),
      arq_(st_, ui, msg_, dlg_),
      dir_(st_, ui, msg_, dlg_, arq_),
      plainDialogs_(ui),
      transfer_(st_, ui, msg_, dlg_, rede_, port_, dialogs ? *dialogs : plainDialogs_),
      browse_(st_, ui, msg_, dlg_, rede_, dir_, transfer_, dialogs ? *dialogs : plainDialogs_) {}

Client::~Client() = default;

bool Client::InitializeClient() {
  ui_.speechStart(ui_.setting("DIRNAVIRO"));
  ui_.clearScreen();
  ui_.setCaption("NAVIRO");
  ui_.setBackground(1);
  msg_.Announce("FTINIC", 0);
  ui_.write(kClientVersion);
  ui_.endLine();
  ui_.spellText(kClientVersion);
  ui_.setBackground(0);
  ui_.endLine();
  for (const qr::Told& line : ui_.configNotice()) ui_.writeLineSaying(line.written, line.said);
  sayNotices();

  st_.running = true;
  st_.noPrompt = false;
  st_.listening = false;
  st_.dataOpen = false;
  st_.transferBytes = 0;
  st_.verbose = false;
  dlg_.clearQueue();

  const std::string passivo = ui_.setting("PASSIVO");
  st_.passive = !passivo.empty() && passivo[0] == 'N';
  port_.TogglePassive();

  st_.listingFileName = makeListingFile();

  if (hostArgument_) {
    st_.remoteName = *hostArgument_;
  } else {
    msg_.Announce("FTCOMPUT", 0);
    st_.remoteName = ui_.readLineSpoken();
  }
  ui_.setCaption("NAVIRO " + st_.remoteName);
  const HostSpec spec = ParseHost(st_.remoteName);
  st_.remoteHost = spec.host;
  st_.controlPort = spec.port;
  st_.remoteScheme = spec.scheme;
  st_.passiveDataPort = 9999;
  return !st_.remoteName.empty();
}

void Client::SpeakHelpList() {
  for (std::string_view key : kHelpList) msg_.Announce(key, 1);
  // A key pressed during the list silenced it; it is the user's next
  // command (Down opens the menu), so it is neither thrown away nor
  // followed by the end-of-list tone.
  if (ui_.keyPending()) return;
  ui_.errorBeep();
}

uint8_t Client::HelpMenu() {
  MenuBox box;
  box.column = ui_.cursorColumn();
  box.row = ui_.cursorRow();
  box.width = 50;
  box.height = 13;
  box.colour = 5;
  std::vector<MenuChoice> items;
  for (const auto& e : kHelpMenu) items.push_back({std::string(e.key), MessageText(e.key)});
  ui_.flushKeys();
  return HelpMenuCharacter(ui_.runMenu(box, items));
}

void Client::EndProgram() {
  if (!st_.listingFileName.empty()) std::remove(st_.listingFileName.c_str());
  msg_.Announce("FTFIMPRG", 1);
  ui_.speechFinish();
  ui_.delay(1000);
  ui_.endProcess(st_.exitCode);
  std::abort();  // not reached
}

void Client::sayNotices() {
  for (const std::string& notice : ui_.takeNotices()) ui_.writeLineSpoken(notice);
}

void Client::prompt() {
  sayNotices();
  ui_.setBackground(1);
  msg_.Announce("FTCMD", 0);
  ui_.setBackground(0);
}

void Client::rawCommand() {
  msg_.Announce("FTCMDFTP", 1);
  const std::string line = ui_.readLineSpoken();
  if (dlg_.SendCommand(line)) (void)dlg_.ReadAndSpeakReply(true);
}

void Client::runCommandCharacter(uint8_t ch) {
  if (ch >= 'a' && ch <= 'z') ch = static_cast<uint8_t>(ch - 32);
  switch (ch) {
    case kEnter:
      break;
    case kEscape:
      st_.noPrompt = true;
      // The server closing the connection after QUIT is no loss, and a
      // server that never answers it does not keep the user waiting.
      dlg_.expectClose();
      if (dlg_.SendCommand("QUIT")) (void)dlg_.readReply({.boundMs = kQuitWaitMs});
      st_.running = false;
      break;
    case '/':
      rawCommand();
      break;
    case '?':
      SpeakHelpList();
      break;
    case 'A':
      arq_.DeleteRemoteFile();
      break;
    case 'C':
      dir_.MakeRemoteDirectory();
      break;
    case 'D':
      browse_.ListRemoteDirectory();
      break;
    case 'I':
      if (dlg_.SendCommand("PWD")) (void)dlg_.ReadAndSpeakReply(false);
      break;
    case 'L':
      if (login_.Login()) st_.loggedIn = true;
      break;
    case 'P':
      port_.TogglePassive();
      break;
    case 'R':
      transfer_.ReceiveFile(std::string_view());
      break;
    case 'T':
      transfer_.SendFile();
      break;
    case 'Q':
      rede_.AnnounceTransferred();
      break;
    case 'S':
      dir_.ShowAndChangeDirectory();
      break;
    case 'V':
      st_.verbose = !st_.verbose;
      msg_.Announce(st_.verbose ? "FTVERBO" : "FTNAOVRB", 1);
      break;
    default:
      msg_.Announce("FTERRCMD", 1);
      break;
  }
}

void Client::RunCommand() {
  st_.noPrompt = false;
  uint8_t ch = ui_.readKeySpoken();
  uint8_t code = 0;
  if (ch == 0) {
    code = ui_.readKey();
    if (code == 16 || code == 17 || code == 18) {
      ch = ui_.readKey();
      if (ch == 0) code = ui_.readKey();  // an extended key after Alt: its code
    }
  }
  if (ch == 0) {
    if (code == 72 || code == 80) {
      ch = HelpMenu();
    } else if (code == 59) {
      SpeakHelpList();
      return;
    }
  }
  if (ch >= 32) ui_.write(std::string(1, static_cast<char>(ch)));
  ui_.endLine();
  runCommandCharacter(ch);
  while (dlg_.hasLines()) {
    (void)dlg_.readReply();
    if (dlg_.closed() || dlg_.interrupted()) break;
  }
}

// Lines nobody asked for. A 226 here ends no transfer of ours (only the
// final reply of the transfer in progress can), so it is heard as any line.
void Client::serveUnsolicitedReplies() {
  dlg_.ReceiveControlData();
  while (dlg_.hasLines()) {
    const ReplyLine r = dlg_.TakeReplyLine();
    if (r.code == 221) {
      msg_.Announce("FTDESCON", 1);
    } else if (!st_.verbose) {
      ui_.writeLineSpoken(r.text);
    }
  }
}

bool Client::awaitGreeting() {
  const Reply r = dlg_.readReply();
  st_.lastReplyLine = r.line;
  st_.lastCode = r.code;
  st_.lastContinuation = !r.complete;
  if (!r.complete) return false;
  if (r.code != 220) {
    msg_.Announce("FTERRSRV", 1);
    ui_.writeLineSpoken(r.line);
    return false;
  }
  return true;
}

void Client::Run() {
  st_.exitCode = kExitNormal;
  if (!InitializeClient()) EndProgram();
  st_.exitCode = kExitNoConnection;
  if (!rede_.OpenControlConnection()) {
    rede_.CloseConnections();
    EndProgram();
  }
  if (!awaitGreeting() || !tls_.Secure()) {
    rede_.CloseConnections();
    EndProgram();
  }
  st_.loggedIn = login_.Login();
  prompt();
  while (st_.running) {
    if (ui_.keyPending()) {
      RunCommand();
      if (!st_.noPrompt && st_.running) prompt();
    }
    if (!st_.running) break;
    if (rede_.PollEvent() == REDE) {
      serveUnsolicitedReplies();
      continue;
    }
    if (!ui_.keyPending()) rede_.waitIdle(kIdleWaitMs);
  }
  rede_.CloseConnections();
  st_.exitCode = st_.loggedIn ? kExitNormal : kExitNoLogin;
  EndProgram();
}

}  // namespace ftp
