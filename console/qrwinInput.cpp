// qrwin, keyboard reading and the spoken line editor.
//
// The field is edited in place on one console row. While editing, the text
// is padded with spaces to exactly the maximum length; indices in this file
// are 1-based like the cursor position the user hears (text[i - 1] is index
// i). Every key silences speech; every change and movement is heard through
// Spoken. The selection is an anchor and an end index (0: none), the end
// exclusive once ordered, drawn with background colour 8.
#include "console/qrwinInput.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "base/cp1252.h"
#include "base/keyCodes.h"
#include "console/qrCrt.h"
#include "console/qrwinSpoken.h"

namespace qr {

namespace {

constexpr int kMaxField = 2048;

// Shift and Alt as they were when the key just read was pressed.
struct Modifiers {
  bool shift = false;
  bool alt = false;
};
constexpr uint8_t kSelectionBackground = 8;

using namespace qr::ext;  // the special keys' codes; the others end editing
using namespace qr::key;  // the ordinary keys that are control codes
constexpr uint8_t kPaste = kShiftInsert;
constexpr uint8_t kCopy = kCtrlInsert;

// Characters stripped from both ends of a word opened with F12.
constexpr std::string_view kOpenTrim = "\"(*-.<=>[_{";
// Upper-case consonants: a word made only of them is spelled by F1.
constexpr std::string_view kSpelledConsonants = "BCDFGHJKLMNPQRSTVXZ";

[[nodiscard]] bool isDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}
[[nodiscard]] bool isLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}
[[nodiscard]] uint8_t at(const std::string& text, int index) {
  return static_cast<uint8_t>(text[static_cast<size_t>(index - 1)]);
}

// One past the last non-blank character (1 for a blank text).
[[nodiscard]] int afterLastNonBlank(const std::string& text) {
  const size_t last = text.find_last_not_of(' ');
  return last == std::string::npos ? 1 : static_cast<int>(last) + 2;
}

// Moves over the run that starts at index i (digits, or letters), or over
// one other character so that punctuation never stops a word move for good.
[[nodiscard]] int skipRun(const std::string& text, int i) {
  const int n = static_cast<int>(text.size());
  const uint8_t c = at(text, i);
  if (isDigit(c)) {
    while (i <= n && isDigit(at(text, i))) ++i;
  } else if (isLetter(c)) {
    while (i <= n && isLetter(at(text, i))) ++i;
  } else {
    ++i;
  }
  return i;
}

struct WordMove {
  int position;
  bool ok;  // false: the move hit an end of the text
};

[[nodiscard]] WordMove wordRight(const std::string& text, int position) {
  const int n = static_cast<int>(text.size());
  int i = position;
  if (i <= n && at(text, i) != ' ') i = skipRun(text, i);
  while (i <= n && at(text, i) == ' ') ++i;
  if (i > n) return {afterLastNonBlank(text), false};
  return {i, true};
}

[[nodiscard]] WordMove wordLeft(const std::string& text, int position) {
  int i = position - 1;
  while (i >= 1 && at(text, i) == ' ') --i;
  if (i < 1) return {1, false};
  const uint8_t c = at(text, i);
  if (isDigit(c)) {
    while (i > 1 && isDigit(at(text, i - 1))) --i;
  } else if (isLetter(c)) {
    while (i > 1 && isLetter(at(text, i - 1))) --i;
  }
  return {i, true};
}

[[nodiscard]] std::string trimRight(std::string text) {
  const size_t last = text.find_last_not_of(' ');
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

}  // namespace

std::string wordToOpen(std::string_view field, int position) {
  const int n = static_cast<int>(field.size());
  auto blank = [&](int i) { return field[static_cast<size_t>(i - 1)] == ' '; };
  const int p = std::clamp(position, 1, n + 1);
  int s = p;
  while (s > 1 && !blank(s - 1)) --s;
  int e = p;
  while (e <= n && !blank(e)) ++e;
  std::string_view word = field.substr(static_cast<size_t>(s - 1), static_cast<size_t>(e - s));
  while (!word.empty() && kOpenTrim.find(word.front()) != std::string_view::npos)
    word.remove_prefix(1);
  while (!word.empty() && kOpenTrim.find(word.back()) != std::string_view::npos)
    word.remove_suffix(1);
  return std::string(word);
}

struct LineInput::State {
  Console& console;
  Spoken& spoken;
  bool echo = true;
  bool clearOnFirstKey = true;
  int lastPosition = 1;
  ScreenReview* review = nullptr;
};

// One call of editField: the field and its bookkeeping.
class FieldEditor {
 public:
  FieldEditor(Console& console, Spoken& spoken, bool& echo, bool clearOnFirstKey,
              ScreenReview* review, std::string& text, int column, int row, bool edit, int width,
              int maxLength)
      : console_(console),
        spoken_(spoken),
        echo_(echo),
        clearOnFirstKey_(clearOnFirstKey),
        review_(review),
        caller_(text),
        column_(std::clamp(column, 1, kColumns)),
        row_(std::clamp(row, 1, kRows)),
        edit_(edit) {
    maxLength_ = std::clamp(maxLength, 0, kMaxField);
    width_ = std::clamp(width, 0, maxLength_);
    // Never let the field wrap; on the last row never touch the last column,
    // so that writing the field cannot scroll the screen.
    const int room = row_ >= kRows ? kColumns - column_ : kColumns + 1 - column_;
    width_ = std::max(0, std::min(width_, room));
    text_ = caller_.substr(0, static_cast<size_t>(maxLength_));
    text_.resize(static_cast<size_t>(maxLength_), ' ');
    entry_ = text_;
  }

  uint8_t run(int& lastPosition) {
    bool first = true;
    for (;;) {
      if (position_ < firstVisible_) firstVisible_ = position_;
      if (firstVisible_ + width_ < position_) firstVisible_ = position_ - width_;
      draw();

      uint8_t key = console_.consoleReadKey();
      spoken_.stopSpeech();
      const Modifiers mods{console_.shiftHeld(), console_.altHeld()};
      bool extended = false;
      if (key == 0) {
        key = console_.consoleReadKey();
        extended = true;
        // Alt with Q, W and E: the key that follows stands for itself.
        if (key == kAltQ || key == kAltW || key == kAltE) {
          key = console_.consoleReadKey();
          extended = false;
        }
      }

      // Delete keeps the selection too, so that a selection is deleted with
      // Delete as well as with Shift+Delete.
      if (extended) {
        if (mods.shift && key != kPaste && key != kCopy) {
          if (anchor_ == 0) anchor_ = selEnd_ = position_;
        } else if (!mods.shift && key != kPaste && key != kCopy && key != kDelete) {
          anchor_ = selEnd_ = 0;
        }
      } else if (key != kCtrlC && key != kCtrlV && key != kThorn && key != kSharpS) {
        anchor_ = selEnd_ = 0;
      }

      const bool ends = extended ? extendedKey(key, mods, first) : ordinaryKey(key, first);
      if (extended && mods.shift && key != kPaste && key != kCopy) selEnd_ = position_;
      first = false;
      if (ends) {
        lastKey_ = key;
        break;
      }
    }
    lastPosition = position_;
    console_.consoleMoveCursor(column_, row_);
    console_.consoleWrite(std::string_view(text_).substr(0, static_cast<size_t>(width_)));
    console_.consoleMoveCursor(column_, row_);
    caller_ = trimRight(text_);
    return lastKey_;
  }

 private:
  [[nodiscard]] int length() const { return maxLength_; }
  [[nodiscard]] bool hasSelection() const { return anchor_ != 0 && anchor_ != selEnd_; }
  [[nodiscard]] int selLow() const { return std::min(anchor_, selEnd_); }
  [[nodiscard]] int selHigh() const { return std::max(anchor_, selEnd_); }

  void draw() {
    console_.consoleMoveCursor(column_, row_);
    const int first = firstVisible_;
    const int count = std::max(0, std::min(width_, length() - first + 1));
    const std::string_view visible =
        count > 0 ? std::string_view(text_).substr(static_cast<size_t>(first - 1),
                                                   static_cast<size_t>(count))
                  : std::string_view();
    if (hasSelection() && selLow() < first + count && selHigh() > first) {
      const int a = std::max(selLow(), first) - first;
      const int b = std::min(selHigh(), first + count) - first;
      const uint8_t attr = console_.consoleTextAttr();
      console_.consoleWrite(visible.substr(0, static_cast<size_t>(a)));
      console_.consoleSetBackground(kSelectionBackground);
      console_.consoleWrite(visible.substr(static_cast<size_t>(a), static_cast<size_t>(b - a)));
      console_.consoleSetTextAttr(attr);
      console_.consoleWrite(visible.substr(static_cast<size_t>(b)));
    } else {
      console_.consoleWrite(visible);
    }
    console_.consoleClearToLineEnd();
    console_.consoleMoveCursor(column_ + position_ - firstVisible_, row_);
  }

  [[nodiscard]] bool holdsTextFromPosition() const {
    for (int i = position_; i <= length(); ++i)
      if (at(text_, i) != ' ') return true;
    return false;
  }

  void blankField() { std::fill(text_.begin(), text_.end(), ' '); }

  // Removes the character at index i, appending a blank at the end.
  void deleteAt(int i, bool announce) {
    if (i < 1 || i > length()) return;
    const uint8_t gone = at(text_, i);
    text_.erase(static_cast<size_t>(i - 1), 1);
    text_.push_back(' ');
    draw();
    if (announce) spoken_.playSound("_DEL");
    spoken_.speakChar(gone);
  }

  void deleteRange(int from, int to) {  // from .. to - 1
    for (int i = from; i < to; ++i) deleteAt(from, i == from);
  }

  void typeChar(uint8_t key, bool first) {
    if (first && holdsTextFromPosition()) {
      spoken_.clickSound();
      spoken_.clickSound();
      if (edit_ && clearOnFirstKey_) blankField();
    }
    if (!edit_) return;
    if (position_ > length()) {
      spoken_.errorBeep();
      return;
    }
    text_.insert(static_cast<size_t>(position_ - 1), 1, static_cast<char>(key));
    text_.pop_back();
    ++position_;
    if (position_ > firstVisible_ + width_) firstVisible_ = position_ - width_;
    draw();
    if (echo_) spoken_.speakChar(key);
  }

  bool ordinaryKey(uint8_t key, bool first) {
    switch (key) {
      case kCtrlC:
        copy();
        return false;
      case kCtrlD:
        if (edit_) {
          std::fill(text_.begin() + (position_ - 1), text_.end(), ' ');
          spoken_.playSound("_APFCPO");
        }
        return false;
      case kBackspace:
        if (position_ == 1) {
          spoken_.errorBeep();
        } else {
          --position_;
          if (edit_) {
            deleteAt(position_, true);
          }
        }
        return false;
      case kTab:
      case kLineFeed:
      case kEnter:
      case kEsc:
        return true;
      case kCtrlK:
        spoken_.speakText(std::to_string(position_));
        return false;
      case kCtrlS:
        if (edit_) {
          const int keep = position_ - 1;
          text_.erase(0, static_cast<size_t>(keep));
          text_.append(static_cast<size_t>(keep), ' ');
          position_ = 1;
          spoken_.playSound("_APICPO");
        }
        return false;
      case kCtrlU:
        if (edit_) {
          text_ = entry_;
          position_ = 1;
          for (int i = 0; i < 3; ++i) spoken_.errorBeep();
        }
        return false;
      case kCtrlV:
        paste(first);
        return false;
      case kCtrlY:
        if (edit_) {
          blankField();
          spoken_.playSound("_CPOAPA");
          position_ = 1;
        }
        return false;
      case kCtrlBackslash:
        spoken_.speakDtmf(text_);
        return false;
      case kCtrlBackspace:
        if (edit_) deleteWord();
        return false;
      case kThorn:
        spoken_.waitSpeechEnd();
        spoken_.speakText(trimRight(text_));
        return false;
      case kSharpS:
        return false;
      default:
        break;
    }
    if (key >= 32) {
      typeChar(key, first);
    } else if (first && holdsTextFromPosition()) {
      spoken_.clickSound();
      spoken_.clickSound();
    }
    return false;
  }

  // An extended key's action; true ends editing and hands the key back.
  using ExtendedAction = bool (FieldEditor::*)(uint8_t key, const Modifiers& mods, bool first);
  struct ExtendedBinding {
    uint8_t key;
    ExtendedAction action;
  };
  // The editing keys among the extended ones. Alt+digits do nothing; every
  // other extended key ends editing.
  bool extendedKey(uint8_t key, const Modifiers& mods, bool first) {
    static constexpr std::array<ExtendedBinding, 18> kExtendedKeys{{
        {kF1, &FieldEditor::speakNextWord},
        {kF4, &FieldEditor::toggleEcho},
        {kF8, &FieldEditor::sayTime},
        {kF12, &FieldEditor::openWordHere},
        {kHome, &FieldEditor::toFieldStart},
        {kLeft, &FieldEditor::left},
        {kRight, &FieldEditor::right},
        {kEnd, &FieldEditor::toTextEnd},
        {kDelete, &FieldEditor::deleteKey},
        {kCtrlF1, &FieldEditor::sayWholeText},
        {kCtrlF4, &FieldEditor::speedKey},
        {kCtrlF8, &FieldEditor::sayDate},
        {kCtrlF9, &FieldEditor::reviewKey},
        {kAltR, &FieldEditor::reviewKey},
        {kCtrlLeft, &FieldEditor::wordLeftKey},
        {kCtrlRight, &FieldEditor::wordRightKey},
        {kPaste, &FieldEditor::pasteKey},
        {kCopy, &FieldEditor::copyKey},
    }};
    for (const ExtendedBinding& b : kExtendedKeys)
      if (b.key == key) return (this->*b.action)(key, mods, first);
    return key < kAlt1 || key > kAlt0;
  }

  bool speakNextWord(uint8_t, const Modifiers&, bool) {
    nextWord();
    return false;
  }
  bool toggleEcho(uint8_t, const Modifiers&, bool) {
    echo_ = !echo_;
    spoken_.playSound(echo_ ? "_FALACI" : "_FALDLG");
    return false;
  }
  bool sayTime(uint8_t, const Modifiers&, bool) {
    spoken_.speakTime();
    return false;
  }
  bool openWordHere(uint8_t, const Modifiers&, bool) {
    openWord();
    return false;
  }
  bool toFieldStart(uint8_t, const Modifiers&, bool) {
    position_ = 1;
    return false;
  }
  bool left(uint8_t, const Modifiers&, bool) {
    if (position_ > 1) {
      --position_;
      spoken_.speakChar(at(text_, position_));
    } else {
      spoken_.errorBeep();
    }
    return false;
  }
  bool right(uint8_t, const Modifiers& mods, bool) {
    if (position_ > length()) {
      spoken_.errorBeep();
    } else {
      const uint8_t c = at(text_, position_);
      if (mods.alt && isLetter(c))
        spoken_.playSound("_FON" + std::to_string(c));
      else
        spoken_.speakChar(c);
      ++position_;
    }
    return false;
  }
  bool toTextEnd(uint8_t, const Modifiers&, bool) {
    position_ = afterLastNonBlank(text_);
    return false;
  }
  bool deleteKey(uint8_t, const Modifiers&, bool) {
    if (!hasSelection()) {
      if (edit_) deleteAt(position_, true);
    } else {
      const int low = selLow(), high = selHigh();
      position_ = low;
      spoken_.playSound("_DEL");
      if (edit_)
        for (int i = low; i < high; ++i) deleteAt(low, false);
      anchor_ = selEnd_ = low;
    }
    return false;
  }
  bool sayWholeText(uint8_t, const Modifiers&, bool) {
    spoken_.speakText(trimRight(text_));
    return false;
  }
  bool speedKey(uint8_t, const Modifiers&, bool) {
    changeSpeed();
    return false;
  }
  bool sayDate(uint8_t, const Modifiers&, bool) {
    spoken_.speakDate();
    return false;
  }
  // Ctrl+Alt+F9 or Alt+R: screen review; Ctrl+F9 alone ends editing.
  bool reviewKey(uint8_t key, const Modifiers& mods, bool) {
    if (key == kCtrlF9 && !mods.alt) return true;
    if (review_ != nullptr) {
      review_->ReviewScreen();
      console_.consoleMoveCursor(column_ + position_ - firstVisible_, row_);
    }
    return false;
  }
  bool wordLeftKey(uint8_t, const Modifiers&, bool) {
    const WordMove m = wordLeft(text_, position_);
    position_ = m.position;
    m.ok ? spoken_.clickSound() : spoken_.errorBeep();
    return false;
  }
  bool wordRightKey(uint8_t, const Modifiers&, bool) {
    const WordMove m = wordRight(text_, position_);
    position_ = m.position;
    m.ok ? spoken_.clickSound() : spoken_.errorBeep();
    return false;
  }
  bool pasteKey(uint8_t, const Modifiers&, bool first) {
    paste(first);
    return false;
  }
  bool copyKey(uint8_t, const Modifiers&, bool) {
    copy();
    return false;
  }

  void nextWord() {
    const int n = length();
    int i = position_;
    while (i <= n && at(text_, i) == ' ') ++i;
    if (i > n) {
      spoken_.errorBeep();
      return;
    }
    const int start = i;
    const uint8_t c = at(text_, i);
    if (isDigit(c) || (c == '-' && i < n && isDigit(at(text_, i + 1)))) {
      ++i;
      while (i <= n && isDigit(at(text_, i))) ++i;
      spoken_.speakText(
          text_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(i - start)));
    } else if (isLetter(c)) {
      bool consonantsOnly = true;
      while (i <= n && isLetter(at(text_, i))) {
        if (kSpelledConsonants.find(static_cast<char>(upperCase(at(text_, i)))) ==
            std::string_view::npos)
          consonantsOnly = false;
        ++i;
      }
      const std::string word =
          text_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(i - start));
      consonantsOnly ? spoken_.spellText(word) : spoken_.speakText(word);
    } else {
      ++i;
      spoken_.spellText(std::string(1, static_cast<char>(c)));
    }
    position_ = i;
  }

  void openWord() {
    const std::string word = wordToOpen(text_, position_);
    if (word.empty()) {
      spoken_.errorBeep();
      return;
    }
    spoken_.openDocument(word);
  }

  void changeSpeed() {
    spoken_.playSound("_VELOC");
    uint8_t key = readKeySpokenHere();
    while (console_.consoleKeyPending()) key = readKeySpokenHere();
    if (key == kEsc || key == kEnter) return;
    spoken_.speechFinish();
    spoken_.speechStart(static_cast<int>(key) - 48, spoken_.settings().soundDir);
  }

  uint8_t readKeySpokenHere() {
    const uint8_t key = console_.consoleReadKey();
    spoken_.stopSpeech();
    spoken_.speakChar(key);
    return key;
  }

  // Ctrl+Backspace: the word around or before the cursor and the blanks after it.
  void deleteWord() {
    if (position_ > 1 && at(text_, position_ - 1) != ' ')
      position_ = wordLeft(text_, position_).position;
    const int a = position_;
    const int b = wordRight(text_, a).position;
    position_ = a;
    if (b > a) deleteRange(a, b);
  }

  void copy() {
    std::string out;
    if (hasSelection()) {
      out = text_.substr(static_cast<size_t>(selLow() - 1),
                         static_cast<size_t>(selHigh() - selLow()));
    } else {
      out = trimRight(text_) + "\r\n";
    }
    console_.clipboardPutText(out);
  }

  void paste(bool first) {
    std::string clip = console_.clipboardGetText(static_cast<size_t>(length()) + 1);
    const size_t cut = clip.find_first_of("\r\n");
    if (cut != std::string::npos) clip.erase(cut);
    // An empty or unreadable clipboard leaves the field as it was.
    if (clip.empty()) return;
    if (first) {
      spoken_.clickSound();
      spoken_.clickSound();
      blankField();
    }
    int where = position_;
    if (hasSelection()) {
      where = selLow();
      text_.erase(static_cast<size_t>(where - 1), static_cast<size_t>(selHigh() - selLow()));
    }
    where = std::min(where, length() + 1);
    text_.insert(static_cast<size_t>(where - 1), clip);
    text_.resize(static_cast<size_t>(length()), ' ');
    const int pasted = std::min(static_cast<int>(clip.size()), length() + 1 - where);
    position_ = where;
    // The pasted text is the new selection, anchored at its far end so that
    // Shift with an arrow goes on from the cursor.
    anchor_ = pasted > 0 ? where + pasted : 0;
    selEnd_ = pasted > 0 ? where : 0;
  }

  Console& console_;
  Spoken& spoken_;
  bool& echo_;
  bool clearOnFirstKey_;
  ScreenReview* review_;
  std::string& caller_;
  int column_;
  int row_;
  bool edit_;
  int maxLength_ = 0;
  int width_ = 0;
  std::string text_;
  std::string entry_;
  int position_ = 1;
  int firstVisible_ = 1;
  int anchor_ = 0;
  int selEnd_ = 0;
  uint8_t lastKey_ = ' ';
};

LineInput::LineInput(Console& console, Spoken& spoken)
    : s_(std::make_unique<State>(State{console, spoken})) {}

LineInput::~LineInput() = default;

uint8_t LineInput::readKeySpoken() {
  const uint8_t key = s_->console.consoleReadKey();
  s_->spoken.stopSpeech();
  s_->spoken.speakChar(key);
  return key;
}

uint8_t LineInput::editField(std::string& text, int column, int row, bool edit, int width,
                             int maxLength) {
  FieldEditor editor(s_->console, s_->spoken, s_->echo, s_->clearOnFirstKey, s_->review, text,
                     column, row, edit, width, maxLength);
  return editor.run(s_->lastPosition);
}

uint8_t LineInput::editFieldHere(std::string& text, int column, int row, bool edit, int maxLength) {
  return editField(text, column, row, edit, kColumns - 1 - column, maxLength);
}

uint8_t LineInput::readLineSpoken(std::string& text) {
  Console& console = s_->console;
  const int column = console.consoleCursorColumn();
  const int row = console.consoleCursorRow();
  text.clear();
  const uint8_t key = editFieldHere(text, column, row, true, 255);
  if (key == kEsc) {
    const size_t shown =
        std::min(text.size(), static_cast<size_t>(std::max(0, kColumns - 1 - column)));
    console.consoleMoveCursor(column, row);
    console.consoleWrite(std::string(shown, ' '));
    console.consoleMoveCursor(column, row);
    text.clear();
  }
  console.outLine();
  return key;
}

int LineInput::lastCursorPosition() const {
  return s_->lastPosition;
}
bool LineInput::echo() const {
  return s_->echo;
}
void LineInput::setScreenReview(ScreenReview* review) {
  s_->review = review;
}

}  // namespace qr
