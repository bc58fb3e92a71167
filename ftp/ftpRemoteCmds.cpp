// ftpRemoteCmds: the prompt's commands over the remote computer interface.
#include "ftp/ftpRemoteCmds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpBrowseModel.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPartFile.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpTree.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kEscape = 27;

std::chrono::milliseconds since(Clock::time_point began) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began);
}

}  // namespace

RemoteEnding EndingOf(const RemoteResult& r, const TransferTally& tally) {
  if (tally.data) return {*tally.data, tally.server};
  switch (r.status) {
    case RemoteStatus::Done:
      return {DataEnd::Ended, tally.whole ? ServerEnd::Completed : ServerEnd::None};
    case RemoteStatus::NotFound:
    case RemoteStatus::Denied:
    case RemoteStatus::Refused:
      return {DataEnd::Answered, ServerEnd::Failed};
    case RemoteStatus::Lost:
      return {DataEnd::Lost, ServerEnd::None};
    case RemoteStatus::GaveUp:
      return {DataEnd::Aborted, ServerEnd::None};
    case RemoteStatus::LocalFailed:
      return {DataEnd::LocalFailed, ServerEnd::None};
  }
  return {DataEnd::Lost, ServerEnd::None};
}

namespace {

// The transfers' watch: the caption, the milestones, progress on any key
// ("recebidos" or "enviados" once the data is all there), ESC stops, and
// what the protocol meets on the way said as it happens.
class Watch : public TransferWatch {
 public:
  Watch(ClientState& st, Tela& ui, Messages& msg, bool upload, int64_t offset,
        std::optional<int64_t> total)
      : st_(st),
        ui_(ui),
        msg_(msg),
        caption_(ui, st.remoteName),
        upload_(upload),
        offset_(offset),
        wanted_(MilestonesWanted(ui)),
        began_(Clock::now()) {
    st_.transferBytes = 0;
    if (total) sizeTold(*total);
  }
  // A receive that starts over: true when the local file is ready for it.
  std::function<bool()> restart;

  bool carryOn(int64_t moved) override {
    st_.transferBytes = moved;
    caption_.update(moved);
    if (milestones_ && !ended_) {
      if (const int m = milestones_->update(offset_ + moved, since(began_))) SayMilestone(ui_, m);
    }
    while (ui_.keyPending()) {
      const uint8_t key = ui_.readKey();
      if (key == kEscape) return false;
      if (key == 0) (void)ui_.readKey();
      if (ended_) {
        // The data is all there; the server's last word is awaited.
        if (ui_.cursorColumn() != 1) ui_.endLine();
        const std::string text = TransferText(upload_ ? "enviados" : "recebidos");
        ui_.write(text);
        ui_.endLine();
        ui_.speakAndGoOn(text);
      } else {
        SayProgress(ui_, msg_, moved, offset_, total_, since(began_));
      }
      ui_.flushKeys();  // keys typed together ask once
    }
    return true;
  }
  void sizeTold(int64_t whole) override {
    if (total_) return;
    total_ = whole;
    milestones_.emplace(whole, offset_, wanted_);
  }
  void offsetTaken(int64_t offset) override {
    ui_.writeLineSpoken(ResumeText("continuando") + SizeWords(offset));
  }
  bool startOver() override {
    if (!restart || !restart()) return false;
    offset_ = 0;
    if (total_) milestones_.emplace(*total_, 0, wanted_);
    return true;
  }
  void dataEnded() override { ended_ = true; }
  void stopping() override {
    // Heard at once: ending it with the server may take seconds.
    if (ui_.cursorColumn() != 1) ui_.endLine();
    const std::string text = TransferText("interrompendo");
    ui_.write(text + qr::W("…"));
    ui_.endLine();
    ui_.speakAndGoOn(text);
  }
  void done() { caption_.flush(st_.transferBytes); }

 private:
  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  CaptionThrottle caption_;
  bool upload_;
  int64_t offset_;
  bool wanted_;
  std::optional<int64_t> total_;
  std::optional<Milestones> milestones_;
  bool ended_ = false;
  Clock::time_point began_;
};

// Binary unless N: the type question, as FTP has always asked it.
bool AskTextMode(Tela& ui, Messages& msg, bool& text) {
  msg.Announce("FTMODIMG", 0);
  const uint8_t key = ui.readKeySpoken();
  if (key == 0) (void)ui.readKey();  // an extended key counts as "yes"
  if (key == kEscape) {
    msg.Announce("FTDESIS", 2);
    return false;
  }
  if (key >= 32) ui.write(std::string(1, static_cast<char>(key)));
  ui.endLine();
  text = key == 'n' || key == 'N';
  return true;
}

// A result that tells a transfer refused before any of its data moved.
bool RefusedBeforeData(const RemoteResult& r, const TransferTally& tally) {
  if (tally.data || tally.moved > 0) return false;
  return r.status == RemoteStatus::NotFound || r.status == RemoteStatus::Denied ||
         r.status == RemoteStatus::Refused;
}

}  // namespace

std::string_view RefusalKey(RemoteStatus status, std::string_view fallback) {
  switch (status) {
    case RemoteStatus::Done:
    case RemoteStatus::Lost:
      return {};
    case RemoteStatus::NotFound:
      return "FTARQNAO";
    case RemoteStatus::Denied:
      return "FTSPERM";
    case RemoteStatus::GaveUp:
      return "FTDESIS";
    case RemoteStatus::Refused:
    case RemoteStatus::LocalFailed:
      return fallback;
  }
  return fallback;
}

int64_t ListingTime(std::string_view utc) {
  if (utc.size() < 14) return -1;
  struct tm t {};
  for (size_t i = 0; i < 14; ++i)
    if (utc[i] < '0' || utc[i] > '9') return -1;
  auto number = [&](size_t at, size_t n) { return std::stoi(std::string(utc.substr(at, n))); };
  t.tm_year = number(0, 4) - 1900;
  t.tm_mon = number(4, 2) - 1;
  t.tm_mday = number(6, 2);
  t.tm_hour = number(8, 2);
  t.tm_min = number(10, 2);
  t.tm_sec = number(12, 2);
  const time_t when = ::timegm(&t);
  struct tm local {};
  if (when == static_cast<time_t>(-1) || ::localtime_r(&when, &local) == nullptr) return -1;
  return ((((local.tm_year + 1900) * 100LL + local.tm_mon + 1) * 100 + local.tm_mday) * 100 +
          local.tm_hour) *
             100 +
         local.tm_min;
}

std::vector<ListingEntry> RemoteListingTable(const std::vector<RemoteEntry>& entries) {
  std::vector<ListingEntry> table;
  table.reserve(entries.size());
  for (const RemoteEntry& e : entries) {
    ListingEntry l;
    l.exact = e.exact;
    // A name read out of its line is read again from it, as the line has it.
    if (e.exact) {
      l.name = e.name.wire;
      l.directory = e.directory;
    }
    l.size = e.size.value_or(-1);
    l.modified = e.modified.empty() ? e.lineTime : ListingTime(e.modified);
    l.raw = e.raw.empty() ? e.line : e.raw;
    l.line = e.line.size() > kListingWidth ? e.line.substr(0, kListingWidth) : e.line;
    table.push_back(std::move(l));
  }
  return table;
}

// The browser's requests over the interface.
class RemoteCommands::Actions : public BrowseActions {
 public:
  explicit Actions(RemoteCommands& c) : c_(c) {}
  bool usable(const RemoteName& name) override {
    if (name.wire.empty()) {
      c_.ui_.errorBeep();
      return false;
    }
    if (!c_.remote_.nameUsable(name)) {
      c_.ui_.errorBeep();
      c_.ui_.endLine();
      c_.msg_.Announce("FTNOMINV", 1);
      return false;
    }
    return true;
  }
  void receive(const RemoteName& name, bool directory) override {
    if (directory && c_.tree_)
      c_.tree_->ReceiveFolder(name);
    else
      c_.ReceiveFile(name);
  }
  void receiveMarked(const std::vector<const ListingEntry*>& marked) override {
    if (c_.tree_) c_.tree_->ReceiveMarked(marked);
  }
  bool marks() const override { return c_.tree_ != nullptr; }
  void sayNoMarks() override { c_.ui_.errorBeep(); }
  bool confirmAndDelete(const RemoteName& name) override {
    return c_.dirs_.deleteNamed(name, true);
  }
  bool removeMarked(const ListingEntry& entry, std::string& failure) override {
    const RemoteName name = EntryName(entry);
    if (!c_.remote_.nameUsable(name)) {
      failure = MessageText("FTNOMINV");
      return false;
    }
    const RemoteResult r = IsDirectoryEntry(entry) ? c_.remote_.removeDirectory(name)
                                                   : c_.remote_.removeFile(name);
    // A lost connection was said where it was found.
    const std::string_view key = RefusalKey(r.status, "FTNAOAPA");
    if (!r.ok() && !key.empty()) failure = r.reason.empty() ? MessageText(key) : r.reason;
    return r.ok();
  }
  bool saySize(ListingEntry& entry) override {
    if (IsDirectoryEntry(entry)) {
      c_.ui_.endLine();
      return true;
    }
    // Asked of the remote computer each time, and said in the server's own
    // words where its protocol words a size; else in ours.
    std::optional<int64_t> bytes;
    const RemoteResult r = c_.remote_.size(EntryName(entry), bytes);
    if (r.status == RemoteStatus::Lost) return false;
    if (r.status == RemoteStatus::GaveUp) return true;  // ESC, said
    if (bytes) entry.size = *bytes;
    c_.ui_.write(" .... ");
    // A missing or forbidden file: what that means before the server's
    // words; any other refusal leaves the size unknown.
    const std::string_view meaning = r.ok() ? std::string_view() : RefusalKey(r.status, {});
    if (!meaning.empty()) {
      c_.ui_.errorBeep();
      c_.msg_.Announce(meaning, 1);
    }
    if (!r.reason.empty())
      c_.ui_.writeLineSpoken(r.reason);
    else if (meaning.empty())
      c_.ui_.writeLineSpoken(entry.size >= 0 ? SizeWords(entry.size)
                                             : qr::W("tamanho desconhecido"));
    return true;
  }
  bool changeDirectory(const RemoteName& name) override {
    c_.ui_.endLine();
    return c_.dirs_.changeTo(name);
  }
  // What the server said between keys is heard.
  bool stillThere() override {
    if (c_.remote_.connected()) (void)c_.remote_.serveNews();
    return c_.remote_.connected();
  }

 private:
  RemoteCommands& c_;
};

RemoteCommands::RemoteCommands(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote,
                               FileDialogs& dialogs, Browse& browse)
    : st_(state),
      ui_(ui),
      msg_(msg),
      remote_(remote),
      dialogs_(dialogs),
      browse_(browse),
      dirs_(ui, msg, remote),
      transfers_(state, ui, msg, remote, dialogs),
      local_(state, ui, msg, dialogs) {}

void DirectoryCommands::sayRefusal(const RemoteResult& r, std::string_view key) {
  if (r.said) return;
  const std::string_view said = RefusalKey(r.status, key);
  if (said.empty()) return;
  if (r.status != RemoteStatus::GaveUp) ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  if (said != key && r.status != RemoteStatus::GaveUp) {
    // What the server said names the case; the command's own sentence
    // tells what did not happen.
    msg_.Announce(key, 1);
  }
  msg_.Announce(said, 1);
  ui_.setForeground(15);
  // The server's own words only where no sentence of ours names the case
  // (its messages for a missing file or a refusal are stock English).
  if (!r.reason.empty() && said == key) ui_.writeLineSpoken(r.reason);
}

void RemoteCommands::ReceiveFile() {
  transfers_.ReceiveFile(RemoteName{});
}

void RemoteCommands::ReceiveFile(const RemoteName& remote) {
  transfers_.ReceiveFile(remote);
}

void RemoteCommands::SendFile() {
  SendHandOffs handOffs;
  if (tree_) {
    handOffs.folder = [this](const std::string& folder) { tree_->SendFolder(folder); };
    handOffs.matching = [this](const std::string& pattern) { tree_->SendMatching(pattern); };
    handOffs.marked = [this](const std::vector<std::string>& paths) { tree_->SendMarked(paths); };
  }
  transfers_.SendFile(handOffs);
}

bool RemoteTransfers::chooseMode(bool& text) {
  text = false;
  if (!remote_.offersTextMode()) return true;
  return AskTextMode(ui_, msg_, text) && remote_.chooseTextMode(text);
}

void RemoteTransfers::sayRefused(const RemoteResult& r) {
  if (r.said) return;
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  if (r.status == RemoteStatus::NotFound) msg_.Announce("FTARQNAO", 1);
  if (r.status == RemoteStatus::Denied) msg_.Announce("FTSPERM", 1);
  msg_.Announce("FTTRAREC", 1);
  ui_.setForeground(15);
  // The server's own words only where no sentence of ours names the case
  // (its messages for a missing file or a refusal are stock English).
  if (r.status == RemoteStatus::Refused && !r.reason.empty()) ui_.writeLineSpoken(r.reason);
}

void RemoteTransfers::sayDirectory() {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.writeLineSpoken(qr::W("É um diretório"));
}

void RemoteTransfers::sayUnfinished() {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  msg_.Announce("FTINTERR", 1);
}

void RemoteTransfers::sayServerFailed(const RemoteResult& r) {
  if (r.said) return;
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce("FTERRENV", 1);
  if (!r.reason.empty()) ui_.writeLineSpoken(r.reason);
  ui_.setForeground(15);
}

void RemoteTransfers::sayNeverConnected() {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  ui_.writeLineSpoken(TransferText("semconexao"));
  ui_.setForeground(15);
  sayUnfinished();
}

void RemoteTransfers::ReceiveFile(const RemoteName& given) {
  RemoteName remote = given;
  std::string local;
  if (!AskReceiveNames(ui_, msg_, remote, local)) return;

  std::string target;
  if (!ChooseReceiveTarget(ui_, msg_, local, target)) return;
  const std::string partial = PartialName(target);

  bool text = false;
  if (!chooseMode(text)) return;
  st_.transferBytes = 0;  // Q: nothing moved of this one yet
  const int64_t partSize = RegularSize(partial);
  bool wantResume = false;
  switch (PlanPart(!text, partSize)) {
    case PartStep::None:
      break;
    case PartStep::AskResume:
      wantResume = AskYesNo(ui_, msg_, ResumeText("receber"));
      break;
    case PartStep::AskRestart:
      // Starting over throws away what an earlier attempt received, so the
      // user chooses (a no keeps it).
      if (ui_.cursorColumn() != 1) ui_.endLine();
      ui_.writeLineSpoken(ResumeText("textonao"));
      if (!AskYesNo(ui_, msg_, ResumeText("textorecomeca"))) {
        msg_.Announce("FTDESIS", 2);
        return;
      }
      break;
  }

  // The remote file's size and time mark the .part (resuming goes on only
  // from the very file begun) and tell whether all of it came. A file
  // certainly missing or denied is refused before anything is made here;
  // where the protocol cannot tell, the transfer itself decides, unless a
  // .part the user wants to go on with would be thrown away for it.
  // A text transfer asks only where the answer is certain: whether the
  // name is a directory, or missing.
  RemoteFacts server;
  if (!text || remote_.statCertain()) {
    RemoteEntry facts;
    const RemoteResult found = remote_.stat(remote, facts);
    if (found.ok() && facts.directory) {
      sayDirectory();
      return;
    }
    if (found.ok() && !text) server = {facts.size, facts.modified};
    if (found.status == RemoteStatus::Lost || found.status == RemoteStatus::GaveUp) return;
    if ((found.status == RemoteStatus::NotFound || found.status == RemoteStatus::Denied) &&
        (remote_.statCertain() || wantResume)) {
      sayRefused(found);
      return;
    }
  }

  const ReceiveStart start = PlanReceiveStart(wantResume, partSize, ReadPartMark(partial), server);
  if (start.check) SayResumeCheck(ui_, *start.check);
  int64_t offset = start.offset;

  const int fd = offset > 0 ? ReopenPartial(partial, offset)
                            : CreatePartial(target, partial, st_.fileCreationMask);
  if (fd < 0) {
    SayLocalError(ui_, msg_, "FTNAOCRI", errno);
    return;
  }
  if (offset == 0) WritePartMark(fd, server);

  Watch watch(st_, ui_, msg_, false, offset, server.size);
  int emptyError = 0;  // a start over that could not empty the local file
  watch.restart = [&] {
    ui_.writeLineSpoken(ResumeText("semrest"));
    // Received whole after all: the file begins again, marked anew.
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
      emptyError = errno;
      return false;
    }
    offset = 0;
    WritePartMark(fd, server);
    return true;
  };
  TransferTally tally;
  const auto began = Clock::now();
  ui_.logEvent("transfer", "receive " + remote.text);
  const RemoteResult r = remote_.receive(remote, fd, offset, watch, tally);
  // What Q tells: all the protocol moved, whether or not its last steps
  // were watched.
  st_.transferBytes = tally.moved;
  watch.done();
  const int64_t have = offset + tally.moved;
  const RemoteEnding end = EndingOf(r, tally);
  // The size asked before, else the one told as the data began.
  const std::optional<int64_t> expected = server.size ? server.size : tally.size;
  const Judgement j = JudgeTransfer({.upload = false,
                                     .binary = !text,
                                     .data = end.data,
                                     .server = end.server,
                                     .have = have,
                                     .expected = expected});

  if (j.verdict == Verdict::Completed) {
    ClearPartMark(fd);
    int error = ::close(fd) == 0 ? 0 : errno;
    if (error == 0 && ::rename(partial.c_str(), target.c_str()) != 0) error = errno;
    if (error == 0) {
      msg_.Announce("FTFIMREC", 1);
      SayOutcome(ui_, SafeLocalName(remote.text), remote.text, have, began);
      if (j.account == Account::SizesDiffer) ui_.writeLineSpoken(TextSizesText(have, *expected));
    } else {
      SayLocalError(ui_, msg_, "FTNAOCRI", error);
      SayKept(ui_, msg_, partial);
    }
    ui_.setCaption(IdleCaption(st_.remoteName));
    return;
  }
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  // Nothing arrived of a fresh start: nothing to keep. What an earlier
  // attempt left is never thrown away.
  const bool keep = offset > 0 || tally.moved > 0;
  if (!keep) ::unlink(partial.c_str());
  if (emptyError != 0) {
    SayLocalError(ui_, msg_, "FTNAOCRI", emptyError);
  } else if (RefusedBeforeData(r, tally)) {
    sayRefused(r);
  } else {
    switch (j.account) {
      case Account::Done:
      case Account::SizesDiffer:
        break;
      case Account::Short:
        ui_.errorBeep();
        ui_.writeLineSpoken(ShortText(false, have, *expected));
        break;
      case Account::ServerFailed:
        sayServerFailed(r);
        break;
      case Account::LocalError:
        SayLocalError(ui_, msg_, "FTNAOCRI", r.localError ? r.localError : closeError);
        break;
      case Account::NeverConnected:
        sayNeverConnected();
        break;
      case Account::Interrupted:
      case Account::DataBroken:
      case Account::Lost:
        // A broken connection was said where it was found.
        sayUnfinished();
        break;
    }
  }
  if (keep) SayKept(ui_, msg_, partial);
  ui_.setCaption(IdleCaption(st_.remoteName));
}

void RemoteTransfers::SendFile(const SendHandOffs& handOffs) {
  const SendChoice choice = AskSendFile(ui_, msg_, dialogs_, handOffs);
  if (choice.fd < 0) return;
  const int fd = choice.fd;
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  const std::string& local = choice.local;
  const RemoteName remote = RemoteName::typed(choice.remote);

  bool text = false;
  if (!chooseMode(text)) return;
  st_.transferBytes = 0;  // Q: nothing moved of this one yet
  const int64_t localSize = choice.size;
  // A directory under the remote name takes no file: said, and nothing is
  // sent, where the remote computer tells it for certain. Else the server
  // would refuse the send in words of its own, or take the name for a file.
  std::optional<int64_t> there;
  bool asked = false;
  if (remote_.statCertain()) {
    RemoteEntry facts;
    const RemoteResult r = remote_.stat(remote, facts);
    if (r.status == RemoteStatus::Lost || r.status == RemoteStatus::GaveUp) return;
    if (r.ok() && facts.directory) {
      sayDirectory();
      return;
    }
    if (r.ok()) there = facts.size;
    asked = true;
  }
  // A remote file shorter than ours may be an interrupted send of it: the
  // user may go on from its end (binary only, as for a receive).
  int64_t offset = 0;
  if (!text && localSize > 0) {
    if (!asked) {
      const RemoteResult r = remote_.size(remote, there);
      if (r.status == RemoteStatus::Lost || r.status == RemoteStatus::GaveUp) return;
    }
    if (OfferSendResume(true, localSize, there) && AskYesNo(ui_, msg_, ResumeText("enviar")))
      offset = *there;
  }

  Watch watch(st_, ui_, msg_, true, offset, localSize);
  TransferTally tally;
  const auto began = Clock::now();
  ui_.logEvent("transfer", "send " + remote.text);
  const RemoteResult r = remote_.send(fd, offset, remote, watch, tally);
  // What Q tells: all the protocol moved, whether or not its last steps
  // were watched.
  st_.transferBytes = tally.moved;
  watch.done();
  const RemoteEnding end = EndingOf(r, tally);
  const Judgement j = JudgeTransfer({.upload = true,
                                     .binary = !text,
                                     .data = end.data,
                                     .server = end.server,
                                     .have = offset + tally.moved,
                                     .expected = localSize});
  if (RefusedBeforeData(r, tally)) {
    sayRefused(r);
    ui_.setCaption(IdleCaption(st_.remoteName));
    return;
  }
  switch (j.account) {
    case Account::Done:
    case Account::SizesDiffer:
      msg_.Announce("FTFIMENV", 1);
      SayOutcome(ui_, RemoteNameFromLocal(local), RemoteNameFromLocal(local), localSize, began);
      break;
    case Account::Short:
      ui_.errorBeep();
      ui_.writeLineSpoken(ShortText(true, offset + tally.moved, localSize));
      break;
    case Account::ServerFailed:
      sayServerFailed(r);
      break;
    case Account::LocalError:
      SayLocalError(ui_, msg_, "FTERRENV", r.localError);
      break;
    case Account::NeverConnected:
      sayNeverConnected();
      break;
    case Account::Interrupted:
    case Account::DataBroken:
    case Account::Lost:
      sayUnfinished();
      break;
  }
  // A server may keep what arrived of a failed upload under the remote
  // name: the user is told, so that it is not taken for the file.
  if (j.verdict != Verdict::Completed && tally.moved > 0 && end.server != ServerEnd::GaveUp &&
      remote_.connected()) {
    std::optional<int64_t> kept;
    if (remote_.size(remote, kept).ok() && kept && *kept > 0)
      ui_.writeLineSpoken(ServerKeptText(*kept, localSize));
  }
  ui_.setCaption(IdleCaption(st_.remoteName));
}

bool DirectoryCommands::deleteNamed(const RemoteName& name, bool confirm) {
  if (name.wire.empty()) {
    ui_.errorBeep();
    return false;
  }
  if (confirm) {
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
  }
  const RemoteResult r = remote_.removeFile(name);
  if (r.ok()) {
    msg_.Announce("FTOKAPAG", 1);
    return true;
  }
  sayRefusal(r, "FTNAOAPA");
  return false;
}

RemoteName DirectoryCommands::askName(std::string_view key, int level) {
  msg_.Announce(key, level);
  const RemoteName name = RemoteName::typed(ui_.readLineSpoken());
  if (name.text.empty()) {
    msg_.Announce("FTDESIS", 1);
    return {};
  }
  if (!remote_.nameUsable(name)) {
    ui_.errorBeep();
    msg_.Announce("FTNOMINV", 1);
    return {};
  }
  return name;
}

void DirectoryCommands::sayDone(const RemoteResult& r, std::string_view refusal) {
  if (r.ok())
    msg_.Announce("FTOK", 1);
  else
    sayRefusal(r, refusal);
}

void DirectoryCommands::DeleteRemoteFile() {
  msg_.Announce("FTAPAGA", 1);
  const RemoteName name = askName("FTNOMAPA", 0);
  if (!name.wire.empty()) (void)deleteNamed(name, false);
}

void DirectoryCommands::SayCurrentDirectory() {
  std::string path;
  const RemoteResult r = remote_.currentDirectory(path);
  if (!r.ok()) {
    sayRefusal(r, "FTNAODIR");
    return;
  }
  ui_.writeLineSpoken(r.reason.empty() ? path : r.reason);
}

bool DirectoryCommands::changeTo(const RemoteName& dir) {
  if (dir.wire.empty()) {
    ui_.errorBeep();
    return false;
  }
  const RemoteResult r = remote_.changeDirectory(dir);
  sayDone(r, "FTNAOTRO");
  return r.ok();
}

void DirectoryCommands::ShowAndChangeDirectory() {
  msg_.Announce("FTVERDIR", 1);
  std::string path;
  const RemoteResult r = remote_.currentDirectory(path);
  if (r.ok()) {
    ui_.waitSpeechEnd();
    ui_.delay(1000);
    ui_.speakText(path);
  } else if (r.status == RemoteStatus::Lost || r.status == RemoteStatus::GaveUp) {
    return;
  } else {
    msg_.Announce("FTNAODIR", 1);
  }
  const RemoteName dir = askName("FTQUEDIR", 1);
  if (dir.wire.empty()) return;
  if (dir.text == "..")
    sayDone(remote_.changeToParent(), "FTNAOTRO");
  else
    (void)changeTo(dir);
}

void DirectoryCommands::MakeRemoteDirectory() {
  const RemoteName dir = askName("FTQUESBD", 1);
  if (!dir.wire.empty()) sayDone(remote_.makeDirectory(dir), "FTNCRIA");
}

void DirectoryCommands::RenameRemote() {
  const RemoteName from = askName("FTNOMATU", 0);
  if (from.wire.empty()) return;
  const RemoteName to = askName("FTNOVNOM", 0);
  if (to.wire.empty()) return;
  sayDone(remote_.rename(from, to), "FTNAOREN");
}

void DirectoryCommands::RemoveRemoteDirectory() {
  const RemoteName dir = askName("FTQUERMD", 0);
  if (!dir.wire.empty()) sayDone(remote_.removeDirectory(dir), "FTNAORMD");
}

void LocalCommands::sayWhere() {
  std::string here(4096, '\0');
  if (!::getcwd(here.data(), here.size())) return;
  here.resize(std::strlen(here.c_str()));
  msg_.Announce("FTDIRLOC", 0);
  ui_.writeLineSpoken(qr::fromUtf8(here));
}

void LocalCommands::ChangeLocalDirectory() {
  sayWhere();
  msg_.Announce("FTNOMLOC", 0);
  const std::string chosen = dialogs_.chooseLocalFile(6);
  ui_.write(chosen);
  ui_.endLine();
  if (chosen.empty()) {
    msg_.Announce("FTDESIS", 1);
    return;
  }
  std::string path = qr::toUtf8(chosen);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    const size_t slash = path.rfind('/');
    path = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  }
  if (::chdir(path.c_str()) != 0) {
    SayLocalError(ui_, msg_, "FTNAOTRO", errno);
    return;
  }
  sayWhere();
}

void LocalCommands::AnnounceTransferred() {
  msg_.Announce("FTTRANS", 0);
  ui_.writeSpoken(std::to_string(KilobytesRoundedUp(st_.transferBytes)) + " K");
  ui_.endLine();
}

bool RemoteCommands::Login() {
  return remote_.Login();
}

void RemoteCommands::TogglePassive() {
  if (keys_)
    keys_->TogglePassive();
  else
    msg_.Announce("FTSPASV", 1);
}

void RemoteCommands::RawCommand() {
  if (keys_)
    keys_->RawCommand();
  else
    msg_.Announce("FTSCMD", 1);
}

void RemoteCommands::ListRemoteDirectory() {
  // Heard while the request goes out: nothing waits for it to end.
  msg_.AnnounceAndGoOn("FTDIRPED", 1);
  std::vector<RemoteEntry> entries;
  const RemoteResult r = remote_.list(entries);
  if (r.ok()) {
    Actions actions(*this);
    browse_.Walk(RemoteListingTable(entries), actions);
    return;
  }
  // Said where it went wrong: nothing to add.
  if (r.said) return;
  if (ui_.cursorColumn() != 1) ui_.endLine();
  switch (r.status) {
    case RemoteStatus::Done:
      return;
    case RemoteStatus::LocalFailed:
      // No room for the listing: it would be cut short unheard.
      SayLocalError(ui_, msg_, "FTERTEMP", r.localError);
      return;
    case RemoteStatus::GaveUp:
      msg_.Announce("FTINTERR", 1);
      return;
    case RemoteStatus::NotFound:
    case RemoteStatus::Denied:
    case RemoteStatus::Refused:
      // The request itself refused.
      ui_.errorBeep();
      msg_.Announce("FTPEDREC", 1);
      msg_.Announce("FTERRDIR", 1);
      if (r.status == RemoteStatus::Denied) msg_.Announce("FTSPERM", 1);
      return;
    case RemoteStatus::Lost:
      // Begun and broken off: what came is no listing.
      ui_.errorBeep();
      msg_.Announce("FTERRDIR", 1);
      return;
  }
}

}  // namespace ftp
