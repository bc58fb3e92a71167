// ftpArq: remote files. Deleting a remote file by its typed name (key A).
// The transfers will join this module.
#pragma once

#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
struct RemoteName;

// DELE succeeded (RFC 959 section 4.2: 250, and the 1xx preliminary codes
// some servers give).
[[nodiscard]] bool DeleteSucceeded(int code);

class Arq {
 public:
  Arq(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg)
      : st_(state), ui_(ui), msg_(msg), dlg_(dlg) {}

  void DeleteRemoteFile();
  // Sends DELE and tells the outcome; shared with the browser's deletion.
  // True when the file is gone.
  [[nodiscard]] bool deleteNamed(const RemoteName& name);

 private:
  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
};

}  // namespace ftp
