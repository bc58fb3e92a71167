// Screen review: a review cursor walks over the console screen and reads
// characters, words, rows, fields and ranges, finds a text, jumps to a row
// and column, tells its position and copies the screen to the clipboard.
// Nothing on the screen changes. Entered from the line editor through the
// qr::ScreenReview hook; ESC returns with the cursor where it was.
//
// Positions are 1-based; the review column may be 81 (just after the last
// column). Cells off the screen read as a blank with attribute 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/qrwinInput.h"

namespace qr {

class Console;
class Spoken;


class Review : public qr::ScreenReview {
 public:
  Review(qr::Console& console, qr::Spoken& spoken);

  void ReviewScreen() override;
  // Reads one word from the review position and leaves the position after it.
  void ReadWordAt();
  void ReadRange(int startRow, int startColumn, int endRow, int endColumn, bool keepPosition);

  // The review position (tests and callers that place it before reading).
  [[nodiscard]] int row() const { return row_; }
  [[nodiscard]] int column() const { return column_; }
  void setPosition(int row, int column);
  [[nodiscard]] const std::string& searchText() const { return search_; }

  // The whole screen as the clipboard receives it: each row, CR LF.
  [[nodiscard]] std::string screenText();

 private:
  uint8_t charAt(int column, int row);
  uint8_t attrAt(int column, int row);
  int afterLastNonBlank(int row);
  bool isFieldCell(int column, int row, uint8_t attr);
  int fieldStart();
  int fieldEnd();
  void shortTone();
  void readWord(int limit);
  void readRow();
  void ordinaryKey(uint8_t key);
  void extendedKey(uint8_t key);
  // The actions of the extended keys (see the table in extendedKey).
  void leftArrow();
  void rightArrow();
  void rowStart();
  void rowEnd();
  void rowUp();
  void rowDown();
  void screenTop();
  void screenBottom();
  void firstLetter();
  void lastLetter();
  void nextWord();
  void readField();
  void findAsking();
  void findAgain();
  void readCommand(uint8_t first);
  void findText(bool ask);
  void goToPosition();
  void wordLeft();
  void wordRight();
  bool correctPosition();
  uint8_t readKeyCode(bool& extended);

  qr::Console& console_;
  qr::Spoken& spoken_;
  int row_ = 1;
  int column_ = 1;
  std::string search_;
};

}  // namespace qr
