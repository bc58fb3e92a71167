// qrform: the spoken pop-up menu drawn over the console, and the routine that
// reserves blank lines below the cursor before a list is drawn there.
//
// Calling order: OpenMenu, AddMenuItem once per item, RunMenu. The screen
// under the box is saved by OpenMenu and written back, cell for cell with
// its attributes, by RunMenu, which also restores the cursor and the text
// attribute. Items are numbered from 1; RunMenu gives 0 when nothing was
// chosen. Texts are Windows-1252.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qr {

class Console;
class Spoken;


// Plays the recorded message of an item's key and returns true, or returns
// false when the key has no recording (the menu then speaks the item's
// text). The default plays "<key>.wav" of the message sound directory when
// that file exists.
using MenuAnnouncer = std::function<bool(std::string_view key)>;

struct MenuItem {
  int number = 0;
  std::string key;  // message key, at most 8 characters
  std::string text;
};

// Where a key takes the menu's current item, over the position alone: the
// items are known by the first visible character of each text (for the keys
// that search by it); 0 and count + 1 stand outside them. Right spells the
// item; Enter and ESC end the menu.
struct MenuStep {
  int current = 1;
  bool spell = false;
  bool ends = false;
  bool operator==(const MenuStep&) const = default;
};
[[nodiscard]] MenuStep MenuKey(int current, std::string_view firstChars, uint8_t key,
                               bool extended);

class QrForm {
 public:
  QrForm(qr::Console& console, qr::Spoken& spoken, MenuAnnouncer announce = {});
  QrForm(const QrForm&) = delete;
  QrForm& operator=(const QrForm&) = delete;

  void setAnnouncer(MenuAnnouncer announce);

  // Writes count line breaks, then puts the cursor back at its column,
  // count rows higher.
  void ReserveLines(int count);
  void OpenMenu(int left, int top, int width, uint8_t colour, int height);
  void AddMenuItem(std::string_view key, std::string_view text);
  [[nodiscard]] int RunMenu();

  // The box as placed by OpenMenu (1-based, inclusive).
  [[nodiscard]] int left() const { return left_; }
  [[nodiscard]] int top() const { return top_; }
  [[nodiscard]] int right() const { return right_; }
  [[nodiscard]] int bottom() const { return bottom_; }
  [[nodiscard]] const std::vector<MenuItem>& items() const { return items_; }

 private:
  void drawItem(int number, uint8_t foreground);
  void drawAll();
  int rowOf(int number) const;
  bool scrollTo(int number);
  void speakItem(int number, bool spell);
  void restore();

  qr::Console& console_;
  qr::Spoken& spoken_;
  MenuAnnouncer announce_;

  int left_ = 1, top_ = 1, width_ = 0, height_ = 0, right_ = 0, bottom_ = 0;
  uint8_t colour_ = 0;
  int savedColumn_ = 1, savedRow_ = 1;
  uint8_t savedAttr_ = 15;
  std::vector<uint8_t> savedChars_, savedAttrs_;
  std::vector<MenuItem> items_;
  int firstShown_ = 1;
};

}  // namespace qr
