// The local file picker's pure parts: sort keys, masks, 8.3 names, and the
// directory search.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "ftp/ui/ftpLocal.h"

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
      {"*.*", "leia.txt", true},    {"*.*", "Makefile", true},     {"ca*.*", "carta", true},
      {"ca*.*", "CARTA.TXT", true}, {"ca*.*", "cama.doc", true},   {"ca*.*", "acaso", false},
      {"*.txt*", "a.txt", true},    {"*.txt*", "a.TXT.bak", true}, {"*.txt*", "a.doc", false},
      {"?.c*", "x.cpp", true},      {"?.c*", "xy.cpp", false},     {"*", "", true},
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

TEST(LocalPicker, DirectorySearchKeepsVisibleFilesAndDirectoriesSorted) {
  char dirTemplate[] = "/tmp/pickerXXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  for (const char* name : {"b.txt", "acao.txt", "ação.txt", ".oculto", "z.doc"})
    std::ofstream(dir + "/" + name) << "x";
  ASSERT_EQ(mkdir((dir + "/pasta.txt").c_str(), 0755), 0);

  ASSERT_EQ(symlink((dir + "/pasta.txt").c_str(), (dir + "/link.txt").c_str()), 0);
  ASSERT_EQ(symlink((dir + "/b.txt").c_str(), (dir + "/c.txt").c_str()), 0);

  auto entries = ftp::listLocalFiles(dir, "*.*");
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(qr::toUtf8(ftp::EntryText(e)));
  EXPECT_EQ(names, (std::vector<std::string>{"acao.txt", "ação.txt", "b.txt", "c.txt",
                                             "pasta.txt  diretório", "z.doc"}))
      << "a link to a directory is left out, one to a file is the file";

  entries = ftp::listLocalFiles(dir, "*.txt*");
  EXPECT_EQ(entries.size(), 5u);
  EXPECT_TRUE(ftp::listLocalFiles(dir + "/nada", "*.*").empty());
  EXPECT_EQ(ftp::directoryPart("dados/sub/leia.txt"), "dados/sub/");
  EXPECT_EQ(ftp::directoryPart("leia.txt"), "");
  std::filesystem::remove_all(dir);
}

// The chooser's keys over the position and the marks alone: entries a b c d
// in a window of two rows; marks written as "x" for a marked entry.
TEST(LocalPicker, ChooserKeysMoveAndMarkWithoutAConsole) {
  using ftp::ChooserState;
  using ftp::ChooserStep;
  using enum ftp::ChooserOutcome;
  using namespace qr::ext;
  const struct {
    ChooserState from;
    const char* marks;
    uint8_t key;
    bool extended, shift;
    uint8_t letter;
    ChooserState to;
    ChooserStep step;
    const char* marksAfter;
  } cases[] = {
      {{0, 0, ' '}, "....", kUp, true, false, 0, {-1, 0, ' '}, {AtEdge}, "...."},
      // Shift marks the entry left and the one reached: a tone for a new mark.
      {{1, 0, ' '}, "x...", kDown, true, true, 0, {2, 1, ' '}, {Moved, 1, 0}, "xxx."},
      {{2, 1, ' '}, "xxx.", kPageUp, true, true, 0, {-1, 0, ' '}, {AtEdge, 0, 3}, "...."},
      {{0, 0, ' '}, "....", kPageDown, true, false, 0, {4, 2, ' '}, {AtEdge}, "...."},
      {{3, 2, ' '}, "....", kHome, true, false, 0, {0, 0, ' '}, {}, "...."},
      {{1, 0, ' '}, "....", kEnd, true, true, 0, {3, 2, ' '}, {Moved, 1, 0}, ".xxx"},
      {{0, 0, ' '}, "....", kF5, true, false, 'C', {2, 1, 'C'}, {}, "...."},
      // None after the current one.
      {{2, 1, 'c'}, "....", kCtrlF5, true, false, 0, {4, 1, 'c'}, {AtEdge}, "...."},
      {{1, 0, 'c'}, "....", 'q', false, false, 0, {1, 0, ' '}, {}, "...."},
      {{1, 0, ' '}, "....", kLeft, true, false, 0, {1, 0, ' '}, {SpellShort}, "...."},
      {{1, 0, ' '}, ".x..", ' ', false, false, 0, {1, 0, ' '}, {Moved, 0, 0, true}, "...."},
      {{-1, 0, ' '}, "....", ' ', false, false, 0, {-1, 0, ' '}, {AtEdge}, "...."},
      {{1, 0, ' '}, "....", '*', false, false, 0, {1, 0, ' '}, {}, "xxxx"},
      {{1, 0, ' '}, "....", 27, false, false, 0, {-1, 0, ' '}, {Cancelled}, "...."},
      {{1, 0, ' '}, "....", 9, false, false, 0, {1, 0, ' '}, {TypeName}, "...."},
  };
  for (const auto& c : cases) {
    std::vector<ftp::LocalEntry> entries;
    for (int i = 0; i < 4; ++i)
      entries.push_back({std::string(1, static_cast<char>('a' + i)), 1, c.marks[i] == 'x'});
    ChooserState state = c.from;
    const ChooserStep step =
        ftp::ChooserKey(state, entries, 2, c.key, c.extended, c.shift, c.letter);
    std::string marks;
    for (const auto& e : entries) marks += e.marked ? 'x' : '.';
    EXPECT_EQ(state, c.to) << int(c.key) << " -> " << state.index << "," << state.first;
    EXPECT_EQ(step, c.step) << int(c.key) << " " << int(step.outcome) << " " << step.tones;
    EXPECT_EQ(marks, c.marksAfter) << int(c.key);
  }
  EXPECT_TRUE(ftp::ChooserReadsLetter(kF5, true));
  EXPECT_FALSE(ftp::ChooserReadsLetter(kCtrlF5, true));
}

}  // namespace
