// ftpFeat: FEAT and its reply; OPTS UTF8 ON where the server offers it.
#include "ftp/ftpFeat.h"

#include "base/ascii.h"
#include "ftp/ftpDlg.h"

namespace ftp {

namespace {

std::string upper(std::string_view s) {
  return qr::asciiUpper(s);
}

}  // namespace

bool Features::has(std::string_view name) const {
  const std::string want = upper(name);
  for (const Feature& f : list)
    if (f.name == want) return true;
  return false;
}

bool Features::hasParam(std::string_view name, std::string_view param) const {
  const std::string want = upper(name);
  const std::string wantParam = upper(param);
  for (const Feature& f : list) {
    if (f.name != want) continue;
    const std::string p = upper(f.params);
    size_t at = 0;
    while (at <= p.size()) {
      const size_t end = p.find_first_of(" ;,", at);
      const std::string_view word =
          std::string_view(p).substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (word == wantParam) return true;
      if (end == std::string::npos) break;
      at = end + 1;
    }
  }
  return false;
}

Features ParseFeatures(const std::vector<std::string>& replyLines) {
  Features features;
  features.asked = true;
  if (replyLines.empty() || ParseReplyCode(replyLines.back()).code != 211) return features;
  // RFC 2389 section 3.2: the lines between the first and the last, each
  // one feature after a blank. A one-line 211 lists none.
  for (size_t i = 1; i + 1 < replyLines.size(); ++i) {
    std::string_view line = replyLines[i];
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t blank = line.find(' ');
    Feature f;
    f.name = upper(line.substr(0, blank));
    if (blank != std::string_view::npos) {
      std::string_view params = line.substr(blank + 1);
      while (!params.empty() && params.front() == ' ') params.remove_prefix(1);
      f.params = std::string(params);
    }
    features.list.push_back(std::move(f));
  }
  return features;
}

const Features& Dlg::features() {
  if (features_.asked || closed_) return features_;
  features_.asked = true;
  if (!SendCommand("FEAT")) return features_;
  const Reply r = awaitReply({.quiet = true});
  if (!r.complete) return features_;
  features_ = ParseFeatures(r.lines);
  // RFC 2640 section 3.2 names the command; servers that list UTF8 take it,
  // and some send names in UTF-8 only once asked.
  if (features_.has("UTF8") && SendCommand("OPTS UTF8 ON")) (void)awaitReply({.quiet = true});
  return features_;
}

}  // namespace ftp
