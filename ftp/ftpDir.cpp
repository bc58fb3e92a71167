// ftpDir: remote directory commands.
#include "ftp/ftpDir.h"

#include "ftp/ftpArq.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

std::string QuotedPath(std::string_view line) {
  const size_t open = line.find('"');
  if (open == std::string_view::npos) return {};
  std::string path;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] != '"') {
      path += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      path += '"';  // a quote of the name, doubled
      ++i;
    } else {
      break;
    }
  }
  return path;
}

bool ChangeSucceeded(int code) {
  return code == 250 || code == 200;
}

bool Dir::ConfirmAndDelete(const RemoteName& name) {
  if (name.wire.empty()) {
    ui_.errorBeep();
    return false;
  }
  ui_.endLine();
  msg_.Announce("FTCNFAPA", 0);
  ui_.writeSpoken(name.text + "?  ");
  msg_.Announce("FTSIMNAO", 0);
  const uint8_t key = ui_.readKey();
  if (key == 0) (void)ui_.readKey();  // the code of an extended key
  ui_.writeSpoken(std::string(1, static_cast<char>(key >= 32 ? key : ' ')));
  ui_.endLine();
  if (key != 'S' && key != 's') {
    msg_.Announce("FTDESIS", 2);
    return false;
  }
  return arq_.deleteNamed(name);
}

bool Dir::ChangeRemoteDirectory(const RemoteName& name) {
  if (name.wire.empty()) {
    ui_.errorBeep();
    return false;
  }
  if (!dlg_.SendCommand("CWD ", name.wire)) return false;
  return judgeChange();
}

// ESC while the server is slow leaves the change undecided: the reply that
// comes later decides, and the user hears it then.
bool Dir::judgeChange() {
  const Reply r = dlg_.awaitReply();
  if (!r.complete && dlg_.interrupted() && !dlg_.closed()) {
    dlg_.onLateReply([this](const Reply& late) {
      if (ui_.cursorColumn() != 1) ui_.endLine();
      msg_.Announce(ChangeSucceeded(late.code) ? "FTTROCOU" : "FTNAOTRO", 1);
    });
    return false;
  }
  const bool ok = r.complete && ChangeSucceeded(r.code);
  msg_.Announce(ok ? "FTOK" : "FTNAOTRO", 1);
  return ok;
}

void Dir::ShowAndChangeDirectory() {
  msg_.Announce("FTVERDIR", 1);
  if (!dlg_.SendCommand("PWD")) return;
  // The whole reply is read; the path is on its first line.
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return;
  if (ParseReplyCode(r.first).code == 257) {
    const std::string path = QuotedPath(r.first);
    ui_.waitSpeechEnd();
    ui_.delay(1000);
    ui_.speakText(path.empty() ? r.first : path);
  } else {
    msg_.Announce("FTNAODIR", 1);
  }
  msg_.Announce("FTQUEDIR", 1);
  const std::string answer = ui_.readLineSpoken();
  if (answer.empty()) {
    msg_.Announce("FTDESIS", 1);
    return;
  }
  // ".." goes up with CDUP (RFC 959 section 4.1.1), never as a CWD argument.
  if (!dlg_.SendCommand(answer == ".." ? std::string("CDUP") : "CWD " + answer)) return;
  (void)judgeChange();
}

void Dir::MakeRemoteDirectory() {
  msg_.Announce("FTQUESBD", 1);
  const std::string answer = ui_.readLineSpoken();
  if (answer.empty()) {
    msg_.Announce("FTDESIS", 1);
    return;
  }
  if (!dlg_.SendCommand(answer == ".." ? std::string("MKD") : "MKD " + answer)) return;
  msg_.Announce(dlg_.ReadReply() == 257 ? "FTOK" : "FTNCRIA", 1);
}

}  // namespace ftp
