// ftpDir: the remote directory commands without a data connection: change
// (CWD, CDUP), tell and change (PWD, key S), create (MKD, key C), and the
// browser's deletion after a yes/no question. The listing and its browser
// will join this module.
#pragma once

#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Arq;
struct RemoteName;

// The path of a 257 reply: after the first double quote, up to the one
// that closes it; a quote inside the name is written twice (RFC 959
// appendix II) and is one quote of the path.
[[nodiscard]] std::string QuotedPath(std::string_view line);
[[nodiscard]] bool ChangeSucceeded(int code);

class Dir {
 public:
  Dir(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Arq& arq)
      : st_(state), ui_(ui), msg_(msg), dlg_(dlg), arq_(arq) {}

  // True when the file was deleted.
  [[nodiscard]] bool ConfirmAndDelete(const RemoteName& name);
  [[nodiscard]] bool ChangeRemoteDirectory(const RemoteName& name);
  void ShowAndChangeDirectory();
  void MakeRemoteDirectory();
  // Key M: a remote file or directory renamed, both names asked.
  void RenameRemote();
  // Key X: an empty remote directory removed, its name asked.
  void RemoveRemoteDirectory();

 private:
  // The reply to CWD or CDUP, said; true when the directory changed.
  [[nodiscard]] bool judgeChange();
  // A name asked after key's question; empty (said) when given up or unusable.
  [[nodiscard]] RemoteName askName(std::string_view key);
  // The server's refusal: key in red, then its line.
  void sayRefused(std::string_view key, const std::string& line);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Arq& arq_;
};

}  // namespace ftp
