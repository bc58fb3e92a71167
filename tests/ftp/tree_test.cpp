// Whole folders: which listed names the walk takes, and what the user hears.
#include <gtest/gtest.h>

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

struct TreeRig {
  ftp_test::ManyFtp server;
  ftp_test::GatedTela ui;
  ftp::ClientState st;
  ftp::Messages msg{ui};
  ftp::Rede rede{st, ui};
  ftp::Dlg dlg{st, ui, msg, rede};
  ftp::Port port{st, dlg, rede};
  ftp_test::FakeDialogs dialogs;
  ftp::Transfer transfer{st, ui, msg, dlg, rede, port, dialogs};
  ftp::Tree tree{st, ui, msg, dlg, rede, transfer};
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
      {"a refused upload fails alone", true, "3",
       [](auto& s) { s.refuseStor = "/envio/" + fileName(2); }, "11 de 12 enviados; 1 falhou",
       {2}},
      {"a connection lost under an upload: the file goes again", true, "3",
       [](auto& s) { s.dropOn = "/envio/" + fileName(7); }, "Pasta enviada: 12 arquivos", {}},
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
    // The keys wait for the question and the failures' list: a key while
    // data moves would ask for the progress.
    rig.ui.gate = [&rig] {
      const auto& e = rig.ui.events;
      for (size_t k = e.size() > 3 ? e.size() - 3 : 0; k < e.size(); ++k)
        if (e[k].find("Continuar") != std::string::npos ||
            e[k].find("Setas percorrem") != std::string::npos)
          return true;
      return false;
    };
    rig.keys(std::string("s") + (c.outcome.find("falhou") != std::string::npos ? "\x1b" : ""));
    try {
      if (c.upload)
        rig.tree.SendFolder("envio");
      else
        rig.tree.ReceiveFolder(ftp::RemoteName::typed("pasta"));
    } catch (...) {
      ADD_FAILURE() << "ended early:\n" << rig.said();
    }
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
    }
    EXPECT_LE(rig.server.peak(), c.peakAtMost);
    if (c.upload) {
      // Every directory is made before a file is sent into it.
      const auto cmds = rig.server.commands();
      const auto first = [&](const std::string& prefix) {
        return std::find_if(cmds.begin(), cmds.end(),
                            [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
      };
      EXPECT_LT(first("MKD /envio/um/dois"), first("STOR /envio/um/dois/"));
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
  rig.ui.gate = [&rig] {
    const auto& e = rig.ui.events;
    for (size_t k = e.size() > 3 ? e.size() - 3 : 0; k < e.size(); ++k)
      if (e[k].find("Continuar") != std::string::npos ||
          e[k].find("Setas percorrem") != std::string::npos)
        return true;
    return false;
  };
  rig.keys("sR\x1b");  // R on the directory, the first item of the list
  rig.tree.ReceiveFolder(ftp::RemoteName::typed("pasta"));
  const std::string said = rig.said();
  EXPECT_NE(said.find("um/dois: 550 Sem permissao"), std::string::npos) << said;
  EXPECT_NE(said.find("Desta vez foi"), std::string::npos) << said;
  for (size_t i = 0; i < kFiles; ++i)
    EXPECT_TRUE(local(rig.scratch / "pasta" / fileName(i)) == bytesOf(i)) << fileName(i);
}

TEST(FolderConnections, TheSettingIsClampedAndDefaultsToFour) {
  const std::pair<const char*, int> rows[] = {{"", 4},  {"x", 4},  {"0", 1},   {"1", 1},
                                              {"3", 3}, {" 6", 6}, {"99", 8},  {"-2", 4},
                                              {"8", 8}, {"9", 8},  {"123456789012", 8}};
  for (const auto& [value, n] : rows) EXPECT_EQ(ftp::ConnectionsSetting(value), n) << value;
}

}  // namespace folders

}  // namespace
