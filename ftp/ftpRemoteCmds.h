// ftpRemoteCmds: the prompt's commands over the remote computer interface
// (ftpRemote), whichever protocol is behind it: receive (R), send (T),
// delete (A), the current directory (I), its change (S), a new directory
// (C), renaming (M), removing a directory (X) and the listing (D). Each
// asks what it needs, says what came of it, and no protocol word is said.
// The directory commands serve FTP and SFTP alike.
//
// The transfers (RemoteTransfers, one receive and one send for every
// protocol) take their decisions in ftpPlan and are judged by ftpJudge: a
// receive writes into "<target>.part", marked with the remote file's size
// and time, put in the target's place only when the judge finds it
// complete; what arrived of a failed one is kept as the .part and said, and
// a later receive may go on from its end while the remote file is still the
// one begun. A send may go on from the end of a shorter remote file. Where
// the remote computer offers a text mode the user is asked for it; a text
// transfer changes line ends, so it never goes on from an offset and its
// size is only told.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpBrowse.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpRemote.h"
#include "ftp/ftpTransfer.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class FileDialogs;
class Tree;
struct PartMark;
enum class ResumeCheck;
enum class RemoteStatus;

// How a transfer through the interface ended, as the judge takes it: how
// its data ended and the server's last word, as the protocol told them in
// the tally, else as the result reads.
struct RemoteEnding {
  DataEnd data = DataEnd::Ended;
  ServerEnd server = ServerEnd::None;
};
[[nodiscard]] RemoteEnding EndingOf(const RemoteResult& r, const TransferTally& tally);

// The sentence key of a refused operation's status; empty when the status
// was said where it happened (a lost connection) or is not a refusal.
[[nodiscard]] std::string_view RefusalKey(RemoteStatus status, std::string_view fallback);

// A listing's time as the browser says it: "YYYYMMDDHHMMSS" in UTC to
// YYYYMMDDhhmm in this computer's time; -1 when it is not such a time.
[[nodiscard]] int64_t ListingTime(std::string_view utc);
// The browser's table of a listing: the very table the listing parsers
// make of the server's lines where the entries came from lines (FTP's),
// else of exact names and the entries' own lines.
[[nodiscard]] std::vector<ListingEntry> RemoteListingTable(const std::vector<RemoteEntry>& entries);

// The prompt's commands, as the command table calls them, whichever
// protocol reaches the remote computer. What a protocol does not have is
// said to mean nothing there.
class PromptCommands {
 public:
  virtual ~PromptCommands() = default;
  // Key L; true when the login was accepted.
  [[nodiscard]] virtual bool Login() = 0;
  virtual void ReceiveFile() = 0;
  virtual void SendFile() = 0;
  virtual void ListRemoteDirectory() = 0;
  virtual void DeleteRemoteFile() = 0;
  virtual void SayCurrentDirectory() = 0;
  virtual void ShowAndChangeDirectory() = 0;
  virtual void MakeRemoteDirectory() = 0;
  virtual void RenameRemote() = 0;
  virtual void RemoveRemoteDirectory() = 0;
  virtual void TogglePassive() = 0;
  virtual void RawCommand() = 0;
  // Key E: the local directory; before a login too.
  virtual void ChangeLocalDirectory() = 0;
  // Key Q: the bytes of the last transfer; before a login too.
  virtual void AnnounceTransferred() = 0;
};

// The prompt's keys on this computer alone, the same over every protocol.
class LocalCommands {
 public:
  LocalCommands(ClientState& state, Tela& ui, Messages& msg, FileDialogs& dialogs)
      : st_(state), ui_(ui), msg_(msg), dialogs_(dialogs) {}
  // Key E: the local directory said, another chosen with the picker (a
  // file chosen stands for its directory) and said; nothing changes when
  // none is chosen or it cannot be entered (said with the system's
  // reason).
  void ChangeLocalDirectory();
  // Key Q: "Transmitidos N K", the bytes the last transfer moved (so far,
  // during one), in kilobytes rounded up.
  void AnnounceTransferred();

 private:
  void sayWhere();

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  FileDialogs& dialogs_;
};

// The commands on the remote directories, and the deletion of a file (A,
// I, S, C, M, X, and the browser's change of directory and deletion). A
// refusal is said by the command's own sentence in red, then the server's
// words.
class DirectoryCommands {
 public:
  DirectoryCommands(Tela& ui, Messages& msg, RemoteDirectories& remote)
      : ui_(ui), msg_(msg), remote_(remote) {}

  void DeleteRemoteFile();
  // Key I: the server's words about the current directory, else its path.
  void SayCurrentDirectory();
  // Key S: the path said, another asked (".." is the parent) and changed to.
  void ShowAndChangeDirectory();
  void MakeRemoteDirectory();
  // The old name, the new one, and the renaming.
  void RenameRemote();
  void RemoveRemoteDirectory();
  // True when the current directory is now the one named.
  [[nodiscard]] bool changeTo(const RemoteName& dir);
  // Asks first when confirm; true when the file is gone.
  [[nodiscard]] bool deleteNamed(const RemoteName& name, bool confirm);
  // What a failed operation of the sentence key means to the user; nothing
  // when it was said where it happened.
  void sayRefusal(const RemoteResult& r, std::string_view key);

 private:
  // A name typed after the sentence of key; empty (said) when none was or
  // the protocol cannot carry it.
  [[nodiscard]] RemoteName askName(std::string_view key, int level);
  void sayDone(const RemoteResult& r, std::string_view refusal);

  Tela& ui_;
  Messages& msg_;
  RemoteDirectories& remote_;
};

// The one receive (R) and the one send (T), over whichever protocol: what
// the protocol meets on the way reaches the user through the watch, and
// the end through the judge, in the same words for both.
class RemoteTransfers {
 public:
  RemoteTransfers(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote,
                  FileDialogs& dialogs)
      : st_(state), ui_(ui), msg_(msg), remote_(remote), dialogs_(dialogs) {}

  // An empty name is asked.
  void ReceiveFile(const RemoteName& remote);
  // What is not one file goes to its hand-off.
  void SendFile(const SendHandOffs& handOffs);

 private:
  // Binary or text, asked where the remote computer offers text and
  // chosen there; false when given up or refused (said).
  [[nodiscard]] bool chooseMode(bool& text);
  // A transfer refused before any data moved: why, then "Transferência
  // de arquivo foi recusada", then the server's words when no sentence of
  // ours names the case.
  void sayRefused(const RemoteResult& r);
  // The remote name is a directory: no file moves.
  void sayDirectory();
  // A transfer that did not finish, after what was said where it was
  // found.
  void sayUnfinished();
  // The server never opened the data connection: said in red, then that
  // the transfer did not finish.
  void sayNeverConnected();
  // The server failed the transfer after its data moved: said in red with
  // its words, unless said where it happened.
  void sayServerFailed(const RemoteResult& r);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  RemoteFiles& remote_;
  FileDialogs& dialogs_;
};

// The prompt's keys that mean something over one protocol only (passive
// mode, raw commands), offered by the protocol that has them.
class ProtocolKeys {
 public:
  virtual ~ProtocolKeys() = default;
  virtual void TogglePassive() = 0;
  virtual void RawCommand() = 0;
};

class RemoteCommands : public PromptCommands {
 public:
  // The listing is walked with browse, the listing's browser.
  RemoteCommands(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote,
                 FileDialogs& dialogs, Browse& browse);

  [[nodiscard]] bool Login() override;
  void ReceiveFile() override;
  void ReceiveFile(const RemoteName& remote);
  void SendFile() override;
  void DeleteRemoteFile() override { dirs_.DeleteRemoteFile(); }
  void SayCurrentDirectory() override { dirs_.SayCurrentDirectory(); }
  void ShowAndChangeDirectory() override { dirs_.ShowAndChangeDirectory(); }
  void MakeRemoteDirectory() override { dirs_.MakeRemoteDirectory(); }
  void RenameRemote() override { dirs_.RenameRemote(); }
  void RemoveRemoteDirectory() override { dirs_.RemoveRemoteDirectory(); }
  // Whole folders and marked sets (ftpTree, walking over this interface):
  // R on a directory of the browser, marks, T with a directory, a "*" or
  // "?" pattern, or entries marked in the local picker. Without them, the
  // browser's entries cannot be marked.
  void offerFolders(Tree& tree) { tree_ = &tree; }
  // Passive mode and raw commands, where the protocol has them; without,
  // they are said to mean nothing here.
  void offerProtocolKeys(ProtocolKeys& keys) { keys_ = &keys; }
  void TogglePassive() override;
  void RawCommand() override;
  void ChangeLocalDirectory() override { local_.ChangeLocalDirectory(); }
  void AnnounceTransferred() override { local_.AnnounceTransferred(); }
  // Key D: the listing, walked with the browser's keys, search and orders:
  // R receives the entry, T enters a directory, V goes up, A deletes, D
  // tells the size (the listing's, else asked) and time, ESC leaves. A
  // listing that failed is said: its request refused, broken off, stopped,
  // or no room for it; nothing more where the cause was said.
  void ListRemoteDirectory() override;

 private:
  class Actions;

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  RemoteFiles& remote_;
  FileDialogs& dialogs_;
  Browse& browse_;
  DirectoryCommands dirs_;
  RemoteTransfers transfers_;
  LocalCommands local_;
  Tree* tree_ = nullptr;
  ProtocolKeys* keys_ = nullptr;
};

}  // namespace ftp
