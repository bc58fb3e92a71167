// ftpDir, the listing's browser (key D): a walk over a listing's table
// with the arrow keys, each entry heard by its name, with receive, delete,
// size, change of directory, the line spelt in the editor and the name
// copied to the clipboard; what the keys ask of the remote computer is done
// by BrowseActions, whichever protocol reaches it. Here too: the listing
// parsers that make FTP's lines and MLSD's facts a table.
//
// The listing table holds every line of the listing, however many. Each
// keeps the bytes the server sent, from which the entry's name goes into
// commands unchanged, and the line as shown and spelt: at most 150
// characters, decoded from UTF-8 to Windows-1252 where the bytes are valid
// UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpBrowseModel.h"

namespace ftp {

class Tela;
class Messages;
class FileDialogs;
struct RemoteName;

inline constexpr size_t kListingWidth = 150;
// Bytes kept of one listing line; no file name comes near.
inline constexpr size_t kListingRawWidth = 4096;

// The entry name of a listing line, trailing blanks and NULs ignored. In a
// Unix "ls -l" line it is everything after the time or year field (for a
// symbolic link, the part before " -> "); in a DOS line ("MM-DD-YY hh:mmAM
// <DIR>|size name") everything after the size or <DIR>; in a line of no
// known format, the run after the last blank. The rules look only at ASCII,
// so they give the same name from the server's bytes and from the line as
// decoded.
[[nodiscard]] std::string NameOfListingLine(std::string_view line);
// The type letter of a Unix-style line marks a directory.
[[nodiscard]] constexpr bool IsDirectoryLine(std::string_view line) {
  return !line.empty() && line[0] == 'd';
}
struct ListingEntry {
  std::string raw;   // as the server sent it
  std::string line;  // as shown: decoded, control bytes blank, cut to 150
  // From a machine listing (MLSD, RFC 3659 section 7): the name exactly as
  // the server has it, blanks and all, and its type and size.
  bool exact = false;
  bool directory = false;
  std::string name;
  int64_t size = -1;  // -1: not given
  // The time it was last changed, YYYYMMDDhhmm in the server's time (hh and
  // mm 99 when the listing gives only the day); -1: not given. From MLSD's
  // modify fact, or the date of a Unix or DOS line, as is its size.
  int64_t modified = -1;
  bool marked = false;  // Space or Insert in the browser
};
// The line of a listing's bytes that starts at `at` (its LF or CR LF left
// out); `at` moves past it.
[[nodiscard]] std::string_view NextListingLine(std::string_view bytes, size_t& at);
// The listing table of the file's bytes: lines end with LF or CR LF. A Unix
// line's date without a year is taken as within the year up to tomorrow
// (YYYYMMDD).
[[nodiscard]] std::vector<ListingEntry> ListingTable(std::string_view bytes, int64_t today = -1);
// Puts a table in an order; the order of equal entries is kept.
void SortListing(std::vector<ListingEntry>& table, int order);
// The table of an MLSD listing (ftpMlsd): one entry per line that names a
// file or directory, the current and parent directories left out. Shown
// as the name, then the size or "diretório".
[[nodiscard]] std::vector<ListingEntry> MachineListingTable(std::string_view bytes);
// A listed text as shown: decoded from UTF-8 where it is valid, control
// characters blanked.
[[nodiscard]] std::string shownText(std::string_view raw);
// The name of an entry, as heard and as sent.
[[nodiscard]] RemoteName EntryName(const ListingEntry& entry);
// Whether an entry is a directory: its type fact, or the type letter of
// its line.
[[nodiscard]] bool IsDirectoryEntry(const ListingEntry& entry);
// The browser menu's letters for items 1 to 5; Enter for none.
[[nodiscard]] uint8_t BrowserMenuLetter(int item);

// What the browser's keys ask of the remote computer, whichever protocol
// reaches it; each says what came of it.
class BrowseActions {
 public:
  virtual ~BrowseActions() = default;
  // Whether a name may go into a request; else the error beep (and why).
  [[nodiscard]] virtual bool usable(const RemoteName& name) = 0;
  // R on an entry; directory tells whether it is one.
  virtual void receive(const RemoteName& name, bool directory) = 0;
  // R while entries are marked: all of them, directories whole, as one
  // queue (only where marks() allows marking).
  virtual void receiveMarked(const std::vector<const ListingEntry*>& marked) = 0;
  // Asks first; true when the file is gone.
  [[nodiscard]] virtual bool confirmAndDelete(const RemoteName& name) = 0;
  // Says a file's size after " .... " (of a directory, nothing); false
  // when it could not be asked. What it learnt of the entry (its size, its
  // time) is kept in it.
  [[nodiscard]] virtual bool saySize(ListingEntry& entry) = 0;
  // True when the current directory is now the one named.
  [[nodiscard]] virtual bool changeDirectory(const RemoteName& name) = 0;
  // After each key: whatever the server said meanwhile is heard; false
  // once nothing more can be asked of it.
  [[nodiscard]] virtual bool stillThere() = 0;
  // Whether entries may be marked and moved or deleted as a set (the
  // folders and sets of ftpTree).
  [[nodiscard]] virtual bool marks() const { return false; }
  // Space or Insert where entries cannot be marked: why.
  virtual void sayNoMarks() = 0;
  // One entry of a marked set deleted without a question (a directory only
  // when empty); false, with the server's words in failure, when it stays.
  [[nodiscard]] virtual bool removeMarked(const ListingEntry& entry, std::string& failure) = 0;
};

class Browse {
 public:
  Browse(Tela& ui, Messages& msg, FileDialogs& dialogs);

  // The walk over a listing's table with the browser's keys, its order and
  // its search, the keys' requests made by actions.
  void Walk(std::vector<ListingEntry> table, BrowseActions& actions);
  void AnnounceEntry(size_t position);
  [[nodiscard]] uint8_t BrowserMenu();

 private:
  [[nodiscard]] bool hasEntry(long position) const;
  [[nodiscard]] bool instructionsDue();
  [[nodiscard]] const ListingEntry& entryAt(const BrowsePlace& place) const;
  // Carries out one key's action; true when the browser is to be left.
  [[nodiscard]] bool act(BrowseAction action, BrowsePlace& place, BrowseActions& actions);
  [[nodiscard]] size_t markedCount() const;
  // The marked entries deleted after one question; the deleted leave the list.
  void deleteMarked(BrowsePlace& place, BrowseActions& actions);
  // Asks a piece of a name and goes to the next entry holding it.
  void search(BrowsePlace& place);
  // The next order of the list, said; the list from its first entry.
  void reorder(BrowsePlace& place);

  Tela& ui_;
  Messages& msg_;
  FileDialogs& dialogs_;
  std::vector<ListingEntry> table_;
  bool instructionsHeard_ = false;  // the arrow instructions, once a run
  int order_ = 0;                   // ListOrder, kept from listing to listing
  NameSearch search_;
  std::string found_;  // the name the search looks at
};

}  // namespace ftp
