// Whole folders: which listed names the walk takes, and what the user hears.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpTree.h"

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

}  // namespace
