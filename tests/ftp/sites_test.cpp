// Saved sites: the file read and written back, never a password, the recent
// hosts kept to ten, names for new sites.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/cp1252.h"
#include "ftp/ftpSites.h"

namespace {

TEST(Sites, TheFileGoesBackAndForthWithAccentsBlanksAndRecentHosts) {
  ftp::SiteBook book;
  book.sites.push_back({qr::W("escritório"), "ftps://ftp.exemplo.com.br:2121", qr::W("ana"), "S",
                        "N", qr::W("/pub/relatórios"), "/home/ana/site com brancos"});
  book.sites.push_back({"casa", "192.168.0.2", "", "", "", "", ""});
  book.recent = {"192.168.0.2", "ftp.debian.org"};
  const std::string text = ftp::FormatSites(book);
  EXPECT_EQ(ftp::ParseSites(text), book) << text;
  EXPECT_NE(text.find("[escritório]"), std::string::npos) << "UTF-8 on disk: " << text;
  EXPECT_EQ(text.find("SENHA"), std::string::npos);

  // Written by hand: case, blanks, comments, a section without a host, a
  // repeated section (the first wins), a value with blanks at its ends.
  const ftp::SiteBook read = ftp::ParseSites(
      "; comentario\r\n[Trabalho]\r\nhost = ftp.x.org \r\nConta=\" ana \"\r\n"
      "[vazio]\r\nCONTA=ninguem\r\n[trabalho]\r\nHOST=outro\r\n"
      "[recentes]\r\n2=b.org\r\n1=a.org\r\n");
  ASSERT_EQ(read.sites.size(), 1u);
  EXPECT_EQ(read.sites[0].host, "ftp.x.org");
  EXPECT_EQ(read.sites[0].account, " ana ");
  EXPECT_EQ(read.recent, (std::vector<std::string>{"a.org", "b.org"}));
  EXPECT_EQ(ftp::ParseSites(ftp::FormatSites(read)), read);
  EXPECT_NE(ftp::FindSite(read, "TRABALHO"), nullptr);
  EXPECT_EQ(ftp::FindSite(read, "vazio"), nullptr);
}

TEST(Sites, RecentHostsAreTheLastTenWithoutRepeats) {
  ftp::SiteBook book;
  for (int i = 1; i <= 12; ++i) ftp::RememberHost(book, "h" + std::to_string(i) + ".org");
  ASSERT_EQ(book.recent.size(), 10u);
  EXPECT_EQ(book.recent.front(), "h12.org");
  EXPECT_EQ(book.recent.back(), "h3.org");
  ftp::RememberHost(book, "H5.ORG");
  EXPECT_EQ(book.recent.size(), 10u);
  EXPECT_EQ(book.recent.front(), "H5.ORG");
  EXPECT_EQ(std::count(book.recent.begin(), book.recent.end(), "h5.org"), 0);
}

TEST(Sites, TheHostMenuOffersSitesThenRecentHostsNotAlreadySaved) {
  ftp::SiteBook book;
  book.sites.push_back({"trabalho", "ftp.x.org", "ana", "", "", "", ""});
  book.recent = {"ftp.x.org", "b.org"};
  const auto choices = ftp::HostChoices(book);
  ASSERT_EQ(choices.size(), 2u);
  EXPECT_EQ(choices[0].text, "trabalho, ftp.x.org, conta ana");
  EXPECT_EQ(choices[0].host, "ftp.x.org");
  EXPECT_NE(choices[0].site, nullptr);
  EXPECT_EQ(choices[1].text, "b.org");
  EXPECT_EQ(choices[1].site, nullptr);

  EXPECT_EQ(ftp::NameForHost(book, "ftps://ftp.y.org:2121"), "ftp.y.org");
  book.sites.push_back({"ftp.y.org", "ftp.y.org", "", "", "", "", ""});
  EXPECT_EQ(ftp::NameForHost(book, "ftp.y.org"), "ftp.y.org 2");
  EXPECT_EQ(ftp::NameForHost(book, "[::1]:21"), "::1");
  EXPECT_EQ(ftp::NameForHost(book, "recentes"), "site");  // the recent hosts' own section
}

}  // namespace
