// ftpArq, the transfers' FTP side and what every transfer begins with. The
// beginnings shared by both protocols: the names asked for a receive and
// the file chosen for a send, the local target and its replace question,
// the yes-or-no question, the outcome and the sentences of local errors.
// FTP's own: TYPE, the data path (passive or active) and ABOR. The receive and the send themselves
// are RemoteTransfers (ftpRemoteCmds), over ftpFiles for FTP.
//
// Local names are Windows-1252 inside the program and UTF-8 on disk. A
// receive writes into a new file beside the target, created exclusively
// (never through a symbolic link), and puts it in the target's place only
// when the judge finds it complete; what arrived of a failed one is kept as
// "<target>.part", marked with the server's size and time of the whole
// file (extended attributes), and a later receive goes on from it only
// while the server's file is still the one begun.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpFiles.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPump.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;
class Port;
struct RemoteName;
struct Reply;

// What the transfers and the browser need of the console beyond Tela: the
// local file picker, the line editor's read-only use, the clipboard.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Reserves rows lines below the cursor and runs the local file picker
  // there; empty when the user gave up.
  [[nodiscard]] virtual std::string chooseLocalFile(int rows) = 0;
  // The entries marked in the last picker that ended with Enter on marks
  // (Windows-1252 paths), emptied by the call; none where nothing marks.
  [[nodiscard]] virtual std::vector<std::string> takeMarkedLocal() { return {}; }
  // Opens the line editor, read-only, on text at column 1 of the cursor's
  // row. Returns the key that ended it; extended tells whether that is the
  // code of a two-byte key.
  [[nodiscard]] virtual uint8_t reviewLine(std::string_view text, bool& extended) = 0;
  virtual void putClipboard(std::string_view text) = 0;
};

// The dialogs over Tela alone, where no console is at hand: the local name
// read as a line, the listing line's review ended by the next key, the
// clipboard only logged.
class PlainFileDialogs : public FileDialogs {
 public:
  explicit PlainFileDialogs(Tela& ui) : ui_(ui) {}
  [[nodiscard]] std::string chooseLocalFile(int rows) override;
  [[nodiscard]] uint8_t reviewLine(std::string_view text, bool& extended) override;
  void putClipboard(std::string_view text) override;

 private:
  Tela& ui_;
};

// "NAVIRO host" while idle; "NAVIRO host NK" during a transfer.
[[nodiscard]] std::string IdleCaption(std::string_view remoteName);
[[nodiscard]] std::string TransferCaption(std::string_view remoteName, int64_t bytes);
// The last "/"-separated component of a name that came from the server;
// empty when that component cannot name a file of its own ("", ".", "..").
[[nodiscard]] std::string SafeLocalName(std::string_view remoteName);
// The remote name a send assumes from a local path: after its last "/".
[[nodiscard]] std::string RemoteNameFromLocal(std::string_view localPath);
// The file where a receive writes, and where a partial receive is kept.
[[nodiscard]] std::string PartialName(std::string_view target);
// A short Portuguese reason for an errno value (Windows-1252).
[[nodiscard]] std::string SystemReason(int error);
// RFC 959 section 4.2: 125/150 open the transfer.
[[nodiscard]] constexpr bool TransferStarts(int code) {
  return code == 125 || code == 150;
}
// 226/250 close it well.
[[nodiscard]] constexpr bool TransferCompleted(int code) {
  return ServerEndOf(code) == ServerEnd::Completed;
}

class Milestones;

// What a transfer says, whichever protocol moves it.
// A yes-or-no question, written whole and spoken without its question
// mark, then "S/N"; true for S.
[[nodiscard]] bool AskYesNo(Tela& ui, Messages& msg, const std::string& question);
// The same question; the key that answered it (S or s is yes).
[[nodiscard]] uint8_t AskYesNoKey(Tela& ui, Messages& msg, const std::string& question);
// Why a .part is not gone on with (nothing for GoOn).
void SayResumeCheck(Tela& ui, ResumeCheck check);
// The outcome of a completed transfer, after its message: written whole,
// said short; heard is the name the user typed or heard for the file.
void SayOutcome(Tela& ui, std::string_view name, std::string_view heard, int64_t bytes,
                std::chrono::steady_clock::time_point began);
// The file where what arrived was kept, written whole and its name spoken
// (nothing when it is not there).
void SayKept(Tela& ui, Messages& msg, const std::string& kept);
// A local error in red after the error beep: the sentence of key and the
// system's reason.
void SayLocalError(Tela& ui, Messages& msg, std::string_view key, int error);
// Whether the milestones are said (MARCOS of section NAVIRO, yes unless N).
[[nodiscard]] bool MilestonesWanted(Tela& ui);

// The start of a receive, whichever protocol moves it: its heading, the
// remote name (asked unless given) and the local one, which is the remote
// name's last component when none is typed. False when no remote name was
// typed or that component cannot name a file (beeped).
[[nodiscard]] bool AskReceiveNames(Tela& ui, Messages& msg, RemoteName& remote,
                                   std::string& local);

// Where a receive writes (target: the local name in UTF-8). An existing
// file is replaced only when the user says so at "Substituir?" (S): it is
// the one loss the user cannot undo. Another key asks another name; Enter
// or ESC at the question, or an empty name, gives up (said). False when
// given up or when the name cannot be written (said).
[[nodiscard]] bool ChooseReceiveTarget(Tela& ui, Messages& msg, std::string& local,
                                       std::string& target);

// Where a send hands over what is not one file; an unset one takes nothing.
struct SendHandOffs {
  std::function<void(const std::string& local)> folder;
  std::function<void(const std::string& pattern)> matching;
  std::function<void(const std::vector<std::string>& paths)> marked;
};
// What the start of a send chose: the local file, open for reading (the
// caller closes it), its size, and the remote name (typed, or the local
// name's last component).
struct SendChoice {
  int fd = -1;  // -1: nothing more to do (said)
  std::string local;
  int64_t size = 0;
  std::string remote;
};
// The start of a send, whichever protocol moves it: its heading, the local
// file chosen in the picker and the remote name. Marked entries, a "*" or
// "?" pattern and a directory go to their hand-off instead.
[[nodiscard]] SendChoice AskSendFile(Tela& ui, Messages& msg, FileDialogs& dialogs,
                                     const SendHandOffs& handOffs);

class Transfer {
 public:
  Transfer(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede, Port& port);
  ~Transfer();

  // The remote computer over this dialogue, the transfers' own.
  [[nodiscard]] FtpFiles& files() { return files_; }

  // TYPE and its reply; false (said) when it was refused or not answered.
  [[nodiscard]] bool SelectType(char type);

  // Opens the data path in the current mode and says what failed: in
  // passive mode EPSV first (PASV when the server does not know it, refuses
  // it, or names a port nothing answers on), then the connection; in active
  // mode the listening socket, then PORT. Shared with the directory listing.
  [[nodiscard]] DataPathOpen openDataPath(bool portMustSucceed);
  // Ends the transfer in progress: the data connection closed first (reset
  // for an upload, so the server cannot take it for a whole file), then
  // ABOR and its replies, each waited for a few seconds at most, so that
  // the next command gets its own reply.
  void abortTransfer(bool upload);
  // The data connection broke ("FTCOMCAI"), or its peer was not the
  // server ("FTDADCER": the transfer is then aborted); the final reply is
  // taken unless it came (finalCame).
  void announceDataBroken(bool upload, bool finalCame);
  // The server never opened the data connection: said in red.
  void announceNeverConnected();

 private:
  // An error line in red after the error beep.
  void announceError(std::string_view key);
  void announceErrorText(const std::string& text);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
  Port& port_;
  // The file transfers' protocol work: facts, data path, REST, the
  // transfer command, the data loop and ABOR.
  FtpFiles files_;
};

}  // namespace ftp
