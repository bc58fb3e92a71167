// The local file picker: the name of a local file is typed in the line
// editor, or chosen from a spoken list of the matching files of a directory
// shown below the prompt. Names are Windows-1252 inside the program; the
// directory search converts from the file system's UTF-8.
//
// Conventions carried over to this platform: "/" separates directories,
// hidden files are the names that begin with ".", and masks match as the
// desktop's file search does ("*.*" matches every name, letters compared
// without regard to case).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qr {
class Console;
class Spoken;
class LineInput;
}  // namespace qr

namespace ftp {

inline constexpr std::string_view kTabAnswer = "@TAB@";

struct LocalEntry {
  std::string name;  // long name, Windows-1252
  uint64_t size = 0;
  bool marked = false;
  bool directory = false;  // a directory (never a link to one)
};

// The sort key: a-z to capitals, bytes 128-255 through the folding table.
[[nodiscard]] std::string sortKey(std::string_view name);
// Whether a search mask ("*", "?", letters without regard to case) matches.
[[nodiscard]] bool maskMatches(std::string_view mask, std::string_view name);
// The 8.3 form of a name: the name itself when it fits, else the first six
// letters, "~1" and the first three letters of the extension, upper case.
[[nodiscard]] std::string shortName(std::string_view name);
// The visible files and directories of a directory matching a mask, sorted
// by their sort keys. Hidden names, links to directories and anything else
// neither a regular file nor a directory are left out; a link to a regular
// file is listed as the file.
[[nodiscard]] std::vector<LocalEntry> listLocalFiles(const std::string& directory,
                                                     std::string_view mask);
// What the list shows and says for an entry: its name, and for a directory
// the word that says so.
[[nodiscard]] std::string EntryText(const LocalEntry& entry);
// The directory part of a pattern: up to and including its last "/".
[[nodiscard]] std::string directoryPart(std::string_view text);

// The chooser over a list of entries, without a console: the current entry
// (-1 and the count stand outside the list), the first entry shown in a
// window of `rows` rows, and the letter F5 last searched for. A key moves
// the position and marks entries; what is heard and drawn follows from the
// step it gives back.
struct ChooserState {
  int index = 0;
  int first = 0;
  uint8_t searchLetter = ' ';
  std::string searchPiece{};  // F3's last piece of a name
  bool operator==(const ChooserState&) const = default;
};
enum class ChooserOutcome : uint8_t {
  Moved,       // say the current entry (a tone first when it is marked)
  Spell,       // spell its name
  SpellShort,  // spell its short name
  AtEdge,      // outside the list: the tone
  Chosen,      // Enter
  Cancelled,   // ESC: the position goes to -1
  TypeName,    // Tab: back to typing a name
  NotFound,    // F3 found no name holding the piece
};
struct ChooserStep {
  ChooserOutcome outcome = ChooserOutcome::Moved;
  int tones = 0;   // entries marked on the way, or one for a whole range
  int clicks = 0;  // entries unmarked on the way
  bool toggled = false;  // Space marked or unmarked the current entry
  bool operator==(const ChooserStep&) const = default;
};
// Whether the key is followed by a letter to search for (read by the caller
// and passed as `letter`).
[[nodiscard]] bool ChooserReadsLetter(uint8_t key, bool extended);
// Whether the key asks for a piece of a name (F3), read by the caller and
// passed as `piece`: the next entry whose name holds it, case and accents
// aside, going round past the end; an empty piece searches for the last.
[[nodiscard]] bool ChooserReadsPiece(uint8_t key, bool extended);
// What a key does; `shift` marks (going down, to the end) or unmarks (going
// up, to the start) the entries passed over.
[[nodiscard]] ChooserStep ChooserKey(ChooserState& state, std::vector<LocalEntry>& entries,
                                     int rows, uint8_t key, bool extended, bool shift,
                                     uint8_t letter = ' ', std::string_view piece = {});
// Keeps the position within -1..count and the current entry shown, as after
// every key; the outcome is AtEdge outside the list.
[[nodiscard]] ChooserStep ChooserSettle(ChooserState& state, const std::vector<LocalEntry>& entries,
                                        int rows);

class LocalPicker {
 public:
  LocalPicker(qr::Console& console, qr::Spoken& spoken, qr::LineInput& input);

  [[nodiscard]] std::string ChooseLocalFile(int rows);
  [[nodiscard]] std::string AskFileName(int rows, std::string_view defaultPattern);
  [[nodiscard]] std::string PickFromFileList(int left, int top, int right, int bottom,
                                             std::string_view pattern);
  // The entries marked when the list ended with Enter (paths as the chosen
  // name is given), emptied by the call; Enter then means all of them.
  [[nodiscard]] std::vector<std::string> TakeMarked();

 private:
  struct Window;
  enum class End { Enter, Escape, Tab };
  End runChooser(Window& w, std::vector<LocalEntry>& entries, int& index);
  void drawEntry(const Window& w, const std::vector<LocalEntry>& entries, int index,
                 uint8_t colour);
  void drawWindow(const Window& w, const std::vector<LocalEntry>& entries);

  qr::Console& console_;
  qr::Spoken& spoken_;
  qr::LineInput& input_;
  std::vector<std::string> marked_;
};

}  // namespace ftp
