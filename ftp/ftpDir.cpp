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

RemoteName Dir::askName(std::string_view key) {
  msg_.Announce(key, 0);
  const RemoteName name = RemoteName::typed(ui_.readLineSpoken());
  if (name.text.empty()) {
    msg_.Announce("FTDESIS", 1);
    return {};
  }
  if (!SafeInCommand(name.wire)) {
    ui_.errorBeep();
    msg_.Announce("FTNOMINV", 1);
    return {};
  }
  return name;
}

void Dir::sayRefused(std::string_view key, const std::string& line) {
  ui_.errorBeep();
  ui_.setForeground(4);
  msg_.Announce(key, 1);
  ui_.setForeground(15);
  ui_.writeLineSpoken(line);
}

void Dir::RenameRemote() {
  const RemoteName from = askName("FTNOMATU");
  if (from.wire.empty()) return;
  const RemoteName to = askName("FTNOVNOM");
  if (to.wire.empty()) return;
  // RFC 959 section 4.1.3: RNFR is answered 350 (pending), then RNTO
  // does the renaming, answered 250.
  if (!dlg_.SendCommand("RNFR ", from.wire)) return;
  Reply r = dlg_.awaitReply();
  if (!r.complete) return;
  if (r.code != 350) {
    sayRefused("FTNAOREN", r.line);
    return;
  }
  if (!dlg_.SendCommand("RNTO ", to.wire)) return;
  r = dlg_.awaitReply();
  if (!r.complete) return;
  if (r.code / 100 == 2)
    msg_.Announce("FTOK", 1);
  else
    sayRefused("FTNAOREN", r.line);
}

void Dir::RemoveRemoteDirectory() {
  const RemoteName dir = askName("FTQUERMD");
  if (dir.wire.empty()) return;
  if (!dlg_.SendCommand("RMD ", dir.wire)) return;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return;
  // RFC 959 section 4.2: 250 for RMD; some servers answer 200.
  if (r.code / 100 == 2)
    msg_.Announce("FTOK", 1);
  else
    sayRefused("FTNAORMD", r.line);
}

}  // namespace ftp
