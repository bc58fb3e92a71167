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
#include <string>
#include <string_view>

#include "ftp/ftpRemote.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;
class Transfer;
struct Reply;
struct Pumped;

// DELE succeeded (RFC 959 section 4.2: 250, and the 1xx preliminary codes
// some servers give).
[[nodiscard]] bool DeleteSucceeded(int code);

// How a refused reply reads: 550 names a missing file unless its words say
// the user may not (FTP has one code for both); 530/532 deny; any other is
// a refusal.
[[nodiscard]] RemoteStatus StatusOfRefusal(int code, std::string_view line);

class FtpFiles : public RemoteFiles {
 public:
  FtpFiles(Tela& ui, Messages& msg, Dlg& dlg) : ui_(ui), msg_(msg), dlg_(dlg) {}

  // The transfers and the listing need the data path and the data loop:
  // until this is called they are refused.
  void useTransfers(ClientState& state, Rede& rede, Transfer& transfer);

  // What only FTP has, held here and never asked through the interface:
  // the TYPE a transfer is made in ('I' binary, 'A' text), chosen by the
  // FTP commands' own question; passive or active mode is the client
  // state's, as for every data connection.
  char transferType = 'I';
  // The session: the connection with its greeting and encryption, the
  // login and the polite end, as the program body does them.
  std::function<bool()> connectSession;
  std::function<bool()> loginSession;
  std::function<void()> quitSession;

  [[nodiscard]] bool Connect() override;
  [[nodiscard]] bool Login() override;
  void Quit() override;

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
  // MLST when the server lists it in FEAT, else SIZE (in binary type) and
  // MDTM: a name SIZE does not know is taken as not found.
  [[nodiscard]] RemoteResult stat(const RemoteName& name, RemoteEntry& entry) override;
  // MLSD when the server knows it, else LIST (450 is an empty directory).
  // A LIST line's time is the server's local time, and not told.
  [[nodiscard]] RemoteResult list(std::vector<RemoteEntry>& entries) override;
  // In the transfer type; an offset is asked with REST (a send goes on
  // with APPE when REST is refused). A refused REST on a receive is a
  // refusal: the caller decides whether to begin again.
  [[nodiscard]] RemoteResult receive(const RemoteName& file, int fd, int64_t offset,
                                     TransferWatch& watch, TransferTally& facts) override;
  [[nodiscard]] RemoteResult send(int fd, int64_t offset, const RemoteName& file,
                                  TransferWatch& watch, TransferTally& facts) override;

 private:
  // Whether the transfers were given their data path; else the refusal.
  [[nodiscard]] bool canMoveData(RemoteResult& refusal) const;
  // TYPE and its reply; false (said) when refused or unanswered.
  [[nodiscard]] bool selectType(char type);
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
  // failed transfer is aborted first.
  [[nodiscard]] RemoteResult judgePumped(const Pumped& p, bool upload);

  // Sends the command and takes its whole reply; false, with the result of
  // a command that went unanswered, when there is none.
  [[nodiscard]] bool ask(std::string_view verb, std::string_view wire, Reply& reply,
                         RemoteResult& unanswered);
  // The reply to CWD or CDUP.
  [[nodiscard]] RemoteResult judgeChange();

  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  ClientState* st_ = nullptr;
  Rede* rede_ = nullptr;
  Transfer* transfer_ = nullptr;
};

}  // namespace ftp
