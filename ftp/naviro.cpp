// naviro: the program body.
#include "ftp/naviro.h"

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/ascii.h"
#include "base/keyCodes.h"
#include "ftp/ftpHost.h"
#include "ftp/ftpTela.h"

namespace ftp {

namespace {

// The first line of the spoken help list, before the commands' own lines.
constexpr std::string_view kHelpHeading = "FTAJUD00";

constexpr uint8_t kEnter = qr::key::kEnter;
constexpr uint8_t kEscape = qr::key::kEsc;
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

// What only FTP has of the prompt's keys: passive mode and raw commands.
class Client::FtpKeys : public ProtocolKeys {
 public:
  explicit FtpKeys(Client& c) : c_(c) {}
  void TogglePassive() override { c_.togglePassive(); }
  void RawCommand() override { c_.rawCommand(); }

 private:
  Client& c_;
};

// The command keys of the prompt, one row each: the key (the upper-cased
// character typed), the catalogue key of its line in the spoken help list
// (empty: not in the list), its place in the help menu (1 is the first
// entry; 0: not offered there) and what it does. The help list says the
// lines in the order of the rows, after its heading; the menu offers the
// rows by their places and yields the key in lower case, as if typed; a key
// with no row is answered with "FTERRCMD".
//
// To add a command: add its row here, the text of its help line to
// ftpmsgCatalogue.h (the texts line up as "  K  what it does"), give it
// the next free menu place (or move the later ones down: the places must
// stay 1, 2, 3 ... without a gap), and describe the key in the README's
// table of prompt keys.
constexpr bool kLogin = true;  // the command needs an accepted login
constexpr bool kAny = false;

const Client::Command Client::kCommands[] = {
    {kEnter, "", 0, kAny, nullptr},  // nothing; also what a cancelled menu yields
    {'L', "FTAJUD01", 1, kAny,
     [](Client& c) {
       c.st_.inSession = c.commands().Login();
       if (c.st_.inSession) c.st_.loggedIn = true;
     }},
    {'R', "FTAJUD03", 2, kLogin, [](Client& c) { c.commands().ReceiveFile(); }},
    {'T', "FTAJUD04", 3, kLogin, [](Client& c) { c.commands().SendFile(); }},
    {'Q', "FTAJUD07", 4, kAny, [](Client& c) { c.commands().AnnounceTransferred(); }},
    {'D', "FTAJUD02", 5, kLogin, [](Client& c) { c.commands().ListRemoteDirectory(); }},
    {'A', "FTAJUD05", 6, kLogin, [](Client& c) { c.commands().DeleteRemoteFile(); }},
    {'I', "FTAJUD8C", 7, kLogin, [](Client& c) { c.commands().SayCurrentDirectory(); }},
    {'S', "FTAJUD06", 8, kLogin, [](Client& c) { c.commands().ShowAndChangeDirectory(); }},
    {'C', "FTAJUD8D", 9, kLogin, [](Client& c) { c.commands().MakeRemoteDirectory(); }},
    {'M', "FTAJUD8E", 10, kLogin, [](Client& c) { c.commands().RenameRemote(); }},
    {'X', "FTAJUD8F", 11, kLogin, [](Client& c) { c.commands().RemoveRemoteDirectory(); }},
    {'E', "FTAJUD8G", 12, kAny, [](Client& c) { c.commands().ChangeLocalDirectory(); }},
    {'V', "FTAJUD08", 13, kAny,
     [](Client& c) {
       c.st_.verbose = !c.st_.verbose;
       c.msg_.Announce(c.st_.verbose ? "FTVERBO" : "FTNAOVRB", 1);
     }},
    {'P', "FTAJUD8A", 14, kAny, [](Client& c) { c.commands().TogglePassive(); }},
    {'/', "FTAJUD8B", 15, kAny, [](Client& c) { c.commands().RawCommand(); }},
    {'?', "FTAJUD09", 16, kAny, [](Client& c) { c.SpeakHelpList(); }},
    {kEscape, "FTAJUD10", 17, kAny, [](Client& c) { c.quit(); }},
};

const Client::Command* Client::findCommand(uint8_t key) {
  for (const Command& c : kCommands)
    if (c.key == key) return &c;
  return nullptr;
}

const Client::Command* Client::menuCommand(int position) {
  if (position < 1) return nullptr;
  for (const Command& c : kCommands)
    if (c.menuPosition == position) return &c;
  return nullptr;
}

uint8_t HelpMenuCharacter(int position) {
  const Client::Command* c = Client::menuCommand(position);
  return c ? qr::asciiLower(c->key) : kEnter;
}

Client::Client(Tela& ui, std::optional<std::string> host, FileDialogs* dialogs)
    : ui_(ui),
      hostArgument_(std::move(host)),
      msg_(ui),
      rede_(st_, ui),
      dlg_(st_, ui, msg_, rede_),
      tls_(st_, ui, msg_, dlg_, rede_),
      login_(st_, ui, msg_, dlg_),
      port_(st_, dlg_, rede_),
      plainDialogs_(ui),
      transfer_(st_, ui, msg_, dlg_, rede_, port_),
      browse_(ui, msg_, dialogs ? *dialogs : plainDialogs_),
      tree_(st_, ui, msg_, transfer_.files()),
      sites_(st_, ui, msg_),
      activeDialogs_(dialogs),
      ftpKeys_(std::make_unique<FtpKeys>(*this)),
      commands_(std::make_unique<RemoteCommands>(st_, ui_, msg_, transfer_.files(),
                                                 dialogs ? *dialogs : plainDialogs_, browse_)) {
  commands_->offerFolders(tree_);
  commands_->offerProtocolKeys(*ftpKeys_);
  FtpFiles& files = transfer_.files();
  files.connectSession = [this] { return connect() && awaitGreeting() && tls_.Secure(); };
  files.loginSession = [this] { return login_.Login(); };
  files.quitSession = [this] {
    // The server closing the connection after QUIT is no loss, and a
    // server that never answers it does not keep the user waiting.
    dlg_.expectClose();
    if (dlg_.SendCommand("QUIT")) (void)dlg_.awaitReply({.boundMs = kQuitWaitMs});
  };
  files.newsSession = [this] {
    if (rede_.PollEvent() != REDE) return false;
    serveUnsolicitedReplies();
    return true;
  };
}

Client::~Client() = default;

PromptCommands& Client::commands() {
  return *commands_;
}

void Client::useKeyring(qr::Keyring* keyring) {
  sites_.setKeyring(keyring);
  login_.storedPassword = [this](const std::string& account) {
    return sites_.storedPassword(account);
  };
}

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
  if (!sayWhatCannotSpeak()) {
    st_.exitCode = kExitNoSpeech;
    return false;
  }
  for (const qr::Told& line : ui_.configNotice()) ui_.writeLineSaying(line.written, line.said);
  sayNotices();

  st_.running = true;
  st_.noPrompt = false;
  st_.listening = false;
  st_.dataOpen = false;
  st_.transferBytes = 0;
  st_.verbose = false;
  dlg_.clearQueue();

  // A saved site's name stands for its host; Down at the question offers
  // the saved sites and the last hosts.
  std::optional<std::string> given;
  if (hostArgument_) given = sites_.resolve(*hostArgument_);

  st_.listingFileName = makeListingFile();

  st_.remoteName = given ? *given : sites_.askHost();
  st_.offeredAccount = sites_.account();
  // The data connection's mode is said once the computer is known (given,
  // typed or chosen), except for an SFTP address: SFTP has no such mode. A
  // site's own mode is said the same way.
  const std::string passivo = ui_.setting("PASSIVO");
  st_.passive = !passivo.empty() && passivo[0] == 'N';
  if (!st_.remoteName.empty() && ParseHost(st_.remoteName).scheme != "sftp") {
    togglePassive();
    if (const std::optional<bool> passive = sites_.passive(); passive && *passive != st_.passive)
      togglePassive();
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
  msg_.Announce(kHelpHeading, 1);
  for (const Command& c : kCommands)
    if (!c.help.empty()) msg_.Announce(c.help, 1);
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
  for (int position = 1; const Command* c = menuCommand(position); ++position)
    items.push_back({std::string(c->help), MessageText(c->help)});
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

bool Client::sayWhatCannotSpeak() {
  const SpeechStartReport report = ui_.speechStartReport();
  if (report.problems.empty()) return true;
  // The message has a recording, heard without the synthesiser; the file
  // and key to mend are written.
  ui_.setForeground(4);
  msg_.Announce("FTSEMSIN", 1);
  for (const std::string& line : report.problems) {
    ui_.write(line);
    ui_.endLine();
  }
  ui_.setForeground(15);
  if (report.systemVoice || ui_.soundExists("FTSEMSIN")) return true;
  // Nobody would hear a word: the screen holds the reason until a key.
  (void)ui_.readKey();
  return false;
}

void Client::sayNotices() {
  for (const std::string& notice : ui_.takeNotices())
    ui_.writeLineSaying(notice, qr::saidForm(notice));
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

RemoteFiles& Client::remote() {
  if (remote_) return *remote_;
  return transfer_.files();
}

void Client::quit() {
  st_.noPrompt = true;
  remote().Quit();
  st_.running = false;
}

void Client::runCommandCharacter(uint8_t ch) {
  const Command* c = findCommand(qr::asciiUpper(ch));
  if (!c) {
    msg_.Announce("FTERRCMD", 1);
  } else if (c->needsLogin && !st_.inSession) {
    // Sent unlogged, its refusal would be heard as another failure.
    msg_.Announce("FTNAOENT", 1);
  } else if (c->run) {
    c->run(*this);
  }
}

void Client::RunCommand() {
  st_.noPrompt = false;
  uint8_t ch = ui_.readKeySpoken();
  uint8_t code = 0;
  if (ch == 0) {
    code = ui_.readKey();
    // Alt with Q, W or E: the key after it is the command.
    if (code == qr::ext::kAltQ || code == qr::ext::kAltW || code == qr::ext::kAltE) {
      ch = ui_.readKey();
      if (ch == 0) code = ui_.readKey();  // an extended key after Alt: its code
    }
  }
  if (ch == 0) {
    if (code == qr::ext::kUp || code == qr::ext::kDown) {
      ch = HelpMenu();
    } else if (code == qr::ext::kF1) {
      SpeakHelpList();
      return;
    }
  }
  if (ch >= 32) ui_.write(std::string(1, static_cast<char>(ch)));
  ui_.endLine();
  runCommandCharacter(ch);
  while (dlg_.hasLines()) {
    (void)dlg_.awaitReply();
    if (dlg_.closed() || dlg_.interrupted()) break;
  }
}

// Lines nobody asked for. A 226 here ends no transfer of ours (only the
// final reply of the transfer in progress can), so it is heard as any line.
void Client::serveUnsolicitedReplies() {
  dlg_.ReceiveControlData();
  // A reply owed to a command the user stopped waiting for is that
  // command's, taken whole when it is.
  if (!dlg_.takeLateReplies()) return;
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
  const Reply r = dlg_.awaitReply();
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

void Client::togglePassive() {
  msg_.Announce(port_.TogglePassive() ? "FTPPASSI" : "FTPNPASS", 1);
}

bool Client::connect() {
  ui_.endLine();
  msg_.Announce("FTCONEC", 1);
  ui_.write("Soquetes POSIX, TCP sobre IPv6 e IPv4");
  ui_.endLine();
  ui_.write("Em funcionamento");
  ui_.endLine();
  const NetResult r = rede_.OpenControlConnection();
  if (!r.ok()) {
    dlg_.sayNetFailure(r);
    return false;
  }
  // The report, written only: the network address, the local port, the
  // local name with the address the server reached us on.
  msg_.WriteLabel("FTENDRED", 0);
  ui_.write(rede_.serverAddressText());
  ui_.endLine();
  msg_.WriteLabel("FTPOLOC", 0);
  ui_.write(std::to_string(rede_.localPort()));
  ui_.endLine();
  msg_.WriteLabel("FTNOMELO", 0);
  ui_.write(Rede::localHostName() + " (" + rede_.localAddressText() + ")");
  ui_.endLine();
  ui_.endLine();
  return true;
}

void Client::commandLoop() {
  prompt();
  while (st_.running) {
    if (ui_.keyPending()) {
      RunCommand();
      if (!st_.noPrompt && st_.running) prompt();
    }
    if (!st_.running) break;
    if (remote().serveNews()) continue;
    if (!ui_.keyPending()) rede_.waitIdle(kIdleWaitMs);
  }
}

bool Client::openRemote() {
  if (st_.remoteScheme != "sftp") return true;  // FTP's, made with the client
  if (!sftpFactory_) {
    ui_.errorBeep();
    msg_.Announce("FTSSHBIB", 1);
    return false;
  }
  remote_ = sftpFactory_(
      st_, ui_, msg_, rede_, [this] { return connect(); }, dlg_.replyInactivityTimeoutMs());
  commands_ = std::make_unique<RemoteCommands>(
      st_, ui_, msg_, *remote_, activeDialogs_ ? *activeDialogs_ : plainDialogs_, browse_);
  // Folders and marked sets walk over the same interface.
  tree_.useRemote(remote_.get());
  commands_->offerFolders(tree_);
  return true;
}

void Client::Run() {
  st_.exitCode = kExitNormal;
  if (!InitializeClient()) EndProgram();
  st_.exitCode = kExitNoConnection;
  // The connection, its greeting, encryption or host key, and the login.
  if (!openRemote() || !remote().Connect()) {
    rede_.CloseConnections();
    EndProgram();
  }
  st_.loggedIn = remote().Login();
  st_.inSession = st_.loggedIn;
  if (st_.loggedIn) {
    sites_.afterLogin(remote());
    // Only a password typed at FTP's login is offered to the keyring: the
    // SFTP password is never kept.
    sites_.offerKeyring(login_.typedPassword());
  }
  commandLoop();
  rede_.CloseConnections();
  st_.exitCode = st_.loggedIn ? kExitNormal : kExitNoLogin;
  EndProgram();
}

}  // namespace ftp
