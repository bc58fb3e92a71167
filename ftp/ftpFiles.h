// ftpFiles: the remote computer's directories over the FTP dialogue
// (ftpDlg), as the commands see them (ftpRemote): PWD, CWD and CDUP, MKD,
// RMD, DELE, RNFR and RNTO, each reply judged here and handed back as a
// result with the server's line. Every reply is written by the dialogue as
// it comes; what is said of it is the commands'. An ESC while the server is
// slow is said by the dialogue; a change of directory given up that way is
// decided by its late reply, said when it comes.
#pragma once

#include <string>
#include <string_view>

#include "ftp/ftpRemote.h"

namespace ftp {

class Tela;
class Messages;
class Dlg;
struct Reply;

// DELE succeeded (RFC 959 section 4.2: 250, and the 1xx preliminary codes
// some servers give).
[[nodiscard]] bool DeleteSucceeded(int code);

class FtpFiles : public RemoteDirectories {
 public:
  FtpFiles(Tela& ui, Messages& msg, Dlg& dlg) : ui_(ui), msg_(msg), dlg_(dlg) {}

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

 private:
  // Sends the command and takes its whole reply; false, with the result of
  // a command that went unanswered, when there is none.
  [[nodiscard]] bool ask(std::string_view verb, std::string_view wire, Reply& reply,
                         RemoteResult& unanswered);
  // The reply to CWD or CDUP.
  [[nodiscard]] RemoteResult judgeChange();

  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
};

}  // namespace ftp
