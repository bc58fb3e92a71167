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
};

// The sort key: a-z to capitals, bytes 128-255 through the folding table.
[[nodiscard]] std::string sortKey(std::string_view name);
// Whether a search mask ("*", "?", letters without regard to case) matches.
[[nodiscard]] bool maskMatches(std::string_view mask, std::string_view name);
// The 8.3 form of a name: the name itself when it fits, else the first six
// letters, "~1" and the first three letters of the extension, upper case.
[[nodiscard]] std::string shortName(std::string_view name);
// The plain, visible files of a directory matching a mask, sorted by their
// sort keys. Directories, hidden files and anything not a regular file are
// left out.
[[nodiscard]] std::vector<LocalEntry> listLocalFiles(const std::string& directory,
                                                     std::string_view mask);
// The directory part of a pattern: up to and including its last "/".
[[nodiscard]] std::string directoryPart(std::string_view text);

class LocalPicker {
 public:
  LocalPicker(qr::Console& console, qr::Spoken& spoken, qr::LineInput& input);

  [[nodiscard]] std::string ChooseLocalFile(int rows);
  [[nodiscard]] std::string AskFileName(int rows, std::string_view defaultPattern);
  [[nodiscard]] std::string PickFromFileList(int left, int top, int right, int bottom,
                                             std::string_view pattern);

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
};

}  // namespace ftp
