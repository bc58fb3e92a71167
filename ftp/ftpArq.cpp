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

void Arq::deleteNamed(const RemoteName& name) {
  if (!dlg_.SendCommand("DELE ", name.wire)) return;
  msg_.Announce(DeleteSucceeded(dlg_.ReadReply()) ? "FTOKAPAG" : "FTNAOAPA", 1);
}

void Arq::DeleteRemoteFile() {
  msg_.Announce("FTAPAGA", 1);
  msg_.Announce("FTNOMAPA", 0);
  const std::string name = ui_.readLineSpoken();
  if (name.empty()) {
    msg_.Announce("FTDESIS", 1);
    return;
  }
  deleteNamed(RemoteName::typed(name));
}

}  // namespace ftp
