// The console as plain lines, for screen readers and Braille displays: no
// alternate screen, no colours, no cursor addressing. The terminal's current
// line mirrors the console row of the cursor; when the console goes on to
// the next row (a line end) the line is finished with CR LF and never
// written again, so the terminal's history holds the session as it was
// said. A change of the current row (typing in the line editor, a prompt
// being written) rewrites only what changed, from the first differing
// character, moving back with backspaces; the terminal cursor is kept where
// the console's is. A jump of the cursor to another row (a menu entry, an
// entry of the browser) finishes the line and shows that row, or of it the
// cells around the cursor on the cursor's background colour (a menu's entry
// without the text beside the menu's box), as the new one. Text that fills
// a row to its last column and goes on in the next stays one line: a long
// line is written whole, never with a word cut at column 80.
//
// Pure: pictures in, bytes out.
#pragma once

#include <string>
#include <utility>

#include "console/frontend.h"
#include "platform/terminalCodeSet.h"

namespace platform {

class LinearText {
 public:
  // lineEnd: what starts a new line; "\n" alone where the terminal adds the
  // carriage return itself.
  explicit LinearText(const CodeSet* codes = nullptr, std::string lineEnd = "\r\n");

  // The bytes that bring the terminal up to the picture; width is the
  // terminal's, to know where its lines wrap.
  [[nodiscard]] std::string update(const qr::ScreenImage& screen, int width);
  // Ends an unfinished line (at the end of the program).
  [[nodiscard]] std::string finish();

 private:
  [[nodiscard]] std::string rewrite(const std::string& text, int cursor, int width);
  [[nodiscard]] std::string endLine();
  [[nodiscard]] std::string glyphs(std::string_view text) const;

  const CodeSet* codes_;
  std::string lineEnd_;
  bool started_ = false;
  qr::ScreenImage last_;
  int row_ = 0;                                // the console row the current line mirrors
  std::pair<int, int> span_{0, qr::kColumns};  // and the columns of it shown
  std::string shown_;                          // its text as written (Windows-1252)
  std::string prefix_;  // of it, the rows before the current one that the text filled
  int column_ = 0;                             // the terminal cursor within it
};

}  // namespace platform
