// ftpDir, the directory browser's keys and its place in the list, without
// the console or the server: one table row per key gives an action, and the
// place moves over positions 0 (before the first entry) to count + 1 (after
// the last), where only 1 to count have an entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ftp {

enum class BrowseAction : uint8_t {
  None,          // any other key: the entry is heard again
  Next,          // Down
  Previous,      // Up
  NextPage,      // Page Down: five ahead
  PreviousPage,  // Page Up: five back
  BeforeFirst,   // Home, Ctrl+Page Up
  AfterLast,     // End, Ctrl+Page Down
  Review,        // Left, Right: the line editor over the entry's line
  Copy,          // Ctrl+Ins: the name to the clipboard
  Menu,          // F9: the browser menu, whose letter is taken as typed
  Receive,       // R
  Delete,        // A
  Size,          // D
  Enter,         // T: into the entry's directory
  Parent,        // V: to the parent directory
  Place,         // P: "N de M", the entry's place in the list
  Search,        // F3, "/": a piece of a name, then the next entry holding it
  Order,         // O: the next order of the list (name, size, date)
  Mark,          // Space, Insert: the entry marked or unmarked
  Leave,         // ESC
};

// The action of a key; letters in either case.
[[nodiscard]] BrowseAction BrowserAction(bool extended, uint8_t key);

class BrowsePlace {
 public:
  explicit BrowsePlace(long count) : count_(count) {}

  [[nodiscard]] long position() const { return position_; }
  [[nodiscard]] long count() const { return count_; }
  [[nodiscard]] bool hasEntry() const { return position_ >= 1 && position_ <= count_; }
  // Moves for the movement actions; the others leave the place alone.
  void move(BrowseAction action);
  void toTop() { position_ = 0; }
  void moveTo(long position) { position_ = position; }
  // The entry here left the list: the next one takes its place.
  void removeHere();
  // Brings a place beyond either end back to that end (0 or count + 1);
  // true when it was beyond, which the user hears as the end of the list.
  [[nodiscard]] bool settleAtEdge();
  // "N de M"; N is 0 off the entries.
  [[nodiscard]] std::string placeText() const;

 private:
  long count_;
  long position_ = 1;
};

// What search and sort look at in an entry. The name is Windows-1252; the
// size -1 and the time -1 when the listing does not give them; the time is
// the number YYYYMMDDhhmm.
struct EntryFacts {
  std::string_view name;
  bool directory = false;
  int64_t size = -1;
  int64_t modified = -1;
};

// The orders a listing is heard in. Directories come first in every one;
// the biggest and the newest first.
enum class ListOrder : uint8_t { Name, Size, Date };
[[nodiscard]] ListOrder NextOrder(ListOrder order);
// The message key that says the order.
[[nodiscard]] std::string_view OrderMessage(ListOrder order);
// Texts compared with runs of digits taken as numbers ("foto2" before
// "foto10"): below zero, zero or above zero.
[[nodiscard]] int NaturalCompare(std::string_view a, std::string_view b);
[[nodiscard]] bool ComesBefore(const EntryFacts& a, const EntryFacts& b, ListOrder order);

// A Windows-1252 text as search and sort compare it: letters in capitals,
// accented ones as their plain letter (Ç as C, Ñ as N).
[[nodiscard]] std::string PlainKey(std::string_view text);
// Whether a name holds the piece, case and accents aside.
[[nodiscard]] bool NameHolds(std::string_view name, std::string_view piece);
// The search of the browser and of the picker: the piece asked last, and
// the next position after `from` (1..count, going round past the end) whose
// name holds it; 0 when none does. An empty answer searches for the last
// piece again.
class NameSearch {
 public:
  // The piece to use for a typed answer; empty when there is none at all.
  std::string_view take(std::string_view answer);
  [[nodiscard]] long next(long from, long count,
                          const std::function<std::string_view(long)>& nameAt) const;

 private:
  std::string piece_;
};

// A listing's time (YYYYMMDDhhmm; hh and mm 99 when only the day is known)
// said for the ear, beside today's date (YYYYMMDD): "hoje às 14 horas e 5
// minutos", "ontem às ...", "em 3 de dezembro de 2026 às ..."; no comma
// for the voice to name. Empty for -1.
[[nodiscard]] std::string ModifiedWords(int64_t modified, int64_t today);
// What a mark key says: "marcado, 3 marcados" or "desmarcado, 1 marcado".
[[nodiscard]] std::string MarkSentence(bool marked, size_t count);
// Today's date in this computer's time, YYYYMMDD.
[[nodiscard]] int64_t Today();

}  // namespace ftp
