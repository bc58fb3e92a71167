// ftpRemoteCmds: the prompt's commands over the remote computer interface
// (ftpRemote), whichever protocol is behind it: receive (R), send (T),
// delete (A), the current directory (I), its change (S), a new directory
// (C) and the listing (D). Each asks what the FTP commands ask, with the
// same sentences, and says what came of it; no protocol word is said.
//
// The transfers take the same decisions as FTP's (ftpPlan) and are judged
// by the same judge (ftpJudge): a receive writes into "<target>.part",
// marked with the remote file's size and time, put in the target's place
// only when the judge finds it complete; what arrived of a failed one is
// kept as the .part and said, and a later receive may go on from its end
// while the remote file is still the one begun. A send may go on from the
// end of a shorter remote file. Transfers are binary: the protocols behind
// this interface move files byte for byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpBrowse.h"
#include "ftp/ftpRemote.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class FileDialogs;
struct PartMark;
enum class ResumeCheck;
enum class RemoteStatus;

// The sentence key of a refused operation's status; empty when the status
// was said where it happened (a lost connection) or is not a refusal.
[[nodiscard]] std::string_view RefusalKey(RemoteStatus status, std::string_view fallback);

// A listing's time as the browser says it: "YYYYMMDDHHMMSS" in UTC to
// YYYYMMDDhhmm in this computer's time; -1 when it is not such a time.
[[nodiscard]] int64_t ListingTime(std::string_view utc);
// The browser's table of a listing: exact names, the listing's lines.
[[nodiscard]] std::vector<ListingEntry> RemoteListingTable(const std::vector<RemoteEntry>& entries);

class RemoteCommands {
 public:
  // The listing is walked with browse, the FTP listing's browser.
  RemoteCommands(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote,
                 FileDialogs& dialogs, Browse& browse);

  void ReceiveFile();
  void ReceiveFile(const RemoteName& remote);
  void SendFile();
  void DeleteRemoteFile();
  void SayCurrentDirectory();
  void ShowAndChangeDirectory();
  void MakeRemoteDirectory();
  // The listing, walked with the browser's keys, search and orders (as
  // FTP's): R receives the entry, T enters a directory, V goes up, A
  // deletes, D tells the size and time, ESC leaves.
  void ListRemoteDirectory();

 private:
  void sayRefusal(const RemoteResult& r, std::string_view key);
  [[nodiscard]] bool changeTo(const RemoteName& dir);
  [[nodiscard]] bool deleteNamed(const RemoteName& name, bool confirm);
  class Actions;

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  RemoteFiles& remote_;
  FileDialogs& dialogs_;
  Browse& browse_;
};

}  // namespace ftp
