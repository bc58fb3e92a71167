// ftpDir, the browser's key table and place in the list.
#include "ftp/ftpBrowseModel.h"

#include <algorithm>
#include <array>
#include <ctime>

#include "base/ascii.h"
#include "base/cp1252.h"
#include "base/keyCodes.h"

namespace ftp {

namespace {

using namespace qr::ext;  // the special keys' codes

struct KeyAction {
  bool extended;
  uint8_t key;
  BrowseAction action;
};

// One row per key.
// clang-format off
constexpr std::array<KeyAction, 24> kBrowserKeys{{
    {true, kDown, BrowseAction::Next},
    {true, kUp, BrowseAction::Previous},
    {true, kPageDown, BrowseAction::NextPage},
    {true, kPageUp, BrowseAction::PreviousPage},
    {true, kHome, BrowseAction::BeforeFirst},
    {true, kCtrlPageUp, BrowseAction::BeforeFirst},
    {true, kEnd, BrowseAction::AfterLast},
    {true, kCtrlPageDown, BrowseAction::AfterLast},
    {true, kLeft, BrowseAction::Review},
    {true, kRight, BrowseAction::Review},
    {true, kCtrlInsert, BrowseAction::Copy},
    {true, kF9, BrowseAction::Menu},
    {false, qr::key::kEsc, BrowseAction::Leave},
    {false, 'R', BrowseAction::Receive},
    {false, 'A', BrowseAction::Delete},
    {false, 'D', BrowseAction::Size},
    {false, 'T', BrowseAction::Enter},
    {false, 'V', BrowseAction::Parent},
    {false, 'P', BrowseAction::Place},
    {true, kF3, BrowseAction::Search},
    {false, '/', BrowseAction::Search},
    {false, 'O', BrowseAction::Order},
    {false, ' ', BrowseAction::Mark},
    {true, kInsert, BrowseAction::Mark},
}};
// clang-format on

constexpr long kPage = 5;

// The plain capital of each Windows-1252 byte from 128: the accented
// letters lose their accents, the rest stay as they are.
constexpr uint8_t plainOf(uint8_t c) {
  constexpr std::string_view k192 = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTSAAAAAAACEEEEIIIIDNOOOOO/OUUUUYTY";
  if (c == 215 || c == 247) return c;  // the signs of times and division
  if (c == 0x8A || c == 0x9A) return 'S';
  if (c == 0x8E || c == 0x9E) return 'Z';
  if (c == 0x9F) return 'Y';
  if (c >= 192) return static_cast<uint8_t>(k192[c - 192]);
  return c;
}

// YYYYMMDD of a day some days from another.
int64_t dayFrom(int64_t date, int days) {
  std::tm t{};
  t.tm_year = static_cast<int>(date / 10000) - 1900;
  t.tm_mon = static_cast<int>(date / 100 % 100) - 1;
  t.tm_mday = static_cast<int>(date % 100) + days;
  t.tm_hour = 12;
  (void)timegm(&t);
  return (t.tm_year + 1900) * 10000LL + (t.tm_mon + 1) * 100 + t.tm_mday;
}

constexpr std::array<std::string_view, 12> kMonthNames{
    "janeiro", "fevereiro", "março",    "abril",   "maio",     "junho",
    "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};

}  // namespace

ListOrder NextOrder(ListOrder order) {
  switch (order) {
    case ListOrder::Name:
      return ListOrder::Size;
    case ListOrder::Size:
      return ListOrder::Date;
    case ListOrder::Date:
      break;
  }
  return ListOrder::Name;
}

std::string_view OrderMessage(ListOrder order) {
  switch (order) {
    case ListOrder::Name:
      return "FTORDNOM";
    case ListOrder::Size:
      return "FTORDTAM";
    case ListOrder::Date:
      break;
  }
  return "FTORDDAT";
}

bool ComesBefore(const EntryFacts& a, const EntryFacts& b, ListOrder order) {
  if (a.directory != b.directory) return a.directory;
  if (order == ListOrder::Size && a.size != b.size) return a.size > b.size;
  if (order == ListOrder::Date && a.modified != b.modified) return a.modified > b.modified;
  const int plain = NaturalCompare(PlainKey(a.name), PlainKey(b.name));
  return plain != 0 ? plain < 0 : a.name < b.name;
}

int NaturalCompare(std::string_view a, std::string_view b) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      // Numbers by their value: leading zeros aside, the longer is bigger.
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei])) ++ei;
      while (ej < b.size() && digit(b[ej])) ++ej;
      if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
      const int c = a.substr(i, ei - i).compare(b.substr(j, ej - j));
      if (c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j])
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string PlainKey(std::string_view text) {
  std::string key;
  key.reserve(text.size());
  for (char ch : text)
    key += static_cast<char>(plainOf(qr::upperCase(static_cast<uint8_t>(ch))));
  return key;
}

bool NameHolds(std::string_view name, std::string_view piece) {
  return PlainKey(name).find(PlainKey(piece)) != std::string::npos;
}

std::string_view NameSearch::take(std::string_view answer) {
  if (!answer.empty()) piece_ = answer;
  return piece_;
}

long NameSearch::next(long from, long count,
                      const std::function<std::string_view(long)>& nameAt) const {
  if (piece_.empty() || count <= 0) return 0;
  const std::string piece = PlainKey(piece_);
  from = std::clamp(from, 0L, count);
  for (long step = 1; step <= count; ++step) {
    const long at = (from + step - 1) % count + 1;
    if (PlainKey(nameAt(at)).find(piece) != std::string::npos) return at;
  }
  return 0;
}

int64_t Today() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return (t.tm_year + 1900) * 10000LL + (t.tm_mon + 1) * 100 + t.tm_mday;
}

std::string MarkSentence(bool marked, size_t count) {
  return std::string(marked ? "marcado, " : "desmarcado, ") + std::to_string(count) +
         (count == 1 ? " marcado" : " marcados");
}

std::string ModifiedWords(int64_t modified, int64_t today) {
  if (modified < 0) return {};
  const int64_t date = modified / 10000;
  const int hour = static_cast<int>(modified / 100 % 100);
  const int minute = static_cast<int>(modified % 100);
  std::string words;
  if (date == today) {
    words = "hoje";
  } else if (date == dayFrom(today, -1)) {
    words = "ontem";
  } else {
    const auto month = static_cast<size_t>(date / 100 % 100);
    if (month < 1 || month > 12) return {};
    words = "em " + std::to_string(date % 100) + " de " + std::string(kMonthNames[month - 1]) +
            " de " + std::to_string(date / 10000);
  }
  if (hour < 24 && minute < 60) {
    words += " às " + std::to_string(hour) + (hour == 1 ? " hora" : " horas");
    if (minute > 0) words += " e " + std::to_string(minute) + (minute == 1 ? " minuto" : " minutos");
  }
  return qr::W(words);  // the words above are UTF-8
}

BrowseAction BrowserAction(bool extended, uint8_t key) {
  if (!extended) key = qr::asciiUpper(key);
  for (const auto& k : kBrowserKeys)
    if (k.extended == extended && k.key == key) return k.action;
  return BrowseAction::None;
}

void BrowsePlace::move(BrowseAction action) {
  switch (action) {
    case BrowseAction::Next:
      position_ += 1;
      break;
    case BrowseAction::Previous:
      position_ -= 1;
      break;
    case BrowseAction::NextPage:
      position_ += kPage;
      break;
    case BrowseAction::PreviousPage:
      position_ -= kPage;
      break;
    case BrowseAction::BeforeFirst:
      position_ = 0;
      break;
    case BrowseAction::AfterLast:
      position_ = count_ + 1;
      break;
    case BrowseAction::None:
    case BrowseAction::Review:
    case BrowseAction::Copy:
    case BrowseAction::Menu:
    case BrowseAction::Receive:
    case BrowseAction::Delete:
    case BrowseAction::Size:
    case BrowseAction::Enter:
    case BrowseAction::Parent:
    case BrowseAction::Place:
    case BrowseAction::Search:
    case BrowseAction::Order:
    case BrowseAction::Mark:
    case BrowseAction::Leave:
      break;
  }
}

void BrowsePlace::removeHere() {
  if (hasEntry()) --count_;
}

bool BrowsePlace::settleAtEdge() {
  if (position_ < 1) {
    position_ = 0;
    return true;
  }
  if (position_ > count_) {
    position_ = count_ + 1;
    return true;
  }
  return false;
}

std::string BrowsePlace::placeText() const {
  return std::to_string(hasEntry() ? position_ : 0) + " de " + std::to_string(count_);
}

}  // namespace ftp
