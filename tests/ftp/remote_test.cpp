// The remote commands' pieces that need no server: a listing of the
// remote computer interface as the browser takes it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "ftp/ftpRemoteCmds.h"

namespace {

class UtcZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = ::getenv("TZ");
    if (tz) saved_ = tz;
    had_ = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (had_)
      ::setenv("TZ", saved_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST_F(UtcZone, ListingTimesAreTheComputersMinutesOrNothing) {
  struct Case {
    const char* utc;
    int64_t minutes;
  } cases[] = {
      {"20261210143059", 202612101430}, {"19700101000000", 197001010000},
      {"20261231235959", 202612312359}, {"", -1},
      {"2026121014", -1},               {"2026121014305x", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ftp::ListingTime(c.utc), c.minutes) << c.utc;
  ::setenv("TZ", "BRT3", 1);  // three hours behind, as Brasília
  ::tzset();
  EXPECT_EQ(ftp::ListingTime("20261210010000"), 202612092200);
}

TEST(RemoteListing, EntriesKeepTheirExactNamesAndFacts) {
  std::vector<ftp::RemoteEntry> entries(2);
  entries[0].name = {"  dois  brancos.txt", "  dois  brancos.txt"};
  entries[0].line = "-rw-r--r-- 1 ana ana 7 Dec 10 14:30   dois  brancos.txt";
  entries[0].size = 7;
  entries[1].name = {"pasta", "pasta"};
  entries[1].directory = true;
  entries[1].line = std::string(200, 'x');
  const auto table = ftp::RemoteListingTable(entries);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(ftp::EntryName(table[0]).wire, "  dois  brancos.txt");
  EXPECT_EQ(table[0].size, 7);
  EXPECT_EQ(table[0].modified, -1);
  EXPECT_FALSE(ftp::IsDirectoryEntry(table[0]));
  EXPECT_TRUE(ftp::IsDirectoryEntry(table[1]));
  EXPECT_EQ(table[1].size, -1);
  EXPECT_EQ(table[1].line.size(), ftp::kListingWidth);
}

}  // namespace
