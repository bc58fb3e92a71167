// naviro: the program body of the FTP client. Start-up, the greeting, the
// login, the command loop (one key, one command) and the one way the
// program ends. Owns the client state and every FTP module.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/ftpBrowse.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpLogin.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpRemote.h"
#include "ftp/ftpRemoteCmds.h"
#include "ftp/ftpSites.h"
#include "ftp/ftpTls.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpTree.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

class Tela;

inline constexpr const char* kClientVersion = "2.1";
inline constexpr uint16_t kControlPort = 21;

// Exit status of the process: a session that ended normally (or no computer
// named at all); the connection could not be made or the server refused its
// greeting; connected, but no login succeeded during the whole run; nothing
// can speak. (2 is a refused command line; the script console ends with 3
// and 124.)
inline constexpr int kExitNormal = 0;
inline constexpr int kExitNoConnection = 1;
inline constexpr int kExitNoLogin = 4;
// Nothing can speak: no synthesiser, no system voice, no recordings.
inline constexpr int kExitNoSpeech = 5;

// The name and port of a typed computer (ParseHost of ftpHost): "name:port",
// "[::1]:2121"; a name without a valid port is taken whole, with port 21.
void SplitHostPort(std::string_view typed, std::string& host, uint16_t& port);

// The command character of a help-menu position (1 to 14); 13 (Enter) when
// nothing was chosen. The last entry, "ESC fim do programa", ends the
// program as ESC does.
[[nodiscard]] uint8_t HelpMenuCharacter(int position);

// Makes the remote computer of another protocol (sftp://): given the
// client's state, screen, messages and socket layer, a way to open the
// connection and say how it went, and how long the server may be silent.
using RemoteFactory = std::function<std::unique_ptr<RemoteFiles>(
    ClientState&, Tela&, Messages&, Rede&, std::function<bool()> connect, int deadlineMs)>;

class Client {
 public:
  // host: the first command-line argument that is not an option, if any.
  // dialogs: the picker, line review and clipboard of the console; without
  // them the local name is read as a plain line.
  Client(Tela& ui, std::optional<std::string> host, FileDialogs* dialogs = nullptr);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // The system keyring, where passwords may be kept; without it they are
  // asked at every login.
  void useKeyring(qr::Keyring* keyring);

  // Makes sftp:// reachable; without it such a computer is refused.
  void offerSftp(RemoteFactory factory) { sftpFactory_ = std::move(factory); }

  [[nodiscard]] bool InitializeClient();
  void RunCommand();
  void SpeakHelpList();
  [[nodiscard]] uint8_t HelpMenu();
  [[noreturn]] void EndProgram();

  // The whole run: start-up, connection, greeting, login, command loop.
  [[noreturn]] void Run();

  [[nodiscard]] ClientState& state() { return st_; }
  [[nodiscard]] Dlg& dlg() { return dlg_; }
  [[nodiscard]] Rede& rede() { return rede_; }
  [[nodiscard]] Port& port() { return port_; }
  [[nodiscard]] Transfer& transfer() { return transfer_; }
  // Opens the control connection and says how it went (the report of its
  // addresses written only).
  [[nodiscard]] bool connect();

  // One command key of the prompt; the rows are in naviro.cpp.
  struct Command {
    uint8_t key;                  // the character typed, letters in upper case
    std::string_view help;        // its line of the help list and the menu; empty: none
    int menuPosition;             // its place in the help menu from 1; 0: not there
    bool needsLogin;              // refused with a word before an accepted login
    void (*run)(Client& client);  // what it does; nullptr: nothing
  };
  static const Command kCommands[];
  [[nodiscard]] static const Command* findCommand(uint8_t key);
  [[nodiscard]] static const Command* menuCommand(int position);

 private:
  void prompt();
  void sayNotices();
  // Says what of speech did not start; false when nothing can speak.
  [[nodiscard]] bool sayWhatCannotSpeak();
  void serveUnsolicitedReplies();
  [[nodiscard]] bool awaitGreeting();
  void runCommandCharacter(uint8_t ch);
  void rawCommand();
  void togglePassive();
  void quit();
  class FtpKeys;
  // The prompt's commands, the same for every protocol, over the remote
  // computer in use.
  [[nodiscard]] PromptCommands& commands();
  // The remote computer of another protocol (sftp://), with its commands;
  // false, said, when it cannot be reached from this program.
  [[nodiscard]] bool openRemote();
  // The remote computer: over the other protocol while there is one, else
  // over FTP.
  [[nodiscard]] RemoteFiles& remote();
  // One command per key until the run ends; between them, what the server
  // says unasked is heard.
  void commandLoop();

  Tela& ui_;
  std::optional<std::string> hostArgument_;
  ClientState st_;
  Messages msg_;
  Rede rede_;
  Dlg dlg_;
  Tls tls_;
  LoginDialog login_;
  Port port_;
  PlainFileDialogs plainDialogs_;
  Transfer transfer_;  // and the remote computer over FTP, its files()
  Browse browse_;
  Tree tree_;
  SiteKeeper sites_;
  FileDialogs* activeDialogs_;
  RemoteFactory sftpFactory_;
  // Another protocol's remote computer (sftp://), while there is one; else
  // the remote computer is FTP's, transfer_.files().
  std::unique_ptr<RemoteFiles> remote_;
  std::unique_ptr<FtpKeys> ftpKeys_;
  // Over FTP's remote computer (transfer_.files()) until another
  // protocol's is made.
  std::unique_ptr<RemoteCommands> commands_;
};

}  // namespace ftp
