// The file dialogs of the transfers and the browser over the real console:
// the local file picker, the line editor in its read-only use on a listing
// line, and the clipboard.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ftp/ftpTransfer.h"

namespace qr {
class Console;
class Spoken;
class LineInput;
}  // namespace qr

namespace ftp {

class ConsoleFileDialogs : public FileDialogs {
 public:
  ConsoleFileDialogs(qr::Console& console, qr::Spoken& spoken, qr::LineInput& input)
      : console_(console), spoken_(spoken), input_(input) {}

  std::string chooseLocalFile(int rows) override;
  std::vector<std::string> takeMarkedLocal() override { return std::exchange(marked_, {}); }
  uint8_t reviewLine(std::string_view text, bool& extended) override;
  void putClipboard(std::string_view text) override;

 private:
  qr::Console& console_;
  qr::Spoken& spoken_;
  qr::LineInput& input_;
  std::vector<std::string> marked_;
};

}  // namespace ftp
