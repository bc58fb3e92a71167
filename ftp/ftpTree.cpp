// ftpTree: whole folders, both ways. Every remote directory is listed and
// every file moved by its name relative to the current remote directory,
// which stays as it is. The local tree is opened one component at a time
// from the chosen folder with O_NOFOLLOW, so that no link, old or planted
// meanwhile, takes a file out of it.
#include "ftp/ftpTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <map>
#include <utility>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPool.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRemoteCmds.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kCountFirst = std::chrono::seconds(2);
constexpr uint8_t kEscape = 27;
constexpr uint8_t kUp = 72;
constexpr uint8_t kDown = 80;

struct Text {
  std::string_view key;
  std::string_view text;
};
constexpr std::array<Text, 18> kTexts{{
    {"marcados", "Receber marcados"},
    {"link", "ligação simbólica, não seguida"},
    {"nome", "nome recusado, sairia da pasta"},
    {"outro", "não é arquivo nem diretório"},
    {"parar", "Parar a pasta inteira?  "},
    {"receber", "Receber pasta"},
    {"enviar", "Transmitir pasta"},
    {"contando", "Contando os arquivos"},
    {"lista", "Setas percorrem as falhas, R tenta de novo, ESC sai."},
    {"conseguiu", "Desta vez foi"},
    {"interrompida", "Pasta interrompida."},
    {"semdados", "a conexão de dados não abriu"},
    {"caiu", "a conexão de dados caiu"},
    {"perdida", "a conexão com o servidor caiu"},
    {"ediretorio", "já existe um diretório com esse nome"},
    {"mantido", "já existia, mantido"},
    {"recusado", "o servidor recusou"},
    {"naodir", "Não consegui abrir a pasta local"},
}};

std::string plural(int64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The words of a size before and after its last blank: "48" and "megabaites".
void splitSize(const std::string& words, std::string& number, std::string& unit) {
  const size_t blank = words.rfind(' ');
  number = words.substr(0, blank);
  unit = blank == std::string::npos ? std::string() : words.substr(blank + 1);
  if (!unit.empty() && unit.back() == 's') unit.pop_back();
}

// The directory part and the last component of a "/"-joined path.
void splitLast(const std::string& path, std::string& dir, std::string& leaf) {
  const size_t slash = path.rfind('/');
  dir = slash == std::string::npos ? std::string() : path.substr(0, slash);
  leaf = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directory rel below root, each component opened without following
// a link and, when create, made first. -1 with errno on failure.
int openBelow(int root, const std::string& rel, bool create) {
  int fd = ::dup(root);
  if (fd < 0) return -1;
  size_t at = 0;
  while (at < rel.size()) {
    size_t slash = rel.find('/', at);
    if (slash == std::string::npos) slash = rel.size();
    const std::string part = rel.substr(at, slash - at);
    at = slash + 1;
    if (part.empty()) continue;
    if (create) (void)::mkdirat(fd, part.c_str(), 0777);
    const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    ::close(fd);
    if (next < 0) {
      errno = error;
      return -1;
    }
    fd = next;
  }
  return fd;
}

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool SafeComponent(std::string_view bytes) {
  if (bytes.empty() || bytes == "." || bytes == "..") return false;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 32 || u == 127) return false;
  }
  return true;
}

TreeChild ChildOfEntry(const ListingEntry& entry) {
  return ChildOfRemote(EntryOfListing(entry));
}

TreeChild ChildOfRemote(const RemoteEntry& entry) {
  return {entry.name, entry.directory, entry.link, entry.size.value_or(-1), entry.exact};
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  if (name.empty()) return std::string(dir);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  return out + std::string(name);
}

TreeWalk::TreeWalk() {
  dirs_.push_back({});
}

const TreeDirectory& TreeWalk::nextDirectory() {
  return dirs_[next_++];
}

void TreeWalk::add(const TreeDirectory& dir, const std::vector<TreeChild>& children) {
  for (const TreeChild& c : children) {
    if (c.name.wire == "." || c.name.wire == "..") continue;  // the directory and its parent
    const RemoteName rel{JoinPath(dir.rel.text, c.name.text), JoinPath(dir.rel.wire, c.name.wire)};
    if (!SafeComponent(c.name.wire)) {
      leftOut_.push_back({rel.text, TreeText("nome")});
    } else if (c.link) {
      leftOut_.push_back({rel.text, TreeText("link")});
    } else if (c.directory) {
      dirs_.push_back({rel});
    } else {
      files_.push_back({rel, c.size, c.sizeExact});
      if (c.size > 0) bytes_ += c.size;
    }
  }
}

void TreeWalk::failed(const TreeDirectory& dir, const std::string& reason, bool relist) {
  long index = -1;
  for (size_t i = 0; relist && i < dirs_.size(); ++i)
    if (dirs_[i].rel.wire == dir.rel.wire) index = static_cast<long>(i);
  leftOut_.push_back({dir.rel.text.empty() ? std::string(".") : dir.rel.text, reason, -1, index});
}

std::string TreeText(std::string_view key) {
  for (const Text& t : kTexts)
    if (t.key == key) return qr::W(t.text);
  return {};
}

std::string TreeQuestion(std::string_view name, size_t files, int64_t bytes, bool counted) {
  std::string q = "Pasta " + std::string(name) + ": ";
  if (!counted) q += qr::W("até agora ");
  q += plural(static_cast<int64_t>(files), "arquivo", "arquivos") + ", " + SizeWords(bytes);
  if (!counted) q += ", ainda contando";
  return q + ". Continuar?  ";
}

std::string TreeProgressText(size_t file, size_t files, int64_t done, int64_t total) {
  std::string moved = SizeWords(done), whole = SizeWords(total);
  std::string n1, u1, n2, u2;
  splitSize(moved, n1, u1);
  splitSize(whole, n2, u2);
  return "Arquivo " + std::to_string(file) + " de " + std::to_string(files) + ", " + moved +
         " de " + (u1 == u2 ? n2 : whole);
}

std::string TreeDoneText(bool upload, size_t files, int64_t bytes,
                         std::chrono::milliseconds took) {
  return std::string(upload ? "Pasta enviada: " : "Pasta recebida: ") +
         plural(static_cast<int64_t>(files), "arquivo", "arquivos") + ", " + SizeWords(bytes) +
         " em " + qr::W(DurationWords(took));
}

std::string TreeFailedText(bool upload, size_t moved, size_t files, size_t failed) {
  return std::to_string(moved) + " de " + std::to_string(files) +
         (upload ? " enviados; " : " recebidos; ") +
         plural(static_cast<int64_t>(failed), "falhou", "falharam");
}

std::string TreeLeftOutText(size_t count) {
  return plural(static_cast<int64_t>(count), "item deixado de lado", "itens deixados de lado");
}

std::string MarkedQuestion(size_t files, int64_t bytes, bool counted, std::string_view label) {
  const std::string q = TreeQuestion("", files, bytes, counted);
  return std::string(label) + q.substr(q.find(':'));
}

std::string MarkedDoneText(bool upload, size_t files, int64_t bytes,
                           std::chrono::milliseconds took, std::string_view label) {
  const std::string done = TreeDoneText(upload, files, bytes, took);
  return std::string(label) + (upload ? " enviados" : " recebidos") + done.substr(done.find(':'));
}

namespace {

char folded(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool globMatch(std::string_view p, std::string_view n) {
  if (p.empty()) return n.empty();
  if (p[0] == '*') {
    for (size_t i = 0; i <= n.size(); ++i)
      if (globMatch(p.substr(1), n.substr(i))) return true;
    return false;
  }
  if (n.empty()) return false;
  if (p[0] != '?' && folded(p[0]) != folded(n[0])) return false;
  return globMatch(p.substr(1), n.substr(1));
}

}  // namespace

bool PatternMatches(std::string_view pattern, std::string_view name) {
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return globMatch(pattern.substr(0, pattern.size() - 2), name);
  return globMatch(pattern, name);
}

// One folder's move.
struct Tree::Run {
  bool upload = false;
  bool marked = false;     // entries marked in the browser, not one folder
  std::string name;        // the folder's name, as heard
  std::string label;       // a set's name in its sentences ("Marcados", a pattern)
  std::string remoteBase;  // the remote root, relative to the current remote directory (bytes)
  int rootFd = -1;         // the local root
  TreeWalk walk;
  size_t dirsMade = 0;     // directories of the walk made on the other side
  ReplaceAll replace = ReplaceAll::Ask;
  std::vector<TreeProblem> failed;
  size_t moved = 0, kept = 0;
  int64_t movedBytes = 0;
  int64_t bytesBefore = 0;  // of the files before the current one
  size_t current = 0;       // the file moving, from 0 (over several connections: the last begun)
  size_t nextFile = 0;      // the first file of the walk not yet begun
  std::deque<size_t> again;            // files given back by a lost connection
  std::vector<size_t> givenBack;       // and each is given back only once
  bool pooled = false;      // files move over several connections
  int64_t moving = 0;       // then the bytes of the files moving
  Clock::time_point began;
  std::optional<Milestones> milestones;
  bool milestonesOn = true;
  bool stopped = false;
  ~Run() {
    if (rootFd >= 0) ::close(rootFd);
  }
};

Tree::Tree(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote)
    : st_(state), ui_(ui), msg_(msg), first_(remote), remote_(&remote) {}

bool Tree::gone() const {
  // A lost connection is said where an operation finds it, and the run
  // ends; a connection that went quietly is found (and said) by the next
  // operation.
  return !st_.running;
}

RemoteName Tree::remotePath(const Run& run, const RemoteName& rel) const {
  return {JoinPath(qr::fromUtf8(run.remoteBase), rel.text), JoinPath(run.remoteBase, rel.wire)};
}

namespace {

// The words of a refusal, or what it was when it came without any.
std::string wordsOf(const RemoteResult& r) {
  if (!r.reason.empty()) return r.reason;
  switch (r.status) {
    case RemoteStatus::Denied:
      return MessageText("FTSPERM");
    case RemoteStatus::NotFound:
      return MessageText("FTARQNAO");
    case RemoteStatus::Refused:
      return TreeText("recusado");
    case RemoteStatus::LocalFailed:
      return SystemReason(r.localError);
    case RemoteStatus::Done:
    case RemoteStatus::Lost:
    case RemoteStatus::GaveUp:
      break;
  }
  return {};
}

}  // namespace

bool Tree::listRemote(Run& run, const TreeDirectory& dir, std::vector<TreeChild>& children,
                      std::string& reason) {
  std::vector<RemoteEntry> entries;
  const RemoteResult r = remote_->listDirectory(remotePath(run, dir.rel), entries);
  if (r.status == RemoteStatus::GaveUp) run.stopped = true;
  if (!r.ok()) {
    reason = wordsOf(r);
    return false;
  }
  for (const RemoteEntry& e : entries) children.push_back(ChildOfRemote(e));
  return true;
}

bool Tree::readLocal(Run& run, const TreeDirectory& dir, std::vector<TreeChild>& children,
                     std::string& reason) {
  const int fd = openBelow(run.rootFd, dir.rel.wire, false);
  DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
  if (!d) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    reason = SystemReason(error);
    return false;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    TreeChild c;
    c.name = {qr::fromUtf8(name), name};
    struct stat st {};
    if (::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    c.directory = S_ISDIR(st.st_mode);
    c.link = !c.directory && !S_ISREG(st.st_mode);
    if (S_ISREG(st.st_mode)) c.size = static_cast<int64_t>(st.st_size);
    children.push_back(std::move(c));
  }
  ::closedir(d);
  std::sort(children.begin(), children.end(),
            [](const TreeChild& a, const TreeChild& b) { return a.name.wire < b.name.wire; });
  return true;
}

void Tree::listLocal(Run& run, const TreeDirectory& dir) {
  std::vector<TreeChild> children;
  std::string reason;
  if (readLocal(run, dir, children, reason))
    run.walk.add(dir, children);
  else
    run.walk.failed(dir, reason, true);
}

void Tree::countOne(Run& run) {
  const TreeDirectory dir = run.walk.nextDirectory();
  if (run.upload) {
    listLocal(run, dir);
    return;
  }
  std::vector<TreeChild> children;
  std::string reason;
  if (listRemote(run, dir, children, reason))
    run.walk.add(dir, children);
  else if (!gone())
    run.walk.failed(dir, reason.empty() ? TreeText("perdida") : reason, true);
}

void Tree::retryDirectory(Run& run, TreeProblem& problem, std::vector<TreeProblem>& items) {
  const TreeDirectory dir = run.walk.directories()[static_cast<size_t>(problem.directory)];
  const size_t filesBefore = run.walk.files().size();
  const size_t leftBefore = run.walk.leftOut().size();
  std::vector<TreeChild> children;
  std::string reason;
  if (!(run.upload ? readLocal(run, dir, children, reason)
                   : listRemote(run, dir, children, reason))) {
    if (!reason.empty()) problem.reason = reason;
    ui_.errorBeep();
    return;
  }
  problem.directory = -1;  // listed: it is no longer a failure
  run.walk.add(dir, children);
  // What lies below it is counted whole now: the user waits for this one.
  count(run, Clock::time_point::max());
  makeDirectories(run);
  size_t moved = 0, failed = 0;
  std::vector<TreeProblem> found;
  for (size_t i = filesBefore; i < run.walk.files().size() && !gone(); ++i) {
    run.current = i;
    std::string why;
    const FileEnd end = moveOne(run, i, why);
    if (end == FileEnd::Moved || end == FileEnd::Skipped) {
      ++moved;
    } else {
      ++failed;
      found.push_back({run.walk.files()[i].rel.text, why, static_cast<long>(i)});
    }
    if (run.stopped) break;
  }
  for (size_t i = leftBefore; i < run.walk.leftOut().size(); ++i)
    found.push_back(run.walk.leftOut()[i]);
  ui_.setCaption(IdleCaption(st_.remoteName));
  if (failed == 0) {
    ui_.writeLineSpoken(TreeText("conseguiu"));
  } else {
    ui_.errorBeep();
    ui_.writeLineSpoken(TreeFailedText(run.upload, moved, moved + failed, failed));
  }
  items.insert(items.end(), found.begin(), found.end());
}

void Tree::count(Run& run, Clock::time_point until) {
  while (run.walk.pending() && !run.stopped && !gone() && Clock::now() < until)
    countOne(run);
}

bool Tree::makeRemoteDirectory(Run& run, const TreeDirectory& dir) {
  const RemoteName path = remotePath(run, dir.rel);
  if (!remote_->nameUsable(path)) {
    run.walk.failed(dir, TreeText("nome"));
    return false;
  }
  const RemoteResult made = remote_->makeDirectory(path);
  if (made.ok()) return true;
  // No protocol says "exists already" the same way: a directory there is
  // one the user may well want to fill.
  RemoteEntry there;
  if (!gone() && remote_->stat(path, there).ok() && there.directory) return true;
  // Where the facts of a name do not tell a directory, one that lists is
  // one.
  std::vector<RemoteEntry> entries;
  if (!gone() && remote_->listDirectory(path, entries).ok()) return true;
  if (!gone()) run.walk.failed(dir, wordsOf(made));
  return false;
}

bool Tree::askStop() {
  return AskYesNo(ui_, msg_, TreeText("parar"));
}

bool Tree::askReplace(Run& run, const std::string& shown) {
  if (run.replace != ReplaceAll::Ask) return run.replace == ReplaceAll::Yes;
  if (ui_.cursorColumn() != 1) ui_.endLine();
  const std::string question = ReplaceQuestion(shown);
  ui_.write(question);
  ui_.speakText(question.substr(0, question.find('?')));
  ui_.endLine();
  MenuBox box;
  box.column = 1;
  box.row = ui_.cursorRow();
  box.height = 4;
  const std::vector<MenuChoice> items{{"", "Sim"},
                                      {"", qr::W("Não")},
                                      {"", "Sim para todos"},
                                      {"", qr::W("Não para todos")}};
  switch (ui_.runMenu(box, items)) {
    case 1:
      return true;
    case 3:
      run.replace = ReplaceAll::Yes;
      return true;
    case 4:
      run.replace = ReplaceAll::No;
      return false;
    default:
      return false;
  }
}

void Tree::sayProgress(const Run& run) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  const std::string text =
      TreeProgressText(run.current + 1, run.walk.files().size(),
                       run.bytesBefore + (run.pooled ? run.moving : st_.transferBytes),
                       run.walk.bytes());
  ui_.write(text);
  ui_.endLine();
  ui_.speakAndGoOn(text);
}

namespace {

// What the judge's account means for one file of a folder.
std::string reasonOf(Account account, const std::string& finalLine, int localError, bool upload,
                     int64_t have, std::optional<int64_t> expected) {
  switch (account) {
    case Account::Done:
    case Account::SizesDiffer:
      return {};
    case Account::Short:
      return ShortText(upload, have, expected.value_or(0));
    case Account::ServerFailed:
      return finalLine;
    case Account::DataBroken:
      return TreeText("caiu");
    case Account::LocalError:
      return SystemReason(localError);
    case Account::Interrupted:
      return TransferText("interrompendo");
    case Account::Lost:
      return TreeText("perdida");
    case Account::NeverConnected:
      return TransferText("semconexao");
  }
  return {};
}

}  // namespace

struct Tree::Local {
  bool upload = false;
  int dirFd = -1;
  int fd = -1;
  std::string leaf, partial;  // a receive's name and its .part
  int64_t size = -1;          // an upload's size
  Local() = default;
  Local(Local&& o) noexcept
      : upload(o.upload), dirFd(std::exchange(o.dirFd, -1)), fd(std::exchange(o.fd, -1)),
        leaf(std::move(o.leaf)), partial(std::move(o.partial)), size(o.size) {}
  Local& operator=(Local&&) = delete;
  ~Local() {
    if (fd >= 0) ::close(fd);
    if (dirFd >= 0) ::close(dirFd);
  }
  // Closes the file: 0, or the errno of the close.
  int closeFile() {
    if (fd < 0) return 0;
    const int rc = ::close(fd);
    fd = -1;
    return rc == 0 ? 0 : errno;
  }
  // A receive that brought nothing leaves no .part behind; what arrived
  // stays as the .part, as for one file.
  void dropPartial(int64_t have) {
    (void)closeFile();
    if (!upload && have == 0 && dirFd >= 0) (void)::unlinkat(dirFd, partial.c_str(), 0);
  }
};

struct Tree::Ending {
  Judgement judgement;
  DataEnd data = DataEnd::Ended;
  std::string finalLine;
  int localError = 0;
  int64_t have = 0;
  std::optional<int64_t> expected;
};

std::optional<Tree::FileEnd> Tree::openLocal(Run& run, size_t index, Local& local,
                                              std::string& reason) {
  const TreeFile& f = run.walk.files()[index];
  local.upload = run.upload;
  if (run.upload) {
    std::string dirPath, leaf;
    splitLast(f.rel.wire, dirPath, leaf);
    local.dirFd = openBelow(run.rootFd, dirPath, false);
    if (local.dirFd < 0) {
      reason = SystemReason(errno);
      return FileEnd::Failed;
    }
    local.fd = ::openat(local.dirFd, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (local.fd < 0 || ::fstat(local.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      reason = local.fd < 0 ? SystemReason(errno) : TreeText("outro");
      return FileEnd::Failed;
    }
    local.size = static_cast<int64_t>(st.st_size);
    return std::nullopt;
  }
  std::string dirText, leafText;
  splitLast(f.rel.text, dirText, leafText);
  local.dirFd = openBelow(run.rootFd, qr::toUtf8(dirText), true);
  if (local.dirFd < 0) {
    reason = SystemReason(errno);
    return FileEnd::Failed;
  }
  local.leaf = qr::toUtf8(leafText);
  struct stat there {};
  if (::fstatat(local.dirFd, local.leaf.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(there.st_mode)) {
      reason = TreeText("ediretorio");
      return FileEnd::Failed;
    }
    if (!askReplace(run, f.rel.text)) {
      reason = TreeText("mantido");
      return FileEnd::Skipped;
    }
  }
  local.partial = PartialName(local.leaf);
  // An empty .part left by a file that could not begin goes.
  (void)::unlinkat(local.dirFd, local.partial.c_str(), 0);
  local.fd = ::openat(local.dirFd, local.partial.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666 & ~static_cast<mode_t>(st_.fileCreationMask));
  if (local.fd < 0) {
    reason = SystemReason(errno);
    return FileEnd::Failed;
  }
  return std::nullopt;
}

Tree::FileEnd Tree::finishLocal(Run& run, Local& local, const Ending& e, std::string& reason) {
  if (e.judgement.verdict == Verdict::Completed) {
    int error = local.closeFile();
    if (!local.upload && error == 0 &&
        ::renameat(local.dirFd, local.partial.c_str(), local.dirFd, local.leaf.c_str()) != 0)
      error = errno;
    if (error == 0) {
      run.movedBytes += local.upload ? local.size : e.have;
      return FileEnd::Moved;
    }
    reason = SystemReason(error);
    return FileEnd::Failed;
  }
  local.dropPartial(e.have);
  reason = reasonOf(e.judgement.account, e.finalLine, e.localError, local.upload, e.have,
                    e.expected);
  if (e.data == DataEnd::Aborted) run.stopped = true;
  return e.data == DataEnd::Lost || gone() ? FileEnd::Stop : FileEnd::Failed;
}

std::optional<int64_t> Tree::expectedSize(const Run& run, const Local& local, size_t index,
                                          std::optional<int64_t> told) const {
  if (run.upload) return local.size;
  if (told) return told;
  const TreeFile& f = run.walk.files()[index];
  if (f.sizeExact && f.size >= 0) return f.size;
  return std::nullopt;
}

void Tree::tellMoved(Run& run, CaptionThrottle& caption, int64_t done) {
  caption.update(done);
  if (!run.milestones) return;
  if (const int m = run.milestones->update(
          done, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run.began)))
    SayMilestone(ui_, m);
}

bool Tree::keyWhileMoving(Run& run, uint8_t key) {
  if (key == kEscape) return askStop();
  if (key == 0) (void)ui_.readKey();
  sayProgress(run);
  ui_.flushKeys();  // keys typed together ask once
  return false;
}

// The watch of a file moved through the interface: the whole folder's
// caption and milestones, its progress on any key, ESC asks first.
class Tree::Watch : public TransferWatch {
 public:
  Watch(Tree& tree, Run& run) : tree_(tree), run_(run), caption_(tree.ui_, tree.st_.remoteName) {}
  bool carryOn(int64_t moved) override {
    tree_.st_.transferBytes = moved;
    tree_.tellMoved(run_, caption_, run_.bytesBefore + moved);
    while (tree_.ui_.keyPending())
      if (tree_.keyWhileMoving(run_, tree_.ui_.readKey())) return false;
    return true;
  }
  void done() { caption_.flush(run_.bytesBefore + tree_.st_.transferBytes); }

 private:
  Tree& tree_;
  Run& run_;
  CaptionThrottle caption_;
};

Tree::FileEnd Tree::moveOne(Run& run, size_t index, std::string& reason) {
  Local local;
  st_.transferBytes = 0;
  if (const auto end = openLocal(run, index, local, reason)) return *end;
  const TreeFile& f = run.walk.files()[index];
  const RemoteName path = remotePath(run, f.rel);
  if (!remote_->nameUsable(path)) {
    local.dropPartial(0);
    reason = TreeText("nome");
    return FileEnd::Failed;
  }
  Watch watch(*this, run);
  TransferTally tally;
  const RemoteResult r = run.upload ? remote_->send(local.fd, 0, path, watch, tally)
                                    : remote_->receive(path, local.fd, 0, watch, tally);
  watch.done();
  st_.transferBytes = tally.moved;
  // ESC, also while the server's last word was awaited, stops the folder.
  if (r.status == RemoteStatus::GaveUp) run.stopped = true;
  const std::optional<int64_t> expected = expectedSize(run, local, index, tally.size);
  const RemoteEnding end = EndingOf(r, tally);
  const Judgement j = JudgeTransfer({.upload = run.upload,
                                     .binary = true,
                                     .data = end.data,
                                     .server = end.server,
                                     .have = tally.moved,
                                     .expected = expected});
  return finishLocal(run, local,
                     {j, end.data, wordsOf(r), r.localError, tally.moved, expected}, reason);
}

void Tree::makeDirectories(Run& run) {
  const auto& dirs = run.walk.directories();
  for (; run.dirsMade < dirs.size() && !gone(); ++run.dirsMade) {
    const TreeDirectory& d = dirs[run.dirsMade];
    if (run.upload) {
      (void)makeRemoteDirectory(run, d);
    } else {
      const int fd = openBelow(run.rootFd, qr::toUtf8(d.rel.text), true);
      if (fd < 0)
        run.walk.failed(d, SystemReason(errno));
      else
        ::close(fd);
    }
  }
}

void Tree::startMilestones(Run& run) {
  if (!run.walk.pending() && !run.milestones)
    run.milestones.emplace(run.walk.bytes(), run.bytesBefore, run.milestonesOn);
}

std::optional<size_t> Tree::nextFile(Run& run) {
  if (!run.again.empty()) {
    const size_t i = run.again.front();
    run.again.pop_front();
    return i;
  }
  // Counting goes on where it stopped, one directory at a time.
  while (run.nextFile >= run.walk.files().size() && run.walk.pending() && !run.stopped &&
         !gone()) {
    countOne(run);
    startMilestones(run);
  }
  if (run.nextFile >= run.walk.files().size() || run.stopped || gone()) return std::nullopt;
  makeDirectories(run);
  return run.nextFile++;
}

void Tree::settle(Run& run, size_t index, FileEnd end, const std::string& reason, int64_t moved) {
  const TreeFile& f = run.walk.files()[index];
  switch (end) {
    case FileEnd::Moved:
      ++run.moved;
      break;
    case FileEnd::Skipped:
      ++run.kept;
      break;
    case FileEnd::Failed:
      run.failed.push_back({f.rel.text, reason, static_cast<long>(index)});
      break;
    case FileEnd::Stop:
      if (!reason.empty()) run.failed.push_back({f.rel.text, reason, static_cast<long>(index)});
      run.stopped = true;
      break;
  }
  run.bytesBefore += end == FileEnd::Moved ? moved : std::max<int64_t>(f.size, 0);
}

size_t Tree::connectionsWanted(const Run& run) {
  if (gone()) return 1;
  const size_t wanted = static_cast<size_t>(ConnectionsSetting(ui_.setting("CONEXOES")));
  const size_t left = run.walk.files().size() - std::min(run.nextFile, run.walk.files().size());
  return run.walk.pending() ? wanted : std::min(wanted, left);
}

// The folder's side of the files moving side by side: it hands out the
// files, judges each as one file is judged, and says the progress, the
// milestones and the stop.
struct Tree::Feed : ParallelUser {
  Tree& tree;
  Run& run;
  std::map<size_t, Local> locals;
  CaptionThrottle caption;
  Feed(Tree& t, Run& r) : tree(t), run(r), caption(t.ui_, t.st_.remoteName) {}

  std::optional<ParallelFile> next() override {
    for (;;) {
      const std::optional<size_t> i = tree.nextFile(run);
      if (!i) return std::nullopt;
      Local local;
      std::string reason;
      if (const auto end = tree.openLocal(run, *i, local, reason)) {
        tree.settle(run, *i, *end, reason, 0);
        continue;
      }
      const RemoteName path = tree.remotePath(run, run.walk.files()[*i].rel);
      if (!tree.remote_->nameUsable(path)) {
        local.dropPartial(0);
        tree.settle(run, *i, FileEnd::Failed, TreeText("nome"), 0);
        continue;
      }
      ParallelFile file{.index = *i, .upload = run.upload, .name = path, .fd = local.fd};
      locals.emplace(*i, std::move(local));
      run.current = std::max(run.current, *i);
      return file;
    }
  }

  void ended(const ParallelFile& file, const ParallelEnd& end) override {
    auto it = locals.find(file.index);
    Local& local = it->second;
    // A file whose connection was lost under it goes again, once, over
    // another connection (or the main one); its .part is made anew.
    if (end.data == DataEnd::Lost &&
        std::find(run.givenBack.begin(), run.givenBack.end(), file.index) == run.givenBack.end()) {
      local.dropPartial(end.tally.moved);
      run.givenBack.push_back(file.index);
      run.again.push_back(file.index);
      locals.erase(it);
      return;
    }
    const std::optional<int64_t> expected =
        tree.expectedSize(run, local, file.index, end.tally.size);
    const Judgement j = JudgeTransfer({.upload = run.upload,
                                       .binary = true,
                                       .data = end.data,
                                       .server = end.server,
                                       .have = end.tally.moved,
                                       .expected = expected});
    std::string reason;
    FileEnd fileEnd = tree.finishLocal(
        run, local,
        {j, end.data, end.reason, end.localError, end.tally.moved, expected}, reason);
    if (end.noChannel && reason.empty()) reason = TreeText("semdados");
    if (end.noChannel && !end.reason.empty()) reason = end.reason;
    // One connection lost is not the end of the folder.
    if (fileEnd == FileEnd::Stop && !tree.gone()) fileEnd = FileEnd::Failed;
    if (fileEnd == FileEnd::Failed && reason.empty()) reason = TreeText("perdida");
    tree.settle(run, file.index, fileEnd, reason, end.tally.moved);
    locals.erase(it);
  }

  void progress(int64_t moving) override {
    run.moving = moving;
    tree.tellMoved(run, caption, run.bytesBefore + moving);
  }

  bool key(uint8_t key) override { return tree.keyWhileMoving(run, key); }
};

void Tree::moveSideBySide(Run& run) {
  const size_t wanted = connectionsWanted(run);
  if (wanted <= 1) return;
  const std::unique_ptr<ParallelMover> mover = remote_->parallelMover(wanted);
  if (!mover) return;
  Feed feed(*this, run);
  run.pooled = true;
  const ParallelMover::End end = mover->run(feed);
  run.pooled = false;
  if (end == ParallelMover::End::Stopped) run.stopped = true;
  if (end == ParallelMover::End::NoConnection)
    ui_.logEvent("conexao", "no further connection: the main one moves the rest");
}

void Tree::moveAll(Run& run) {
  run.began = Clock::now();
  // A folder moves its files as they are, whatever mode a file was moved
  // in before (a refusal was said).
  if (!remote_->chooseTextMode(false)) {
    run.stopped = true;
    return;
  }
  startMilestones(run);
  moveSideBySide(run);
  while (!run.stopped && !gone()) {
    const std::optional<size_t> i = nextFile(run);
    if (!i) break;
    run.current = *i;
    std::string reason;
    const FileEnd end = moveOne(run, *i, reason);
    settle(run, *i, end, reason, st_.transferBytes);
  }
  makeDirectories(run);  // the empty ones at the end of the walk
  ui_.setCaption(IdleCaption(st_.remoteName));
}

void Tree::sayOutcome(Run& run) {
  if (ui_.cursorColumn() != 1) ui_.endLine();
  const size_t files = run.walk.files().size();
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run.began);
  // A connection lost was said where it was found; what arrived is said
  // here, as for a stop.
  if (!run.stopped && run.failed.empty() && run.moved + run.kept == files) {
    msg_.Announce(run.upload ? "FTFIMENV" : "FTFIMREC", 1);
    ui_.writeLineSpoken(
        run.marked ? MarkedDoneText(run.upload, run.moved, run.movedBytes, took, run.label)
                   : TreeDoneText(run.upload, run.moved, run.movedBytes, took));
    if (run.kept > 0)
      ui_.writeLineSpoken(
          plural(static_cast<int64_t>(run.kept), "arquivo que já existia mantido",
                 "arquivos que já existiam mantidos"));
  } else {
    ui_.errorBeep();
    ui_.setForeground(4);
    if (run.stopped) ui_.writeLineSpoken(TreeText("interrompida"));
    ui_.writeLineSpoken(TreeFailedText(run.upload, run.moved, files, run.failed.size()));
    ui_.setForeground(15);
  }
  if (!run.walk.leftOut().empty()) ui_.writeLineSpoken(TreeLeftOutText(run.walk.leftOut().size()));
}

void Tree::walkFailures(Run& run) {
  std::vector<TreeProblem> items = run.failed;
  for (const TreeProblem& p : run.walk.leftOut()) items.push_back(p);
  if (items.empty() || gone()) return;
  ui_.writeLineSpoken(TreeText("lista"));
  size_t at = 0;
  bool sayItem = true;
  while (!items.empty()) {
    if (sayItem) {
      const TreeProblem& p = items[at];
      ui_.write(p.name + ": " + p.reason);
      ui_.speakText(p.name);
      ui_.speakText(p.reason);
      ui_.endLine();
    }
    sayItem = true;
    uint8_t key = ui_.readKey();
    bool extended = false;
    if (key == 0) {
      key = ui_.readKey();
      extended = true;
    }
    if (!extended && (key == kEscape || key == 13)) break;
    if (extended && (key == kDown || key == kUp)) {
      const bool down = key == kDown;
      if (down ? at + 1 < items.size() : at > 0) {
        at = down ? at + 1 : at - 1;
      } else {
        msg_.Announce("FTULTARQ", 1);
        sayItem = false;
      }
      continue;
    }
    if (extended || (key != 'R' && key != 'r')) continue;
    TreeProblem& p = items[at];
    if (p.file < 0 && p.directory >= 0) {
      run.stopped = false;
      run.milestones.reset();
      retryDirectory(run, p, items);
      if (gone()) break;
      if (items[at].directory < 0) {  // listed this time
        items.erase(items.begin() + static_cast<long>(at));
        if (at >= items.size() && at > 0) --at;
      }
      if (items.empty()) break;
      continue;
    }
    if (p.file < 0) {
      ui_.errorBeep();  // a name left out is not tried
      sayItem = false;
      continue;
    }
    run.current = static_cast<size_t>(p.file);
    run.stopped = false;
    run.milestones.reset();
    std::string reason;
    const FileEnd end = moveOne(run, static_cast<size_t>(p.file), reason);
    ui_.setCaption(IdleCaption(st_.remoteName));
    if (gone()) break;
    if (end == FileEnd::Moved) {
      ui_.writeLineSpoken(TreeText("conseguiu"));
      items.erase(items.begin() + static_cast<long>(at));
      if (at >= items.size() && at > 0) --at;
    } else if (!reason.empty()) {
      p.reason = reason;
    }
  }
  ui_.flushKeys();
}

void Tree::heading(const std::string& text) {
  ui_.setBackground(5);
  ui_.writeSpoken(text);
  ui_.setBackground(0);
  ui_.endLine();
}

void Tree::moveAndTell(Run& run) {
  moveAll(run);
  sayOutcome(run);
  walkFailures(run);
}

void Tree::ReceiveFolder(const RemoteName& dir) {
  heading(TreeText("receber"));
  if (!SafeComponent(dir.wire)) {
    ui_.errorBeep();
    msg_.Announce("FTNOMINV", 1);
    return;
  }
  Run run;
  run.upload = false;
  run.name = dir.text;
  run.milestonesOn = MilestonesWanted(ui_);
  if (gone()) return;
  run.remoteBase = dir.wire;

  // The local folder of the same name, in the working directory; an
  // existing one is filled, file by file with the replace question.
  const std::string local = qr::toUtf8(dir.text);
  (void)::mkdir(local.c_str(), 0777);
  run.rootFd = ::open(local.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (run.rootFd < 0) {
    ui_.setForeground(4);
    ui_.write(TreeText("naodir") + ": ");
    ui_.writeLineSpoken(SystemReason(errno));
    ui_.setForeground(15);
    return;
  }

  msg_.AnnounceAndGoOn("FTDIRPED", 1);
  count(run, Clock::now() + kCountFirst);
  if (gone()) return;
  const bool counted = !run.walk.pending();
  if (run.stopped ||
      !AskYesNo(ui_, msg_, 
          TreeQuestion(run.name, run.walk.files().size(), run.walk.bytes(), counted))) {
    msg_.Announce("FTDESIS", 2);
    return;
  }
  moveAndTell(run);
}

void Tree::SendFolder(const std::string& localPath) {
  heading(TreeText("enviar"));
  std::string path = localPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const RemoteName root = RemoteName::typed(RemoteNameFromLocal(path));
  if (!SafeComponent(root.wire)) {
    ui_.errorBeep();
    msg_.Announce("FTNOMINV", 1);
    return;
  }
  Run run;
  run.upload = true;
  run.name = root.text;
  run.milestonesOn = MilestonesWanted(ui_);
  // The folder the user named may itself be a link; nothing below it is
  // followed.
  run.rootFd = ::open(qr::toUtf8(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (run.rootFd < 0) {
    ui_.setForeground(4);
    ui_.write(TreeText("naodir") + ": ");
    ui_.writeLineSpoken(SystemReason(errno));
    ui_.setForeground(15);
    return;
  }
  if (gone()) return;
  run.remoteBase = root.wire;
  count(run, Clock::now() + kCountFirst);
  const bool counted = !run.walk.pending();
  if (!AskYesNo(ui_, msg_, 
          TreeQuestion(run.name, run.walk.files().size(), run.walk.bytes(), counted))) {
    msg_.Announce("FTDESIS", 2);
    return;
  }
  moveAndTell(run);
}

void Tree::ReceiveMarked(const std::vector<const ListingEntry*>& marked) {
  heading(TreeText("marcados"));
  Run run;
  run.marked = true;
  run.label = "Marcados";
  run.milestonesOn = MilestonesWanted(ui_);
  if (gone()) return;
  run.rootFd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (run.rootFd < 0) {
    ui_.writeLineSpoken(TreeText("naodir") + ": " + SystemReason(errno));
    return;
  }
  // The current directory stands for the root, listed by the marks.
  const TreeDirectory root = run.walk.nextDirectory();
  // The marked names as the directory holds them now, with their types.
  std::vector<RemoteEntry> entries;
  const RemoteResult r = remote_->listDirectory({}, entries);
  if (!r.ok()) {
    if (!gone()) {
      ui_.errorBeep();
      msg_.Announce("FTERRDIR", 1);
      if (!r.reason.empty()) ui_.writeLineSpoken(r.reason);
    }
    return;
  }
  std::vector<TreeChild> children;
  for (const RemoteEntry& e : entries)
    if (std::any_of(marked.begin(), marked.end(),
                    [&](const ListingEntry* m) { return EntryName(*m).wire == e.name.wire; }))
      children.push_back(ChildOfRemote(e));
  run.walk.add(root, children);
  if (run.walk.pending()) msg_.AnnounceAndGoOn("FTDIRPED", 1);
  count(run, Clock::now() + kCountFirst);
  if (gone()) return;
  if (run.stopped || !AskYesNo(ui_, msg_, MarkedQuestion(run.walk.files().size(),
                                                          run.walk.bytes(), !run.walk.pending()))) {
    msg_.Announce("FTDESIS", 2);
    return;
  }
  moveAndTell(run);
}

void Tree::SendMatching(const std::string& pattern) {
  const size_t slash = pattern.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  sendSet(dir, "Arquivos " + mask, [&](const std::string& name, const struct stat& st) {
    return PatternMatches(mask, qr::fromUtf8(name)) && S_ISREG(st.st_mode);
  });
}

void Tree::SendMarked(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  const size_t slash = paths.front().rfind('/');
  const std::string dir = slash == std::string::npos ? "." : paths.front().substr(0, slash + 1);
  std::vector<std::string> names;
  for (const std::string& p : paths) {
    const size_t at = p.rfind('/');
    names.push_back(qr::toUtf8(at == std::string::npos ? p : p.substr(at + 1)));
  }
  sendSet(dir, "Marcados", [&](const std::string& name, const struct stat& st) {
    return std::find(names.begin(), names.end(), name) != names.end() &&
           (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
  });
}

void Tree::sendSet(const std::string& dir, const std::string& label,
                   const std::function<bool(const std::string&, const struct stat&)>& wanted) {
  heading(TreeText("enviar"));
  Run run;
  run.upload = true;
  run.marked = true;
  run.label = label;
  run.milestonesOn = MilestonesWanted(ui_);
  run.rootFd = ::open(qr::toUtf8(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (run.rootFd < 0) {
    ui_.writeLineSpoken(TreeText("naodir") + ": " + SystemReason(errno));
    return;
  }
  // The wanted entries of the directory, links left alone; directories go
  // whole.
  std::vector<TreeChild> children;
  if (DIR* d = ::fdopendir(::dup(run.rootFd))) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      struct stat st {};
      if (name.empty() || name[0] == '.' ||
          ::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !wanted(name, st))
        continue;
      children.push_back({{qr::fromUtf8(name), name}, S_ISDIR(st.st_mode), false,
                          S_ISDIR(st.st_mode) ? -1 : static_cast<int64_t>(st.st_size)});
    }
    ::closedir(d);
  }
  std::sort(children.begin(), children.end(),
            [](const TreeChild& a, const TreeChild& b) { return a.name.wire < b.name.wire; });
  if (children.empty()) {
    msg_.Announce("FTARQNAO", 1);
    return;
  }
  if (gone()) return;
  const TreeDirectory root = run.walk.nextDirectory();
  run.walk.add(root, children);
  run.dirsMade = 1;  // the current remote directory is there already
  if (run.walk.pending()) count(run, Clock::now() + kCountFirst);
  if (gone()) return;
  if (run.stopped ||
      !AskYesNo(ui_, msg_, MarkedQuestion(run.walk.files().size(), run.walk.bytes(),
                                           !run.walk.pending(), run.label))) {
    msg_.Announce("FTDESIS", 2);
    return;
  }
  moveAndTell(run);
}

}  // namespace ftp
