// The remote computer interface behaves the same over both protocols: one
// table of rows run against FTP (ftpFiles, on a private pyftpdlib, with and
// without MLST and MLSD) and SFTP (sftpFiles, on the private OpenSSH
// server). Names with blanks and
// accents, the facts of a file, transfers of odd sizes compared byte for
// byte, transfers that go on from an offset, the directory operations, and
// a missing file told apart from a denied one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>

#include "../ftp/ftpFakes.h"
#include "../support/ftpdRig.h"
#include "../support/sshdRig.h"
#include "base/cp1252.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRemoteCmds.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpRemoteCmds.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"
#include "sftp/sftpFiles.h"

namespace {

namespace fs = std::filesystem;
using ftp::RemoteName;
using ftp::RemoteStatus;

constexpr int kDeadlineMs = 20000;

std::string bytesOf(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Stops the transfer (as ESC does) once more than stopAfter bytes moved.
class CountingWatch : public ftp::TransferWatch {
 public:
  int64_t last = -1;
  int64_t stopAfter = INT64_MAX;
  bool carryOn(int64_t moved) override {
    last = moved;
    return moved <= stopAfter;
  }
};

// One back end, logged in, with the local path of its remote directory.
class Side {
 public:
  virtual ~Side() = default;
  // False when its server cannot run here.
  [[nodiscard]] virtual bool up() = 0;
  [[nodiscard]] virtual ftp::RemoteFiles& files() = 0;
  [[nodiscard]] virtual std::string home() const = 0;
  // A file of the remote directory, as the server's user would own it.
  virtual void put(const std::string& name, const std::string& bytes) {
    std::ofstream(home() + "/" + name, std::ios::binary) << bytes;
  }
  // A directory where the user may read but not write, holding a file she
  // may not read.
  virtual void makeForbidden() = 0;
  ftp_test::RecordingTela ui;
  ftp::ClientState st;
};

class FtpSide : public Side {
 public:
  explicit FtpSide(bool old) : old_(old) {}
  bool up() override {
    if (!rig_.start(old_)) return false;
    ui.settings["PRAZO"] = "20";
    st.remoteName = st.remoteHost = "127.0.0.1";
    st.controlPort = rig_.port();
    st.passive = true;
    st.running = true;
    files_.useTransfers(st, rede_, transfer_);
    if (!rede_.OpenControlConnection().ok() || dlg_.ReadReply() != 220) return false;
    for (const char* line : {"USER ana", "PASS s3nha"}) {
      if (!dlg_.SendCommand(line)) return false;
      (void)dlg_.awaitReply();
    }
    std::string where;
    return files_.currentDirectory(where).ok();
  }
  ftp::RemoteFiles& files() override { return files_; }
  std::string home() const override { return rig_.home(); }
  void makeForbidden() override {
    // The server's own rule: listing only, under ro.
    std::ofstream(home() + "/ro/segredo.txt") << "x";
  }

 private:
  bool old_;
  testing_support::FtpdRig rig_;
  ftp::Messages msg_{ui};
  ftp::Rede rede_{st, ui};
  ftp::Dlg dlg_{st, ui, msg_, rede_};
  ftp::Port port_{st, dlg_, rede_};
  ftp::PlainFileDialogs dialogs_{ui};
  ftp::Transfer transfer_{st, ui, msg_, dlg_, rede_, port_};
  ftp::FtpFiles files_{ui, msg_, dlg_};
};

class SftpSide : public Side {
 public:
  ~SftpSide() override {
    files_.reset();
    if (!oldHome_.empty()) ::setenv("HOME", oldHome_.c_str(), 1);
  }
  bool up() override {
    if (!rig_.start()) return false;
    const std::string home = rig_.dir() + "/client";
    fs::create_directories(home + "/.ssh");
    if (const char* old = std::getenv("HOME")) oldHome_ = old;
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("SSH_AUTH_SOCK");
    fs::copy_file(rig_.clientKey(), home + "/.ssh/id_ed25519");
    fs::copy_file(rig_.clientKey() + ".pub", home + "/.ssh/id_ed25519.pub");
    fs::permissions(home + "/.ssh/id_ed25519", fs::perms::owner_read | fs::perms::owner_write);
    ui.keys = {'s'};  // the unknown host key is accepted
    st.remoteName = "sftp://ana@127.0.0.1:" + std::to_string(rig_.port());
    st.remoteHost = "127.0.0.1";
    st.controlPort = rig_.port();
    st.running = true;
    files_ = std::make_unique<sftp::SftpFiles>(
        st, ui, msg_, rede_, [this] { return rede_.OpenControlConnection().ok(); }, kDeadlineMs);
    return files_->Connect() && files_->Login();
  }
  ftp::RemoteFiles& files() override { return *files_; }
  std::string home() const override { return rig_.home(); }
  void put(const std::string& name, const std::string& bytes) override { rig_.putFile(name, bytes); }
  void makeForbidden() override {
    // Owned by this process's user, not the server's: she may list it only.
    fs::create_directories(home() + "/ro");
    fs::permissions(home() + "/ro", fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    std::ofstream(home() + "/ro/segredo.txt") << "x";
    fs::permissions(home() + "/ro/segredo.txt", fs::perms::owner_read | fs::perms::owner_write);
  }

 private:
  testing_support::SshdRig rig_;
  std::string oldHome_;
  ftp::Messages msg_{ui};
  ftp::Rede rede_{st, ui};
  std::unique_ptr<sftp::SftpFiles> files_;
};

class BothProtocols : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() != "sftp")
      side_ = std::make_unique<FtpSide>(GetParam() == "ftpWithoutMlst");
    else
      side_ = std::make_unique<SftpSide>();
    if (!side_->up()) GTEST_SKIP() << "no private " << GetParam() << " server here";
    std::string pattern = fs::temp_directory_path().string() + "/both-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    scratch_ = pattern;
  }
  void TearDown() override {
    side_.reset();
    std::error_code ec;
    if (!scratch_.empty()) fs::remove_all(scratch_, ec);
  }
  ftp::RemoteFiles& remote() { return side_->files(); }
  std::string local(const std::string& name) const { return scratch_ + "/" + name; }

  std::unique_ptr<Side> side_;
  std::string scratch_;
};

TEST_P(BothProtocols, ListingAndFactsOfNamesWithBlanksAndAccents) {
  const std::string accented = "relatório de março.txt";  // UTF-8 on the server
  fs::create_directories(side_->home() + "/lista/pasta com espaço");
  side_->put("lista/" + accented, "abcde");
  side_->put("lista/a b.txt", "");
  ASSERT_TRUE(remote().changeDirectory(RemoteName::typed("lista")).ok());

  std::vector<ftp::RemoteEntry> entries;
  ASSERT_TRUE(remote().list(entries).ok());
  std::set<std::string> names;
  for (const ftp::RemoteEntry& e : entries) {
    names.insert(e.name.wire);
    EXPECT_EQ(e.name.text, qr::fromUtf8(e.name.wire)) << e.name.wire;
    EXPECT_EQ(e.directory, e.name.wire == "pasta com espaço") << e.name.wire;
    if (e.name.wire == accented) {
      EXPECT_EQ(e.size, 5);
      // A plain listing's time is the server's local one: not told.
      if (GetParam() != "ftpWithoutMlst") {
        EXPECT_EQ(e.modified.size(), 14u);
      }
    }
  }
  EXPECT_EQ(names, (std::set<std::string>{accented, "a b.txt", "pasta com espaço"}));

  // The browser's table of it is the same whichever protocol and listing
  // gave it: the names heard and sent, the directory, the size, a time, the
  // order.
  std::vector<ftp::ListingEntry> table = ftp::RemoteListingTable(entries);
  ftp::SortListing(table, static_cast<int>(ftp::ListOrder::Name));
  std::vector<std::string> browsed;
  for (const ftp::ListingEntry& e : table) {
    const RemoteName n = ftp::EntryName(e);
    browsed.push_back(n.wire + (ftp::IsDirectoryEntry(e) ? " dir" : " " + std::to_string(e.size)));
    EXPECT_EQ(n.text, qr::fromUtf8(n.wire));
    EXPECT_GT(e.modified, 200001010000) << n.wire;
  }
  EXPECT_EQ(browsed, (std::vector<std::string>{"pasta com espaço dir", "a b.txt 0",
                                               accented + " 5"}));

  struct Row {
    std::string name;
    RemoteStatus status;
    std::optional<int64_t> size;
    bool directory;
  };
  const Row rows[] = {
      {accented, RemoteStatus::Done, 5, false},
      {"a b.txt", RemoteStatus::Done, 0, false},
      {"nada.txt", RemoteStatus::NotFound, std::nullopt, false},
  };
  for (const Row& row : rows) {
    ftp::RemoteEntry e;
    const ftp::RemoteResult r = remote().stat(RemoteName::typed(qr::fromUtf8(row.name)), e);
    EXPECT_EQ(r.status, row.status) << row.name;
    if (!r.ok()) continue;
    EXPECT_EQ(e.size, row.size) << row.name;
    EXPECT_EQ(e.directory, row.directory) << row.name;
    EXPECT_EQ(e.modified.size(), 14u) << row.name;
  }
}

// What a walk over a tree asks: a directory listed by its name, relative
// or not, the current directory staying where it was, links told as links.
TEST_P(BothProtocols, ADirectoryIsListedByNameAndTheCurrentOneStays) {
  const std::string inner = "árvore/pasta com espaço";
  fs::create_directories(side_->home() + "/" + inner + "/sub");
  side_->put(inner + "/ação 1.txt", "abc");
  side_->put(inner + "/-menos", "");
  fs::create_symlink("/etc/passwd", side_->home() + "/" + inner + "/senhas");
  std::string before;
  ASSERT_TRUE(remote().currentDirectory(before).ok());

  struct Row {
    std::string dir;  // as the walk names it, UTF-8
    RemoteStatus status;
    std::set<std::string> names;  // "/" after a directory, "@" after a link
  } rows[] = {
      {inner, RemoteStatus::Done, {"ação 1.txt", "-menos", "senhas@", "sub/"}},
      {inner + "/sub", RemoteStatus::Done, {}},
      {"", RemoteStatus::Done, {"árvore/"}},  // and ro/, the FTP rig's own
      {"não há", RemoteStatus::NotFound, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dir);
    std::vector<ftp::RemoteEntry> entries;
    const ftp::RemoteResult r =
        remote().listDirectory({qr::fromUtf8(row.dir), row.dir}, entries);
    // FTP tells a missing directory apart only by its words.
    if (row.status == RemoteStatus::NotFound) {
      EXPECT_FALSE(r.ok());
    } else {
      EXPECT_EQ(r.status, row.status) << r.reason;
    }
    std::set<std::string> names;
    for (const ftp::RemoteEntry& e : entries) {
      if (e.name.wire == "." || e.name.wire == "..") continue;
      if (e.name.wire == "ro") continue;
      // pyftpdlib's MLSD tells the type of a link's target.
      const bool told = e.link || (GetParam() == "ftp" && e.name.wire == "senhas");
      names.insert(e.name.wire + (e.directory ? "/" : told ? "@" : ""));
      if (e.name.wire == "ação 1.txt") {
        EXPECT_EQ(e.size, 3);
      }
    }
    EXPECT_EQ(names, row.names);
    std::string after;
    ASSERT_TRUE(remote().currentDirectory(after).ok());
    EXPECT_EQ(after, before) << "the listing moved the current directory";
  }
}

TEST_P(BothProtocols, TransfersArriveByteForByteAndGoOnFromAnOffset) {
  struct Row {
    size_t size;
    int64_t offset;  // what is there already: locally for a receive, remotely for a send
  };
  const Row rows[] = {{0, 0}, {1, 0}, {65537, 0}, {(1 << 20) + 3, 0}, {65537, 4099}, {1, 0}};
  unsigned seed = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.size) + " from " + std::to_string(row.offset));
    const std::string bytes = bytesOf(row.size, seed++);
    const std::string name = "file " + std::to_string(seed) + ".bin";

    // Receive: the local file holds the first offset bytes.
    side_->put(name, bytes);
    const std::string got = local("got");
    std::ofstream(got, std::ios::binary) << bytes.substr(0, static_cast<size_t>(row.offset));
    int fd = ::open(got.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, row.offset, SEEK_SET), row.offset);
    CountingWatch watch;
    ftp::TransferTally tally;
    ftp::RemoteResult r = remote().receive(RemoteName::typed(name), fd, row.offset, watch, tally);
    ::close(fd);
    EXPECT_TRUE(r.ok()) << r.reason;
    EXPECT_TRUE(tally.whole);
    EXPECT_EQ(tally.moved, static_cast<int64_t>(row.size) - row.offset);
    EXPECT_TRUE(readAll(got) == bytes);

    // Send: the remote file holds the first offset bytes.
    const std::string sentName = "sent " + name;
    if (row.offset > 0) side_->put(sentName, bytes.substr(0, static_cast<size_t>(row.offset)));
    const std::string from = local("from");
    std::ofstream(from, std::ios::binary) << bytes;
    fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    tally = {};
    r = remote().send(fd, row.offset, RemoteName::typed(sentName), watch, tally);
    ::close(fd);
    EXPECT_TRUE(r.ok()) << r.reason;
    EXPECT_TRUE(tally.whole);
    EXPECT_EQ(tally.moved, static_cast<int64_t>(row.size) - row.offset);
    EXPECT_TRUE(readAll(side_->home() + "/" + sentName) == bytes);
  }
}

TEST_P(BothProtocols, AStoppedTransferEndsThereAndTheSessionGoesOn) {
  const std::string bytes = bytesOf(16 << 20, 7);
  side_->put("grande.bin", bytes);
  const std::string from = local("from");
  std::ofstream(from, std::ios::binary) << bytes;
  for (const bool receive : {true, false}) {
    SCOPED_TRACE(receive ? "receive" : "send");
    CountingWatch watch;
    watch.stopAfter = 0;
    ftp::TransferTally tally;
    ftp::RemoteResult r;
    if (receive) {
      const int fd = ::open(local("got").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      r = remote().receive(RemoteName::typed("grande.bin"), fd, 0, watch, tally);
      ::close(fd);
      EXPECT_EQ(static_cast<int64_t>(fs::file_size(local("got"))), tally.moved);
    } else {
      const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
      r = remote().send(fd, 0, RemoteName::typed("enviado.bin"), watch, tally);
      ::close(fd);
    }
    EXPECT_EQ(r.status, RemoteStatus::GaveUp);
    EXPECT_FALSE(tally.whole);
    EXPECT_LT(tally.moved, static_cast<int64_t>(bytes.size()));
    // The next request is answered as its own.
    ftp::RemoteEntry e;
    ASSERT_TRUE(remote().stat(RemoteName::typed("grande.bin"), e).ok());
    EXPECT_EQ(e.size, static_cast<int64_t>(bytes.size()));
  }
}

TEST_P(BothProtocols, DirectoryOperationsAndTheirRefusals) {
  side_->put("velho.txt", "v");
  const RemoteName dir = RemoteName::typed(qr::fromUtf8("nova pasta ç"));
  EXPECT_TRUE(remote().makeDirectory(dir).ok());
  EXPECT_TRUE(fs::is_directory(side_->home() + "/nova pasta ç"));
  EXPECT_FALSE(remote().makeDirectory(dir).ok());  // already there
  EXPECT_TRUE(remote().changeDirectory(dir).ok());
  EXPECT_TRUE(remote().changeToParent().ok());
  EXPECT_TRUE(remote().rename(RemoteName::typed("velho.txt"), RemoteName::typed("novo.txt")).ok());
  EXPECT_TRUE(fs::exists(side_->home() + "/novo.txt"));
  EXPECT_FALSE(fs::exists(side_->home() + "/velho.txt"));
  EXPECT_TRUE(remote().removeFile(RemoteName::typed("novo.txt")).ok());
  EXPECT_TRUE(remote().removeDirectory(dir).ok());
  EXPECT_FALSE(fs::exists(side_->home() + "/nova pasta ç"));

  // What is not there fails, and nothing is said to have been done.
  const RemoteName none = RemoteName::typed("nada");
  for (const ftp::RemoteResult& r :
       {remote().removeFile(none), remote().removeDirectory(none), remote().changeDirectory(none),
        remote().rename(none, RemoteName::typed("outro"))}) {
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.status, RemoteStatus::Lost);
  }
  EXPECT_TRUE(remote().connected());
}

TEST_P(BothProtocols, AMissingFileIsToldApartFromADeniedOne) {
  side_->makeForbidden();
  const std::string from = local("from");
  std::ofstream(from, std::ios::binary) << "abc";
  struct Row {
    const char* what;
    bool receive;
    const char* name;
    RemoteStatus status;
  };
  const Row rows[] = {
      {"receive a missing file", true, "nada.bin", RemoteStatus::NotFound},
      {"receive a file not to be read", true, "ro/segredo.txt", RemoteStatus::Denied},
      {"send into a directory not to be written", false, "ro/novo.txt", RemoteStatus::Denied},
      {"send into a missing directory", false, "nada/novo.txt", RemoteStatus::NotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CountingWatch watch;
    ftp::TransferTally tally;
    ftp::RemoteResult r;
    if (row.receive) {
      const int fd = ::open(local("got").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      r = remote().receive(RemoteName::typed(row.name), fd, 0, watch, tally);
      ::close(fd);
    } else {
      const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
      r = remote().send(fd, 0, RemoteName::typed(row.name), watch, tally);
      ::close(fd);
    }
    EXPECT_EQ(r.status, row.status) << r.reason;
    EXPECT_FALSE(tally.whole);
    EXPECT_TRUE(remote().connected());
  }
  EXPECT_FALSE(fs::exists(side_->home() + "/ro/novo.txt"));
}

// The prompt's receive and send over either protocol: the same words for
// the same event, whatever the protocol met on the way (FTP's REST, SFTP's
// offset reads; FTP's 550 to SIZE or MLST, SFTP's status).
TEST_P(BothProtocols, TheReceiveAndTheSendSayTheSameOverEitherProtocol) {
  const std::string bytes = bytesOf(3 << 20, 11);
  side_->put("igual.bin", bytes);
  fs::create_directories(side_->home() + "/pasta");
  const std::string toSend = local("enviar.bin");
  std::ofstream(toSend, std::ios::binary) << "abc";
  const std::string isDirectory = "speak " + qr::W("É um diretório");
  ftp::Messages msg(side_->ui);
  ftp::PlainFileDialogs dialogs(side_->ui);
  ftp::RemoteTransfers transfers(side_->st, side_->ui, msg, remote(), dialogs);
  struct Row {
    const char* what;
    const char* name;
    int64_t part;  // bytes of an earlier attempt, gone on with
    bool escape;   // ESC as the data begins
    std::vector<std::string> heard;
    std::string said;  // as it happened
    bool send = false;
    // Told only where the stat is certain (not by FTP without MLST, whose
    // server refuses the transfer in its own words).
    bool certainOnly = false;
  };
  const Row rows[] = {
      {"whole", "igual.bin", 0, false, {"FTRECEBE", "FTFIMREC"}, ""},
      {"resumed", "igual.bin", 65536, false, {"FTRECEBE", "FTFIMREC"},
       "speak " + ftp::ResumeText("continuando") + ftp::SizeWords(65536)},
      {"missing", "nada.bin", 0, false, {"FTRECEBE", "FTARQNAO", "FTTRAREC"}, ""},
      {"stopped", "igual.bin", 0, true, {"FTRECEBE", "FTINTERR"},
       "say " + ftp::TransferText("interrompendo")},
      {"a directory received", "pasta", 0, false, {"FTRECEBE"}, isDirectory, false, true},
      {"a directory sent onto", "pasta", 0, false, {"FTTRANSM"}, isDirectory, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string target = local(std::string(row.what) + ".bin");
    const std::string part = target + ".part";
    if (row.part > 0) {
      std::ofstream(part, std::ios::binary) << bytes.substr(0, static_cast<size_t>(row.part));
      ftp::RemoteEntry e;
      ASSERT_TRUE(remote().stat(RemoteName::typed(row.name), e).ok());
      const std::string size = std::to_string(*e.size);
      ASSERT_EQ(::setxattr(part.c_str(), ftp::kPartSizeAttribute, size.data(), size.size(), 0), 0);
      ASSERT_EQ(::setxattr(part.c_str(), ftp::kPartTimeAttribute, e.modified.data(),
                           e.modified.size(), 0),
                0);
    }
    ftp_test::RecordingTela& ui = side_->ui;
    ui.events.clear();
    ui.idleAsks = 0;
    ui.lines = {row.send ? toSend : row.name, row.send ? row.name : target};
    ui.keys.clear();
    if (remote().offersTextMode()) ui.keys.push_back('s');  // binary
    if (row.part > 0) ui.keys.push_back('s');               // go on from the .part
    if (row.escape) ui.keys.push_back(27);
    if (row.send)
      transfers.SendFile({});
    else
      transfers.ReceiveFile(RemoteName{});
    std::vector<std::string> heard;
    for (const std::string& key : ui.announced())
      if (key.rfind("FTMODIMG", 0) != 0 && key != "FTNOMREM" && key != "FTNOMLOC" &&
          key != "FTSIMNAO" && key != "FTPARTE")
        heard.push_back(key);
    if (row.certainOnly && !remote().statCertain()) {
      // Refused all the same, and never said to be done.
      EXPECT_EQ(heard.front(), row.heard.front());
      EXPECT_TRUE(std::find(heard.begin(), heard.end(), "FTFIMREC") == heard.end());
      EXPECT_TRUE(std::find(heard.begin(), heard.end(), "FTFIMENV") == heard.end());
    } else {
      EXPECT_EQ(heard, row.heard);
    }
    if (!row.said.empty() && (!row.certainOnly || remote().statCertain())) {
      EXPECT_TRUE(ui.has(row.said));
    }
    if (row.send) {
      EXPECT_TRUE(fs::is_directory(side_->home() + "/pasta"));
      EXPECT_TRUE(fs::is_empty(side_->home() + "/pasta"));
      EXPECT_TRUE(remote().connected());
      continue;
    }
    const bool whole = row.heard.back() == "FTFIMREC";
    EXPECT_EQ(fs::exists(target), whole);
    if (whole) {
      EXPECT_TRUE(readAll(target) == bytes);
      // What Q says: all this receive moved.
      EXPECT_EQ(side_->st.transferBytes, static_cast<int64_t>(bytes.size()) - row.part);
    }
    EXPECT_FALSE(fs::exists(part) && fs::file_size(part) == 0);
    EXPECT_TRUE(remote().connected());
  }
}

INSTANTIATE_TEST_SUITE_P(Protocols, BothProtocols, ::testing::Values("ftp", "ftpWithoutMlst", "sftp"),
                         [](const auto& info) { return info.param; });

}  // namespace
