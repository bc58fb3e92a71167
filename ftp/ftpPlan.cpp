// ftpPlan: the decisions before a transfer, and the replies they read.
#include "ftp/ftpPlan.h"

#include <cctype>
#include <limits>

namespace ftp {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of a run of digits; nullopt when empty or too large.
std::optional<int64_t> digitsValue(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : digits) {
    if (!isDigit(c)) return std::nullopt;
    if (v > (std::numeric_limits<int64_t>::max() - 9) / 10) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TargetStep PlanTarget(const LocalTarget& target) {
  if (target.directory) return TargetStep::Refuse;
  return target.exists ? TargetStep::AskReplace : TargetStep::Write;
}

PartStep PlanPart(bool binary, int64_t partSize) {
  if (partSize <= 0) return PartStep::None;
  // In text mode the bytes on disk are not the server's: neither sizes nor
  // an offset can be compared.
  return binary ? PartStep::AskResume : PartStep::AskRestart;
}

ResumeCheck CheckResume(const PartMark& mark, int64_t partSize, const RemoteFacts& server) {
  if (!server.size || !mark.size) return ResumeCheck::Unknown;
  if (*server.size != *mark.size || partSize > *server.size) return ResumeCheck::Changed;
  // A file changed in place keeps its size: the time tells. A server that
  // tells no time, now and when the part was begun, has only the size.
  if (mark.modified.empty() != server.modified.empty()) return ResumeCheck::Unknown;
  if (mark.modified != server.modified) return ResumeCheck::Changed;
  return ResumeCheck::GoOn;
}

ReceiveStart PlanReceiveStart(bool wantResume, int64_t partSize, const PartMark& mark,
                              const RemoteFacts& server) {
  if (!wantResume || partSize <= 0) return {};
  const ResumeCheck check = CheckResume(mark, partSize, server);
  return {check == ResumeCheck::GoOn ? partSize : 0, check};
}

bool OfferSendResume(bool binary, int64_t localSize, std::optional<int64_t> remoteSize) {
  return binary && remoteSize && *remoteSize > 0 && *remoteSize < localSize;
}

SendVerb PlanSendVerb(int64_t offset, bool restAccepted) {
  return offset > 0 && !restAccepted ? SendVerb::Appe : SendVerb::Stor;
}

std::optional<int64_t> SizeFromReply(int code, std::string_view line) {
  if (code != 213 || line.size() < 5) return std::nullopt;
  return digitsValue(trimmed(line.substr(4)));
}

std::string TimeFromReply(int code, std::string_view line) {
  if (code != 213 || line.size() < 5) return {};
  const std::string_view t = trimmed(line.substr(4));
  // Fourteen digits, then at most a fraction of a second.
  if (t.size() < 14) return {};
  for (size_t i = 0; i < 14; ++i)
    if (!isDigit(t[i])) return {};
  if (t.size() > 14) {
    if (t[14] != '.' || t.size() == 15) return {};
    for (size_t i = 15; i < t.size(); ++i)
      if (!isDigit(t[i])) return {};
  }
  return std::string(t);
}

std::optional<int64_t> AnnouncedSize(std::string_view line) {
  // The last "(N bytes)" of the line: a name may hold parentheses too.
  for (size_t close = line.rfind(')'); close != std::string_view::npos && close > 0;
       close = line.rfind(')', close - 1)) {
    const size_t open = line.rfind('(', close);
    if (open == std::string_view::npos) return std::nullopt;
    std::string_view inside = trimmed(line.substr(open + 1, close - open - 1));
    const size_t blank = inside.find(' ');
    if (blank == std::string_view::npos) continue;
    std::string unit(trimmed(inside.substr(blank + 1)));
    for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (unit != "bytes" && unit != "byte") continue;
    if (const auto n = digitsValue(inside.substr(0, blank))) return n;
  }
  return std::nullopt;
}

std::optional<int64_t> MarkedSize(std::string_view text) {
  return digitsValue(text);
}

}  // namespace ftp
