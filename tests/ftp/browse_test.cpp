// The listing and its browser: entry names from hostile and odd lines, the
// table's limits, and the browser's keys against the fake server.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/cp1252.h"
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

}  // namespace

TEST(ListingNames, NameIsTheLastFieldAndALinkGivesItsOwnName) {
  struct Case {
    std::string line;
    std::string name;
    bool directory;
  } cases[] = {
      {unixLine('d', "pub"), "pub", true},
      {unixLine('-', "leia.txt"), "leia.txt", false},
      {"total 8", "8", false},
      {unixLine('-', "nome com blanks.txt"), "blanks.txt", false},
      {unixLine('-', "x.txt") + "   ", "x.txt", false},
      {unixLine('-', "x.txt") + std::string("\0\0", 2), "x.txt", false},
      {unixLine('l', "atalho -> /etc/passwd"), "atalho", false},
      {unixLine('l', "up -> ../../x"), "up", false},
      {unixLine('-', "../../x"), "../../x", false},
      {"01-01-20  10:00AM       <DIR>          dados", "dados", false},
      {"sozinho", "sozinho", false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameOfListingLine(c.line), c.name) << c.line;
    EXPECT_EQ(IsDirectoryLine(c.line), c.directory) << c.line;
  }
}

TEST(ListingNames, TableCutsLongLinesStopsAt15000AndDecodesUtf8) {
  const std::string longLine(200, 'x');
  auto t = ListingTable("a\r\n" + longLine + "\nc\xc3\xa7\xc3\xa3o\n\xe7\n");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0], "a");
  EXPECT_EQ(t[1], std::string(150, 'x'));
  EXPECT_EQ(t[2], qr::W("cção"));
  EXPECT_EQ(t[3], "\xe7");  // not UTF-8: taken as Windows-1252
  std::string many;
  for (int i = 0; i < 15010; ++i) many += "linha " + std::to_string(i) + "\r\n";
  t = ListingTable(many);
  ASSERT_EQ(t.size(), kListingLines);
  EXPECT_EQ(t.back(), "linha 14999");
  EXPECT_TRUE(ListingTable("").empty());
  EXPECT_EQ(BrowserMenuLetter(1), 'R');
  EXPECT_EQ(BrowserMenuLetter(4), 'V');
  EXPECT_EQ(BrowserMenuLetter(5), 'T');
  EXPECT_EQ(BrowserMenuLetter(0), 13);
}

TEST(Browser, ArrowsPagesHomeEndAndTheEndsOfTheList) {
  Rig r;
  r.server.listing = "total 8\r\n" + unixLine('d', "pub") + "\r\n" + unixLine('-', "leia.txt") +
                     "\r\n" + unixLine('l', "atalho -> /etc/passwd") + "\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys(kUp + kDown + kDown + kDown + kCtrlIns + kDown + kPageDown + kHome + "r" + kEnd + kUp +
         "\x1b");
  r.browse.ListRemoteDirectory();
  EXPECT_EQ(r.server.commands(), (std::vector<std::string>{"TYPE A", "PASV", "LIST"}));
  const auto& e = r.ui.events;
  EXPECT_TRUE(
      inOrder(e, {"speak 8", "announce FTULTARQ", "speak 8", "speak pub",
                  "speak " + qr::W("  diretório"), "speak leia.txt", "announce FTOK",
                  "speak leia.txt", "speak atalho", "announce FTULTARQ", "beep", "speak atalho"}));
  // Up on the first entry, Page Down past the end, Home, R at 0, End.
  EXPECT_EQ(count(e, "announce FTULTARQ"), 5u);
  EXPECT_EQ(r.dialogs.clipboard, std::vector<std::string>{"leia.txt"});
  EXPECT_EQ(count(e, "speak atalho"), 2u);
}

TEST(Browser, EmptyListingAnnouncesTheEndAfterTheFirstKey) {
  Rig r;
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys(kDown + "\x1b");
  r.browse.ListRemoteDirectory();
  const auto a = r.ui.announced();
  EXPECT_EQ(std::vector<std::string>(a.begin() + 1, a.end()),
            (std::vector<std::string>{"FTDIRPED", "FTUSSETA", "FTULTARQ", "FTULTARQ"}));
}

TEST(Browser, SizeDeleteReceiveAndChangeDirectoryFromAnEntry) {
  Rig r;
  r.server.files["a.txt"] = "conteudo";
  r.server.listing = unixLine('-', "a.txt") + "\r\n" + unixLine('d', "pub") + "\r\n";
  r.ui.menuChoice = 3;  // D
  ASSERT_TRUE(r.connect());
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(r.scratch);
  r.ui.lines = {""};
  r.ui.holdUntil = "announce FTUSSETA";
  r.ui.holdDuringReceive = true;
  r.keys("d" + kF9 + "as" + "rs" + kDown + "t");
  r.browse.ListRemoteDirectory();
  std::filesystem::current_path(here);
  EXPECT_EQ(r.server.commands(),
            (std::vector<std::string>{"TYPE A", "PASV", "LIST", "SIZE a.txt", "SIZE a.txt",
                                      "DELE a.txt", "TYPE I", "PASV", "RETR a.txt", "CWD pub"}));
  EXPECT_EQ(count(r.ui.events, "speak 8"), 2u);
  EXPECT_EQ(readFile(r.path("a.txt")), "conteudo");
  EXPECT_TRUE(r.ui.has("menu 5"));
  EXPECT_TRUE(r.ui.keys.empty());  // T left the browser
}

TEST(Browser, ParentRefusedStaysAndReviewKeyTakesTheBrowsersPlace) {
  Rig r;
  r.server.listing = unixLine('-', "um") + "\r\n" + unixLine('-', "dois") + "\r\n";
  r.server.cwdAllowed = {};
  r.dialogs.reviewEnds = {{80, true}, {27, false}};  // Down, then ESC
  ASSERT_TRUE(r.connect());
  r.ui.holdUntil = "announce FTUSSETA";
  r.keys("v" + kLeft + kLeft);
  r.browse.ListRemoteDirectory();
  EXPECT_EQ(r.server.commands(), (std::vector<std::string>{"TYPE A", "PASV", "LIST", "CWD .."}));
  EXPECT_TRUE(r.ui.has("announce FTNAOTRO"));
  EXPECT_EQ(r.dialogs.reviewed,
            (std::vector<std::string>{unixLine('-', "um"), unixLine('-', "dois")}));
  EXPECT_TRUE(inOrder(r.ui.events, {"speak um", "speak um", "speak dois"}));
}

TEST(Browser, ListingWithoutFinalReplyIsAnErrorAndTheBrowserStaysShut) {
  Rig r;
  r.server.listing = unixLine('-', "um") + "\r\n";
  r.server.endReply = "";
  ASSERT_TRUE(r.connect());
  const auto start = std::chrono::steady_clock::now();
  r.browse.ListRemoteDirectory();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(r.ui.has("announce FTERRDIR"));
  EXPECT_FALSE(r.ui.has("announce FTUSSETA"));
}
