// ftpFiles: the remote computer over the FTP dialogue.
#include "ftp/ftpFiles.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpDir.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpFeat.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPool.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

RemoteResult refused(const Reply& r) {
  return {RemoteStatus::Refused, r.line, 0, false};
}

// A refused transfer or fact: missing, denied or refused, by its reply.
RemoteResult judgedRefusal(const Reply& r) {
  return {StatusOfRefusal(r.code, r.line), r.line, 0, false};
}

bool containsNoCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < word.size() &&
           std::tolower(static_cast<unsigned char>(text[i + j])) == word[j])
      ++j;
    if (j == word.size()) return true;
  }
  return false;
}

// What the server's last word on a pumped transfer was.
ServerEnd serverEnd(const Pumped& p) {
  if (p.gaveUp) return ServerEnd::GaveUp;
  return IsFinalReply(p.final) ? ServerEndOf(p.final.code) : ServerEnd::None;
}

// A listing's time "YYYYMMDDhhmm" from an MLSD line's modify fact, as the
// interface has it ("YYYYMMDDHHMMSS", UTC); empty when the line has none.
std::string machineTime(const std::string& raw) {
  return TimeFromMlst(250, {" " + raw});
}

// A reply line's text without its code.
std::string withoutCode(std::string_view line) {
  if (!line.empty() && line[0] >= '0' && line[0] <= '9')
    line.remove_prefix(std::min<size_t>(4, line.size()));
  return std::string(line);
}

bool hasFact(std::string_view raw, std::string_view fact) {
  std::string lower(raw.substr(0, raw.find(' ')));
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return lower.find(fact) != std::string::npos;
}

// The size field of a Unix "ls -l" line (the fifth), when it is one.
std::optional<int64_t> unixSize(std::string_view line) {
  size_t i = 0;
  for (int field = 0; field < 5; ++field) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (field == 4) {
      const std::string_view f = line.substr(start, i - start);
      if (f.empty() || f.size() > 18) return std::nullopt;
      for (char c : f)
        if (c < '0' || c > '9') return std::nullopt;
      return std::stoll(std::string(f));
    }
  }
  return std::nullopt;
}

}  // namespace

RemoteEntry EntryOfListing(const ListingEntry& l) {
  RemoteEntry e;
  e.name = EntryName(l);
  e.line = l.line;
  e.raw = l.raw;
  e.exact = l.exact;
  e.lineTime = l.modified;
  if (l.exact) {
    // type=file, dir, cdir, pdir or an OS type such as OS.unix=slink.
    e.directory = l.directory;
    e.link = !l.directory && !hasFact(l.raw, "type=file;");
    if (l.size >= 0) e.size = l.size;
    e.modified = machineTime(l.raw);
    return e;
  }
  e.directory = IsDirectoryLine(l.raw);
  e.link = !l.raw.empty() && l.raw[0] != '-' && !e.directory;
  e.size = unixSize(l.raw);
  return e;
}

RemoteStatus StatusOfRefusal(int code, std::string_view line) {
  if (code == 530 || code == 532) return RemoteStatus::Denied;
  if (code != 550) return RemoteStatus::Refused;
  for (std::string_view word : {"denied", "permission", "privilege", "not allowed"})
    if (containsNoCase(line, word)) return RemoteStatus::Denied;
  return RemoteStatus::NotFound;
}

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

void FtpFiles::useTransfers(ClientState& state, Rede& rede, Transfer& transfer) {
  st_ = &state;
  rede_ = &rede;
  transfer_ = &transfer;
}

bool FtpFiles::Connect() {
  return connectSession && connectSession();
}

bool FtpFiles::Login() {
  typeTaken_ = 0;
  return loginSession && loginSession();
}

void FtpFiles::Quit() {
  if (quitSession) quitSession();
}

bool FtpFiles::serveNews() {
  return newsSession && newsSession();
}

bool FtpFiles::canMoveData(RemoteResult& refusal) const {
  if (transfer_ && !dlg_.closed()) return true;
  refusal = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, dlg_.closed()};
  return false;
}

bool FtpFiles::chooseTextMode(bool text) {
  transferType_ = text ? 'A' : 'I';
  if (!transfer_ || !transfer_->SelectType(transferType_)) return false;
  typeTaken_ = transferType_;
  return true;
}

bool FtpFiles::statCertain() const {
  return dlg_.features().has("MLST");
}

RemoteResult FtpFiles::unbegun(RemoteResult failed) const {
  if (dlg_.closed()) return failed;
  const bool pathFailed = record_.stage == FtpTransferRecord::Stage::DataPath &&
                          (record_.path == DataPathOpen::Refused ||
                           record_.path == DataPathOpen::Failed);
  const bool notSent =
      record_.stage == FtpTransferRecord::Stage::Command && !record_.commandSent;
  if (pathFailed || notSent) failed = {RemoteStatus::Refused, {}, 0, false};
  return failed;
}

bool FtpFiles::selectType(char type) {
  if (typeTaken_ == type) return true;
  const bool taken = transfer_->SelectType(type);
  typeTaken_ = taken ? type : 0;
  return taken;
}

bool FtpFiles::restartAt(int64_t offset) {
  // RFC 3659 section 5: REST in stream mode takes the byte offset, and 350
  // says the next transfer starts there.
  if (!dlg_.SendCommand("REST " + std::to_string(offset))) return false;
  const Reply r = dlg_.awaitReply();
  return r.complete && r.code == 350;
}

bool FtpFiles::openData(bool mustSucceed, RemoteResult& failed) {
  record_.stage = FtpTransferRecord::Stage::DataPath;
  record_.path = transfer_->openDataPath(mustSucceed);
  switch (record_.path) {
    case DataPathOpen::Open:
      return true;
    case DataPathOpen::Refused:
      failed = {RemoteStatus::Refused, {}, 0, true};
      return false;
    case DataPathOpen::Unreachable:
    case DataPathOpen::Failed:
    case DataPathOpen::Lost:
      break;
  }
  failed = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
  return false;
}

bool FtpFiles::startTransfer(std::string_view verb, std::string_view wire, Reply& started,
                             RemoteResult& failed) {
  record_.stage = FtpTransferRecord::Stage::Command;
  record_.commandSent = SafeInCommand(wire) && dlg_.SendCommand(verb, wire);
  if (!record_.commandSent) {
    rede_->CloseDataConnection();
    failed = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
    return false;
  }
  started = dlg_.awaitReply();
  record_.started = started;
  if (started.complete && TransferStarts(started.code)) {
    record_.stage = FtpTransferRecord::Stage::Pumped;
    return true;
  }
  rede_->CloseDataConnection();
  if (!started.complete)
    failed = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::GaveUp, {}, 0, true};
  else
    failed = judgedRefusal(started);
  return false;
}

Pumped FtpFiles::pumpWatched(bool upload, int fd, int64_t offset, TransferWatch& watch) {
  Pump pump(*st_, ui_, msg_, dlg_, *rede_);
  PumpJob job;
  job.upload = upload;
  job.fd = fd;
  job.offset = offset;
  job.watch = [&watch](int64_t moved) { return watch.carryOn(moved); };
  job.dataEnded = [&watch] { watch.dataEnded(); };
  record_.pumped = pump.run(job);
  return record_.pumped;
}

RemoteResult FtpFiles::judgePumped(const Pumped& p, bool upload, bool beep,
                                   TransferWatch* watch) {
  switch (p.data) {
    case DataEnd::Ended:
      if (p.gaveUp) return {RemoteStatus::GaveUp, {}, 0, false};
      if (!IsFinalReply(p.final)) return {RemoteStatus::Lost, {}, 0, true};
      if (TransferCompleted(p.final.code)) return {};
      return judgedRefusal(p.final);
    case DataEnd::Answered:
      return judgedRefusal(p.final);
    case DataEnd::Aborted:
      if (watch) watch->stopping();
      transfer_->abortTransfer(upload);
      return {RemoteStatus::GaveUp, {}, 0, false};
    case DataEnd::LocalFailed:
      transfer_->abortTransfer(upload);
      return {RemoteStatus::LocalFailed, {}, p.localError, false};
    case DataEnd::NeverConnected:
      transfer_->abortTransfer(upload);
      return {RemoteStatus::Refused, TransferText("semconexao"), 0, false};
    case DataEnd::Failed:
      // A data connection that broke, or whose peer was not the server:
      // said, and the transfer stopped where the server may still wait.
      if (beep) ui_.errorBeep();
      transfer_->announceDataBroken(upload, IsFinalReply(p.final));
      return {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
    case DataEnd::Lost:
      return {RemoteStatus::Lost, {}, 0, true};
  }
  return {RemoteStatus::Lost, {}, 0, true};
}

bool FtpFiles::askSize(const RemoteName& name, Reply& reply, RemoteResult& unanswered) {
  if (!nameUsable(name)) {
    unanswered = {RemoteStatus::Refused, {}, 0, false};
    return false;
  }
  return ask("SIZE ", name.wire, reply, unanswered);
}

bool FtpFiles::binaryForSize(RemoteResult& unanswered) {
  if (typeTaken_ == 'I') return true;
  Reply r;
  if (!ask("TYPE I", {}, r, unanswered)) return false;
  // Taken: what comes next in another type (a listing, a text transfer)
  // asks for it again.
  typeTaken_ = r.code / 100 == 2 ? 'I' : 0;
  return true;
}

RemoteResult FtpFiles::size(const RemoteName& name, std::optional<int64_t>& bytes) {
  bytes.reset();
  Reply r;
  RemoteResult unanswered;
  if (!nameUsable(name)) return {RemoteStatus::Refused, {}, 0, false};
  if (!binaryForSize(unanswered) || !askSize(name, r, unanswered)) return unanswered;
  bytes = SizeFromReply(r.code, r.line);
  RemoteResult told = bytes ? RemoteResult{} : judgedRefusal(r);
  std::string_view words = r.line;
  if (words.size() >= 3 && words[0] >= '0' && words[0] <= '9')
    words.remove_prefix(std::min<size_t>(4, words.size()));
  told.reason = std::string(words);
  return told;
}

std::string FtpFiles::modified(const RemoteName& name) {
  if (!SafeInCommand(name.wire) || !dlg_.SendCommand("MDTM ", name.wire)) return {};
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return {};
  // A server without MDTM may tell the time as MLST's "modify" fact.
  if (r.code != 500 && r.code != 502) return TimeFromReply(r.code, r.line);
  if (dlg_.closed() || !dlg_.features().has("MLST") || !dlg_.SendCommand("MLST ", name.wire))
    return {};
  const Reply m = dlg_.awaitReply();
  return m.complete ? TimeFromMlst(m.code, m.lines) : std::string();
}

RemoteResult FtpFiles::stat(const RemoteName& name, RemoteEntry& entry) {
  entry = {};
  entry.name = name;
  if (!nameUsable(name)) return {RemoteStatus::Refused, {}, 0, false};
  Reply r;
  RemoteResult unanswered;
  Reply sized;
  if (!binaryForSize(unanswered) || !askSize(name, sized, unanswered)) return unanswered;
  entry.size = SizeFromReply(sized.code, sized.line);
  if (entry.size) {
    entry.modified = modified(name);
    return dlg_.closed() ? RemoteResult{RemoteStatus::Lost, {}, 0, true} : RemoteResult{};
  }
  if (dlg_.features().has("MLST")) {
    // RFC 3659 section 7.2: the entry is the reply's line that starts with
    // a blank, its facts as an MLSD line has them.
    if (!ask("MLST ", name.wire, r, unanswered)) return unanswered;
    if (r.code != 250) return judgedRefusal(r);
    for (const std::string& line : r.lines) {
      if (line.size() < 2 || line[0] != ' ') continue;
      const std::vector<ListingEntry> table = MachineListingTable(line.substr(1));
      if (table.empty()) continue;
      entry.directory = table.front().directory;
      if (table.front().size >= 0) entry.size = table.front().size;
      entry.modified = TimeFromMlst(r.code, r.lines);
      entry.line = table.front().line;
      return {};
    }
    return judgedRefusal(r);
  }
  // A server that does not know SIZE may still tell the time of a file.
  if (sized.code == 500 || sized.code == 502) {
    entry.modified = modified(name);
    if (!entry.modified.empty()) return {};
  }
  return judgedRefusal(sized);
}

bool FtpFiles::machineListing() {
  // RFC 3659 section 7: MLSD's names are exact; others are asked LIST.
  return dlg_.features().has("MLST") || dlg_.features().has("MLSD");
}

RemoteResult FtpFiles::listInto(int fd) {
  record_ = {};
  const bool machine = machineListing();
  RemoteResult failed;
  if (!canMoveData(failed)) return failed;
  // RFC 959 section 4.1.3: a listing is text.
  record_.stage = FtpTransferRecord::Stage::Type;
  if (!selectType('A')) return {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
  if (!openData(true, failed)) return failed;
  st_->transferBytes = 0;
  Reply started;
  if (!startTransfer(machine ? "MLSD" : "LIST", {}, started, failed)) return failed;
  Pump pump(*st_, ui_, msg_, dlg_, *rede_);
  PumpJob job;
  job.fd = fd;
  // The final reply is awaited apart, so that a server that never sends
  // it leaves the connection open.
  job.awaitFinal = false;
  record_.pumped = pump.run(job);
  Pumped& p = record_.pumped;
  if (p.data == DataEnd::Ended && !p.final.complete && !dlg_.closed()) p.final = dlg_.awaitReply();
  const RemoteResult r = judgePumped(p, false, false);
  rede_->CloseDataConnection();
  return r;
}

RemoteResult FtpFiles::listingFailure(const RemoteResult& failed, bool machine) {
  const Reply& started = record_.started;
  switch (record_.stage) {
    case FtpTransferRecord::Stage::Command:
      // Servers answer LIST with 450 ("No files found") when there is
      // nothing to list: an empty directory.
      if (!machine && record_.commandSent && started.complete && started.code == 450) return {};
      return failed;  // refused as asked, or said where it went wrong
    case FtpTransferRecord::Stage::Refused:
    case FtpTransferRecord::Stage::Type:
    case FtpTransferRecord::Stage::DataPath:
    case FtpTransferRecord::Stage::Rest:
      return failed;
    case FtpTransferRecord::Stage::Pumped:
      break;
  }
  // Begun and not ended well: what arrived is no listing. A full memory, a
  // stop by ESC and a data connection that never came are said as such;
  // the rest is a listing cut short, whatever was said of its cause.
  switch (record_.pumped.data) {
    case DataEnd::LocalFailed:
    case DataEnd::Aborted:
      return failed;
    case DataEnd::NeverConnected:
      transfer_->announceNeverConnected();
      return {RemoteStatus::Lost, {}, 0, false};
    case DataEnd::Failed:
    case DataEnd::Lost:
    case DataEnd::Answered:
    case DataEnd::Ended:
      break;
  }
  return {RemoteStatus::Lost, failed.reason, 0, false};
}

std::vector<RemoteEntry> ListingEntries(std::string_view bytes, bool machine) {
  std::vector<ListingEntry> table = machine ? MachineListingTable(bytes) : ListingTable(bytes);
  std::vector<RemoteEntry> entries;
  entries.reserve(table.size());
  for (ListingEntry& l : table) {
    RemoteEntry e;
    e.name = EntryName(l);
    e.directory = IsDirectoryEntry(l);
    if (l.size >= 0) e.size = l.size;
    if (l.exact) e.modified = machineTime(l.raw);
    e.exact = l.exact;
    e.lineTime = l.modified;
    e.line = std::move(l.line);
    e.raw = std::move(l.raw);
    entries.push_back(std::move(e));
  }
  return entries;
}

RemoteResult FtpFiles::list(std::vector<RemoteEntry>& entries) {
  entries.clear();
  // Whatever the server said before is heard before the listing is asked.
  while (dlg_.hasLines()) {
    (void)dlg_.awaitReply();
    if (dlg_.closed()) return {RemoteStatus::Lost, {}, 0, true};
    if (dlg_.interrupted()) return {RemoteStatus::GaveUp, {}, 0, true};
  }
  const bool machine = machineListing();
  if (dlg_.closed()) return {RemoteStatus::Lost, {}, 0, true};
  std::string bytes;
  bool here = false;
  if (const RemoteResult r = listBytes(bytes, here); !r.ok())
    return here ? r : listingFailure(r, machine);
  entries = ListingEntries(bytes, machine);
  return {};
}

RemoteResult FtpFiles::listBytes(std::string& bytes, bool& here) {
  bytes.clear();
  here = true;
  // The listing is kept in memory: nothing of it lands on disk.
  const int fd = ::memfd_create("listing", MFD_CLOEXEC);
  if (fd < 0) return {RemoteStatus::LocalFailed, {}, errno, false};
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  if (const RemoteResult r = listInto(fd); !r.ok()) {
    here = false;
    return r;
  }
  const off_t size = ::lseek(fd, 0, SEEK_END);
  bytes.assign(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0 && ::pread(fd, bytes.data(), bytes.size(), 0) != size)
    return {RemoteStatus::LocalFailed, {}, errno, false};
  return {};
}

bool FtpFiles::beginTransfer(const RemoteName& file, int sendFd, int64_t offset,
                             RemoteResult& failed) {
  record_ = {};
  const char taken = std::exchange(typeTaken_, 0);
  if (!canMoveData(failed)) return false;
  if (!nameUsable(file)) {
    failed = {RemoteStatus::Refused, {}, 0, false};
    return false;
  }
  if (sendFd >= 0 && ::lseek(sendFd, offset, SEEK_SET) != offset) {
    failed = {RemoteStatus::LocalFailed, {}, errno, false};
    return false;
  }
  record_.stage = FtpTransferRecord::Stage::Type;
  if (taken != transferType_ && !transfer_->SelectType(transferType_)) {
    failed = {dlg_.closed() ? RemoteStatus::Lost : RemoteStatus::Refused, {}, 0, true};
    return false;
  }
  return openData(false, failed);
}

RemoteResult FtpFiles::receive(const RemoteName& file, int fd, int64_t offset,
                               TransferWatch& watch, TransferTally& facts) {
  facts = {};
  RemoteResult failed;
  if (!beginTransfer(file, -1, 0, failed)) return unbegun(failed);
  if (offset > 0) {
    if (restartAt(offset)) {
      watch.offsetTaken(offset);
    } else {
      record_.stage = FtpTransferRecord::Stage::Rest;
      if (dlg_.closed()) {
        rede_->CloseDataConnection();
        return {RemoteStatus::Lost, {}, 0, true};
      }
      if (!watch.startOver()) {
        rede_->CloseDataConnection();
        return {RemoteStatus::Refused, ResumeText("semrest"), 0, false};
      }
      // Received whole after all.
      offset = 0;
    }
  }
  st_->transferBytes = 0;
  Reply started;
  if (!startTransfer("RETR ", file.wire, started, failed)) return unbegun(failed);
  // The count the 150 announced is of the whole file only when the
  // transfer starts at its beginning.
  if (offset == 0) facts.size = AnnouncedSize(started.line);
  if (facts.size) watch.sizeTold(*facts.size);
  const Pumped p = pumpWatched(false, fd, offset, watch);
  facts.moved = st_->transferBytes;
  facts.data = p.data;
  facts.server = serverEnd(p);
  const RemoteResult r = judgePumped(p, false, true, &watch);
  facts.whole = r.ok();
  rede_->CloseDataConnection();
  return r;
}

RemoteResult FtpFiles::send(int fd, int64_t offset, const RemoteName& file, TransferWatch& watch,
                            TransferTally& facts) {
  facts = {};
  RemoteResult failed;
  if (!beginTransfer(file, fd, offset, failed)) return unbegun(failed);
  bool restAccepted = false;
  if (offset > 0) {
    restAccepted = restartAt(offset);
    if (!restAccepted && dlg_.closed()) {
      record_.stage = FtpTransferRecord::Stage::Rest;
      rede_->CloseDataConnection();
      return {RemoteStatus::Lost, {}, 0, true};
    }
    // Without REST, APPE adds to the end of the remote file: the send goes
    // on from there all the same.
    watch.offsetTaken(offset);
  }
  st_->transferBytes = 0;
  Reply started;
  const bool append = PlanSendVerb(offset, restAccepted) == SendVerb::Appe;
  if (!startTransfer(append ? "APPE " : "STOR ", file.wire, started, failed))
    return unbegun(failed);
  const Pumped p = pumpWatched(true, fd, offset, watch);
  facts.moved = st_->transferBytes;
  facts.data = p.data;
  facts.server = serverEnd(p);
  const RemoteResult r = judgePumped(p, true, false, &watch);
  facts.whole = r.ok();
  return r;
}

RemoteResult FtpFiles::listHere(std::vector<RemoteEntry>& entries) {
  const bool machine = machineListing();
  std::string bytes;
  bool here = false;
  if (RemoteResult r = listBytes(bytes, here); !r.ok()) {
    if (here) return r;
    const Reply& started = record_.started;
    // Servers answer LIST with 450 when there is nothing to list.
    if (!machine && record_.stage == FtpTransferRecord::Stage::Command && started.complete &&
        started.code == 450)
      return {};
    if (r.reason.empty() && record_.stage == FtpTransferRecord::Stage::DataPath)
      r.reason = qr::W("a conexão de dados não abriu");
    if (r.reason.empty() && r.status == RemoteStatus::Refused && IsFinalReply(record_.pumped.final))
      r.reason = record_.pumped.final.line;
    return r;
  }
  for (const ListingEntry& l : machine ? MachineListingTable(bytes) : ListingTable(bytes))
    entries.push_back(EntryOfListing(l));
  return {};
}

RemoteResult FtpFiles::listDirectory(const RemoteName& dir, std::vector<RemoteEntry>& entries) {
  entries.clear();
  RemoteResult failed;
  if (!canMoveData(failed)) return failed;
  if (dir.wire.empty()) return listHere(entries);
  if (!nameUsable(dir)) return {RemoteStatus::Refused, {}, 0, false};
  std::string shown;
  if (const RemoteResult r = currentDirectory(shown); !r.ok()) return r;
  // Replies are decoded for the ear; the path goes back as UTF-8.
  const RemoteName home = RemoteName::typed(shown);
  if (home.wire.empty() || home.wire[0] != '/' || !nameUsable(home))
    return {RemoteStatus::Refused, qr::W("o servidor não disse o diretório atual"), 0, false};
  Reply r;
  if (!ask("CWD ", dir.wire, r, failed)) return failed;
  if (!ChangeSucceeded(r.code)) return judgedRefusal(r);
  const RemoteResult listed = listHere(entries);
  if (!dlg_.closed() && !ask("CWD ", home.wire, r, failed)) return failed;
  if (dlg_.closed()) return {RemoteStatus::Lost, {}, 0, true};
  if (!ChangeSucceeded(r.code)) return refused(r);
  return listed;
}

std::unique_ptr<ParallelMover> FtpFiles::parallelMover(size_t connections) {
  if (connections == 0 || !st_ || !st_->passive || st_->userName.empty() || dlg_.closed())
    return nullptr;
  // The further connections begin where a login puts them: the names are
  // made whole with this connection's current directory.
  std::string shown;
  if (!currentDirectory(shown).ok()) return nullptr;
  const RemoteName base = RemoteName::typed(shown);
  if (base.wire.empty() || base.wire[0] != '/' || !nameUsable(base)) return nullptr;
  return std::make_unique<PoolMover>(*st_, ui_, dlg_, *rede_, base.wire, connections);
}

}  // namespace ftp
