// ftpArq: deletion of a remote file.
#include "ftp/ftpArq.h"

#include <string>

#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

bool DeleteSucceeded(int code) {
  return code == 125 || code == 150 || code == 250;
}

bool Arq::deleteNamed(const RemoteName& name) {
  if (!dlg_.SendCommand("DELE ", name.wire)) return false;
  const bool gone = DeleteSucceeded(dlg_.ReadReply());
  msg_.Announce(gone ? "FTOKAPAG" : "FTNAOAPA", 1);
  return gone;
}

void Arq::DeleteRemoteFile() {
  msg_.Announce("FTAPAGA", 1);
  msg_.Announce("FTNOMAPA", 0);
  const std::string name = ui_.readLineSpoken();
  if (name.empty()) {
    msg_.Announce("FTDESIS", 1);
    return;
  }
  (void)deleteNamed(RemoteName::typed(name));
}

}  // namespace ftp
