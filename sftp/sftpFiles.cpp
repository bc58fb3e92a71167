// sftpFiles: the commands' remote computer over SFTP.
#include "sftp/sftpFiles.h"

#include <time.h>

#include <chrono>
#include <ctime>

#include "base/cp1252.h"
#include "ftp/ftpHost.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"
#include "sftp/sftpDlg.h"
#include "sftp/sftpSsh.h"

namespace sftp {

namespace {

ftp::RemoteStatus statusOf(Outcome o) {
  switch (o) {
    case Outcome::Ok:
      return ftp::RemoteStatus::Done;
    case Outcome::NotFound:
      return ftp::RemoteStatus::NotFound;
    case Outcome::Denied:
      return ftp::RemoteStatus::Denied;
    case Outcome::Failed:
    case Outcome::Unsupported:
      return ftp::RemoteStatus::Refused;
    case Outcome::Lost:
      return ftp::RemoteStatus::Lost;
    case Outcome::Escaped:
      return ftp::RemoteStatus::GaveUp;
    case Outcome::LocalFailed:
      return ftp::RemoteStatus::LocalFailed;
  }
  return ftp::RemoteStatus::Refused;
}

// The commands' watch, for the transfer loops. The time it takes is the
// user's (a question may wait for an answer), not the server's silence.
class Watch : public Progress {
 public:
  Watch(ftp::TransferWatch& watch, Dlg& dlg) : watch_(watch), dlg_(dlg) {}
  bool carryOn(uint64_t moved) override {
    const auto asked = std::chrono::steady_clock::now();
    const bool on = watch_.carryOn(static_cast<int64_t>(moved));
    dlg_.notCounted(std::chrono::steady_clock::now() - asked);
    // The requests in flight are still answered before it ends.
    if (!on) watch_.stopping();
    return on;
  }

 private:
  ftp::TransferWatch& watch_;
  Dlg& dlg_;
};

}  // namespace

std::string TimeText(uint32_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm utc {};
  if (::gmtime_r(&t, &utc) == nullptr) return {};
  char text[20];
  if (std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc) == 0) return {};
  return text;
}

SftpFiles::SftpFiles(ftp::ClientState& state, ftp::Tela& ui, ftp::Messages& msg, ftp::Rede& rede,
                     std::function<bool()> openSocket, int deadlineMs)
    : st_(state),
      ui_(ui),
      msg_(msg),
      rede_(rede),
      openSocket_(std::move(openSocket)),
      deadlineMs_(deadlineMs) {}

SftpFiles::~SftpFiles() {
  dlg_.reset();
  if (ssh_) ssh_->Close();
}

bool SftpFiles::Connect() {
  dlg_.reset();
  if (ssh_) ssh_->Close();
  ssh_ = std::make_unique<Ssh>(ui_, msg_, deadlineMs_);
  loggedIn_ = false;
  if (!openSocket_()) {
    rede_.CloseConnections();
    return false;
  }
  if (!ssh_->Start(rede_, st_.remoteHost, st_.controlPort)) {
    rede_.CloseConnections();
    ssh_->Close();
    return false;
  }
  return true;
}

bool SftpFiles::connected() const {
  return ssh_ && ssh_->connected();
}

void SftpFiles::lose(const std::string& why) {
  dlg_.reset();
  if (ssh_) ssh_->Close();
  loggedIn_ = false;
  if (!st_.running) return;
  st_.running = false;
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce("FTCOMCAI", 0);
  if (!why.empty()) ui_.writeSpoken(": " + why);
  ui_.endLine();
  ui_.setForeground(15);
}

bool SftpFiles::Login() {
  // A second login is a new session: SSH authenticates a connection once.
  if (loggedIn_ || !connected()) {
    if (!Connect()) return false;
  }
  std::string user = firstLogin_ ? ftp::TypedAccount(st_.remoteName) : std::string();
  firstLogin_ = false;
  if (user.empty()) {
    msg_.Announce("FTCONTA", 0);
    user = ui_.readLineSpoken();
    if (user.empty()) {
      msg_.Announce("FTDESIS", 1);
      msg_.Announce("FTLOGINL", 1);
      return false;
    }
  } else {
    msg_.Announce("FTCONTA", 0);
    ui_.writeLineSpoken(user);
  }
  st_.userName = user;
  if (!ssh_->Authenticate(user)) {
    msg_.Announce("FTLOGINL", 1);
    return false;
  }
  if (!ssh_->OpenChannel()) return false;
  dlg_ = std::make_unique<Dlg>(ui_, *ssh_, deadlineMs_);
  Result r = dlg_->Start();
  if (r.ok()) r = dlg_->RealPath(".", cwd_);
  if (!r.ok()) {
    if (r.outcome == Outcome::Lost) {
      lose(r.message);
    } else {
      ui_.errorBeep();
      msg_.Announce("FTSFTPNA", 0);
      ui_.writeLineSpoken(r.message.empty() ? std::string() : ": " + r.message);
      dlg_.reset();
    }
    return false;
  }
  loggedIn_ = true;
  msg_.Announce("FTACLIBE", 1);
  return true;
}

void SftpFiles::Quit() {
  dlg_.reset();
  if (ssh_) ssh_->Close();
  loggedIn_ = false;
}

std::string SftpFiles::pathOf(const ftp::RemoteName& name) const {
  return JoinPath(cwd_, name.wire);
}

ftp::RemoteResult SftpFiles::judged(const Result& r) {
  ftp::RemoteResult out{statusOf(r.outcome), r.message, r.localError};
  if (r.outcome == Outcome::Lost) lose(r.message);
  return out;
}

bool SftpFiles::ready(ftp::RemoteResult& refusal) const {
  if (dlg_ && loggedIn_) return true;
  refusal = {ftp::RemoteStatus::Refused, ftp::MessageText("FTLOGINL"), 0};
  return false;
}

ftp::RemoteResult SftpFiles::currentDirectory(std::string& path) {
  ftp::RemoteResult r;
  if (!ready(r)) return r;
  path = qr::fromUtf8(cwd_);
  return r;
}

ftp::RemoteResult SftpFiles::changeDirectory(const ftp::RemoteName& dir) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  std::string resolved;
  Result r = dlg_->RealPath(pathOf(dir), resolved);
  Attributes attrs;
  if (r.ok()) r = dlg_->Stat(resolved, attrs);
  if (r.ok() && !attrs.isDirectory()) r = {Outcome::Failed, qr::W("não é um diretório"), 0};
  if (r.ok()) cwd_ = resolved;
  return judged(r);
}

ftp::RemoteResult SftpFiles::changeToParent() {
  return changeDirectory(ftp::RemoteName::typed(".."));
}

ftp::RemoteResult SftpFiles::makeDirectory(const ftp::RemoteName& dir) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  return judged(dlg_->MakeDirectory(pathOf(dir)));
}

ftp::RemoteResult SftpFiles::removeDirectory(const ftp::RemoteName& dir) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  return judged(dlg_->RemoveDirectory(pathOf(dir)));
}

ftp::RemoteResult SftpFiles::removeFile(const ftp::RemoteName& file) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  return judged(dlg_->Remove(pathOf(file)));
}

ftp::RemoteResult SftpFiles::rename(const ftp::RemoteName& from, const ftp::RemoteName& to) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  return judged(dlg_->Rename(pathOf(from), pathOf(to)));
}

ftp::RemoteResult SftpFiles::stat(const ftp::RemoteName& name, ftp::RemoteEntry& entry) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  Attributes attrs;
  const Result r = dlg_->Stat(pathOf(name), attrs);
  entry = {};
  entry.name = name;
  entry.directory = attrs.isDirectory();
  if (attrs.size) entry.size = static_cast<int64_t>(*attrs.size);
  if (attrs.mtime) entry.modified = TimeText(*attrs.mtime);
  return judged(r);
}

ftp::RemoteResult SftpFiles::list(std::vector<ftp::RemoteEntry>& entries) {
  return listPath(cwd_, entries);
}

ftp::RemoteResult SftpFiles::listDirectory(const ftp::RemoteName& dir,
                                           std::vector<ftp::RemoteEntry>& entries) {
  return listPath(pathOf(dir), entries);
}

ftp::RemoteResult SftpFiles::listPath(const std::string& path,
                                      std::vector<ftp::RemoteEntry>& entries) {
  ftp::RemoteResult refusal;
  entries.clear();
  if (!ready(refusal)) return refusal;
  std::vector<Entry> found;
  const Result r = dlg_->List(path, found);
  for (const Entry& e : found) {
    ftp::RemoteEntry out;
    out.name = {qr::fromUtf8(e.name), e.name};
    out.line = qr::fromUtf8(e.longname.empty() ? e.name : e.longname);
    out.directory = e.attrs.isDirectory();
    // The entries' attributes are those of the names themselves (a link's
    // own, not its target's); without a type, nothing says it is a file.
    out.link = !out.directory && !e.attrs.isRegular();
    if (e.attrs.size) out.size = static_cast<int64_t>(*e.attrs.size);
    if (e.attrs.mtime) out.modified = TimeText(*e.attrs.mtime);
    entries.push_back(std::move(out));
  }
  return judged(r);
}

ftp::RemoteResult SftpFiles::receive(const ftp::RemoteName& file, int fd, int64_t offset,
                                     ftp::TransferWatch& watch, ftp::TransferTally& facts) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  // Reads and writes name their offset: any is taken.
  if (offset > 0) watch.offsetTaken(offset);
  Watch w(watch, *dlg_);
  TransferReport report;
  const Result r = dlg_->Get(pathOf(file), fd, static_cast<uint64_t>(offset), w, report);
  facts.moved = static_cast<int64_t>(report.moved);
  facts.size =
      report.size ? std::optional<int64_t>(static_cast<int64_t>(*report.size)) : std::nullopt;
  facts.whole = r.ok() && report.reachedEnd;
  return judged(r);
}

ftp::RemoteResult SftpFiles::send(int fd, int64_t offset, const ftp::RemoteName& file,
                                  ftp::TransferWatch& watch, ftp::TransferTally& facts) {
  ftp::RemoteResult refusal;
  if (!ready(refusal)) return refusal;
  if (offset > 0) watch.offsetTaken(offset);
  Watch w(watch, *dlg_);
  TransferReport report;
  const Result r = dlg_->Put(fd, static_cast<uint64_t>(offset), pathOf(file), w, report);
  facts.moved = static_cast<int64_t>(report.moved);
  facts.whole = r.ok();
  return judged(r);
}

}  // namespace sftp
