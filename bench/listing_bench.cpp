// How a directory of many entries browses: the listing table built from
// 100,000 LIST lines and from 100,000 MLSD lines (time, and the memory the
// table holds), then the browser (key D) against the tests'
// fake server on loopback: time until the first entry is heard, until the
// last one is after End, and "N de M" after P. Prints figures; no target.
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ftp/ftpBrowse.h"
#include "transferRig.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bytes the allocator has handed out and not taken back.
size_t heldBytes() {
  return mallinfo2().uordblks;
}

long peakKilobytes() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

std::string unixListing(int entries) {
  std::string text;
  for (int i = 0; i < entries; ++i)
    text += "-rw-r--r--   1 ana  users   " + std::to_string(1000 + i) + " Jan  1 00:00 relatorio-" +
            std::to_string(i) + ".txt\r\n";
  return text;
}

std::string machineListing(int entries) {
  std::string text = "type=cdir; .\r\n";
  for (int i = 0; i < entries; ++i)
    text += "type=file;size=" + std::to_string(1000 + i) + ";modify=20240101000000; relatorio-" +
            std::to_string(i) + ".txt\r\n";
  return text;
}

template <typename Build>
void tableFigure(const char* what, const std::string& bytes, Build build) {
  const size_t before = heldBytes();
  const auto t = Clock::now();
  const auto table = build(bytes);
  const double ms = msSince(t);
  std::printf(
      "%-5s table: %zu entries from %.1f MB of listing in %.0f ms; the table holds %.1f MB\n", what,
      table.size(), bytes.size() / 1e6, ms, (heldBytes() - before) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  tableFigure("LIST", unixListing(entries),
              [](const std::string& b) { return ftp::ListingTable(b); });
  tableFigure("MLSD", machineListing(entries),
              [](const std::string& b) { return ftp::MachineListingTable(b); });

  ftp_test::Rig r;
  r.server.listing = unixListing(entries);
  if (!r.connect()) {
    std::fprintf(stderr, "listing_bench: the fake server did not answer\n");
    return 1;
  }
  const std::string first = "speak relatorio-0.txt";
  const std::string last = "speak relatorio-" + std::to_string(entries - 1) + ".txt";
  const std::string place = "speak " + std::to_string(entries) + " de " + std::to_string(entries);
  // Keys stay unseen while the listing arrives (they would be taken for a
  // progress request); the browser reads them afterwards.
  r.ui.gate = [&] { return r.ui.occurrences(first) >= 1; };
  r.keys("\x1b");
  auto t = Clock::now();
  r.browse.ListRemoteDirectory();
  const double firstMs = msSince(t);
  r.ui.gate = [&] { return r.ui.occurrences(first) >= 2; };
  r.keys(std::string("\0\x4f", 2) + std::string("\0\x48", 2) + "p\x1b");  // End, Up, P, Esc
  t = Clock::now();
  r.browse.ListRemoteDirectory();
  const double allMs = msSince(t);
  const bool sawAll = r.ui.has(first) && r.ui.has(last) && r.ui.has(place);
  std::printf(
      "browser: %d entries; D to the first entry heard (then Esc) %.0f ms; D, End, Up, P,"
      " Esc %.0f ms (%s)\n",
      entries, firstMs, allMs, sawAll ? "last entry and place heard" : "NOT ALL HEARD");
  std::printf("peak memory of the run: %.1f MB\n", peakKilobytes() / 1024.0);
  return sawAll ? 0 : 1;
}
