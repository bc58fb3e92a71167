// Whole folders: which listed names the walk takes, and what the user hears.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <map>
#include <set>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpPool.h"
#include "ftp/ftpTree.h"
#include "manyServer.h"
#include "transferRig.h"

namespace {

using ftp::TreeChild;

TreeChild child(std::string name, bool directory = false, bool link = false, int64_t size = -1) {
  return {{qr::fromUtf8(name), name}, directory, link, size};
}

TEST(TreeNames, OnlyPlainComponentsMayNameALocalFile) {
  struct Case {
    std::string name;
    bool safe;
  } cases[] = {
      {"fotos", true},     {"a b.txt", true},   {"ação.txt", true}, {"...", true},
      {"..x", true},       {"", false},         {".", false},       {"..", false},
      {"../x", false},     {"/etc/x", false},   {"a/b", false},     {"a\nb", false},
      {"a\rb", false},     {"a\tb", false},     {"a\x7f", false},   {std::string("a\0b", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(ftp::SafeComponent(c.name), c.safe) << c.name;
}

TEST(TreeWalk, AHostileListingNeverLeavesTheFolderAndLinksAreNotFollowed) {
  ftp::TreeWalk walk;
  ASSERT_TRUE(walk.pending());
  const ftp::TreeDirectory root = walk.nextDirectory();
  EXPECT_TRUE(root.rel.wire.empty());
  walk.add(root, {child("."), child(".."), child("../x", false, false, 5),
                  child("/etc/x", false, false, 5), child("x", false, true),
                  child("sub dir", true), child("a b.txt", false, false, 4096),
                  child("linkdir", true, true), child("..", true)});
  ASSERT_EQ(walk.files().size(), 1u);
  EXPECT_EQ(walk.files()[0].rel.wire, "a b.txt");
  EXPECT_EQ(walk.bytes(), 4096);
  ASSERT_EQ(walk.leftOut().size(), 4u);
  EXPECT_EQ(walk.leftOut()[0].name, "../x");
  EXPECT_EQ(walk.leftOut()[0].reason, ftp::TreeText("nome"));
  EXPECT_EQ(walk.leftOut()[1].name, "/etc/x");
  EXPECT_EQ(walk.leftOut()[2].reason, ftp::TreeText("link"));
  EXPECT_EQ(walk.leftOut()[3].name, "linkdir");
  EXPECT_EQ(walk.leftOut()[0].file, -1);  // nothing to try again

  // The subdirectory is listed next; its names join its path.
  ASSERT_TRUE(walk.pending());
  const ftp::TreeDirectory sub = walk.nextDirectory();
  EXPECT_EQ(sub.rel.wire, "sub dir");
  walk.add(sub, {child("ação.txt", false, false, 10), child("vazio", true)});
  EXPECT_EQ(walk.files()[1].rel.wire, "sub dir/ação.txt");
  EXPECT_EQ(walk.files()[1].rel.text, qr::W("sub dir/ação.txt"));
  EXPECT_EQ(walk.bytes(), 4106);
  ASSERT_TRUE(walk.pending());
  EXPECT_EQ(walk.nextDirectory().rel.wire, "sub dir/vazio");
  EXPECT_FALSE(walk.pending());
  EXPECT_EQ(walk.directories().size(), 3u);  // the empty one is made too
}

TEST(TreeWalk, ListingLinesOfBothFormatsTellFilesDirectoriesAndLinks) {
  struct Case {
    std::string raw;
    bool machine;
    std::string name;
    bool directory, link;
    int64_t size;
  } cases[] = {
      {"-rw-r--r--    1 1000     1000         4096 Dec 10 14:00 a b.txt", false, "a b.txt",
       false, false, 4096},
      {"drwxr-xr-x    2 1000     1000         4096 Dec 10 14:00 fotos", false, "fotos", true,
       false, 4096},
      {"lrwxrwxrwx    1 1000     1000            4 Dec 10 14:00 x -> /etc", false, "x", false,
       true, 4},
      {"prw-r--r--    1 1000     1000            0 Dec 10 14:00 fifo", false, "fifo", false,
       true, 0},
      {"type=file;size=10;modify=20261210140000; leia me.txt", true, "leia me.txt", false, false,
       10},
      {"type=dir;modify=20261210140000; fotos", true, "fotos", true, false, -1},
      {"type=OS.unix=slink:/etc;modify=20261210140000; x", true, "x", false, true, -1},
  };
  for (const Case& c : cases) {
    const auto table = c.machine ? ftp::MachineListingTable(c.raw + "\r\n")
                                 : ftp::ListingTable(c.raw + "\r\n");
    ASSERT_EQ(table.size(), 1u) << c.raw;
    const TreeChild got = ftp::ChildOfEntry(table[0]);
    EXPECT_EQ(got.name.wire, c.name) << c.raw;
    EXPECT_EQ(got.directory, c.directory) << c.raw;
    EXPECT_EQ(got.link, c.link) << c.raw;
    EXPECT_EQ(got.size, c.size) << c.raw;
  }
}

TEST(TreeTexts, CountProgressAndOutcomeAreSaidInWords) {
  constexpr int64_t kM = 1024 * 1024;
  EXPECT_EQ(ftp::TreeQuestion("fotos", 312, 48 * kM, true),
            "Pasta fotos: 312 arquivos, 48 megabaites. Continuar?  ");
  EXPECT_EQ(ftp::TreeQuestion("fotos", 1, 3, false),
            qr::W("Pasta fotos: até agora 1 arquivo, 3 baites, ainda contando. Continuar?  "));
  EXPECT_EQ(ftp::TreeProgressText(45, 312, 12 * kM, 48 * kM),
            "Arquivo 45 de 312, 12 megabaites de 48");
  EXPECT_EQ(ftp::TreeProgressText(1, 312, 1 * kM, 48 * kM),
            "Arquivo 1 de 312, 1 megabaite de 48");
  EXPECT_EQ(ftp::TreeProgressText(2, 312, 512 * 1024, 48 * kM),
            "Arquivo 2 de 312, 512 quilobaites de 48 megabaites");
  EXPECT_EQ(ftp::TreeDoneText(false, 312, 48 * kM, std::chrono::seconds(9)),
            "Pasta recebida: 312 arquivos, 48 megabaites em 9 segundos");
  EXPECT_EQ(ftp::TreeDoneText(true, 1, 0, std::chrono::milliseconds(10)),
            "Pasta enviada: 1 arquivo, 0 baites em menos de um segundo");
  EXPECT_EQ(ftp::TreeFailedText(false, 310, 312, 2), "310 de 312 recebidos; 2 falharam");
  EXPECT_EQ(ftp::TreeFailedText(true, 0, 1, 1), "0 de 1 enviados; 1 falhou");
  EXPECT_EQ(ftp::TreeLeftOutText(3), "3 itens deixados de lado");
  EXPECT_EQ(ftp::MarkedQuestion(12, 4 * kM, true),
            "Marcados: 12 arquivos, 4 megabaites. Continuar?  ");
  EXPECT_EQ(ftp::MarkedDoneText(false, 2, 10, std::chrono::seconds(1)),
            "Marcados recebidos: 2 arquivos, 10 baites em 1 segundo");
}

TEST(TreeNames, PatternsMatchWithoutCaseAndDotStarTakesNamesWithoutExtension) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.txt", "a.txt", true},      {"*.txt", "B.TXT", true},   {"*.txt", "a.txt.bak", false},
      {"*.txt", "c.doc", false},     {"?.txt", "ab.txt", false}, {"a?c*", "abcdef", true},
      {"leia*.*", "leiame", true},   {"*", "", true},            {"*.*", "sem", true},
      {"x*y", "x", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ftp::PatternMatches(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  EXPECT_EQ(ftp::MarkedDoneText(true, 2, 4, std::chrono::seconds(2), "Arquivos *.txt"),
            "Arquivos *.txt enviados: 2 arquivos, 4 baites em 2 segundos");
}

TEST(TreeNames, PathsJoinWithOneSlash) {
  EXPECT_EQ(ftp::JoinPath("/", "fotos"), "/fotos");
  EXPECT_EQ(ftp::JoinPath("/home/u", "fotos"), "/home/u/fotos");
  EXPECT_EQ(ftp::JoinPath("/home/u/", "a b"), "/home/u/a b");
  EXPECT_EQ(ftp::JoinPath("", "a"), "a");
  EXPECT_EQ(ftp::JoinPath("/base", ""), "/base");
}


// Folders over several connections, against a server that takes several:
// every file judged as one file is, whatever befalls the connection that
// moves it.
namespace folders {

// Keys read as a person answers: beforeRead may take its time.
struct FolderTela : ftp_test::GatedTela {
  std::function<void()> beforeRead;
  uint8_t readKey() override {
    if (beforeRead) beforeRead();
    return GatedTela::readKey();
  }
};

struct TreeRig {
  ftp_test::ManyFtp server;
  FolderTela ui;
  ftp::ClientState st;
  ftp::Messages msg{ui};
  ftp::Rede rede{st, ui};
  ftp::Dlg dlg{st, ui, msg, rede};
  ftp::Port port{st, dlg, rede};
  ftp_test::FakeDialogs dialogs;
  ftp::Transfer transfer{st, ui, msg, dlg, rede, port};
  ftp::Tree tree{st, ui, msg, transfer.files()};
  std::filesystem::path scratch, before;

  TreeRig() {
    platform::ignoreProcessSignals();
    ui.settings["PRAZO"] = "5";
    scratch = std::filesystem::temp_directory_path() /
              ("naviro-folders-" + std::to_string(::getpid()));
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    before = std::filesystem::current_path();
    std::filesystem::current_path(scratch);  // a received folder lands in the working directory
  }
  ~TreeRig() {
    rede.CloseConnections();
    std::filesystem::current_path(before);
    std::filesystem::remove_all(scratch);
  }
  bool login() {
    st.remoteName = st.remoteHost = "127.0.0.1";
    st.controlPort = server.port();
    st.passive = true;
    st.userName = "ana";
    st.password = "s3nha";
    st.running = true;  // as in a session: a lost connection ends it
    if (!rede.OpenControlConnection().ok() || dlg.ReadReply() != 220) return false;
    return dlg.SendCommand("USER ana") && dlg.ReadReply() == 331 &&
           dlg.SendCommand("PASS s3nha") && dlg.ReadReply() == 230;
  }
  void keys(const std::string& k) {
    for (char c : k) ui.keys.push_back(static_cast<uint8_t>(c));
  }
  std::string said() const {
    std::string all;
    for (const auto& e : ui.events) all += e + "\n";
    return all;
  }
  // Keys are seen at the folder's questions and in its failures' list (a
  // key while data moves would ask for the progress), or when also says.
  void keysAtQuestions(std::function<bool()> also = {}) {
    ui.gate = [this, also] {
      if (also && also()) return true;
      const auto& e = ui.events;
      for (size_t k = e.size() > 3 ? e.size() - 3 : 0; k < e.size(); ++k)
        if (e[k].find("Continuar") != std::string::npos ||
            e[k].find("Parar a pasta") != std::string::npos ||
            e[k].find("Setas percorrem") != std::string::npos)
          return true;
      return false;
    };
  }
  // "envio" sent, or "pasta" received; a run that ends early fails.
  void moveFolder(bool upload) {
    try {
      if (upload)
        tree.SendFolder("envio");
      else
        tree.ReceiveFolder(ftp::RemoteName::typed("pasta"));
    } catch (...) {
      ADD_FAILURE() << "ended early:\n" << said();
    }
  }
};

std::string bytesOf(size_t i) {
  std::string s(2000 + 7919 * (i % 5) + (i == 3 ? 300000 : 0), '\0');
  for (size_t k = 0; k < s.size(); ++k) s[k] = static_cast<char>((k * 31 + i * 7) >> 3);
  return s;
}

std::string fileName(size_t i) {
  return (i % 3 == 0 ? "" : i % 3 == 1 ? "um/" : "um/dois/") + std::string("f") +
         std::to_string(i) + ".bin";
}

std::string local(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return "<none>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr size_t kFiles = 12;

TEST(FolderConnections, EachFileIsJudgedAsOneFileWhateverBefallsItsConnection) {
  struct Case {
    const char* what;
    bool upload;
    std::string connections;
    std::function<void(ftp_test::ManyFtp&)> serve;
    std::string outcome;            // said at the end
    std::vector<size_t> notThere;   // files that must not be in place
    int peakAtMost = 100;
    const char* logged = "";  // in the log, and never said
    rlim_t fileLimit = RLIM_INFINITY;  // the local files' size limit: writes beyond it fail
  } cases[] = {
      {"a connection lost under a file: the file moves again", false, "3",
       [](auto& s) { s.dropOn = "/pasta/" + fileName(4); }, "Pasta recebida: 12 arquivos", {}},
      {"a file sent short with 226 is not put in place", false, "3",
       [](auto& s) { s.shortOn = "/pasta/" + fileName(3); }, "11 de 12 recebidos; 1 falhou",
       {3}},
      {"a server taking two connections gets two", false, "4",
       [](auto& s) { s.maxConnections = 2; }, "Pasta recebida: 12 arquivos", {}, 2},
      {"a server taking one: the main connection moves all", false, "4",
       [](auto& s) { s.maxConnections = 1; }, "Pasta recebida: 12 arquivos", {}, 1},
      {"one connection: the files one by one", false, "1", [](auto&) {},
       "Pasta recebida: 12 arquivos", {}, 1},
      {"a server asking an account of further logins: they are left out unsaid", false, "3",
       [](auto& s) { s.accountAfterPass = true; }, "Pasta recebida: 12 arquivos", {}, 100,
       "332 Conta"},
      {"a received file the local disk cannot take fails alone", false, "3", [](auto&) {},
       "11 de 12 recebidos; 1 falhou", {3}, 100, "", 100000},
      {"a refused upload fails alone", true, "3",
       [](auto& s) { s.refuseStor = "/envio/" + fileName(2); }, "11 de 12 enviados; 1 falhou",
       {2}},
      {"a connection lost under an upload: the file goes again", true, "3",
       [](auto& s) { s.dropOn = "/envio/" + fileName(7); }, "Pasta enviada: 12 arquivos", {}},
      {"sent into a folder partly there, on a server that tells no directory by its facts",
       true, "1", [](auto& s) { s.existing = {"/envio", "/envio/um"}; },
       "Pasta enviada: 12 arquivos", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TreeRig rig;
    rig.ui.settings["CONEXOES"] = c.connections;
    for (size_t i = 0; i < kFiles; ++i) {
      if (c.upload) {
        const auto p = rig.scratch / "envio" / fileName(i);
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytesOf(i);
      } else {
        rig.server.files["/pasta/" + fileName(i)] = bytesOf(i);
      }
    }
    c.serve(rig.server);
    ASSERT_TRUE(rig.login());
    rig.keysAtQuestions();
    rig.keys(std::string("s") + (c.outcome.find("falhou") != std::string::npos ? "\x1b" : ""));
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit unlimited = limit;
    limit.rlim_cur = c.fileLimit;
    // A write past the limit fails with EFBIG (the rig ignores SIGXFSZ).
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    rig.moveFolder(c.upload);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const std::string said = rig.said();
    EXPECT_NE(said.find(c.outcome), std::string::npos) << said;
    const bool whole = c.notThere.empty();
    EXPECT_EQ(rig.ui.occurrences(c.upload ? "announce FTFIMENV" : "announce FTFIMREC"),
              whole ? 1u : 0u);
    for (size_t i = 0; i < kFiles; ++i) {
      const bool missing =
          std::find(c.notThere.begin(), c.notThere.end(), i) != c.notThere.end();
      const std::string there = c.upload ? rig.server.file("/envio/" + fileName(i))
                                         : local(rig.scratch / "pasta" / fileName(i));
      // Compared whole, not printed: the bytes would fill the screen.
      EXPECT_EQ(there == bytesOf(i), !missing)
          << fileName(i) << (missing ? " put in place though not whole" : " not whole");
      if (!c.upload && !missing) {
        EXPECT_FALSE(std::filesystem::exists(rig.scratch / "pasta" / (fileName(i) + ".part")));
      }
      if (!c.upload && missing) {
        EXPECT_FALSE(std::filesystem::exists(rig.scratch / "pasta" / fileName(i)))
            << fileName(i) << " put in place";
      }
    }
    EXPECT_LE(rig.server.peak(), c.peakAtMost);
    EXPECT_EQ(said.find("deixado"), std::string::npos) << "nothing here is left out:\n" << said;
    if (*c.logged) {
      size_t logged = 0;
      for (const std::string& e : rig.ui.events) {
        if (e.find(c.logged) == std::string::npos) continue;
        EXPECT_EQ(e.rfind("conexao ", 0), 0u) << "said: " << e;
        ++logged;
      }
      EXPECT_GT(logged, 0u) << said;
    }
    if (c.upload) {
      // Every directory is made before a file is sent into it (the main
      // connection names it from its current directory, the further ones
      // from the root).
      const auto cmds = rig.server.commands();
      const auto first = [&](const std::string& prefix) {
        return std::find_if(cmds.begin(), cmds.end(), [&](const std::string& l) {
          return l.rfind(prefix, 0) == 0 || l.rfind(prefix.substr(0, 4) + "/" + prefix.substr(4), 0) == 0;
        });
      };
      EXPECT_LT(first("MKD envio/um/dois"), first("STOR envio/um/dois/"));
    }
  }
}

TEST(FolderConnections, AHugeTreeIsSaidAsCountedSoFarAndCountedOnWhileItsFilesMove) {
  TreeRig rig;
  rig.ui.settings["CONEXOES"] = "3";
  // Ten directories listed 400 ms apart: four seconds to count.
  for (size_t d = 0; d < 10; ++d)
    for (size_t i = 0; i < 3; ++i)
      rig.server.files["/pasta/d" + std::to_string(d) + "/f" + std::to_string(i)] = bytesOf(i);
  rig.server.listPauseMs = 400;
  ASSERT_TRUE(rig.login());
  rig.ui.gate = [&rig] {
    return !rig.ui.events.empty() && rig.ui.events.back().find("Continuar") != std::string::npos;
  };
  rig.keys("s");
  rig.tree.ReceiveFolder(ftp::RemoteName::typed("pasta"));
  const std::string said = rig.said();
  EXPECT_NE(said.find(qr::W("Pasta pasta: até agora")), std::string::npos) << said;
  EXPECT_NE(said.find("ainda contando"), std::string::npos);
  EXPECT_NE(said.find("Pasta recebida: 30 arquivos"), std::string::npos) << said;
  for (size_t d = 0; d < 10; ++d)
    for (size_t i = 0; i < 3; ++i)
      EXPECT_TRUE(local(rig.scratch / "pasta" / ("d" + std::to_string(d)) / ("f" + std::to_string(i))) ==
                  bytesOf(i))
          << d << "/" << i;
}

TEST(FolderConnections, ADirectoryThatCouldNotBeListedIsListedAgainFromTheFailures) {
  TreeRig rig;
  rig.ui.settings["CONEXOES"] = "3";
  for (size_t i = 0; i < kFiles; ++i) rig.server.files["/pasta/" + fileName(i)] = bytesOf(i);
  rig.server.refuseListOnce = "/pasta/um/dois";
  ASSERT_TRUE(rig.login());
  rig.keysAtQuestions();
  rig.keys("sR\x1b");  // R on the directory, the first item of the list
  rig.moveFolder(false);
  const std::string said = rig.said();
  EXPECT_NE(said.find("um/dois: 550 Sem permissao"), std::string::npos) << said;
  EXPECT_NE(said.find("Desta vez foi"), std::string::npos) << said;
  for (size_t i = 0; i < kFiles; ++i)
    EXPECT_TRUE(local(rig.scratch / "pasta" / fileName(i)) == bytesOf(i)) << fileName(i);
}

TEST(FolderConnections, AnsweringTheStopQuestionSlowlyIsNoSilenceOfTheServer) {
  TreeRig rig;
  rig.ui.settings["CONEXOES"] = "1";
  rig.ui.settings["PRAZO"] = "1";
  for (size_t i = 0; i < 4; ++i) rig.server.files["/pasta/f" + std::to_string(i)] = bytesOf(3);
  rig.server.slowOn = "/pasta/f0";  // about 15 s at its pace
  ASSERT_TRUE(rig.login());
  rig.ui.gate = [&rig] {
    const auto& e = rig.ui.events;
    const auto question = std::find_if(e.rbegin(), e.rend(), [](const std::string& line) {
      return line.find("Continuar") != std::string::npos;
    });
    if (question == e.rend()) return false;
    if (question == e.rbegin()) return true;
    // ESC once the folder's data moves.
    return std::any_of(e.rbegin(), question, [](const std::string& line) {
      return line.rfind("caption", 0) == 0 && line.find(" 0K") == std::string::npos;
    });
  };
  // N, well after the reply deadline.
  rig.ui.beforeRead = [&rig] {
    if (!rig.ui.keys.empty() && rig.ui.keys.front() == 'n')
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  };
  rig.keys("s\x1bn");
  rig.moveFolder(false);
  const std::string said = rig.said();
  EXPECT_NE(said.find("Pasta recebida: 4 arquivos"), std::string::npos) << said;
  EXPECT_EQ(said.find("announce FTCOMCAI"), std::string::npos) << said;
}

// A remote computer held in memory, reached through the interface as an
// SFTP server is: names relative to the current directory, one request at a
// time.
class MemoryRemote : public ftp::RemoteFiles {
 public:
  std::map<std::string, std::string> files;  // path -> bytes
  std::set<std::string> dirs{""};            // "" is the current directory
  std::set<std::string> links;
  std::map<std::string, std::vector<std::string>> hostile;  // names a directory's listing adds
  std::string dropOn, refuseOn;  // the connection lost under it; denied
  std::string shortOn;           // comes short once, with the server saying it ended
  std::string quietAfter;        // whole, and then the connection goes without a word
  ftp::ClientState* run = nullptr;  // ended, as a lost connection ends it
  bool sideBySide = false;  // further connections are offered
  std::string dropSideOn;   // lost once under a further connection
  size_t mainMoves = 0;     // files moved over the one connection
  bool up = true;
  bool moving = false;  // inside a transfer
  std::vector<std::string> requests;

  bool Connect() override { return true; }
  bool Login() override { return true; }
  void Quit() override {}
  bool connected() const override { return up; }
  ftp::RemoteResult currentDirectory(std::string& path) override {
    path = "/";
    return {};
  }
  ftp::RemoteResult changeDirectory(const ftp::RemoteName&) override { return refused(); }
  ftp::RemoteResult changeToParent() override { return refused(); }
  ftp::RemoteResult removeDirectory(const ftp::RemoteName&) override { return refused(); }
  ftp::RemoteResult removeFile(const ftp::RemoteName&) override { return refused(); }
  ftp::RemoteResult rename(const ftp::RemoteName&, const ftp::RemoteName&) override {
    return refused();
  }
  ftp::RemoteResult makeDirectory(const ftp::RemoteName& dir) override {
    requests.push_back("mkdir " + dir.wire);
    if (!up) return lost();
    if (dirs.count(dir.wire) || files.count(dir.wire)) return refused();
    if (!dirs.count(parent(dir.wire))) return {ftp::RemoteStatus::NotFound, "No such file", 0};
    dirs.insert(dir.wire);
    return {};
  }
  ftp::RemoteResult stat(const ftp::RemoteName& name, ftp::RemoteEntry& entry) override {
    if (!up) return lost();
    entry = {};
    entry.name = name;
    entry.directory = dirs.count(name.wire) > 0;
    if (files.count(name.wire)) entry.size = static_cast<int64_t>(files[name.wire].size());
    if (!entry.directory && !entry.size) return {ftp::RemoteStatus::NotFound, "No such file", 0};
    return {};
  }
  ftp::RemoteResult list(std::vector<ftp::RemoteEntry>& entries) override {
    return listDirectory({}, entries);
  }
  ftp::RemoteResult listDirectory(const ftp::RemoteName& dir,
                                  std::vector<ftp::RemoteEntry>& entries) override {
    requests.push_back("list " + dir.wire);
    entries.clear();
    if (!up) return lost();
    if (!dirs.count(dir.wire)) return {ftp::RemoteStatus::NotFound, "No such file", 0};
    auto add = [&](const std::string& path, bool directory, bool link, int64_t size) {
      if (path.empty() || parent(path) != dir.wire) return;
      const std::string name = path.substr(dir.wire.empty() ? 0 : dir.wire.size() + 1);
      ftp::RemoteEntry e;
      e.name = {qr::fromUtf8(name), name};
      e.line = e.name.text;
      e.directory = directory;
      e.link = link;
      if (size >= 0) e.size = size;
      entries.push_back(e);
    };
    for (const auto& d : dirs) add(d, true, false, -1);
    for (const auto& l : links) add(l, false, true, 9);
    for (const auto& [path, bytes] : files) add(path, false, false, static_cast<int64_t>(bytes.size()));
    for (const auto& name : hostile[dir.wire]) {
      ftp::RemoteEntry e;
      e.name = {name, name};
      e.size = 5;
      entries.push_back(e);
    }
    return {};
  }
  ftp::RemoteResult receive(const ftp::RemoteName& file, int fd, int64_t, ftp::TransferWatch& watch,
                            ftp::TransferTally& tally) override {
    requests.push_back("get " + file.wire);
    ++mainMoves;
    if (!up) return lost();
    if (!files.count(file.wire)) return {ftp::RemoteStatus::NotFound, "No such file", 0};
    const std::string& bytes = files[file.wire];
    tally.size = static_cast<int64_t>(bytes.size());
    const bool cut = file.wire == dropOn || file.wire == shortOn;
    if (file.wire == shortOn) shortOn.clear();
    const size_t end = cut ? bytes.size() / 2 : bytes.size();
    const Moved m = pass(bytes.substr(0, end), watch, tally, [fd](const std::string& piece) {
      return ::write(fd, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size());
    });
    if (m != Moved::All) return m == Moved::Stopped ? ftp::RemoteResult{ftp::RemoteStatus::GaveUp, {}, 0, false} : lost();
    if (file.wire == dropOn) return lost();
    tally.whole = true;  // the server said the file ends here
    if (file.wire == quietAfter) up = false;
    return {};
  }
  ftp::RemoteResult send(int fd, int64_t, const ftp::RemoteName& file, ftp::TransferWatch& watch,
                         ftp::TransferTally& tally) override {
    requests.push_back("put " + file.wire);
    ++mainMoves;
    if (!up) return lost();
    if (file.wire == refuseOn) return {ftp::RemoteStatus::Denied, "Permission denied", 0};
    if (!dirs.count(parent(file.wire))) return {ftp::RemoteStatus::NotFound, "No such file", 0};
    std::string bytes;
    char block[4096];
    ssize_t n;
    while ((n = ::read(fd, block, sizeof block)) > 0) bytes.append(block, static_cast<size_t>(n));
    if (file.wire == dropOn) bytes.resize(bytes.size() / 2);
    std::string& there = files[file.wire];
    there.clear();
    const Moved m = pass(bytes, watch, tally, [&there](const std::string& piece) {
      there += piece;
      return true;
    });
    if (m != Moved::All) return m == Moved::Stopped ? ftp::RemoteResult{ftp::RemoteStatus::GaveUp, {}, 0, false} : lost();
    if (file.wire == dropOn) return lost();
    tally.whole = true;
    return {};
  }
  std::unique_ptr<ftp::ParallelMover> parallelMover(size_t connections) override;

 private:
  enum class Moved { All, Stopped, Failed };
  static std::string parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
  static ftp::RemoteResult refused() { return {ftp::RemoteStatus::Refused, "Failure", 0}; }
  ftp::RemoteResult lost() {
    up = false;
    if (run) run->running = false;
    return {ftp::RemoteStatus::Lost, "Connection lost", 0, true};
  }
  Moved pass(const std::string& bytes, ftp::TransferWatch& watch, ftp::TransferTally& tally,
             const std::function<bool(const std::string&)>& put) {
    moving = true;
    for (size_t at = 0; at < bytes.size() || at == 0; at += 65536) {
      const std::string piece = bytes.substr(at, 65536);
      if (!put(piece)) {
        moving = false;
        return Moved::Failed;
      }
      tally.moved += static_cast<int64_t>(piece.size());
      if (!watch.carryOn(tally.moved)) {
        moving = false;
        return Moved::Stopped;
      }
      if (bytes.empty()) break;
    }
    moving = false;
    return Moved::All;
  }
};

// Further connections held in memory: each file moved whole at once, one
// lost under its connection once when asked.
class MemoryMover : public ftp::ParallelMover {
 public:
  explicit MemoryMover(MemoryRemote& remote) : remote_(remote) {}
  End run(ftp::ParallelUser& user) override {
    while (std::optional<ftp::ParallelFile> f = user.next()) {
      remote_.requests.push_back((f->upload ? "put " : "get ") + f->name.wire);
      ftp::ParallelEnd end;
      std::string& there = remote_.files[f->name.wire];
      if (f->upload) {
        there.clear();
        char block[4096];
        ssize_t n;
        while ((n = ::read(f->fd, block, sizeof block)) > 0) there.append(block, static_cast<size_t>(n));
      } else {
        end.tally.size = static_cast<int64_t>(there.size());
      }
      const bool lost = f->name.wire == remote_.dropSideOn;
      const std::string moved = lost ? there.substr(0, there.size() / 2) : there;
      if (!f->upload && ::write(f->fd, moved.data(), moved.size()) != static_cast<ssize_t>(moved.size()))
        end.data = ftp::DataEnd::LocalFailed;
      end.tally.moved = static_cast<int64_t>(moved.size());
      user.progress(end.tally.moved);
      if (lost) {
        remote_.dropSideOn.clear();
        end.data = ftp::DataEnd::Lost;
      } else if (end.data == ftp::DataEnd::Ended) {
        end.server = ftp::ServerEnd::Completed;
        end.tally.whole = true;
      }
      user.ended(*f, end);
    }
    return End::Done;
  }

 private:
  MemoryRemote& remote_;
};

std::unique_ptr<ftp::ParallelMover> MemoryRemote::parallelMover(size_t) {
  if (!sideBySide) return nullptr;
  return std::make_unique<MemoryMover>(*this);
}

// Folders through the remote computer interface (SFTP's way): one file at a
// time over one connection, the same walk, checks, sentences and judge.
TEST(FolderOverInterface, TheSameWalkChecksAndJudgeOverOneConnection) {
  struct Case {
    const char* what;
    bool upload;
    std::function<void(MemoryRemote&)> serve;
    std::string keys;        // after the "s" that answers the question
    bool keysWhileMoving;    // the keys come while data moves
    std::string outcome;     // said at the end
    std::function<bool(size_t)> inPlace;  // the files whole in place at the end
    bool lost = false;
  } cases[] = {
      {"a whole tree received; links and hostile names left out", false, [](auto&) {}, "\x1b",
       false, "Pasta recebida: 12 arquivos", [](size_t) { return true; }},
      {"a whole tree sent into one partly there; links left out, directories made first", true,
       [](auto& r) { r.dirs.insert({"envio", "envio/um"}); }, "\x1b",
       false, "Pasta enviada: 12 arquivos", [](size_t) { return true; }},
      {"a file that came short is not put in place; R in the list moves it again", false,
       [](auto& r) { r.shortOn = "pasta/" + fileName(3); }, "R\x1b", false,
       "11 de 12 recebidos; 1 falhou", [](size_t) { return true; }},
      {"a refused upload fails alone", true, [](auto& r) { r.refuseOn = "envio/" + fileName(2); },
       "\x1b", false, "11 de 12 enviados; 1 falhou", [](size_t i) { return i != 2; }},
      // The files at the top move first, then those of um/, f1 first.
      {"the connection lost under a received file: never completion", false,
       [](auto& r) { r.dropOn = "pasta/" + fileName(1); }, "", false,
       "4 de 12 recebidos; 1 falhou", [](size_t i) { return i % 3 == 0; }, true},
      {"the connection gone quietly after a file: the next one finds it, never completion",
       false, [](auto& r) { r.quietAfter = "pasta/" + fileName(0); }, "", false,
       "1 de 12 recebidos; 1 falhou", [](size_t i) { return i == 0; }, true},
      {"the connection lost under a sent file: never completion", true,
       [](auto& r) { r.dropOn = "envio/" + fileName(1); }, "", false,
       "4 de 12 enviados; 1 falhou", [](size_t i) { return i % 3 == 0; }, true},
      {"a key says where the folder is; ESC stops it after asking", false, [](auto&) {},
       "x\x1bs\x1b", true, "0 de 12 recebidos; 1 falhou", [](size_t) { return false; }},
      {"side by side: a file lost under a further connection moves again", false,
       [](auto& r) {
         r.sideBySide = true;
         r.dropSideOn = "pasta/" + fileName(4);
       },
       "\x1b", false, "Pasta recebida: 12 arquivos", [](size_t) { return true; }},
      {"side by side, sent; directories made before their files", true,
       [](auto& r) { r.sideBySide = true; }, "\x1b", false, "Pasta enviada: 12 arquivos",
       [](size_t) { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TreeRig rig;
    MemoryRemote remote;
    rig.tree.useRemote(&remote);
    rig.st.running = true;
    remote.run = &rig.st;
    remote.dirs.insert("pasta");
    for (const char* d : {"um", "um/dois", "vazio"}) {
      if (c.upload)
        std::filesystem::create_directories(rig.scratch / "envio" / d);
      else
        remote.dirs.insert(std::string("pasta/") + d);
    }
    for (size_t i = 0; i < kFiles; ++i) {
      if (c.upload)
        std::ofstream(rig.scratch / "envio" / fileName(i), std::ios::binary) << bytesOf(i);
      else
        remote.files["pasta/" + fileName(i)] = bytesOf(i);
    }
    if (c.upload) {
      std::filesystem::create_symlink("/etc/passwd", rig.scratch / "envio" / "senhas");
    } else {
      remote.links.insert("pasta/um/senhas");
      remote.hostile["pasta"] = {"../x", "/etc/x"};
    }
    c.serve(remote);
    const bool sideLoss = !remote.dropSideOn.empty();
    rig.keysAtQuestions([&remote, &c] { return c.keysWhileMoving && remote.moving; });
    rig.keys("s" + c.keys);
    rig.moveFolder(c.upload);
    const std::string said = rig.said();
    EXPECT_NE(said.find(c.outcome), std::string::npos) << said;
    bool whole = true;
    for (size_t i = 0; i < kFiles; ++i) whole = whole && c.inPlace(i);
    const bool completed = c.outcome.rfind("Pasta ", 0) == 0;
    EXPECT_EQ(rig.ui.occurrences(c.upload ? "announce FTFIMENV" : "announce FTFIMREC"),
              completed ? 1u : 0u);
    if (c.keys.find('R') != std::string::npos) {
      EXPECT_NE(said.find("Desta vez foi"), std::string::npos) << said;
    }
    if (c.keysWhileMoving) {
      EXPECT_NE(said.find("say Arquivo 1 de 12, "), std::string::npos) << said;
      EXPECT_NE(said.find("Parar a pasta inteira?"), std::string::npos) << said;
    }
    if (c.lost || c.keysWhileMoving) {
      EXPECT_NE(said.find("Pasta interrompida."), std::string::npos) << said;
    }
    if (remote.sideBySide) {
      // Nothing over the one connection; a file lost under a further one
      // is asked again, once.
      EXPECT_EQ(remote.mainMoves, 0u) << said;
      EXPECT_EQ(std::count(remote.requests.begin(), remote.requests.end(),
                           "get pasta/" + fileName(4)),
                sideLoss ? 2 : c.upload ? 0 : 1);
    }
    for (size_t i = 0; i < kFiles; ++i) {
      const bool wanted = c.inPlace(i);
      const std::string got = c.upload ? (remote.files.count("envio/" + fileName(i))
                                              ? remote.files["envio/" + fileName(i)]
                                              : "<none>")
                                       : local(rig.scratch / "pasta" / fileName(i));
      EXPECT_EQ(got == bytesOf(i), wanted)
          << fileName(i) << (wanted ? " not whole" : " put in place though not whole");
    }
    if (c.upload) {
      EXPECT_EQ(remote.links.size() + remote.files.count("envio/senhas"), 0u) << "a link followed";
      EXPECT_TRUE(!completed || said.find("1 item deixado de lado") != std::string::npos) << said;
      EXPECT_TRUE(!whole || remote.dirs.count("envio/vazio")) << "the empty directory not made";
      const auto& q = remote.requests;
      EXPECT_LT(std::find(q.begin(), q.end(), "mkdir envio/um/dois"),
                std::find_if(q.begin(), q.end(),
                             [](const std::string& l) { return l.rfind("put envio/um/dois/", 0) == 0; }));
    } else {
      EXPECT_FALSE(std::filesystem::exists(rig.scratch / "x"));
      EXPECT_FALSE(std::filesystem::exists(rig.scratch / "pasta" / "um" / "senhas"));
      if (whole) {
        EXPECT_TRUE(std::filesystem::is_directory(rig.scratch / "pasta" / "vazio"));
        EXPECT_NE(said.find("3 itens deixados de lado"), std::string::npos) << said;
        for (const auto& e : std::filesystem::recursive_directory_iterator(rig.scratch / "pasta"))
          EXPECT_NE(e.path().extension(), ".part") << e.path();
      }
    }
  }
}

TEST(FolderOverInterface, MarkedEntriesMoveAsOneQueueAsTheDirectoryHoldsThem) {
  TreeRig rig;
  MemoryRemote remote;
  rig.tree.useRemote(&remote);
  rig.st.running = true;
  for (size_t i = 0; i < kFiles; ++i) remote.files[fileName(i)] = bytesOf(i);
  remote.dirs.insert("um");
  remote.dirs.insert("um/dois");
  remote.links.insert("ligado");
  // The browser's entries: a file, a directory and a link that its line
  // took for a file.
  std::vector<ftp::ListingEntry> table(3);
  const char* names[] = {"f0.bin", "um", "ligado"};
  for (size_t k = 0; k < 3; ++k) {
    table[k].exact = true;
    table[k].name = names[k];
    table[k].directory = k == 1;
  }
  rig.keysAtQuestions();
  rig.keys("s\x1b");  // the question, then out of the list of what was left out
  try {
    rig.tree.ReceiveMarked({&table[0], &table[1], &table[2]});
  } catch (...) {
    ADD_FAILURE() << "ended early:\n" << rig.said();
  }
  const std::string said = rig.said();
  // f0 at the top; um/ holds f1, f4, f7, f10 and um/dois/ f2, f5, f8, f11.
  EXPECT_NE(said.find("Marcados recebidos: 9 arquivos"), std::string::npos) << said;
  EXPECT_NE(said.find("1 item deixado de lado"), std::string::npos) << said;
  for (size_t i = 0; i < kFiles; ++i)
    EXPECT_EQ(local(rig.scratch / fileName(i)) == bytesOf(i), i % 3 != 0 || i == 0) << fileName(i);
  EXPECT_FALSE(std::filesystem::exists(rig.scratch / "ligado"));
}

TEST(FolderConnections, TheSettingIsClampedAndDefaultsToFour) {
  const std::pair<const char*, int> rows[] = {{"", 4},  {"x", 4},  {"0", 1},   {"1", 1},
                                              {"3", 3}, {" 6", 6}, {"99", 8},  {"-2", 4},
                                              {"8", 8}, {"9", 8},  {"123456789012", 8}};
  for (const auto& [value, n] : rows) EXPECT_EQ(ftp::ConnectionsSetting(value), n) << value;
}

}  // namespace folders

}  // namespace
