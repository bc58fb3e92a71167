// The event log: one line per thing the user hears or the program does at an
// edge ("announce FTCMD", "text ...", "sound PATH", "send USER x"), so that
// tests hear what a user hears. Texts are given in Windows-1252 and written
// as UTF-8. Writes go to $QUIRAL_LOG when set, and are always counted, so
// the script front end can tell whether anything happened lately.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qr {

class EventLog {
 public:
  EventLog() = default;
  explicit EventLog(const std::string& path);  // "" logs to memory only
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  void event(std::string_view kind, std::string_view text = {});
  void event(std::string_view kind, long long number);

  // Number of events written so far (changes whenever anything is logged).
  [[nodiscard]] uint64_t generation() const { return generation_; }
  // Lines kept in memory (UTF-8), for tests; kept only when keepLines is set.
  void keepLines(bool keep) { keep_ = keep; }
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }
  void clear() { lines_.clear(); }

 private:
  std::FILE* file_ = nullptr;
  uint64_t generation_ = 0;
  bool keep_ = false;
  std::vector<std::string> lines_;
};

}  // namespace qr
