// ftpDir, the directory browser's keys and its place in the list, without
// the console or the server: one table row per key gives an action, and the
// place moves over positions 0 (before the first entry) to count + 1 (after
// the last), where only 1 to count have an entry.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace ftp
