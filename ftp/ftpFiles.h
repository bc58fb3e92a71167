// ftpFiles: the remote computer over the FTP dialogue (ftpDlg), as the
// commands see it (ftpRemote): PWD, CWD and CDUP, MKD, RMD, DELE, RNFR and
// RNTO; the facts of a file (MLST, else SIZE and MDTM); the listing (MLSD,
// else LIST, through the listing parsers); and the transfers (RETR, STOR,
// APPE, REST for an offset) over the data path of the transfers (ftpTransfer:
// passive or active, TLS as the control connection has it) and the one data
// loop (ftpPump), with ABOR when one is stopped. Each reply is judged here
// and handed back as a result with the server's line. Every reply is written by the dialogue as
// it comes; what is said of it is the commands'. An ESC while the server is
// slow is said by the dialogue; a change of directory given up that way is
// decided by its late reply, said when it comes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/ftpDlg.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRemote.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;
class Transfer;
struct ListingEntry;

// How opening the data path went; each failure said already.
enum class DataPathOpen {
  Open,
  Refused,      // PASV or PORT refused (PORT only where it must be taken)
  Unreachable,  // nothing answered on the server's data port
  Failed,       // no socket, no local port
  Lost,         // the control connection is gone, or ESC
};

// Where the last transfer or listing of FtpFiles got to, and what the
// server said on the way, for the judgement of its outcome.
struct FtpTransferRecord {
  enum class Stage {
    Refused,   // the name cannot be sent, or the local file not placed
    Type,      // TYPE refused or unanswered
    DataPath,  // the data path did not open (path tells how)
    Rest,      // REST refused on a receive, or unanswered
    Command,   // RETR, STOR, APPE, LIST or MLSD not sent, unanswered or refused
    Pumped,    // the data moved (pumped tells how it ended)
  };
  Stage stage = Stage::Refused;
  DataPathOpen path = DataPathOpen::Open;
  bool commandSent = false;
  Reply started;  // the reply to the transfer command
  Pumped pumped;
};

// DELE succeeded (RFC 959 section 4.2: 250, and the 1xx preliminary codes
// some servers give).
[[nodiscard]] bool DeleteSucceeded(int code);

// How a refused reply reads: 550 names a missing file unless its words say
// the user may not (FTP has one code for both); 530/532 deny; any other is
// a refusal.
[[nodiscard]] RemoteStatus StatusOfRefusal(int code, std::string_view line);

// The entries of a listing's bytes, MLSD's (machine) or LIST's: each with
// its line as the server sent it and as shown, its name (LIST's read out of
// the line by the listing's rules) and what the line tells of it.
[[nodiscard]] std::vector<RemoteEntry> ListingEntries(std::string_view bytes, bool machine);

// An entry of either listing format as the interface has it: a LIST
// line's type from its first letter (a link, or anything but a file or a
// directory, is a link), its size from the line's fifth field and not
// exact; an MLSD line's from its facts (RFC 3659 section 7.5.1).
[[nodiscard]] RemoteEntry EntryOfListing(const ListingEntry& entry);

class FtpFiles : public RemoteFiles {
 public:
  FtpFiles(Tela& ui, Messages& msg, Dlg& dlg) : ui_(ui), msg_(msg), dlg_(dlg) {}

  // The transfers and the listing need the data path and the data loop:
  // until this is called they are refused.
  void useTransfers(ClientState& state, Rede& rede, Transfer& transfer);

  // TYPE type was just taken (the FTP commands sent it): the next
  // transfer or fact does not send it again. Forgotten by that transfer
  // and by a login.
  void typeTaken(char type) { typeTaken_ = type; }

  // Whether the listing is asked with MLSD (FEAT lists MLST or MLSD).
  [[nodiscard]] bool machineListing();
  // The session: the connection with its greeting and encryption, the
  // login and the polite end, as the program body does them.
  std::function<bool()> connectSession;
  std::function<bool()> loginSession;
  std::function<void()> quitSession;
  std::function<bool()> newsSession;

  [[nodiscard]] bool Connect() override;
  [[nodiscard]] bool Login() override;
  void Quit() override;
  [[nodiscard]] bool serveNews() override;

  [[nodiscard]] bool connected() const override;
  // No CR, LF or NUL: they would end the command line early.
  [[nodiscard]] bool nameUsable(const RemoteName& name) const override;

  // path: the quoted path of the 257 reply (its first line when it quotes
  // none); reason: the reply's text without its code.
  [[nodiscard]] RemoteResult currentDirectory(std::string& path) override;
  [[nodiscard]] RemoteResult changeDirectory(const RemoteName& dir) override;
  [[nodiscard]] RemoteResult changeToParent() override;
  [[nodiscard]] RemoteResult makeDirectory(const RemoteName& dir) override;
  [[nodiscard]] RemoteResult removeDirectory(const RemoteName& dir) override;
  [[nodiscard]] RemoteResult removeFile(const RemoteName& file) override;
  [[nodiscard]] RemoteResult rename(const RemoteName& from, const RemoteName& to) override;
  // TYPE A or TYPE I, sent at once (its refusal said).
  [[nodiscard]] bool offersTextMode() const override { return true; }
  [[nodiscard]] bool chooseTextMode(bool text) override;
  // Only MLST tells a missing file for certain: SIZE's 550 is also the
  // answer for what is no plain file, or what SIZE will not size.
  [[nodiscard]] bool statCertain() const override;
  // SIZE (in binary type) and, when it tells one, MDTM. A name SIZE does
  // not size is asked with MLST where FEAT lists it (a directory, or what
  // is missing or denied); else SIZE's refusal is the result.
  [[nodiscard]] RemoteResult stat(const RemoteName& name, RemoteEntry& entry) override;
  // SIZE alone (in binary type); bytes is empty when it does not tell. The
  // reason is the reply's text without its code, told or refused.
  [[nodiscard]] RemoteResult size(const RemoteName& name, std::optional<int64_t>& bytes) override;
  // MLSD when the server knows it, else LIST (450 is an empty directory).
  // A LIST line's time is the server's local time: not told as modified,
  // but as the line's time. A listing that began and broke off is Lost,
  // not said (what was said was of its cause).
  [[nodiscard]] RemoteResult list(std::vector<RemoteEntry>& entries) override;
  // The named directory's listing, the current directory left as it is:
  // PWD, CWD to it, its listing as list() asks it, and CWD back (LIST
  // takes no name safely: blanks, or a leading "-" read as an option).
  // Links are told as links.
  [[nodiscard]] RemoteResult listDirectory(const RemoteName& dir,
                                           std::vector<RemoteEntry>& entries) override;
  // Further logins with the same account, in passive mode only (a server
  // reached by active connections may well not reach us more than once);
  // names relative to the current directory of this connection.
  [[nodiscard]] std::unique_ptr<ParallelMover> parallelMover(size_t connections) override;
  // In the type chosen last; an offset is asked with REST (a send goes on
  // with APPE when REST is refused). A refused REST on a receive is a
  // refusal unless the watch starts the file over. The count a 150 reply
  // announces is told as the whole size.
  [[nodiscard]] RemoteResult receive(const RemoteName& file, int fd, int64_t offset,
                                     TransferWatch& watch, TransferTally& facts) override;
  [[nodiscard]] RemoteResult send(int fd, int64_t offset, const RemoteName& file,
                                  TransferWatch& watch, TransferTally& facts) override;

 private:
  // What every transfer does first: the name checked, a send's file placed
  // at offset (sendFd; -1 for a receive), the type, the data path.
  [[nodiscard]] bool beginTransfer(const RemoteName& file, int sendFd, int64_t offset,
                                   RemoteResult& failed);
  // Whether the transfers were given their data path; else the refusal.
  [[nodiscard]] bool canMoveData(RemoteResult& refusal) const;
  // TYPE and its reply, unless it was just taken; false (said) when
  // refused or unanswered.
  [[nodiscard]] bool selectType(char type);
  // TYPE I, unless it is the type taken: SIZE is of a binary transfer's
  // size (RFC 3659 section 4), and servers refuse it in type A. False, with
  // the result, when unanswered.
  [[nodiscard]] bool binaryForSize(RemoteResult& unanswered);
  // The reply to SIZE; false, with the result, when there is none.
  [[nodiscard]] bool askSize(const RemoteName& name, Reply& reply, RemoteResult& unanswered);
  // REST offset answered 350.
  [[nodiscard]] bool restartAt(int64_t offset);
  // The data path opened; else what came of it (said).
  [[nodiscard]] bool openData(bool mustSucceed, RemoteResult& failed);
  // The transfer command sent and answered 125/150; else the result (the
  // data path closed).
  [[nodiscard]] bool startTransfer(std::string_view verb, std::string_view wire, Reply& started,
                                   RemoteResult& failed);
  // The data of a started transfer moved, the watch told after each pass.
  [[nodiscard]] Pumped pumpWatched(bool upload, int fd, int64_t offset, TransferWatch& watch);
  // The pumped data and the server's last word as a result; a stopped or
  // failed transfer is aborted first (the watch told), a broken one said
  // (after the error beep when beep).
  [[nodiscard]] RemoteResult judgePumped(const Pumped& p, bool upload, bool beep,
                                         TransferWatch* watch = nullptr);
  // A transfer that did not begin: a data path or a command that failed
  // on this side while the connection lives is left for the commands to
  // say as a refusal.
  [[nodiscard]] RemoteResult unbegun(RemoteResult failed) const;
  // The time of a file as MDTM tells it (as MLST's modify fact where MDTM
  // is unknown and FEAT lists MLST), "YYYYMMDDHHMMSS"; empty when not told.
  [[nodiscard]] std::string modified(const RemoteName& name);
  // The current directory's listing as the server sent it, into fd; how it
  // went is in record_ (the final reply in its pumped.final).
  [[nodiscard]] RemoteResult listInto(int fd);
  // What a listing that went wrong comes to (the reply 450 to LIST is an
  // empty directory).
  [[nodiscard]] RemoteResult listingFailure(const RemoteResult& failed, bool machine);
  // Sends the command and takes its whole reply; false, with the result of
  // a command that went unanswered, when there is none.
  [[nodiscard]] bool ask(std::string_view verb, std::string_view wire, Reply& reply,
                         RemoteResult& unanswered);
  // The reply to CWD or CDUP.
  [[nodiscard]] RemoteResult judgeChange();
  // The current directory's entries, links told (listDirectory's).
  [[nodiscard]] RemoteResult listHere(std::vector<RemoteEntry>& entries);
  // The current directory's listing as the server sent it, kept in memory;
  // here tells whether a failure was this computer's (no memory for it)
  // rather than the listing's.
  [[nodiscard]] RemoteResult listBytes(std::string& bytes, bool& here);

  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  ClientState* st_ = nullptr;
  Rede* rede_ = nullptr;
  Transfer* transfer_ = nullptr;
  char typeTaken_ = 0;
  char transferType_ = 'I';  // the TYPE of the transfers
  FtpTransferRecord record_;
};

}  // namespace ftp
