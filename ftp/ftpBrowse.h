// ftpDir, the listing and its browser (key D): LIST into the temporary
// listing file, then a walk over its lines with the arrow keys, each entry
// heard by its name, with receive, delete, size, change of directory, the
// line spelt in the editor and the name copied to the clipboard.
//
// The listing table is at most 15,000 lines of at most 150 characters,
// decoded from UTF-8 to Windows-1252 where the bytes are valid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;
class Dir;
class Transfer;
class FileDialogs;

inline constexpr size_t kListingLines = 15000;
inline constexpr size_t kListingWidth = 150;

// The entry name of a listing line: after its last blank, trailing blanks
// and NULs ignored. A symbolic link's line ("l... name -> target") gives the
// link's own name, not the target's path.
[[nodiscard]] std::string NameOfListingLine(std::string_view line);
// The type letter of a Unix-style line marks a directory.
[[nodiscard]] constexpr bool IsDirectoryLine(std::string_view line) {
  return !line.empty() && line[0] == 'd';
}
// The listing table of the file's bytes: lines end with LF or CR LF.
[[nodiscard]] std::vector<std::string> ListingTable(std::string_view bytes);
// The browser menu's letters for items 1 to 5; Enter for none.
[[nodiscard]] uint8_t BrowserMenuLetter(int item);

class Browse {
 public:
  Browse(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede, Dir& dir,
         Transfer& transfer, FileDialogs& dialogs);

  void ListRemoteDirectory();
  void BrowseListing();
  void AnnounceEntry(size_t position);
  [[nodiscard]] uint8_t BrowserMenu();

 private:
  [[nodiscard]] bool hasEntry(long position) const;

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
  Dir& dir_;
  Transfer& transfer_;
  FileDialogs& dialogs_;
  std::vector<std::string> table_;
};

}  // namespace ftp
