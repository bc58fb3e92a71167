#include "ftp/ui/ftpLocal.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <utility>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "console/qrCrt.h"
#include "console/qrwinInput.h"
#include "console/qrwinSpoken.h"
#include "ftp/ftpBrowseModel.h"
#include "ftp/ftpmsg.h"

namespace ftp {
namespace {

// Folding of bytes 128-255 for the sort key: the accented letters of the old
// DOS code page (128-165) and of ISO 8859-1 (192-255) become their plain
// capitals, so accented names sort with their plain letters.
struct FoldRange {
  uint8_t from, to, becomes;
};
constexpr std::array<FoldRange, 36> kFoldRanges = {{
    {128, 128, 'C'}, {135, 135, 'C'}, {129, 129, 'U'}, {150, 151, 'U'}, {154, 154, 'U'},
    {163, 163, 'U'}, {130, 130, 'E'}, {136, 138, 'E'}, {144, 144, 'E'}, {131, 134, 'A'},
    {142, 143, 'A'}, {160, 160, 'A'}, {139, 141, 'I'}, {161, 161, 'I'}, {147, 149, 'O'},
    {153, 153, 'O'}, {162, 162, 'O'}, {152, 152, 'Y'}, {164, 165, 'N'}, {192, 197, 'A'},
    {224, 229, 'A'}, {198, 198, 145}, {230, 230, 145}, {199, 199, 'C'}, {231, 231, 'C'},
    {200, 203, 'E'}, {232, 235, 'E'}, {204, 207, 'I'}, {236, 239, 'I'}, {209, 209, 'N'},
    {241, 241, 'N'}, {210, 214, 'O'}, {242, 246, 'O'}, {215, 215, 'X'}, {247, 247, 'X'},
    {217, 220, 'U'},
}};
constexpr std::array<FoldRange, 3> kFoldRangesTail = {{
    {249, 252, 'U'},
    {221, 221, 'Y'},
    {253, 253, 'Y'},
}};

constexpr std::array<uint8_t, 256> makeFoldTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = i < 128 ? static_cast<uint8_t>(i) : 254;
  for (const auto& r : kFoldRanges)
    for (int c = r.from; c <= r.to; ++c) t[c] = r.becomes;
  for (const auto& r : kFoldRangesTail)
    for (int c = r.from; c <= r.to; ++c) t[c] = r.becomes;
  return t;
}
constexpr std::array<uint8_t, 256> kFold = makeFoldTable();

uint8_t upper(uint8_t c) {
  return qr::upperCase(c);
}

bool globMatch(std::string_view mask, std::string_view name) {
  size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || upper(static_cast<uint8_t>(mask[m])) ==
                                                         upper(static_cast<uint8_t>(name[n])))) {
      ++m;
      ++n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool shortNameChar(uint8_t c) {
  return c > 32 && c != '.' && c != '"' && c != '*' && c != '+' && c != ',' && c != '/' &&
         c != ':' && c != ';' && c != '<' && c != '=' && c != '>' && c != '?' && c != '[' &&
         c != '\\' && c != ']' && c != '|';
}

bool fits83(std::string_view name) {
  const size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (char c : base)
    if (!shortNameChar(static_cast<uint8_t>(c))) return false;
  for (char c : ext)
    if (!shortNameChar(static_cast<uint8_t>(c))) return false;
  return true;
}

std::string workingDirectory() {
  std::string dir(PATH_MAX, '\0');
  if (!getcwd(dir.data(), dir.size())) return ".";
  dir.resize(dir.find('\0'));
  return dir;
}

}  // namespace

std::string sortKey(std::string_view name) {
  std::string key(name);
  for (char& ch : key) {
    const auto c = static_cast<uint8_t>(ch);
    ch = static_cast<char>(c >= 128 ? kFold[c] : upper(c));
  }
  return key;
}

bool maskMatches(std::string_view mask, std::string_view name) {
  // A mask ending in ".*" also takes names without any extension.
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return globMatch(mask.substr(0, mask.size() - 2), name);
  return globMatch(mask, name);
}

std::string shortName(std::string_view name) {
  if (fits83(name)) return std::string(name);
  const size_t dot = name.rfind('.');
  const std::string_view base =
      dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos || dot == 0 ? std::string_view{} : name.substr(dot + 1);
  std::string out;
  for (char c : base) {
    if (out.size() == 6) break;
    if (shortNameChar(static_cast<uint8_t>(c)))
      out += static_cast<char>(upper(static_cast<uint8_t>(c)));
  }
  out += "~1";
  std::string e;
  for (char c : ext) {
    if (e.size() == 3) break;
    if (shortNameChar(static_cast<uint8_t>(c)))
      e += static_cast<char>(upper(static_cast<uint8_t>(c)));
  }
  if (!e.empty()) out += "." + e;
  return out;
}

std::vector<LocalEntry> listLocalFiles(const std::string& directory, std::string_view mask) {
  std::vector<LocalEntry> entries;
  const std::string dir = directory.empty() ? "." : qr::toUtf8(directory);
  DIR* d = opendir(dir.c_str());
  if (!d) return entries;
  while (const dirent* e = readdir(d)) {
    const std::string raw = e->d_name;
    if (raw.empty() || raw[0] == '.') continue;  // hidden files, "." and ".."
    // A directory is listed only as itself: a whole tree sent from here
    // follows no link.
    const std::string path = dir + "/" + raw;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    const bool directory = S_ISDIR(st.st_mode);
    if (!directory && (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) continue;
    std::string name = qr::fromUtf8(raw);
    if (!maskMatches(mask, name)) continue;
    entries.push_back({std::move(name), directory ? 0 : static_cast<uint64_t>(st.st_size), false,
                       directory});
  }
  closedir(d);
  std::stable_sort(entries.begin(), entries.end(), [](const LocalEntry& a, const LocalEntry& b) {
    const std::string ka = sortKey(a.name), kb = sortKey(b.name);
    return ka != kb ? ka < kb : a.name < b.name;
  });
  return entries;
}

std::string EntryText(const LocalEntry& entry) {
  return entry.directory ? entry.name + qr::W("  diretório") : entry.name;
}

std::string directoryPart(std::string_view text) {
  const size_t slash = text.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(text.substr(0, slash + 1));
}

// ---------------------------------------------------------------------------
// The picker on the console.

namespace {
constexpr uint8_t kListBackground = 6;
constexpr uint8_t kEntryColour = 15;
constexpr uint8_t kMarkedColour = 2;
constexpr uint8_t kCurrentColour = 14;

using namespace qr::ext;  // the special keys' codes
}  // namespace

struct LocalPicker::Window {
  int left = 1, top = 1, right = 80, bottom = 25;
  int first = 0;
  int prefix = 0;
  [[nodiscard]] int rows() const { return bottom - top + 1; }
  [[nodiscard]] int width() const { return std::max(0, right - left + 1 - prefix); }
};

LocalPicker::LocalPicker(qr::Console& console, qr::Spoken& spoken, qr::LineInput& input)
    : console_(console), spoken_(spoken), input_(input) {}

std::string LocalPicker::ChooseLocalFile(int rows) {
  return AskFileName(rows, "*.*");
}

std::vector<std::string> LocalPicker::TakeMarked() {
  return std::exchange(marked_, {});
}

std::string LocalPicker::AskFileName(int rows, std::string_view defaultPattern) {
  marked_.clear();
  const int column = console_.consoleCursorColumn();
  const int row = console_.consoleCursorRow();
  for (;;) {
    console_.consoleMoveCursor(column, row);
    std::string text;
    const uint8_t key = input_.editFieldHere(text, column, row, true, 255);
    if (key == 27) return {};
    if (key == 13 && text.empty()) return {};
    const size_t begin = text.find_first_not_of(' ');
    text = begin == std::string::npos ? std::string() : text.substr(begin);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    struct stat st {};
    if (!text.empty() && text.back() != '/' && stat(qr::toUtf8(text).c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
      text += '/';
    const std::string dir = directoryPart(text);
    if (text.empty()) text = defaultPattern;
    // Enter on a pattern gives the pattern: every match is meant (T sends
    // them all); another key that ends the field opens the list.
    if (key != 13)
      text = PickFromFileList(column, row, qr::kColumns, std::min(qr::kRows, row + rows - 1), text);
    if (text == kTabAnswer) {
      spoken_.clickSound();
      spoken_.clickSound();
      continue;
    }
    if (text.find('/') != std::string::npos) return text;
    return dir + text;
  }
}

std::string LocalPicker::PickFromFileList(int left, int top, int right, int bottom,
                                          std::string_view pattern) {
  const std::string remembered = workingDirectory();
  const std::string dir = directoryPart(pattern);
  const std::string namePattern(pattern.substr(dir.size()));
  if (!dir.empty() && chdir(qr::toUtf8(dir).c_str()) != 0) return {};
  const std::string listDir = workingDirectory();
  // A pattern ending in "*" is whole ("*.*" takes names without a dot too).
  const std::string mask =
      !namePattern.empty() && namePattern.back() == '*' ? namePattern
      : namePattern + (namePattern.find('.') != std::string::npos ? "*" : "*.*");
  std::vector<LocalEntry> entries = listLocalFiles(".", mask);
  if (entries.empty()) {
    if (chdir(remembered.c_str()) != 0) { /* the directory we came from is gone */
    }
    return {};
  }
  if (right == qr::kColumns && bottom == qr::kRows) right = qr::kColumns - 1;

  Window w;
  w.left = std::clamp(left, 1, qr::kColumns);
  w.top = std::clamp(top, 1, qr::kRows);
  w.right = std::clamp(right, w.left, qr::kColumns);
  w.bottom = std::clamp(bottom, w.top, qr::kRows);
  w.prefix = w.rows() > 1 ? 1 : 0;

  // Save what the window covers, the cursor and the colours.
  std::vector<std::pair<uint8_t, uint8_t>> saved;
  for (int r = w.top; r <= w.bottom; ++r)
    for (int c = w.left; c <= w.right; ++c)
      saved.emplace_back(console_.consoleCharAt(c, r), console_.consoleAttrAt(c, r));
  const int savedColumn = console_.consoleCursorColumn();
  const int savedRow = console_.consoleCursorRow();
  const uint8_t savedAttr = console_.consoleTextAttr();

  drawWindow(w, entries);
  int index = 0;
  const End end = runChooser(w, entries, index);

  std::string answer;
  if (end == End::Tab) {
    answer = std::string(kTabAnswer);
  } else if (end == End::Enter && index >= 0 && index < static_cast<int>(entries.size())) {
    const std::string listDirCp = qr::fromUtf8(listDir);
    const auto placed = [&](const std::string& name) {
      if (listDir == remembered) return name;
      return listDirCp + (listDirCp.empty() || listDirCp.back() != '/' ? "/" : "") + name;
    };
    marked_.clear();
    for (const LocalEntry& e : entries)
      if (e.marked) marked_.push_back(placed(e.name));
    answer = marked_.empty() ? placed(entries[index].name) : marked_.front();
  }

  size_t k = 0;
  for (int r = w.top; r <= w.bottom; ++r)
    for (int c = w.left; c <= w.right; ++c, ++k)
      console_.consolePutCell(c, r, saved[k].first, saved[k].second);
  console_.consoleSetTextAttr(savedAttr);
  console_.consoleMoveCursor(savedColumn, savedRow);
  if (chdir(remembered.c_str()) != 0) { /* the directory we came from is gone */
  }
  return answer;
}

void LocalPicker::drawEntry(const Window& w, const std::vector<LocalEntry>& entries, int index,
                            uint8_t colour) {
  const int row = w.top + index - w.first;
  if (index < w.first || row > w.bottom) return;
  std::string line(static_cast<size_t>(w.prefix), ' ');
  if (index >= 0 && index < static_cast<int>(entries.size())) line += EntryText(entries[index]);
  line.resize(static_cast<size_t>(w.prefix + w.width()), ' ');
  console_.consoleSetBackground(kListBackground);
  console_.consoleSetForeground(colour);
  console_.consoleMoveCursor(w.left, row);
  console_.consoleWrite(line);
  console_.consoleMoveCursor(w.left + w.prefix, row);
}

void LocalPicker::drawWindow(const Window& w, const std::vector<LocalEntry>& entries) {
  for (int i = w.first; i < w.first + w.rows(); ++i) {
    const bool exists = i < static_cast<int>(entries.size());
    drawEntry(w, entries, i, exists && entries[i].marked ? kMarkedColour : kEntryColour);
  }
}

namespace {

enum class ChooserAction : uint8_t {
  Down,
  Up,
  PageDown,
  PageUp,
  ToFirst,
  ToLast,
  Spell,
  SpellShort,
  Search,       // F5 and a letter
  SearchAgain,  // the letter searched for last
  Find,         // F3 and a piece of a name
  Choose,
  Cancel,
  TypeName,
  ToggleMark,
  Mark,
  Unmark,
  MarkAll,
  UnmarkAll,
  Other,  // forgets the search letter
};
struct ChooserBinding {
  uint8_t key;
  bool extended;
  ChooserAction action;
};
constexpr int kChooserPage = 10;
constexpr std::array<ChooserBinding, 21> kChooserKeys{{
    {kF3, true, ChooserAction::Find},
    {kDown, true, ChooserAction::Down},         {kUp, true, ChooserAction::Up},
    {kPageDown, true, ChooserAction::PageDown}, {kPageUp, true, ChooserAction::PageUp},
    {kHome, true, ChooserAction::ToFirst},      {kCtrlPageUp, true, ChooserAction::ToFirst},
    {kEnd, true, ChooserAction::ToLast},        {kCtrlPageDown, true, ChooserAction::ToLast},
    {kRight, true, ChooserAction::Spell},       {kLeft, true, ChooserAction::SpellShort},
    {kF5, true, ChooserAction::Search},         {kCtrlF5, true, ChooserAction::SearchAgain},
    {13, false, ChooserAction::Choose},         {27, false, ChooserAction::Cancel},
    {9, false, ChooserAction::TypeName},        {' ', false, ChooserAction::ToggleMark},
    {'+', false, ChooserAction::Mark},          {'-', false, ChooserAction::Unmark},
    {'*', false, ChooserAction::MarkAll},       {'/', false, ChooserAction::UnmarkAll},
}};

ChooserAction chooserAction(uint8_t key, bool extended) {
  for (const ChooserBinding& b : kChooserKeys)
    if (b.key == key && b.extended == extended) return b.action;
  return ChooserAction::Other;
}

// Moves the first shown entry just enough to show the current one.
void keepShown(ChooserState& s, int count, int rows) {
  if (s.index >= 0 && s.index < s.first) s.first = s.index;
  if (s.index < count && s.index > s.first + rows - 1) s.first = s.index - rows + 1;
}

}  // namespace

bool ChooserReadsPiece(uint8_t key, bool extended) {
  return chooserAction(key, extended) == ChooserAction::Find;
}

bool ChooserReadsLetter(uint8_t key, bool extended) {
  return chooserAction(key, extended) == ChooserAction::Search;
}

ChooserStep ChooserSettle(ChooserState& s, const std::vector<LocalEntry>& entries, int rows) {
  const int count = static_cast<int>(entries.size());
  s.index = std::clamp(s.index, -1, count);
  keepShown(s, count, rows);
  return {s.index == -1 || s.index == count ? ChooserOutcome::AtEdge : ChooserOutcome::Moved};
}

ChooserStep ChooserKey(ChooserState& s, std::vector<LocalEntry>& entries, int rows, uint8_t key,
                       bool extended, bool shift, uint8_t letter, std::string_view piece) {
  const int count = static_cast<int>(entries.size());
  auto on = [&] { return s.index >= 0 && s.index < count; };
  ChooserStep step;
  // Down with shift marks the entry left and the one reached; up with shift
  // unmarks the entry left.
  auto down = [&] {
    if (shift && on()) {
      if (!entries[s.index].marked) ++step.tones;
      entries[s.index].marked = true;
    }
    s.index = std::min(s.index + 1, count);
    if (shift && on()) entries[s.index].marked = true;
    keepShown(s, count, rows);
  };
  auto up = [&] {
    if (shift && on() && entries[s.index].marked) {
      entries[s.index].marked = false;
      ++step.clicks;
    }
    s.index = std::max(s.index - 1, -1);
    keepShown(s, count, rows);
  };
  switch (chooserAction(key, extended)) {
    case ChooserAction::Down:
      down();
      break;
    case ChooserAction::Up:
      up();
      break;
    case ChooserAction::PageDown:
      for (int i = 0; i < kChooserPage; ++i) down();
      break;
    case ChooserAction::PageUp:
      for (int i = 0; i < kChooserPage; ++i) up();
      break;
    case ChooserAction::ToFirst:
      if (shift) {
        for (int i = 0; i <= std::min(s.index, count - 1); ++i) entries[i].marked = false;
        step.tones = 1;
      }
      s.index = 0;
      s.first = 0;
      break;
    case ChooserAction::ToLast:
      if (shift) {
        for (int i = std::max(s.index, 0); i < count; ++i) entries[i].marked = true;
        step.tones = 1;
      }
      s.index = count - 1;
      s.first = std::max(0, count - rows);
      break;
    case ChooserAction::Spell:
      step.outcome = ChooserOutcome::Spell;
      break;
    case ChooserAction::SpellShort:
      step.outcome = ChooserOutcome::SpellShort;
      break;
    case ChooserAction::Search:
    case ChooserAction::SearchAgain: {
      if (chooserAction(key, extended) == ChooserAction::Search) s.searchLetter = letter;
      // The next entry after the current one beginning with the letter.
      int i = s.index + 1;
      while (i < count &&
             upper(static_cast<uint8_t>(entries[i].name.empty() ? 0 : entries[i].name[0])) !=
                 upper(s.searchLetter))
        ++i;
      s.index = std::min(i, count);
      keepShown(s, count, rows);
      break;
    }
    case ChooserAction::Find: {
      NameSearch search;
      (void)search.take(s.searchPiece);
      s.searchPiece = search.take(piece);
      const long found = search.next(s.index + 1, count, [&](long at) -> std::string_view {
        return entries[static_cast<size_t>(at - 1)].name;
      });
      if (found == 0) return {ChooserOutcome::NotFound};
      s.index = static_cast<int>(found - 1);
      keepShown(s, count, rows);
      break;
    }
    case ChooserAction::Choose:
      return {ChooserOutcome::Chosen};
    case ChooserAction::Cancel:
      s.index = -1;
      return {ChooserOutcome::Cancelled};
    case ChooserAction::TypeName:
      return {ChooserOutcome::TypeName};
    case ChooserAction::ToggleMark:
      if (on()) entries[s.index].marked = !entries[s.index].marked;
      step.toggled = on();
      break;
    case ChooserAction::Mark:
      if (on()) entries[s.index].marked = true;
      break;
    case ChooserAction::Unmark:
      if (on()) entries[s.index].marked = false;
      break;
    case ChooserAction::MarkAll:
      for (auto& e : entries) e.marked = true;
      break;
    case ChooserAction::UnmarkAll:
      for (auto& e : entries) e.marked = false;
      break;
    case ChooserAction::Other:
      s.searchLetter = ' ';
      break;
  }
  const ChooserOutcome said = step.outcome;
  step.outcome = ChooserSettle(s, entries, rows).outcome;
  if (step.outcome == ChooserOutcome::Moved) step.outcome = said;
  return step;
}

LocalPicker::End LocalPicker::runChooser(Window& w, std::vector<LocalEntry>& entries, int& index) {
  ChooserState state;
  state.index = index;
  state.first = w.first;
  ChooserStep step = ChooserSettle(state, entries, w.rows());
  for (;;) {
    if (w.first != state.first) {
      w.first = state.first;
      drawWindow(w, entries);
    }
    index = state.index;
    if (step.outcome == ChooserOutcome::AtEdge) {
      spoken_.errorBeep();
      console_.consoleMoveCursor(w.right, w.bottom);
    } else {
      drawEntry(w, entries, index, kCurrentColour);
      if (step.outcome == ChooserOutcome::Spell) {
        spoken_.spellText(entries[index].name);
      } else if (step.outcome == ChooserOutcome::SpellShort) {
        spoken_.spellText(shortName(entries[index].name));
      } else {
        if (entries[index].marked) spoken_.errorBeep();
        spoken_.speakText(EntryText(entries[index]));
      }
      spoken_.waitSpeechEnd();
    }

    uint8_t key = console_.consoleReadKey();
    const bool shift = console_.shiftHeld();
    const bool extended = key == 0;
    if (extended) key = console_.consoleReadKey();
    uint8_t letter = ' ';
    if (ChooserReadsLetter(key, extended)) {
      letter = console_.consoleReadKey();
      if (letter == 0) (void)console_.consoleReadKey();
    }
    std::string piece;
    if (ChooserReadsPiece(key, extended)) {
      // Asked on the window's last row, which is drawn again after.
      const std::string prompt = MessageText("FTPROCUR");
      console_.consoleSetBackground(kListBackground);
      console_.consoleSetForeground(kEntryColour);
      console_.consoleMoveCursor(w.left, w.bottom);
      console_.consoleWrite(std::string(static_cast<size_t>(w.right - w.left + 1), ' '));
      console_.consoleMoveCursor(w.left, w.bottom);
      console_.consoleWrite(prompt);
      spoken_.speakText(prompt);
      const int column = w.left + static_cast<int>(prompt.size());
      const uint8_t end = input_.editField(piece, column, w.bottom, true,
                                           std::max(1, w.right - column + 1), 80);
      drawWindow(w, entries);
      if (end == 27) {  // ESC gives the search up: the entry is heard again
        step = ChooserSettle(state, entries, w.rows());
        continue;
      }
    }
    step = ChooserKey(state, entries, w.rows(), key, extended, shift, letter, piece);
    index = state.index;
    if (step.outcome == ChooserOutcome::NotFound) {
      spoken_.speakText(MessageText("FTNENHUM"));
      step = ChooserSettle(state, entries, w.rows());
      continue;
    }
    switch (step.outcome) {
      case ChooserOutcome::Chosen:
        return End::Enter;
      case ChooserOutcome::Cancelled:
        return End::Escape;
      case ChooserOutcome::TypeName:
        return End::Tab;
      default:
        break;
    }
    for (int i = 0; i < step.tones; ++i) spoken_.errorBeep();
    for (int i = 0; i < step.clicks; ++i) spoken_.clickSound();
    if (step.toggled) {
      const auto count = static_cast<size_t>(
          std::count_if(entries.begin(), entries.end(), [](const LocalEntry& e) { return e.marked; }));
      spoken_.speakText(MarkSentence(entries[index].marked, count));
      spoken_.waitSpeechEnd();
    }
    // Marks may have changed anywhere in the window.
    w.first = state.first;
    drawWindow(w, entries);
  }
}

}  // namespace ftp
