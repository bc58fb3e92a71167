// The listing and its browser: entry names from hostile and odd lines, the
// table's limits, and the browser's keys against the fake server.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include "base/cp1252.h"
#include "ftp/ftpBrowseModel.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpRemoteCmds.h"
#include "transferRig.h"

using namespace ftp;
using namespace ftp_test;

namespace {

const std::string kDown("\0\x50", 2), kUp("\0\x48", 2), kPageDown("\0\x51", 2), kHome("\0\x47", 2),
    kEnd("\0\x4f", 2), kCtrlIns("\0\xff", 2), kF9("\0\x43", 2), kLeft("\0\x4b", 2);

// Whether the wanted events occur in this order among all events.
bool inOrder(const std::vector<std::string>& events, const std::vector<std::string>& wanted) {
  size_t i = 0;
  for (const auto& e : events)
    if (i < wanted.size() && e == wanted[i]) ++i;
  return i == wanted.size();
}

size_t count(const std::vector<std::string>& events, const std::string& e) {
  return static_cast<size_t>(std::count(events.begin(), events.end(), e));
}

std::string unixLine(char type, const std::string& name) {
  return std::string(1, type) + "rw-r--r--   1 ana  users     4096 Jan  1 00:00 " + name;
}

std::string datedLine(char type, const std::string& size, const std::string& date,
                      const std::string& name) {
  return std::string(1, type) + "rw-r--r--   1 ana  users " + size + " " + date + " " + name;
}

}  // namespace

TEST(ListingNames, UnixAndDosLinesGiveTheWholeNameOtherLinesTheirLastWord) {
  struct Case {
    std::string line;
    std::string name;
    bool directory;
  } cases[] = {
      {unixLine('d', "pub"), "pub", true},
      {unixLine('-', "leia.txt"), "leia.txt", false},
      {"total 8", "8", false},
      {unixLine('-', "nome com blanks.txt"), "nome com blanks.txt", false},
      {unixLine('-', "relatório de ação.txt"), "relatório de ação.txt", false},
      {unixLine('-', "x.txt") + "   ", "x.txt", false},
      {unixLine('-', "x.txt") + std::string("\0\0", 2), "x.txt", false},
      {unixLine('l', "atalho -> /etc/passwd"), "atalho", false},
      {unixLine('l', "meu atalho -> alvo com blanks"), "meu atalho", false},
      {unixLine('l', "up -> ../../x"), "up", false},
      {unixLine('-', "../../x"), "../../x", false},
      {unixLine('-', "Jan 2 10:00 falso"), "Jan 2 10:00 falso", false},
      {"-rw-r--r--    1 0        0            1234 Dec 31  2019 velho arquivo", "velho arquivo",
       false},
      {"-rw-r--r-- 1 ana 7 2024-03-05 09:15 iso com blank.txt", "iso com blank.txt", false},
      {"-rw-r--r--+ 1 ana users 7 Mar  5 09:15 acl.txt", "acl.txt", false},
      {"drwxr-xr-x 2 ana users 4096 Mar  5 09:15 ", "", true},
      {"01-01-20  10:00AM       <DIR>          dados", "dados", false},
      {"03-05-24  09:15PM                 1234 minhas fotos.zip", "minhas fotos.zip", false},
      {"03-05-2024  21:15                 1234 arquivo.txt", "arquivo.txt", false},
      {"-rwx estranho sem data", "data", false},
      {"sozinho", "sozinho", false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameOfListingLine(c.line), c.name) << c.line;
    EXPECT_EQ(IsDirectoryLine(c.line), c.directory) << c.line;
  }
}

TEST(ListingNames, TableKeepsTheServersBytesForCommandsAndShowsDecodedLines) {
  const std::string longLine(200, 'x');
  auto t = ListingTable("a\r\n" + longLine + "\nc\xc3\xa7\xc3\xa3o\n\xe7\n" +
                        unixLine('-', "caf\xe9 \xe0 noite") + "\r\n" +
                        unixLine('-', "\xe2\x82\xac\xe2\x98\x83.txt") + "\n" +
                        unixLine('-', "a\rRETR b") + "\n");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].line, "a");
  EXPECT_EQ(t[1].line, std::string(150, 'x'));
  EXPECT_EQ(t[2].line, qr::W("cção"));
  EXPECT_EQ(t[3].line, "\xe7");  // not UTF-8: taken as Windows-1252
  // A Latin-1 name: heard as Windows-1252, sent back as the very bytes.
  EXPECT_EQ(EntryName(t[4]).text, "caf\xe9 \xe0 noite");
  EXPECT_EQ(EntryName(t[4]).wire, "caf\xe9 \xe0 noite");
  // A character Windows-1252 lacks: heard as "?", sent back unchanged.
  EXPECT_EQ(EntryName(t[5]).text, "\x80?.txt");
  EXPECT_EQ(EntryName(t[5]).wire, "\xe2\x82\xac\xe2\x98\x83.txt");
  // A CR inside a name: shown as a blank, kept in the bytes, never safe.
  EXPECT_EQ(EntryName(t[6]).text, "a RETR b");
  EXPECT_FALSE(SafeInCommand(EntryName(t[6]).wire));
  EXPECT_TRUE(SafeInCommand(EntryName(t[5]).wire));

  // No line is left out, however long the listing.
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "linha " + std::to_string(i) + "\r\n";
  t = ListingTable(many);
  ASSERT_EQ(t.size(), 20000u);
  EXPECT_EQ(t.back().line, "linha 19999");
  EXPECT_TRUE(ListingTable("").empty());
  EXPECT_EQ(BrowserMenuLetter(1), 'R');
  EXPECT_EQ(BrowserMenuLetter(4), 'V');
  EXPECT_EQ(BrowserMenuLetter(5), 'T');
  EXPECT_EQ(BrowserMenuLetter(0), 13);
}

TEST(ListingNames, MachineListingsKeepNamesExactlyWithTypesAndSizes) {
  const auto t = MachineListingTable(
      "type=cdir;modify=20240101000000; .\r\n"
      "type=pdir; ..\r\n"
      "Type=file;Size=1234;modify=20240101000000;   dois  brancos .txt\r\n"
      "type=dir;unique=801U1; pub\r\n"
      "type=OS.unix=symlink;size=9; elo\n"
      "size=7; caf\xc3\xa9 \xc3\xa0 noite\n"
      "semfatos\n"
      " sem fatos\n"
      "TYPE=DIR;SIZE=4096; Fotos\r\n"
      "Type=CDir; .\r\n");
  ASSERT_EQ(t.size(), 6u);
  EXPECT_TRUE(IsDirectoryEntry(t[5]));  // facts and their values in any case
  EXPECT_EQ(EntryName(t[5]).wire, "Fotos");
  EXPECT_EQ(EntryName(t[0]).wire, "  dois  brancos .txt");
  EXPECT_EQ(t[0].size, 1234);
  EXPECT_FALSE(IsDirectoryEntry(t[0]));
  EXPECT_EQ(t[0].line, "  dois  brancos .txt  1234 baites");
  EXPECT_TRUE(IsDirectoryEntry(t[1]));
  EXPECT_EQ(EntryName(t[1]).wire, "pub");
  EXPECT_FALSE(IsDirectoryEntry(t[2]));
  EXPECT_EQ(EntryName(t[3]).text, qr::W("café à noite"));
  EXPECT_EQ(EntryName(t[3]).wire, "caf\xc3\xa9 \xc3\xa0 noite");
  EXPECT_EQ(EntryName(t[4]).wire, "sem fatos");
}

TEST(ListingNames, TheListingOverTheRemoteInterfaceIsTheBrowsersOwnTable) {
  // What the browser builds from FTP's entries is the very table it builds
  // from the server's bytes: lines, bytes of names, types, sizes and times.
  auto facts = [](const std::vector<ListingEntry>& table) {
    std::vector<std::string> out;
    for (const ListingEntry& e : table)
      out.push_back(e.raw + "|" + e.line + "|" + EntryName(e).wire + "|" + EntryName(e).text +
                    "|" + std::to_string(IsDirectoryEntry(e)) + std::to_string(e.exact) + "|" +
                    std::to_string(e.size) + "|" + std::to_string(e.modified));
    return out;
  };
  const std::string plain =
      "total 8\r\n" + datedLine('d', "4096", "Mar  3  2018", "pub") + "\r\n" +
      datedLine('-', "20", "2021-06-09 14:05", "nome com  blanks.txt") + "\r\n" +
      datedLine('l', "11", "Jan  4 08:30", "atalho -> /etc/passwd") + "\r\n" +
      datedLine('-', "7", "Feb  1  2020", "caf\xe9 \xe0 noite") + "\r\n" +
      datedLine('-', "5", "Feb  1  2020", std::string(160, 'y')) + "\r\n" +
      "12-03-26  02:05PM       1234 minhas fotos.zip\r\n01-01-20  10:00AM  <DIR>  dados\r\n";
  EXPECT_EQ(facts(RemoteListingTable(ListingEntries(plain, false))), facts(ListingTable(plain)));
  const std::string machine =
      "type=cdir; .\r\nType=file;Size=1234;modify=20240101103000;   dois  brancos .txt\r\n"
      "type=dir;modify=20200303000000; pub\r\nsize=7; caf\xc3\xa9 \xc3\xa0 noite\r\n";
  const auto table = RemoteListingTable(ListingEntries(machine, true));
  EXPECT_EQ(facts(table), facts(MachineListingTable(machine)));
  ASSERT_EQ(table.size(), 3u);
  EXPECT_GT(table[0].modified, 0) << "the time of the modify fact";
}

TEST(BrowserModel, ExtendedCodesAreNotLettersAndDeletingTheLastEntryReachesTheEnd) {
  // Down arrives as 0 and 80, the code of "P"; Enter, the menu left
  // without a choice, does nothing.
  EXPECT_EQ(BrowserAction(true, 80), BrowseAction::Next);
  EXPECT_EQ(BrowserAction(false, 80), BrowseAction::Place);
  EXPECT_EQ(BrowserAction(false, 'p'), BrowseAction::Place);
  EXPECT_EQ(BrowserAction(true, 'S'), BrowseAction::None);
  EXPECT_EQ(BrowserAction(false, 13), BrowseAction::None);
  EXPECT_EQ(BrowserAction(false, BrowserMenuLetter(4)), BrowseAction::Parent);
  // Space and Insert mark; Insert's code is the letter R's.
  EXPECT_EQ(BrowserAction(false, ' '), BrowseAction::Mark);
  EXPECT_EQ(BrowserAction(true, 82), BrowseAction::Mark);
  EXPECT_EQ(BrowserAction(false, 82), BrowseAction::Receive);

  BrowsePlace place(2);
  place.move(BrowseAction::Next);
  EXPECT_EQ(place.placeText(), "2 de 2");
  place.removeHere();
  EXPECT_TRUE(place.settleAtEdge());
  EXPECT_EQ(place.position(), 2);
  EXPECT_EQ(place.placeText(), "0 de 1");
  place.move(BrowseAction::PreviousPage);
  EXPECT_TRUE(place.settleAtEdge());
  EXPECT_EQ(place.position(), 0);
  place.move(BrowseAction::Next);
  EXPECT_FALSE(place.settleAtEdge());
}

TEST(BrowserModel, SearchIgnoresCaseAndAccentsAndGoesRoundOrdersPutDirectoriesFirst) {
  EXPECT_TRUE(NameHolds(qr::W("Relatório Anual.PDF"), "orio a"));
  EXPECT_TRUE(NameHolds("CANCAO.mp3", qr::W("canção")));
  EXPECT_FALSE(NameHolds("canto", "cao"));
  const std::vector<std::string> names{"um", "dois", "tres", "quatro"};
  auto at = [&](long i) -> std::string_view { return names[static_cast<size_t>(i - 1)]; };
  NameSearch search;
  EXPECT_EQ(search.next(1, 4, at), 0) << "nothing asked yet";
  EXPECT_EQ(search.take("s"), "s");
  EXPECT_EQ(search.next(2, 4, at), 3);
  EXPECT_EQ(search.next(3, 4, at), 2) << "round past the end";
  EXPECT_EQ(search.take(""), "s") << "an empty answer is the last piece";
  (void)search.take("x");
  EXPECT_EQ(search.next(0, 4, at), 0);

  const EntryFacts dir{"zeta", true, 10, 202001010000};
  const EntryFacts big{"beta", false, 900, 202001010000};
  const std::string album = qr::W("Álbum");  // the facts only view their name
  const EntryFacts newer{album, false, 5, 202612010000};
  for (auto order : {ListOrder::Name, ListOrder::Size, ListOrder::Date})
    EXPECT_TRUE(ComesBefore(dir, newer, order) && !ComesBefore(newer, dir, order));
  EXPECT_TRUE(ComesBefore(newer, big, ListOrder::Name)) << "accented letters with plain ones";
  EXPECT_TRUE(ComesBefore(big, newer, ListOrder::Size));
  EXPECT_TRUE(ComesBefore(newer, big, ListOrder::Date));
  EXPECT_EQ(NextOrder(NextOrder(NextOrder(ListOrder::Name))), ListOrder::Name);
  EXPECT_LT(NaturalCompare("FOTO2.JPG", "FOTO10.JPG"), 0) << "numbers by their value";
  EXPECT_LT(NaturalCompare("FOTO009", "FOTO10"), 0) << "leading zeros aside";
  EXPECT_GT(NaturalCompare("B", "A99"), 0);
}

TEST(BrowserModel, ListingTimesAndSizesAndHowTheyAreSaid) {
  const auto table = ListingTable(datedLine('-', "12", "Dec 31 23:00", "velho") + "\r\n" +
                                      datedLine('-', "7", "Jan  4 08:30", "novo") + "\r\n" +
                                      datedLine('-', "3", "Mar  3  2020", "ano") + "\r\n" +
                                      datedLine('-', "5", "2021-06-09 10:01", "iso") + "\r\n" +
                                      "12-03-26  02:05PM       1234 dos.txt\r\ntotal 8\r\n",
                                  20260105);
  ASSERT_EQ(table.size(), 6u);
  EXPECT_EQ(table[0].modified, 202512312300) << "a date after tomorrow is last year's";
  EXPECT_EQ(table[1].modified, 202601040830);
  EXPECT_EQ(table[2].modified, 202003039999);
  EXPECT_EQ(table[3].modified, 202106091001);
  EXPECT_EQ(table[4].modified, 202612031405);
  EXPECT_EQ(table[4].size, 1234);
  EXPECT_EQ(table[0].size, 12);
  EXPECT_EQ(table[5].modified, -1);

  EXPECT_EQ(ModifiedWords(202612101405, 20261210), qr::W("hoje às 14 horas e 5 minutos"));
  EXPECT_EQ(ModifiedWords(202611302300, 20261201), qr::W("ontem às 23 horas"));
  EXPECT_EQ(ModifiedWords(202003039999, 20261210), qr::W("em 3 de março de 2020"));
  EXPECT_EQ(ModifiedWords(-1, 20261210), "");
}

TEST(Browser, SearchOrderAndTheDateOfAnEntry) {
  Rig r;
  r.server.files["acaso.doc"] = "conteudo";
  r.server.listing = datedLine('-', "10", "Jan  5  2019", "zeta.txt") + "\r\n" +
                     datedLine('d', "4096", "Mar  3  2018", "pub") + "\r\n" +
                     datedLine('-', "5000", "Feb  1  2020", qr::toUtf8(qr::W("Ação.txt"))) +
                     "\r\n" + datedLine('-', "20", "2021-06-09 14:05", "acaso.doc") + "\r\n" +
                     datedLine('-', "999", "Feb  1  2017", "beta") + "\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.ui.lines = {qr::W("ÇÃO"), "", "xyz"};
  const std::string kF3("\0\x3d", 2);
  r.keys(kF3 + "/" + "/" + "o" + kDown + kDown + "o" + kDown + "d" + kDown + "d" + "O" + "\x1b");
  r.commands.ListRemoteDirectory();
  const std::string acao = "speak " + qr::W("Ação.txt");
  EXPECT_TRUE(inOrder(r.ui.events,
                      {// by name, directories first
                       "speak pub", "announce FTPROCUR", acao, "announce FTPROCUR", acao,
                       "announce FTPROCUR", "announce FTNENHUM", acao,
                       // by size, the biggest first
                       "announce FTORDTAM", "speak pub", acao, "speak beta",
                       // by date, the newest first
                       "announce FTORDDAT", "speak pub", "speak acaso.doc", "speak 8",
                       "speak " + qr::W("modificado em 9 de junho de 2021 às 14 horas e 5 minutos"),
                       // a refusal's meaning before the server's words
                       acao, "announce FTARQNAO", "speak Nao existe", "announce FTORDNOM",
                       "speak pub"}))
      << ::testing::PrintToString(r.ui.events);
  EXPECT_TRUE(r.ui.keys.empty());
}

TEST(Browser, ArrowsPagesHomeEndAndTheEndsOfTheList) {
  Rig r;
  r.server.listing = "total 8\r\n" + unixLine('d', "pub") + "\r\n" + unixLine('-', "leia.txt") +
                     "\r\n" + unixLine('l', "atalho -> /etc/passwd") + "\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys(kUp + kDown + kDown + kDown + kCtrlIns + kDown + kPageDown + kHome + "r" + kEnd + kUp +
         "\x1b");
  r.commands.ListRemoteDirectory();
  EXPECT_EQ(r.server.commands(), (std::vector<std::string>{"FEAT", "TYPE A", "EPSV", "LIST"}));
  const auto& e = r.ui.events;
  // By name, the directory first.
  EXPECT_TRUE(inOrder(e, {"speak pub", "speak " + qr::W("  diretório"), "announce FTULTARQ",
                          "speak pub", "speak 8", "speak atalho", "announce FTOK", "speak atalho",
                          "speak leia.txt", "announce FTULTARQ", "beep", "speak leia.txt"}));
  // Up on the first entry, Page Down past the end, Home, R at 0, End.
  EXPECT_EQ(count(e, "announce FTULTARQ"), 5u);
  EXPECT_EQ(r.dialogs.clipboard, std::vector<std::string>{"atalho"});
  EXPECT_EQ(count(e, "speak atalho"), 2u);
}

TEST(Browser, EmptyListingAnnouncesTheEndAfterTheFirstKey) {
  // An empty listing, and a LIST answered 450 "No files found": the same
  // empty directory, no error.
  for (const char* refusal : {"", "450 No files found\r\n"}) {
    SCOPED_TRACE(refusal);
    Rig r;
    r.server.listRefusal = refusal;
    ASSERT_TRUE(r.connect());
    r.ui.holdUntil = "announce FTUSSETA";
    r.keys(kDown + "\x1b");
    r.commands.ListRemoteDirectory();
    // The connection is made quietly: the first thing said is the request.
    EXPECT_EQ(r.ui.announced(),
              (std::vector<std::string>{"FTDIRPED", "FTUSSETA", "FTULTARQ", "FTULTARQ"}));
  }
}

TEST(Browser, ListingOfTwentyThousandEntriesIsBrowsedWhole) {
  Rig r;
  for (int i = 0; i < 20000; ++i)
    r.server.listing += unixLine('-', "arquivo" + std::to_string(i) + ".txt") + "\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys(kEnd + kUp + "p" + "\x1b");
  r.commands.ListRemoteDirectory();
  EXPECT_TRUE(
      inOrder(r.ui.events, {"announce FTULTARQ", "speak arquivo19999.txt", "speak 20000 de 20000"}))
      << ::testing::PrintToString(r.ui.events);
}

TEST(Browser, SizeDeleteReceiveAndChangeDirectoryFromAnEntry) {
  Rig r;
  r.server.files["a.txt"] = "conteudo";
  r.server.listing = datedLine('-', "8", "Jan  1 00:00", "a.txt") + "\r\n" + unixLine('d', "pub") + "\r\n";
  r.ui.menuChoice = 3;  // D
  ASSERT_TRUE(r.connect());
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(r.scratch);
  r.ui.lines = {""};
  r.ui.holdUntil = "announce FTUSSETA";
  r.ui.holdDuringReceive = true;
  // The directory comes first; the last entry deleted, the end of the list.
  // SIZE goes in type I, which servers ask for; the listing left type A.
  // The server's words are said, though the listing told the size too.
  r.keys(kDown + "d" + kF9 + "rs" + "as" + kUp + "t");
  r.commands.ListRemoteDirectory();
  std::filesystem::current_path(here);
  EXPECT_EQ(r.server.commands(),
            (std::vector<std::string>{"FEAT", "TYPE A", "EPSV", "LIST", "TYPE I", "SIZE a.txt",
                                      "SIZE a.txt", "TYPE I", "SIZE a.txt", "MDTM a.txt", "EPSV",
                                      "RETR a.txt", "DELE a.txt", "CWD pub"}));
  EXPECT_EQ(count(r.ui.events, "speak 8"), 2u);
  EXPECT_EQ(readFile(r.path("a.txt")), "conteudo");
  EXPECT_TRUE(r.ui.has("menu 5"));
  EXPECT_TRUE(r.ui.keys.empty());  // T left the browser
}

TEST(Browser, SizeIsAskedEveryTimeInTypeIAndTheNextListingAsksTypeAAgain) {
  struct Row {
    std::string line;
    std::vector<std::string> asked;  // after the listing
    std::string heard;
  } rows[] = {
      // The listing's size is not taken for the server's word.
      {datedLine('-', "8", "Jan  1 00:00", "dado.txt"),
       {"TYPE I", "SIZE dado.txt", "TYPE A", "EPSV", "LIST"},
       "speak 8"},
      {"sozinho", {"TYPE I", "SIZE sozinho", "TYPE A", "EPSV", "LIST"}, "speak 5"},
      {"perdido", {"TYPE I", "SIZE perdido", "TYPE A", "EPSV", "LIST"}, "announce FTARQNAO"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Rig r;
    r.server.files["dado.txt"] = "conteudo";
    r.server.files["sozinho"] = "12345";
    r.server.listing = row.line + "\r\n";
    ASSERT_TRUE(r.connect());
    // D and ESC in the first listing, ESC once the second one's entry was heard.
    const std::string heard = "speak " + NameOfListingLine(row.line);
    r.ui.holdUntil = "announce FTUSSETA";
    r.ui.gate = [&] { return r.ui.keys.size() > 1 || r.ui.events.back() == heard; };
    r.keys("d\x1b\x1b");
    r.commands.ListRemoteDirectory();
    r.commands.ListRemoteDirectory();
    std::vector<std::string> asked = r.server.commands();
    const auto listed = std::find(asked.begin(), asked.end(), "LIST");
    ASSERT_NE(listed, asked.end());
    asked.erase(asked.begin(), listed + 1);
    EXPECT_EQ(asked, row.asked);
    EXPECT_TRUE(r.ui.keys.empty());
    EXPECT_TRUE(r.ui.has(row.heard)) << ::testing::PrintToString(r.ui.events);
  }
}

TEST(Browser, ParentRefusedStaysAndReviewKeyTakesTheBrowsersPlace) {
  Rig r;
  r.server.listing = unixLine('-', "um") + "\r\n" + unixLine('-', "dois") + "\r\n";
  r.server.cwdAllowed = {};
  r.dialogs.reviewEnds = {{80, true}, {27, false}};  // Down, then ESC
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  // ESC ends the spelling and stays at the entry; the next ESC leaves.
  r.keys("v" + kLeft + kLeft + "\x1b");
  r.commands.ListRemoteDirectory();
  EXPECT_EQ(r.server.commands(),
            (std::vector<std::string>{"FEAT", "TYPE A", "EPSV", "LIST", "CWD .."}));
  EXPECT_TRUE(r.ui.has("announce FTNAOTRO"));
  EXPECT_EQ(r.dialogs.reviewed,
            (std::vector<std::string>{unixLine('-', "dois"), unixLine('-', "um")}));
  EXPECT_TRUE(inOrder(r.ui.events, {"speak dois", "speak dois", "speak um", "speak um"}));
  EXPECT_TRUE(r.ui.keys.empty());
}

TEST(Browser, PlaceInTheListADeletedEntryGoneAndTheEdgeAtTheTopAndAfterV) {
  Rig r;
  r.server.files["a.txt"] = "x";
  r.server.listing = unixLine('-', "a.txt") + "\r\n" + unixLine('-', "b.txt") + "\r\n" +
                     unixLine('-', "c.txt") + "\r\n" + unixLine('-', "pub") + "\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys("p" + std::string("as") + "P" + kUp + "p" + kDown + "v");
  r.commands.ListRemoteDirectory();
  EXPECT_EQ(r.server.commands(),
            (std::vector<std::string>{"FEAT", "TYPE A", "EPSV", "LIST", "DELE a.txt", "CWD .."}));
  const auto& e = r.ui.events;
  EXPECT_TRUE(inOrder(e, {"speak 1 de 4", "speak a.txt", "announce FTOKAPAG", "speak b.txt",
                          "speak 1 de 3", "announce FTULTARQ", "speak 0 de 3", "speak b.txt",
                          "announce FTOK", "announce FTULTARQ"}))
      << ::testing::PrintToString(e);
  // The deleted entry is never read again.
  const auto deleted = std::find(e.begin(), e.end(), "announce FTOKAPAG");
  EXPECT_EQ(std::find(deleted, e.end(), "speak a.txt"), e.end());
  EXPECT_TRUE(r.ui.keys.empty());  // V left the browser
}

TEST(Browser, ArrowInstructionsOnceARunUnlessAskedForEveryTime) {
  for (const char* every : {"", "S"}) {
    Rig r;
    r.ui.settings["REPETEAJUDA"] = every;
    r.server.listing = unixLine('-', "um") + "\r\n";
    ASSERT_TRUE(r.connect());
    // Keys are seen once the listing's first entry was heard.
    r.ui.gate = [&] { return r.ui.occurrences("speak um") == r.ui.occurrences("send LIST"); };
    r.keys("\x1b\x1b\x1b");
    for (int i = 0; i < 3; ++i) r.commands.ListRemoteDirectory();
    EXPECT_EQ(count(r.ui.events, "speak um"), 3u) << every;
    EXPECT_EQ(count(r.ui.events, "announce FTUSSETA"), *every ? 3u : 1u) << every;
  }
}

TEST(Browser, ListingWithoutFinalReplyIsAnErrorAndTheBrowserStaysShut) {
  Rig r;
  r.server.listing = unixLine('-', "um") + "\r\n";
  r.server.endReply = "";
  ASSERT_TRUE(r.connect());
  const auto start = std::chrono::steady_clock::now();
  r.commands.ListRemoteDirectory();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(r.ui.has("announce FTERRDIR"));
  EXPECT_FALSE(r.ui.has("announce FTUSSETA"));
}

TEST(Browser, NamesWithBlanksOtherCodeSetsAndControlCharactersActOnTheListedFile) {
  Rig r;
  const std::string accented = "relat\xc3\xb3rio de a\xc3\xa7\xc3\xa3o.txt";  // UTF-8
  const std::string latin1 = "caf\xe9 noir.txt";                              // Latin-1 bytes
  r.server.files[accented] = "conteudo";
  r.server.files[latin1] = "12345";
  r.server.files["a\xc3\xa7\xc3\xa3o.txt"] = "outro";
  r.server.listing = unixLine('-', accented) + "\r\n" +
                     datedLine('-', "5", "Jan  1 00:00", latin1) + "\r\n" +
                     unixLine('-', "a\rDELE x") + "\r\n";
  ASSERT_TRUE(r.connect());
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(r.scratch);
  r.ui.lines = {""};
  r.ui.holdUntil = "announce FTUSSETA";
  r.ui.holdDuringReceive = true;
  // By name: the CR one, the Latin-1 one, the UTF-8 one; the last deleted,
  // the end of the list.
  r.keys(kDown + kDown + "rs" + "as" + kUp + "d" + kUp + "r" + "a" + "\x1b");
  r.commands.ListRemoteDirectory();
  std::filesystem::current_path(here);
  EXPECT_EQ(r.server.commands(),
            (std::vector<std::string>{"FEAT", "TYPE A", "EPSV", "LIST", "TYPE I",
                                      "SIZE " + accented, "MDTM " + accented, "EPSV",
                                      "RETR " + accented, "DELE " + accented, "TYPE I",
                                      "SIZE " + latin1}));
  EXPECT_TRUE(r.ui.has("speak " + qr::W("relatório de ação.txt")));
  EXPECT_EQ(readFile(r.path(qr::toUtf8(qr::W("relatório de ação.txt")))), "conteudo");
  EXPECT_TRUE(r.ui.has("speak 5"));  // the size of the Latin-1 file, in the server's words
  // R and A on the name holding a CR: refused, with the beep and a message.
  EXPECT_EQ(count(r.ui.events, "announce FTNOMINV"), 2u);
  EXPECT_GE(count(r.ui.events, "beep"), 2u);
}

TEST(Browser, AListingThatCannotBeStoredOrWhoseConnectionDropsIsNeverBrowsed) {
  struct Case {
    const char* what;
    rlim_t sizeLimit;
    size_t closeControlAfter;
    const char* heard;
    const char* typeReply = "";
    const char* listRefusal = "";
  } cases[] = {
      {"temporary file full", 20000, SIZE_MAX, "FTERTEMP"},
      {"control closed", RLIM_INFINITY, 20000, "FTCOMCAI"},
      {"TYPE A refused", RLIM_INFINITY, SIZE_MAX, "FTERRMOD", "504 Nao\r\n"},
      {"LIST refused", RLIM_INFINITY, SIZE_MAX, "FTPEDREC", "", "501 Nao\r\n"},
      {"LIST denied", RLIM_INFINITY, SIZE_MAX, "FTSPERM", "", "550 Permission denied\r\n"},
  };
  for (const auto& c : cases) {
    Rig r;
    for (int i = 0; i < 2000; ++i)
      r.server.listing += unixLine('-', "arquivo" + std::to_string(i) + ".txt") + "\r\n";
    r.server.chunk = 8192;
    r.server.closeControlAfter = c.closeControlAfter;
    r.server.typeReply = c.typeReply;
    r.server.listRefusal = c.listRefusal;
    ASSERT_TRUE(r.connect());
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = c.sizeLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto start = std::chrono::steady_clock::now();
    r.commands.ListRemoteDirectory();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6)) << c.what;
    EXPECT_TRUE(r.ui.has(std::string("announce ") + c.heard)) << c.what;
    EXPECT_FALSE(r.ui.has("announce FTUSSETA")) << c.what;
  }
}
