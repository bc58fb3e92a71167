// libFuzzer target for the reply splitter, the reply-code rule and the
// number taking of the 227 reply: whatever a server sends must neither
// crash nor make a line longer than the limit, and codes never go negative.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ftp/ftpDir.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpPort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ftp::ReplySplitter splitter;
  // Feed in two pieces, split where the first byte says, as two receives.
  const size_t cut = size ? data[0] % (size + 1) : 0;
  splitter.feed(bytes.substr(0, cut));
  splitter.feed(bytes.substr(cut));
  while (splitter.hasLines()) {
    const std::string line = splitter.take();
    if (line.size() > ftp::kMaxReplyLine * 2) std::abort();  // decoding never grows it much
    const ftp::ReplyCode code = ftp::ParseReplyCode(line);
    if (code.code < 0) std::abort();
    (void)ftp::PassiveNumbers(line);
    (void)ftp::QuotedPath(line);
  }
  std::string rest(bytes);
  for (int i = 0; i < 8 && !rest.empty(); ++i)
    if (ftp::TakeNumber(rest) < 0) std::abort();
  return 0;
}
