#include "base/eventlog.h"

#include "base/cp1252.h"

namespace qr {

EventLog::EventLog(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "a");
}

EventLog::~EventLog() {
  if (file_) std::fclose(file_);
}

void EventLog::event(std::string_view kind, std::string_view text) {
  std::string line(kind);
  if (!text.empty()) {
    line += ' ';
    // One event is one line: line ends inside a text are written as spaces.
    std::string flat(text);
    for (char& c : flat)
      if (c == '\r' || c == '\n') c = ' ';
    line += toUtf8(flat);
  }
  ++generation_;
  if (file_) {
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
  if (keep_) lines_.push_back(std::move(line));
}

void EventLog::event(std::string_view kind, long long number) {
  event(kind, std::to_string(number));
}

}  // namespace qr
