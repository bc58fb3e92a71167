// The local file picker's pure parts: sort keys, masks, 8.3 names, and the
// directory search.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "base/cp1252.h"
#include "ftp/ftpLocal.h"

namespace {

using qr::W;

TEST(LocalPicker, AccentedNamesSortWithTheirPlainLetters) {
  EXPECT_EQ(ftp::sortKey(W("ação")), ftp::sortKey("acao"));
  EXPECT_EQ(ftp::sortKey(W("Émile")), "EMILE");
  EXPECT_EQ(ftp::sortKey(W("æ")), std::string(1, static_cast<char>(145)));
  // Unlisted high bytes fold to 254 and so sort after every letter.
  EXPECT_EQ(static_cast<uint8_t>(ftp::sortKey("\xA7")[0]), 254);
  EXPECT_LT(ftp::sortKey(W("ção")), ftp::sortKey("d"));
}

TEST(LocalPicker, MasksMatchWithoutRegardToCaseAndStarDotStarTakesEveryName) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.*", "leia.txt", true},   {"*.*", "Makefile", true},  {"ca*.*", "carta", true},
      {"ca*.*", "CARTA.TXT", true}, {"ca*.*", "cama.doc", true}, {"ca*.*", "acaso", false},
      {"*.txt*", "a.txt", true},   {"*.txt*", "a.TXT.bak", true}, {"*.txt*", "a.doc", false},
      {"?.c*", "x.cpp", true},     {"?.c*", "xy.cpp", false},  {"*", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ftp::maskMatches(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
}

TEST(LocalPicker, ShortNamesAreBuiltAsTheDesktopBuildsThem) {
  EXPECT_EQ(ftp::shortName("leia.txt"), "leia.txt");
  EXPECT_EQ(ftp::shortName("README"), "README");
  EXPECT_EQ(ftp::shortName("relatorio final.docx"), "RELATO~1.DOC");
  EXPECT_EQ(ftp::shortName("arquivo.tar.gz"), "ARQUIV~1.GZ");
  EXPECT_EQ(ftp::shortName("muitolongo"), "MUITOL~1");
  EXPECT_EQ(ftp::shortName(W("ação longa.txt")), W("AÇÃOLO~1.TXT"));
}

TEST(LocalPicker, DirectorySearchKeepsPlainVisibleFilesSorted) {
  char dirTemplate[] = "/tmp/pickerXXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  for (const char* name : {"b.txt", "acao.txt", "ação.txt", ".oculto", "z.doc"})
    std::ofstream(dir + "/" + name) << "x";
  ASSERT_EQ(mkdir((dir + "/pasta.txt").c_str(), 0755), 0);

  auto entries = ftp::listLocalFiles(dir, "*.*");
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(qr::toUtf8(e.name));
  EXPECT_EQ(names, (std::vector<std::string>{"acao.txt", "ação.txt", "b.txt", "z.doc"}));

  entries = ftp::listLocalFiles(dir, "*.txt*");
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_TRUE(ftp::listLocalFiles(dir + "/nada", "*.*").empty());
  EXPECT_EQ(ftp::directoryPart("dados/sub/leia.txt"), "dados/sub/");
  EXPECT_EQ(ftp::directoryPart("leia.txt"), "");
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
