// ftpDir, the machine listing: MLSD lines are facts, each "name=value;",
// then one blank, then the name to the end of the line (RFC 3659 section
// 7.2), so a name keeps its leading and repeated blanks.
#include <algorithm>
#include <ctime>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpDlg.h"

namespace ftp {

namespace {

std::string lower(std::string_view s) {
  std::string l(s);
  for (char& c : l)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return l;
}

bool digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The modify fact, YYYYMMDDHHMMSS[.sss] in UTC, in this computer's time as
// YYYYMMDDhhmm; -1 when it is not one.
int64_t localStamp(std::string_view v) {
  if (v.size() < 14 || !digits(v.substr(0, 14))) return -1;
  auto n = [&](size_t at, size_t len) { return std::stoi(std::string(v.substr(at, len))); };
  std::tm t{};
  t.tm_year = n(0, 4) - 1900;
  t.tm_mon = n(4, 2) - 1;
  t.tm_mday = n(6, 2);
  t.tm_hour = n(8, 2);
  t.tm_min = n(10, 2);
  t.tm_sec = n(12, 2);
  const std::time_t when = timegm(&t);
  std::tm local{};
  if (when == -1 || !localtime_r(&when, &local)) return -1;
  return ((((local.tm_year + 1900) * 100LL + local.tm_mon + 1) * 100 + local.tm_mday) * 100 +
          local.tm_hour) *
             100 +
         local.tm_min;
}

// One entry of a line; false for a line that names nothing to browse.
bool machineEntry(std::string_view raw, ListingEntry& e) {
  const size_t blank = raw.find(' ');
  if (blank == std::string_view::npos || blank + 1 >= raw.size()) return false;
  std::string_view facts = raw.substr(0, blank);
  e.name = std::string(raw.substr(blank + 1));
  std::string type;
  while (!facts.empty()) {
    const size_t semi = facts.find(';');
    const std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    const size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string name = lower(fact.substr(0, eq));
    const std::string_view value = fact.substr(eq + 1);
    if (name == "type") {
      type = lower(value);
    } else if (name == "size" && !value.empty() && value.size() < 19 &&
               std::all_of(value.begin(), value.end(),
                           [](char c) { return c >= '0' && c <= '9'; })) {
      e.size = std::stoll(std::string(value));
    } else if (name == "modify") {
      e.modified = localStamp(value);
    }
  }
  if (type == "cdir" || type == "pdir") return false;
  e.exact = true;
  e.directory = type == "dir";
  e.raw = std::string(raw);
  e.line = shownText(e.name);
  // Read word by word in review, so written for the ear too: no brackets.
  e.line += e.directory   ? qr::W("  diretório")
            : e.size >= 0 ? "  " + std::to_string(e.size) + " baites"
                          : std::string();
  if (e.line.size() > kListingWidth) e.line.resize(kListingWidth);
  return true;
}

}  // namespace

std::vector<ListingEntry> MachineListingTable(std::string_view bytes) {
  std::vector<ListingEntry> table;
  size_t at = 0;
  while (at < bytes.size()) {
    const std::string_view raw = NextListingLine(bytes, at);
    if (raw.size() > kListingRawWidth) continue;  // no name comes near
    ListingEntry e;
    if (machineEntry(raw, e)) table.push_back(std::move(e));
  }
  return table;
}

bool IsDirectoryEntry(const ListingEntry& entry) {
  return entry.exact ? entry.directory : IsDirectoryLine(entry.raw);
}

}  // namespace ftp
