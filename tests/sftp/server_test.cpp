// File transfer over SSH against a private OpenSSH server on loopback
// (tests/support/sshd-rig.sh): host keys asked, kept, known and refused
// when changed; logins by key, passphrase and password; the operations;
// transfers checked byte by byte, stopped, resumed and cut by a server that
// died. HOME points at a directory of the test, so ~/.ssh is the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "../ftp/ftpFakes.h"
#include "../support/sshdRig.h"
#include "base/cp1252.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"
#include "sftp/sftpDlg.h"
#include "sftp/sftpFiles.h"
#include "sftp/sftpSsh.h"

namespace {

namespace fs = std::filesystem;
using testing_support::SshdRig;

constexpr int kDeadlineMs = 20000;

// The recorder, with keys that are simply there or not: the transfer loops
// ask for them at every pass.
class Tela : public ftp_test::RecordingTela {
 public:
  bool keyPending() override { return !keys.empty(); }
  void waitFor(std::span<qr::WaitFd> fds, int ms) override {
    ++waits;
    RecordingTela::waitFor(fds, ms);
  }
  int waits = 0;
};

// Stops a transfer (returns false), or runs an action, once this many
// bytes have moved.
class Watch : public sftp::Progress {
 public:
  uint64_t stopAt = UINT64_MAX;
  std::function<void()> atStop;
  uint64_t last = 0;
  bool carryOn(uint64_t moved) override {
    last = moved;
    if (moved < stopAt) return true;
    if (!atStop) return false;
    atStop();
    atStop = nullptr;
    stopAt = UINT64_MAX;
    return true;
  }
};

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

std::string readFile(const std::string& path) {
  return SshdRig::read(path);
}

size_t openDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// One connection: the socket, the SSH session and the SFTP dialogue.
struct Link {
  explicit Link(Tela& ui)
      : msg(ui), rede(st, ui), ssh(ui, msg, kDeadlineMs), dlg(ui, ssh, kDeadlineMs) {}
  ftp::ClientState st;
  ftp::Messages msg;
  ftp::Rede rede;
  sftp::Ssh ssh;
  sftp::Dlg dlg;
};

// The commands' view of the server (SftpFiles) over a connection of its own.
struct FilesLink {
  FilesLink(Tela& ui, uint16_t port, int deadlineMs)
      : msg(ui),
        rede(st, ui),
        files(st, ui, msg, rede, [this] { return rede.OpenControlConnection().ok(); }, deadlineMs) {
    st.remoteName = "sftp://ana@127.0.0.1:" + std::to_string(port);
    st.remoteHost = "127.0.0.1";
    st.controlPort = port;
    st.running = true;
  }
  ftp::ClientState st;
  ftp::Messages msg;
  ftp::Rede rede;
  sftp::SftpFiles files;
};

class SftpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!rig_.start()) GTEST_SKIP() << "no private OpenSSH server here";
    home_ = rig_.dir() + "/client";
    fs::create_directories(home_ + "/.ssh");
    const char* old = std::getenv("HOME");
    oldHome_ = old ? old : "";
    ::setenv("HOME", home_.c_str(), 1);
    if (const char* agent = std::getenv("SSH_AUTH_SOCK")) oldAgent_ = agent;
    ::unsetenv("SSH_AUTH_SOCK");
    useKey(rig_.clientKey());
  }
  void TearDown() override {
    if (!oldHome_.empty()) ::setenv("HOME", oldHome_.c_str(), 1);
    if (!oldAgent_.empty()) ::setenv("SSH_AUTH_SOCK", oldAgent_.c_str(), 1);
  }
  // The user's ~/.ssh/id_ed25519 becomes a copy of key (none: removed).
  void useKey(const std::string& key) {
    for (const char* suffix : {"", ".pub"}) fs::remove(home_ + "/.ssh/id_ed25519" + suffix);
    if (key.empty()) return;
    fs::copy_file(key, home_ + "/.ssh/id_ed25519");
    fs::copy_file(key + ".pub", home_ + "/.ssh/id_ed25519.pub");
    fs::permissions(home_ + "/.ssh/id_ed25519", fs::perms::owner_read | fs::perms::owner_write);
  }
  std::string knownHosts() const { return home_ + "/.ssh/known_hosts"; }
  // Connects and checks the host key; answers (S or N) come from ui.keys.
  std::unique_ptr<Link> open(Tela& ui) {
    auto link = std::make_unique<Link>(ui);
    link->st.remoteHost = "127.0.0.1";
    link->st.controlPort = rig_.port();
    if (!link->rede.OpenControlConnection().ok()) return nullptr;
    if (!link->ssh.Start(link->rede, "127.0.0.1", rig_.port())) return nullptr;
    return link;
  }
  // Connected, logged in by key and with the SFTP channel started.
  std::unique_ptr<Link> session(Tela& ui) {
    ui.keys.push_back('s');
    auto link = open(ui);
    if (!link || !link->ssh.Authenticate("ana") || !link->ssh.OpenChannel() ||
        !link->dlg.Start().ok())
      return nullptr;
    return link;
  }
  std::string local(const std::string& name) const { return rig_.dir() + "/" + name; }

  SshdRig rig_;
  std::string home_, oldHome_, oldAgent_;
};

TEST_F(SftpServer, HostKeyIsAskedKeptKnownAndRefusedOnceChanged) {
  {  // N: nothing kept, no connection.
    Tela ui;
    ui.keys = {'n'};
    EXPECT_EQ(open(ui), nullptr);
    const auto said = ui.announced();
    EXPECT_EQ(said, (std::vector<std::string>{"FTSSHINI", "FTHKDES", "FTHKTIP", "FTHKIMP",
                                              "FTHKFIM", "FTHKACE", "FTHKREC"}));
    EXPECT_FALSE(fs::exists(knownHosts()));
    // The whole fingerprint is written, its end said character by character.
    EXPECT_NE(ui.screen.find("SHA256:"), std::string::npos);
    EXPECT_TRUE(std::any_of(ui.events.begin(), ui.events.end(), [](const std::string& e) {
      return e.rfind("speak ", 0) == 0 && e.find(", ") != std::string::npos;
    }));
  }
  {  // S: kept in known_hosts, in its format, under [host]:port.
    Tela ui;
    ui.keys = {'s'};
    EXPECT_NE(open(ui), nullptr);
    EXPECT_TRUE(ui.has("announce FTHKMEM"));
    const std::string kept = readFile(knownHosts());
    EXPECT_EQ(kept.rfind("[127.0.0.1]:" + std::to_string(rig_.port()) + " ssh-ed25519 AAAA", 0), 0u)
        << kept;
  }
  // Names hashed by ssh-keygen -H (as OpenSSH's HashKnownHosts writes them)
  // are recognised as well.
  ASSERT_EQ(std::system(("ssh-keygen -q -H -f '" + knownHosts() + "' >/dev/null 2>&1").c_str()), 0);
  ASSERT_EQ(readFile(knownHosts()).rfind("|1|", 0), 0u);
  {
    Tela ui;
    EXPECT_NE(open(ui), nullptr);
    EXPECT_FALSE(ui.has("announce FTHKACE"));
    EXPECT_TRUE(ui.has("announce FTSSHOK"));
  }
  const std::string before = readFile(knownHosts());
  rig_.stop();
  rig_.replaceHostKey();
  ASSERT_TRUE(rig_.start());
  {  // Another key at the same name and port: an impostor, refused unasked.
    Tela ui;
    ui.keys = {'s'};
    EXPECT_EQ(open(ui), nullptr);
    EXPECT_TRUE(ui.has("announce FTHKMUD"));
    EXPECT_FALSE(ui.has("announce FTHKACE"));
    EXPECT_EQ(ui.keys.size(), 1u);
    EXPECT_EQ(readFile(knownHosts()), before);
  }
}

TEST_F(SftpServer, LoginsByKeyPassphraseAndPassword) {
  const size_t descriptors = openDescriptors();
  {  // The authorised key: no question at all.
    Tela ui;
    auto link = session(ui);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(ui.has("ssh key accepted: id_ed25519"));
    EXPECT_FALSE(ui.has("announce FTSENHA"));
  }
  {  // A key of the right kind but not authorised, then the password,
     // refused once.
    ASSERT_EQ(std::system(("ssh-keygen -q -t ed25519 -N '' -f '" + local("outra") + "'").c_str()),
              0);
    useKey(local("outra"));
    Tela ui;
    ui.keys = {'s'};
    ui.secrets = {"errada", "s3nha"};
    auto link = open(ui);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->ssh.Authenticate("ana"));
    const auto said = ui.announced();
    const std::vector<std::string> login(std::find(said.begin(), said.end(), "FTCHVNAO"),
                                         said.end());
    EXPECT_EQ(login, (std::vector<std::string>{"FTCHVNAO", "FTSENHA", "FTSENREC", "FTSENHA"}));
    // Nothing of a password reaches the screen or the log.
    for (const std::string& e : ui.events) EXPECT_EQ(e.find("s3nha"), std::string::npos) << e;
    EXPECT_EQ(ui.screen.find("errada"), std::string::npos);
    EXPECT_EQ(ui.foregroundWhileSecret, 0);
  }
  {  // A key with a passphrase, asked only because the server would take it.
    ASSERT_EQ(std::system(("ssh-keygen -q -t ed25519 -N 'frase secreta' -f '" + local("cofre") +
                           "' && cat '" + local("cofre") + ".pub' >> '" + rig_.dir() +
                           "/authorized_keys'")
                              .c_str()),
              0);
    useKey(local("cofre"));
    Tela ui;
    ui.keys = {'s'};
    ui.secrets = {"errada", "frase secreta"};
    auto link = open(ui);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->ssh.Authenticate("ana"));
    EXPECT_TRUE(ui.has("announce FTFRAERR"));
    EXPECT_TRUE(ui.has("ssh key accepted: id_ed25519"));
    EXPECT_TRUE(ui.secrets.empty());
  }
  {  // No key at all, and a user who gives up at the password.
    useKey("");
    Tela ui;
    ui.keys = {'s'};
    ui.secrets = {""};
    auto link = open(ui);
    ASSERT_NE(link, nullptr);
    EXPECT_FALSE(link->ssh.Authenticate("ana"));
    EXPECT_TRUE(ui.has("announce FTDESIS"));
    EXPECT_FALSE(ui.has("announce FTCHVNAO"));
  }
  // Every connection's socket was closed with its session.
  EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(SftpServer, OperationsOnNamesWithBlanksAndAccents) {
  Tela ui;
  auto link = session(ui);
  ASSERT_NE(link, nullptr);
  sftp::Dlg& d = link->dlg;
  std::string home;
  ASSERT_TRUE(d.RealPath(".", home).ok());
  EXPECT_EQ(home, rig_.home());
  rig_.putFile("nome com espaço.txt", "abc");
  rig_.putFile("canção.txt", "");
  ASSERT_TRUE(d.MakeDirectory(home + "/relatórios").ok());
  EXPECT_EQ(d.MakeDirectory(home + "/relatórios").outcome, sftp::Outcome::Failed);

  std::vector<sftp::Entry> entries;
  ASSERT_TRUE(d.List(home, entries).ok());
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"canção.txt", "nome com espaço.txt", "relatórios"}));
  for (const auto& e : entries) {
    EXPECT_NE(e.longname.find(e.name), std::string::npos) << e.longname;
    if (e.name == "relatórios") {
      EXPECT_TRUE(e.attrs.isDirectory());
    }
    if (e.name == "nome com espaço.txt") {
      EXPECT_EQ(e.attrs.size, 3u);
    }
  }

  sftp::Attributes a;
  ASSERT_TRUE(d.Stat(home + "/nome com espaço.txt", a).ok());
  EXPECT_TRUE(a.isRegular());
  EXPECT_EQ(d.Stat(home + "/nada", a).outcome, sftp::Outcome::NotFound);
  ASSERT_TRUE(d.Rename(home + "/canção.txt", home + "/relatórios/canção.txt").ok());
  EXPECT_TRUE(fs::exists(rig_.home() + "/relatórios/canção.txt"));
  EXPECT_EQ(d.RemoveDirectory(home + "/relatórios").outcome, sftp::Outcome::Failed);
  ASSERT_TRUE(d.Remove(home + "/relatórios/canção.txt").ok());
  ASSERT_TRUE(d.RemoveDirectory(home + "/relatórios").ok());
  EXPECT_EQ(d.Remove(home + "/nada").outcome, sftp::Outcome::NotFound);
  // A directory of root's: the user may not write there.
  fs::create_directory(rig_.home() + "/do-root");
  EXPECT_EQ(d.MakeDirectory(home + "/do-root/x").outcome, sftp::Outcome::Denied);
  EXPECT_FALSE(link->dlg.lost());
}

TEST_F(SftpServer, TransfersArriveByteForByteAndResume) {
  Tela ui;
  auto link = session(ui);
  ASSERT_NE(link, nullptr);
  sftp::Dlg& d = link->dlg;
  const std::string home = rig_.home();
  for (size_t size : {size_t{0}, size_t{1}, size_t{5 * 1024 * 1024 + 1}}) {
    SCOPED_TRACE(size);
    const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
    std::ofstream(local("up"), std::ios::binary) << bytes;
    Watch w;
    sftp::TransferReport report;
    const int in = ::open(local("up").c_str(), O_RDONLY);
    ASSERT_TRUE(d.Put(in, 0, home + "/subiu", w, report).ok());
    ::close(in);
    EXPECT_EQ(report.moved, size);
    EXPECT_EQ(readFile(home + "/subiu"), bytes);

    const int out = ::open(local("down").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    const int waitsBefore = ui.waits;
    ASSERT_TRUE(d.Get(home + "/subiu", out, 0, w, report).ok());
    ::close(out);
    // libssh takes 4 KiB from the socket per call: the loop waits when the
    // socket is empty, about once per packet of the server's (32 KiB), not
    // once per 4 KiB taken.
    EXPECT_LE(ui.waits - waitsBefore, 3 * static_cast<int>(size / (32 * 1024)) + 10);
    EXPECT_EQ(report.moved, size);
    EXPECT_EQ(report.size, size);
    EXPECT_TRUE(report.reachedEnd);
    EXPECT_EQ(readFile(local("down")), bytes);
  }
  // Going on from what is there, both ways.
  const std::string whole = randomBytes(3 * 1024 * 1024 + 7, 9);
  const size_t half = 1024 * 1024 + 3;
  rig_.putFile("metade", whole.substr(0, half));
  std::ofstream(local("whole"), std::ios::binary) << whole;
  Watch w;
  sftp::TransferReport report;
  int fd = ::open(local("whole").c_str(), O_RDONLY);
  ASSERT_TRUE(d.Put(fd, half, home + "/metade", w, report).ok());
  ::close(fd);
  EXPECT_EQ(report.moved, whole.size() - half);
  EXPECT_EQ(readFile(home + "/metade"), whole);
  std::ofstream(local("parte"), std::ios::binary) << whole.substr(0, half);
  fd = ::open(local("parte").c_str(), O_RDWR);
  ASSERT_TRUE(d.Get(home + "/metade", fd, half, w, report).ok());
  ::close(fd);
  EXPECT_EQ(readFile(local("parte")), whole);
  // What cannot be had is said so.
  fd = ::open(local("nada").c_str(), O_RDWR | O_CREAT, 0644);
  EXPECT_EQ(d.Get(home + "/nada", fd, 0, w, report).outcome, sftp::Outcome::NotFound);
  ::close(fd);
  fd = ::open(local("whole").c_str(), O_RDONLY);
  fs::create_directory(rig_.home() + "/do-root");
  EXPECT_EQ(d.Put(fd, 0, home + "/do-root/x", w, report).outcome, sftp::Outcome::Denied);
  ::close(fd);
}

TEST_F(SftpServer, StoppedOrCutTransfersKeepOnlyWhatArrivedInOrder) {
  const std::string bytes = randomBytes(16 * 1024 * 1024, 3);
  rig_.putFile("grande", bytes);
  Tela ui;
  auto link = session(ui);
  ASSERT_NE(link, nullptr);
  sftp::Dlg& d = link->dlg;
  const std::string home = rig_.home();
  {  // Stopped by the user: the connection goes on.
    Watch w;
    w.stopAt = 1024 * 1024;
    sftp::TransferReport report;
    const int fd = ::open(local("parte").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(d.Get(home + "/grande", fd, 0, w, report).outcome, sftp::Outcome::Escaped);
    ::close(fd);
    const std::string kept = readFile(local("parte"));
    EXPECT_GE(kept.size(), 1024u * 1024u);
    EXPECT_LT(kept.size(), bytes.size());
    EXPECT_EQ(kept.size(), report.moved);
    EXPECT_EQ(kept, bytes.substr(0, kept.size()));
    sftp::Attributes a;
    EXPECT_TRUE(d.Stat(home + "/grande", a).ok());
  }
  {  // The server dies half way.
    Watch w;
    w.stopAt = 2 * 1024 * 1024;
    w.atStop = [&] { rig_.stop(); };
    sftp::TransferReport report;
    const int fd = ::open(local("parte").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    const sftp::Result r = d.Get(home + "/grande", fd, 0, w, report);
    ::close(fd);
    EXPECT_EQ(r.outcome, sftp::Outcome::Lost);
    EXPECT_FALSE(r.message.empty());
    const std::string kept = readFile(local("parte"));
    EXPECT_LT(kept.size(), bytes.size());
    EXPECT_EQ(kept.size(), report.moved);
    EXPECT_EQ(kept, bytes.substr(0, kept.size()));
    EXPECT_TRUE(d.lost());
  }
}

// The commands' view: the account typed with the computer, a current
// directory of its own that only ever names a directory, relative names.
TEST_F(SftpServer, FilesKeepACurrentDirectoryThatIsOne) {
  fs::create_directories(rig_.home() + "/pub/relatórios");
  rig_.putFile("pub/ata.txt", "ata");
  Tela ui;
  ui.keys = {'s'};
  FilesLink link(ui, rig_.port(), kDeadlineMs);
  sftp::SftpFiles& files = link.files;
  const ftp::ClientState& st = link.st;
  ASSERT_TRUE(files.Connect());
  ASSERT_TRUE(files.Login());
  EXPECT_TRUE(ui.has("announce FTACLIBE"));
  EXPECT_TRUE(ui.lines.empty());  // the account was not asked
  std::string where;
  ASSERT_TRUE(files.currentDirectory(where).ok());
  EXPECT_EQ(where, rig_.home());
  using ftp::RemoteName;
  EXPECT_TRUE(files.changeDirectory(RemoteName::typed("pub")).ok());
  EXPECT_EQ(files.changeDirectory(RemoteName::typed("ata.txt")).status, ftp::RemoteStatus::Refused);
  EXPECT_EQ(files.changeDirectory(RemoteName::typed("nada")).status, ftp::RemoteStatus::NotFound);
  std::vector<ftp::RemoteEntry> entries;
  ASSERT_TRUE(files.list(entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    EXPECT_EQ(e.directory, e.name.wire == "relatórios");
    EXPECT_EQ(e.name.text, qr::fromUtf8(e.name.wire));
  }
  EXPECT_TRUE(files.changeDirectory(RemoteName::typed(qr::W("relatórios"))).ok());
  EXPECT_TRUE(files.changeDirectory(RemoteName::typed("..")).ok());
  ASSERT_TRUE(files.currentDirectory(where).ok());
  EXPECT_EQ(where, rig_.home() + "/pub");
  ftp::RemoteEntry entry;
  ASSERT_TRUE(files.stat(RemoteName::typed("ata.txt"), entry).ok());
  EXPECT_EQ(entry.size, 3);
  // Another directory listed where it is, its link as a link (a walk
  // over a tree leaves it out), the current directory kept.
  rig_.putFile("pub/relatórios/r.txt", "r");
  fs::create_symlink("../ata.txt", rig_.home() + "/pub/relatórios/atalho");
  ASSERT_TRUE(files.listDirectory(RemoteName::typed(qr::W("relatórios")), entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    EXPECT_EQ(e.link, e.name.wire == "atalho") << e.name.wire;
    EXPECT_FALSE(e.directory);
  }
  ASSERT_TRUE(files.currentDirectory(where).ok());
  EXPECT_EQ(where, rig_.home() + "/pub");
  // L again is a new session, as another account if the user wants.
  ui.lines = {"ana"};
  ASSERT_TRUE(files.Login());
  EXPECT_TRUE(ui.lines.empty());
  rig_.stop();
  EXPECT_EQ(files.list(entries).status, ftp::RemoteStatus::Lost);
  EXPECT_TRUE(ui.has("announce FTCOMCAI"));
  EXPECT_FALSE(st.running);
}

// A question asked while data moves (ESC during a folder: "Parar a pasta
// inteira?") is the user's time: the server's silence meanwhile is not held
// against it, both ways.
TEST_F(SftpServer, TheUsersTimeOnAQuestionIsNotTheServersSilence) {
  const std::string bytes = randomBytes(4 * 1024 * 1024, 11);
  rig_.putFile("grande", bytes);
  Tela ui;
  ui.keys = {'s'};
  constexpr int kShortDeadlineMs = 1000;
  FilesLink link(ui, rig_.port(), kShortDeadlineMs);
  sftp::SftpFiles& files = link.files;
  ASSERT_TRUE(files.Connect());
  ASSERT_TRUE(files.Login());
  struct Asking : ftp::TransferWatch {
    bool asked = false;
    bool carryOn(int64_t) override {
      if (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      asked = true;
      return true;
    }
  };
  Asking down, up;
  ftp::TransferTally tally;
  int fd = ::open(local("desceu").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  EXPECT_TRUE(files.receive(ftp::RemoteName::typed("grande"), fd, 0, down, tally).ok());
  ::close(fd);
  EXPECT_TRUE(down.asked);
  EXPECT_TRUE(readFile(local("desceu")) == bytes);  // not printed: 4 MiB
  fd = ::open(local("desceu").c_str(), O_RDONLY);
  EXPECT_TRUE(files.send(fd, 0, ftp::RemoteName::typed("subiu"), up, tally).ok());
  ::close(fd);
  EXPECT_TRUE(readFile(rig_.home() + "/subiu") == bytes);
  EXPECT_TRUE(link.st.running);
}

// The connection handed to SSH sends each write at once: SFTP's requests
// are short, and one held back for a full segment waits for the server's
// delayed acknowledgement (about 40 ms a request, seconds for a folder).
TEST_F(SftpServer, TheConnectionSendsShortRequestsAtOnce) {
  Tela ui;
  ftp::ClientState st;
  st.remoteHost = "127.0.0.1";
  st.controlPort = rig_.port();
  ftp::Rede rede(st, ui);
  ASSERT_TRUE(rede.OpenControlConnection().ok());
  const int fd = rede.releaseControl();
  ASSERT_GE(fd, 0);
  int on = 0;
  socklen_t size = sizeof on;
  EXPECT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size), 0);
  EXPECT_EQ(on, 1);
  ::close(fd);
}

// A server of another protocol on the port: said at once, not after the
// deadline.
TEST(SftpIdentification, AnotherProtocolIsNamed) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  socklen_t len = sizeof sa;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
  ::listen(listener, 1);
  std::thread server([listener] {
    const int fd = ::accept(listener, nullptr, nullptr);
    const char greeting[] = "220 FTP pronto\r\n";
    (void)::send(fd, greeting, sizeof greeting - 1, 0);
    char buf[64];
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    ::close(fd);
  });
  Tela ui;
  ftp::ClientState st;
  st.remoteHost = "127.0.0.1";
  st.controlPort = ntohs(sa.sin_port);
  ftp::Messages msg(ui);
  ftp::Rede rede(st, ui);
  sftp::Ssh ssh(ui, msg, kDeadlineMs);
  ASSERT_TRUE(rede.OpenControlConnection().ok());
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(ssh.Start(rede, "127.0.0.1", st.controlPort));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
  EXPECT_TRUE(ui.has("announce FTSSHNAO"));
  EXPECT_NE(ui.screen.find("220 FTP pronto"), std::string::npos);
  rede.CloseConnections();
  ssh.Close();
  server.join();
  ::close(listener);
}

}  // namespace
