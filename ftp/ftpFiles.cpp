// ftpFiles: the remote directories over the FTP dialogue.
#include "ftp/ftpFiles.h"

#include "ftp/ftpDir.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"

namespace ftp {

namespace {

RemoteResult refused(const Reply& r) {
  return {RemoteStatus::Refused, r.line, 0, false};
}

// A reply line's text without its code.
std::string withoutCode(std::string_view line) {
  if (!line.empty() && line[0] >= '0' && line[0] <= '9')
    line.remove_prefix(std::min<size_t>(4, line.size()));
  return std::string(line);
}

}  // namespace

bool DeleteSucceeded(int code) {
  return code == 125 || code == 150 || code == 250;
}

bool FtpFiles::connected() const {
  return !dlg_.closed();
}

bool FtpFiles::nameUsable(const RemoteName& name) const {
  return SafeInCommand(name.wire);
}

bool FtpFiles::ask(std::string_view verb, std::string_view wire, Reply& reply,
                   RemoteResult& unanswered) {
  // Whatever went wrong was said where it happened: the dialogue says a
  // connection that broke, a send that failed and an ESC.
  if (!dlg_.SendCommand(verb, wire)) {
    unanswered = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
    return false;
  }
  reply = dlg_.awaitReply();
  if (reply.complete) return true;
  unanswered = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::GaveUp, {}, 0, true};
  return false;
}

RemoteResult FtpFiles::currentDirectory(std::string& path) {
  Reply r;
  RemoteResult unanswered;
  if (!ask("PWD", {}, r, unanswered)) return unanswered;
  if (ParseReplyCode(r.first).code != 257) return refused(r);
  path = QuotedPath(r.first);
  if (path.empty()) path = r.first;
  RemoteResult done;
  for (const std::string& line : r.lines) {
    if (!done.reason.empty()) done.reason += ' ';
    done.reason += withoutCode(line);
  }
  return done;
}

// ESC while the server is slow leaves the change undecided: the reply that
// comes later decides, and the user hears it then.
RemoteResult FtpFiles::judgeChange() {
  const Reply r = dlg_.awaitReply();
  if (!r.complete && dlg_.interrupted() && !dlg_.closed()) {
    dlg_.onLateReply([this](const Reply& late) {
      if (ui_.cursorColumn() != 1) ui_.endLine();
      msg_.Announce(ChangeSucceeded(late.code) ? "FTTROCOU" : "FTNAOTRO", 1);
    });
    return {RemoteStatus::GaveUp, {}, 0, true};
  }
  if (!r.complete) return {RemoteStatus::Lost, {}, 0, true};
  if (!ChangeSucceeded(r.code)) return refused(r);
  return {};
}

RemoteResult FtpFiles::changeDirectory(const RemoteName& dir) {
  if (!dlg_.SendCommand("CWD ", dir.wire))
    return {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
  return judgeChange();
}

// RFC 959 section 4.1.1: the parent with CDUP, never as a CWD argument.
RemoteResult FtpFiles::changeToParent() {
  if (!dlg_.SendCommand("CDUP"))
    return {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
  return judgeChange();
}

RemoteResult FtpFiles::makeDirectory(const RemoteName& dir) {
  Reply r;
  RemoteResult unanswered;
  // ".." asks MKD with no name, as the client always has: the server says
  // what it makes of it.
  if (!ask(dir.text == ".." ? "MKD" : "MKD ", dir.text == ".." ? std::string_view() : dir.wire, r,
           unanswered))
    return unanswered;
  return r.code == 257 ? RemoteResult{} : refused(r);
}

RemoteResult FtpFiles::removeDirectory(const RemoteName& dir) {
  Reply r;
  RemoteResult unanswered;
  if (!ask("RMD ", dir.wire, r, unanswered)) return unanswered;
  // RFC 959 section 4.2: 250 for RMD; some servers answer 200.
  return r.code / 100 == 2 ? RemoteResult{} : refused(r);
}

RemoteResult FtpFiles::removeFile(const RemoteName& file) {
  Reply r;
  RemoteResult unanswered;
  if (!ask("DELE ", file.wire, r, unanswered)) return unanswered;
  return DeleteSucceeded(r.code) ? RemoteResult{} : refused(r);
}

RemoteResult FtpFiles::rename(const RemoteName& from, const RemoteName& to) {
  // RFC 959 section 4.1.3: RNFR is answered 350 (pending), then RNTO does
  // the renaming, answered 250.
  Reply r;
  RemoteResult unanswered;
  if (!ask("RNFR ", from.wire, r, unanswered)) return unanswered;
  if (r.code != 350) return refused(r);
  if (!ask("RNTO ", to.wire, r, unanswered)) return unanswered;
  return r.code / 100 == 2 ? RemoteResult{} : refused(r);
}

}  // namespace ftp
