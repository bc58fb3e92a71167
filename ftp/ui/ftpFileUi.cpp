// The file dialogs over the console, the line editor and the picker.
#include "ftp/ui/ftpFileUi.h"

#include "console/frontend.h"
#include "console/qrCrt.h"
#include "console/qrwinInput.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ui/ftpLocal.h"
#include "console/qrform.h"

namespace ftp {

std::string ConsoleFileDialogs::chooseLocalFile(int rows) {
  qr::QrForm form(console_, spoken_);
  form.ReserveLines(rows);
  LocalPicker picker(console_, spoken_, input_);
  std::string chosen = picker.ChooseLocalFile(rows);
  marked_ = picker.TakeMarked();
  return chosen;
}

uint8_t ConsoleFileDialogs::reviewLine(std::string_view text, bool& extended) {
  std::string field(text);
  const int width = static_cast<int>(kListingWidth);
  const uint8_t key =
      input_.editField(field, 1, console_.consoleCursorRow(), false, qr::kColumns - 1, width);
  // The editor ends on Tab, LF, Enter and ESC as themselves and on every
  // other ending key by its two-byte code.
  extended = !(key == 9 || key == 10 || key == 13 || key == 27);
  return key;
}

void ConsoleFileDialogs::putClipboard(std::string_view text) {
  console_.clipboardPutText(text);
}

}  // namespace ftp
