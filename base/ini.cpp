#include "base/ini.h"

#include <climits>

#include "base/ascii.h"
#include "base/cp1252.h"

namespace qr {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return asciiEqualNoCase(a, b);
}

constexpr bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

int digitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9')
    d = c - '0';
  else if (c >= 'a' && c <= 'f')
    d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    d = c - 'A' + 10;
  return d < base ? d : -1;
}

}  // namespace

bool iniSameName(std::string_view a, std::string_view b) {
  return sameName(a, b);
}

std::optional<std::string> iniLookup(std::string_view contents, std::string_view section,
                                     std::string_view key, size_t maxLength) {
  std::string_view data = contents;
  if (data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);  // UTF-8 byte order mark

  const std::string_view wantSection = trim(section);
  const std::string_view wantKey = trim(key);
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string_view::npos) end = data.size();
    const std::string_view line = trim(data.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // The first section of the name is the one read; a later one of the
      // same name is not searched.
      if (inSection) return std::nullopt;
      std::string_view name = line.substr(1);
      const size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      inSection = !sectionSeen && iniSameName(trim(name), wantSection);
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!iniSameName(trim(line.substr(0, eq)), wantKey)) continue;
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    std::string text = fromUtf8(value);
    if (text.size() > maxLength) text.resize(maxLength);
    return text;
  }
  return std::nullopt;
}

NumberValue convertNumber(std::string_view text) {
  NumberValue r;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  long long value = 0;
  bool anyDigit = false;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    const int d = digitValue(text[i], base);
    if (d < 0) break;
    anyDigit = true;
    if (!overflow) {
      value = value * base + d;
      if (value > static_cast<long long>(INT_MAX) + 1) overflow = true;
    }
  }
  if (overflow) value = static_cast<long long>(INT_MAX) + 1;
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  r.value = static_cast<long>(value);
  r.valid = anyDigit && !overflow && i == text.size();
  return r;
}

}  // namespace qr
