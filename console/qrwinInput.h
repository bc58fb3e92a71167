// qrwin, keyboard reading and the spoken line editor: reading one key with
// spoken feedback, and editing a text field in place on one row of the
// console while every movement and change is heard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qr {

class Console;
class Spoken;

// Screen review lives with the program's forms (ftp/); the editor reaches it
// through this hook, entered with the review key.
class ScreenReview {
 public:
  virtual ~ScreenReview() = default;
  virtual void ReviewScreen() = 0;
};

// The word F12 opens: the run of non-blank characters around the 1-based
// position, without the leading and trailing characters " ( * - . < = > [ _ {.
[[nodiscard]] std::string wordToOpen(std::string_view field, int position);

class LineInput {
 public:
  LineInput(Console& console, Spoken& spoken);
  ~LineInput();
  LineInput(const LineInput&) = delete;
  LineInput& operator=(const LineInput&) = delete;

  [[nodiscard]] uint8_t readKeySpoken();
  // Returns the key that ended editing; text holds the edited text.
  uint8_t editField(std::string& text, int column, int row, bool edit, int width, int maxLength);
  uint8_t editFieldHere(std::string& text, int column, int row, bool edit, int maxLength);
  // Empty on Escape (the typed text is blanked on screen).
  uint8_t readLineSpoken(std::string& text);

  [[nodiscard]] int lastCursorPosition() const;
  [[nodiscard]] bool echo() const;

  // Screen review entered with the review key from the editor.
  void setScreenReview(ScreenReview* review);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace qr
