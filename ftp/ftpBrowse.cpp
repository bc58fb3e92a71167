// ftpDir, the listing's browser and the listing parsers.
#include "ftp/ftpBrowse.h"

#include <algorithm>
#include <array>

#include "base/ascii.h"
#include "base/cp1252.h"
#include "ftp/ftpBrowseModel.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"

namespace ftp {

namespace {

constexpr uint8_t kEnter = 13;
constexpr int kDirectoryColumn = 30;

struct MenuLetter {
  std::string_view key;
  uint8_t letter;
};
constexpr std::array<MenuLetter, 5> kBrowserMenu{{
    {"FTPAJA02", 'R'},
    {"FTPAJA03", 'A'},
    {"FTPAJA04", 'D'},
    {"FTPAJA05", 'V'},
    {"FTPAJA06", 'T'},
}};

constexpr bool isBlank(char c) {
  return c == ' ' || c == '\0';
}

constexpr bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s, size_t least, size_t most) {
  if (s.size() < least || s.size() > most) return false;
  for (char c : s)
    if (!isDigit(c)) return false;
  return true;
}

struct Field {
  std::string_view text;
  size_t end;  // offset just after it in the line
};

// The first count blank-separated fields of a line.
std::vector<Field> fields(std::string_view line, size_t count) {
  std::vector<Field> out;
  size_t i = 0;
  while (out.size() < count) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    out.push_back({line.substr(start, i - start), i});
  }
  return out;
}

bool isMonth(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths{
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  for (auto m : kMonths)
    if (qr::asciiEqualNoCase(s, m)) return true;
  return false;
}

// "12:34" or "1:05", with "AM"/"PM" after it when ampm.
bool isTime(std::string_view s, bool ampm) {
  if (ampm && s.size() > 2) {
    const std::string_view tail = s.substr(s.size() - 2);
    if (tail == "AM" || tail == "PM" || tail == "am" || tail == "pm") s.remove_suffix(2);
  }
  const size_t colon = s.find(':');
  return colon != std::string_view::npos && allDigits(s.substr(0, colon), 1, 2) &&
         allDigits(s.substr(colon + 1), 2, 2);
}

bool isIsoDate(std::string_view s) {
  return s.size() == 10 && s[4] == '-' && s[7] == '-' && allDigits(s.substr(0, 4), 4, 4) &&
         allDigits(s.substr(5, 2), 2, 2) && allDigits(s.substr(8, 2), 2, 2);
}

bool isDosDate(std::string_view s) {
  return (s.size() == 8 || s.size() == 10) && s[2] == '-' && s[5] == '-' &&
         allDigits(s.substr(0, 2), 2, 2) && allDigits(s.substr(3, 2), 2, 2) &&
         allDigits(s.substr(6), 2, 4);
}

// A Unix mode field: the type letter and nine permission letters, perhaps
// followed by a mark of extended attributes.
bool isModeField(std::string_view s) {
  if (s.size() < 10 || std::string_view("-dlbcpsD").find(s[0]) == std::string_view::npos)
    return false;
  for (char c : s.substr(1, 9))
    if (std::string_view("rwxsStTlL-").find(c) == std::string_view::npos) return false;
  return true;
}

// Where the name of a Unix "ls -l" line starts; npos when the line is not
// one. The date is the month, the day and the time or the year (or an ISO
// date and a time) right after the size.
size_t unixNameStart(std::string_view line) {
  const auto f = fields(line, 10);
  if (f.empty() || !isModeField(f[0].text)) return std::string_view::npos;
  for (size_t i = 2; i + 1 < f.size(); ++i) {
    if (!allDigits(f[i - 1].text, 1, 20)) continue;
    if (i + 2 < f.size() && isMonth(f[i].text) && allDigits(f[i + 1].text, 1, 2) &&
        (isTime(f[i + 2].text, false) || allDigits(f[i + 2].text, 4, 4)))
      return f[i + 2].end + 1;
    if (isIsoDate(f[i].text) && isTime(f[i + 1].text, false)) return f[i + 1].end + 1;
  }
  return std::string_view::npos;
}

// Where the name of a DOS/IIS line starts; npos when the line is not one.
size_t dosNameStart(std::string_view line) {
  const auto f = fields(line, 3);
  if (f.size() < 3 || !isDosDate(f[0].text) || !isTime(f[1].text, true))
    return std::string_view::npos;
  if (f[2].text != "<DIR>" && !allDigits(f[2].text, 1, 20)) return std::string_view::npos;
  size_t at = f[2].end;
  while (at < line.size() && line[at] == ' ') ++at;
  return at;
}

int number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

int monthNumber(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths{
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  for (size_t m = 0; m < kMonths.size(); ++m)
    if (qr::asciiEqualNoCase(s, kMonths[m])) return static_cast<int>(m) + 1;
  return 0;
}

int64_t stamp(int64_t year, int month, int day, int hour, int minute) {
  return (((year * 100 + month) * 100 + day) * 100 + hour) * 100 + minute;
}

int64_t sizeOf(std::string_view s) {
  return allDigits(s, 1, 18) ? std::stoll(std::string(s)) : -1;
}

// The size and time of a Unix or DOS line, where it is one.
void lineFacts(std::string_view line, int64_t today, ListingEntry& e) {
  const auto f = fields(line, 10);
  if (!f.empty() && isModeField(f[0].text)) {
    for (size_t i = 2; i + 1 < f.size(); ++i) {
      if (!allDigits(f[i - 1].text, 1, 20)) continue;
      if (i + 2 < f.size() && isMonth(f[i].text) && allDigits(f[i + 1].text, 1, 2) &&
          (isTime(f[i + 2].text, false) || allDigits(f[i + 2].text, 4, 4))) {
        e.size = sizeOf(f[i - 1].text);
        const int month = monthNumber(f[i].text);
        const int day = number(f[i + 1].text);
        const std::string_view t = f[i + 2].text;
        if (t.find(':') == std::string_view::npos) {
          e.modified = stamp(number(t), month, day, 99, 99);
        } else {
          // Within the last half year: this year, unless that is after
          // tomorrow.
          int64_t year = today / 10000;
          if ((year * 100 + month) * 100 + day > today + 1) --year;
          const size_t colon = t.find(':');
          e.modified =
              stamp(year, month, day, number(t.substr(0, colon)), number(t.substr(colon + 1)));
        }
        return;
      }
      if (isIsoDate(f[i].text) && isTime(f[i + 1].text, false)) {
        e.size = sizeOf(f[i - 1].text);
        const std::string_view d = f[i].text, t = f[i + 1].text;
        const size_t colon = t.find(':');
        e.modified = stamp(number(d.substr(0, 4)), number(d.substr(5, 2)), number(d.substr(8, 2)),
                           number(t.substr(0, colon)), number(t.substr(colon + 1, 2)));
        return;
      }
    }
    return;
  }
  if (f.size() >= 3 && isDosDate(f[0].text) && isTime(f[1].text, true)) {
    const std::string_view d = f[0].text, t = f[1].text;
    int64_t year = number(d.substr(6));
    if (year < 100) year += year < 70 ? 2000 : 1900;
    const size_t colon = t.find(':');
    int hour = number(t.substr(0, colon)) % 12;
    if (t.size() > 2 && (t.back() == 'M' || t.back() == 'm') && (t[t.size() - 2] | 0x20) == 'p')
      hour += 12;
    e.modified = stamp(year, number(d.substr(0, 2)), number(d.substr(3, 2)), hour,
                       number(t.substr(colon + 1, 2)));
    e.size = sizeOf(f[2].text);
  }
}

}  // namespace

std::string shownText(std::string_view raw) {
  std::string text = qr::fromUtf8(raw);
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127) c = ' ';
  }
  return text;
}

std::string NameOfListingLine(std::string_view line) {
  while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
  size_t start = unixNameStart(line);
  if (start != std::string_view::npos) {
    if (start >= line.size()) return {};
    std::string_view name = line.substr(start);
    if (line[0] == 'l') name = name.substr(0, name.find(" -> "));
    return std::string(name);
  }
  start = dosNameStart(line);
  if (start != std::string_view::npos)
    return std::string(line.substr(std::min(start, line.size())));
  const size_t blank = line.rfind(' ');
  return std::string(blank == std::string_view::npos ? line : line.substr(blank + 1));
}

std::string_view NextListingLine(std::string_view bytes, size_t& at) {
  size_t end = bytes.find('\n', at);
  if (end == std::string_view::npos) end = bytes.size();
  std::string_view raw = bytes.substr(at, end - at);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  at = end + 1;
  return raw;
}

std::vector<ListingEntry> ListingTable(std::string_view bytes, int64_t today) {
  if (today < 0) today = Today();
  std::vector<ListingEntry> table;
  size_t at = 0;
  while (at < bytes.size()) {
    std::string_view raw = NextListingLine(bytes, at);
    if (raw.size() > kListingRawWidth) raw = raw.substr(0, kListingRawWidth);
    ListingEntry e;
    e.raw = std::string(raw);
    e.line = shownText(raw);
    if (e.line.size() > kListingWidth) e.line.resize(kListingWidth);
    lineFacts(raw, today, e);
    table.push_back(std::move(e));
  }
  return table;
}

void SortListing(std::vector<ListingEntry>& table, int order) {
  // The names made plain once, not at every comparison.
  std::vector<std::string> keys;
  keys.reserve(table.size());
  for (const ListingEntry& e : table) keys.push_back(PlainKey(EntryName(e).text));
  std::vector<EntryFacts> facts;
  facts.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i)
    facts.push_back({keys[i], IsDirectoryEntry(table[i]), table[i].size, table[i].modified});
  std::vector<size_t> at(table.size());
  for (size_t i = 0; i < at.size(); ++i) at[i] = i;
  const auto o = static_cast<ListOrder>(order);
  std::stable_sort(at.begin(), at.end(),
                   [&](size_t a, size_t b) { return ComesBefore(facts[a], facts[b], o); });
  std::vector<ListingEntry> sorted;
  sorted.reserve(table.size());
  for (size_t i : at) sorted.push_back(std::move(table[i]));
  table = std::move(sorted);
}

RemoteName EntryName(const ListingEntry& entry) {
  RemoteName n;
  n.wire = entry.exact ? entry.name : NameOfListingLine(entry.raw);
  n.text = shownText(n.wire);
  return n;
}

uint8_t BrowserMenuLetter(int item) {
  if (item < 1 || item > static_cast<int>(kBrowserMenu.size())) return kEnter;
  return kBrowserMenu[static_cast<size_t>(item - 1)].letter;
}

Browse::Browse(Tela& ui, Messages& msg, FileDialogs& dialogs)
    : ui_(ui), msg_(msg), dialogs_(dialogs) {}

bool Browse::hasEntry(long position) const {
  return position >= 1 && position <= static_cast<long>(table_.size());
}

void Browse::AnnounceEntry(size_t position) {
  if (!hasEntry(static_cast<long>(position))) return;
  const ListingEntry& entry = table_[position - 1];
  ui_.endLine();
  ui_.writeSpoken(EntryName(entry).text);
  if (IsDirectoryEntry(entry)) {
    ui_.moveCursor(kDirectoryColumn, ui_.cursorRow());
    ui_.writeSpoken(qr::W("  diretório"));
  }
  if (entry.marked) ui_.writeSpoken("  marcado");
}

size_t Browse::markedCount() const {
  return static_cast<size_t>(
      std::count_if(table_.begin(), table_.end(), [](const ListingEntry& e) { return e.marked; }));
}

void Browse::deleteMarked(BrowsePlace& place, BrowseActions& actions) {
  const size_t count = markedCount();
  ui_.endLine();
  if (!AskYesNo(ui_, msg_, "Apagar os " + std::to_string(count) + " marcados?  ")) {
    msg_.Announce("FTDESIS", 2);
    return;
  }
  // Only an empty directory can go.
  size_t deleted = 0;
  std::vector<std::string> failed;
  for (size_t i = 0; i < table_.size() && actions.stillThere();) {
    if (!table_[i].marked) {
      ++i;
      continue;
    }
    std::string failure;
    const bool gone = actions.removeMarked(table_[i], failure);
    if (!gone && !failure.empty()) failed.push_back(EntryName(table_[i]).text + ": " + failure);
    if (!gone) {
      table_[i].marked = false;
      ++i;
      continue;
    }
    ++deleted;
    table_.erase(table_.begin() + static_cast<long>(i));
    if (static_cast<long>(i) < place.position()) place.moveTo(place.position() - 1);
  }
  place = [&] {
    BrowsePlace p(static_cast<long>(table_.size()));
    p.moveTo(std::min<long>(place.position(), static_cast<long>(table_.size())));
    return p;
  }();
  if (failed.empty()) {
    ui_.writeLineSpoken(std::to_string(deleted) + (deleted == 1 ? " apagado" : " apagados"));
    return;
  }
  ui_.errorBeep();
  ui_.setForeground(4);
  ui_.writeLineSpoken(std::to_string(deleted) + " de " + std::to_string(count) + " apagados; " +
                      std::to_string(failed.size()) +
                      (failed.size() == 1 ? " falhou" : " falharam"));
  ui_.setForeground(15);
  for (const std::string& f : failed) ui_.writeLineSpoken(f);
}

uint8_t Browse::BrowserMenu() {
  MenuBox box;
  box.column = 40;
  box.row = ui_.cursorRow();
  box.width = 50;
  box.height = 5;
  box.colour = 5;
  std::vector<MenuChoice> items;
  for (const auto& e : kBrowserMenu) items.push_back({std::string(e.key), MessageText(e.key)});
  return BrowserMenuLetter(ui_.runMenu(box, items));
}

// The arrow instructions are heard at the first listing of a run; REPETEAJUDA=S
// in [NAVIRO] has them at every listing.
bool Browse::instructionsDue() {
  if (!instructionsHeard_) return true;
  const std::string every = ui_.setting("REPETEAJUDA");
  return !every.empty() && (every[0] == 'S' || every[0] == 's');
}

void Browse::Walk(std::vector<ListingEntry> table, BrowseActions& actions) {
  table_ = std::move(table);
  SortListing(table_, order_);

  if (instructionsDue()) {
    msg_.Announce("FTUSSETA", 1);
    ui_.waitSpeechEnd();
    instructionsHeard_ = true;
  }

  BrowsePlace place(static_cast<long>(table_.size()));
  bool leave = false;
  while (!leave) {
    if (place.hasEntry()) AnnounceEntry(static_cast<size_t>(place.position()));
    uint8_t key = ui_.readKey();
    bool extended = false;
    if (key == 0) {
      key = ui_.readKey();
      extended = true;
    }
    BrowseAction action = BrowserAction(extended, key);
    // The key that ends the line editor, or the menu's letter, is taken as
    // if typed here.
    if (action == BrowseAction::Review && place.hasEntry()) {
      ui_.endLine();
      key = dialogs_.reviewLine(entryAt(place).line, extended);
      action = BrowserAction(extended, key);
      // ESC ends the spelling: back at the entry, which a second ESC leaves.
      if (action == BrowseAction::Leave) action = BrowseAction::None;
    }
    if (action == BrowseAction::Menu) action = BrowserAction(false, BrowserMenu());
    leave = act(action, place, actions);
    // Nothing more can be asked of a server that is gone.
    if (!actions.stillThere()) leave = true;
    if (place.settleAtEdge()) {
      ui_.endLine();
      msg_.Announce("FTULTARQ", 1);
    }
  }
  table_.clear();
  table_.shrink_to_fit();
  ui_.endLine();
  ui_.flushKeys();
}

const ListingEntry& Browse::entryAt(const BrowsePlace& place) const {
  return table_[static_cast<size_t>(place.position() - 1)];
}

void Browse::search(BrowsePlace& place) {
  ui_.endLine();
  msg_.Announce("FTPROCUR", 0);
  const std::string answer = ui_.readLineSpoken();
  if (search_.take(answer).empty()) return;
  const long found = search_.next(place.position(), static_cast<long>(table_.size()),
                                  [this](long at) -> std::string_view {
                                    found_ = EntryName(table_[static_cast<size_t>(at - 1)]).text;
                                    return found_;
                                  });
  if (found == 0) {
    ui_.endLine();
    msg_.Announce("FTNENHUM", 1);
    return;
  }
  place.moveTo(found);
}

void Browse::reorder(BrowsePlace& place) {
  order_ = static_cast<int>(NextOrder(static_cast<ListOrder>(order_)));
  SortListing(table_, order_);
  ui_.endLine();
  msg_.Announce(OrderMessage(static_cast<ListOrder>(order_)), 0);
  place.moveTo(1);
}

bool Browse::act(BrowseAction action, BrowsePlace& place, BrowseActions& actions) {
  const RemoteName name = place.hasEntry() ? EntryName(entryAt(place)) : RemoteName{};
  switch (action) {
    case BrowseAction::Next:
    case BrowseAction::Previous:
    case BrowseAction::NextPage:
    case BrowseAction::PreviousPage:
    case BrowseAction::BeforeFirst:
    case BrowseAction::AfterLast:
      place.move(action);
      return false;
    case BrowseAction::Copy:
      msg_.Announce("FTOK", 1);
      dialogs_.putClipboard(name.text);
      return false;
    case BrowseAction::Mark: {
      if (!place.hasEntry()) {
        ui_.errorBeep();
        return false;
      }
      if (!actions.marks()) {
        actions.sayNoMarks();
        return false;
      }
      ListingEntry& e = table_[static_cast<size_t>(place.position() - 1)];
      e.marked = !e.marked;
      const size_t count = markedCount();
      ui_.endLine();
      ui_.writeSpoken(MarkSentence(e.marked, count));
      return false;
    }
    case BrowseAction::Receive:
      if (actions.marks() && markedCount() > 0) {
        std::vector<const ListingEntry*> marked;
        for (const ListingEntry& e : table_)
          if (e.marked) marked.push_back(&e);
        ui_.endLine();
        actions.receiveMarked(marked);
        for (ListingEntry& e : table_) e.marked = false;
        return false;
      }
      if (actions.usable(name)) {
        ui_.endLine();
        actions.receive(name, IsDirectoryEntry(entryAt(place)));
      }
      return false;
    case BrowseAction::Delete:
      if (markedCount() > 0) {
        deleteMarked(place, actions);
        return false;
      }
      // A deleted entry is not offered again: the next one takes its place.
      if ((name.wire.empty() || actions.usable(name)) && actions.confirmAndDelete(name)) {
        table_.erase(table_.begin() + (place.position() - 1));
        place.removeHere();
      }
      return false;
    case BrowseAction::Size: {
      if (!actions.usable(name)) return false;
      ListingEntry& entry = table_[static_cast<size_t>(place.position() - 1)];
      if (!actions.saySize(entry)) return false;
      // The listing knows when it was changed.
      const std::string when = ModifiedWords(entry.modified, Today());
      if (!when.empty()) ui_.writeLineSpoken(qr::W("modificado ") + when);
      return false;
    }
    case BrowseAction::Search:
      search(place);
      return false;
    case BrowseAction::Order:
      reorder(place);
      return false;
    case BrowseAction::Enter:
      return (name.wire.empty() || actions.usable(name)) && actions.changeDirectory(name);
    case BrowseAction::Parent:
      if (!actions.changeDirectory(RemoteName::typed(".."))) return false;
      place.toTop();  // out of the list at its top: its edge is heard
      return true;
    case BrowseAction::Place:
      ui_.endLine();
      ui_.writeSpoken(place.placeText());
      return false;
    case BrowseAction::Leave:
      return true;
    case BrowseAction::Review:  // no entry to review
    case BrowseAction::Menu:    // the menu's letter was taken already
    case BrowseAction::None:
      return false;
  }
  return false;
}

}  // namespace ftp
