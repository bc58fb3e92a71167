// The .reg text format; see registry.h.
#include "base/registry.h"

#include <vector>

#include "base/cp1252.h"
#include "base/ini.h"

namespace qr {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Logical lines: physical lines joined where one ends in a backslash
// outside a quoted string (the continuation of hex values).
std::vector<std::string> logicalLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::string current;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const bool quoted =
        line.find('"') != std::string_view::npos && line.find("=hex") == std::string_view::npos;
    if (!quoted && !line.empty() && line.back() == '\\') {
      current.append(line.substr(0, line.size() - 1));
      continue;
    }
    current.append(line);
    lines.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// A quoted string at the start of s; the rest of s follows it.
std::optional<std::string> quoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

std::optional<RegistryValue> valueOf(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '"') {
    auto s = quoted(text);
    if (!s || !trim(text).empty()) return std::nullopt;
    return RegistryValue{1, fromUtf8(*s)};
  }
  if (text.substr(0, 6) == "dword:") {
    const NumberValue n = convertNumber("0x" + std::string(trim(text.substr(6))));
    if (!n.valid || text.size() > 6 + 8) return std::nullopt;
    const auto v = static_cast<uint32_t>(n.value);
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return RegistryValue{4, bytes};
  }
  if (text.substr(0, 3) == "hex") {
    uint32_t type = 3;
    text.remove_prefix(3);
    if (!text.empty() && text.front() == '(') {
      const size_t close = text.find(')');
      if (close == std::string_view::npos) return std::nullopt;
      const NumberValue n = convertNumber("0x" + std::string(text.substr(1, close - 1)));
      if (!n.valid) return std::nullopt;
      type = static_cast<uint32_t>(n.value);
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != ':') return std::nullopt;
    text.remove_prefix(1);
    std::string bytes;
    while (!(text = trim(text)).empty()) {
      const size_t comma = text.find(',');
      const NumberValue n = convertNumber("0x" + std::string(trim(text.substr(0, comma))));
      if (!n.valid || n.value < 0 || n.value > 255) return std::nullopt;
      bytes.push_back(static_cast<char>(n.value));
      text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return RegistryValue{type, bytes};
  }
  return std::nullopt;
}

}  // namespace

std::optional<RegistryValue> registryLookup(std::string_view contents, std::string_view keyPath,
                                            std::string_view valueName) {
  std::optional<RegistryValue> found;
  bool inKey = false;
  for (const std::string& line : logicalLines(contents)) {
    std::string_view l = line;
    if (l.empty() || l.front() == ';') continue;
    if (l.front() == '[') {
      if (l.back() != ']') {
        inKey = false;
        continue;
      }
      std::string_view key = l.substr(1, l.size() - 2);
      const bool removal = !key.empty() && key.front() == '-';
      if (removal) key.remove_prefix(1);
      // Removing a key also removes everything below it.
      const bool same = iniSameName(key, keyPath);
      const bool above = keyPath.size() > key.size() && keyPath[key.size()] == '\\' &&
                         iniSameName(key, keyPath.substr(0, key.size()));
      if (removal && (same || above)) found.reset();
      inKey = !removal && same;
      continue;
    }
    if (!inKey) continue;
    std::string name;
    if (l.front() == '@') {
      l.remove_prefix(1);
    } else {
      auto n = quoted(l);
      if (!n) continue;
      name = *n;
    }
    l = trim(l);
    if (l.empty() || l.front() != '=') continue;
    l.remove_prefix(1);
    if (!iniSameName(name, valueName)) continue;
    if (trim(l) == "-") {
      found.reset();
      continue;
    }
    if (auto v = valueOf(l)) found = std::move(v);
  }
  return found;
}

bool ReadRegistryString(std::string_view contents, std::string_view root, std::string_view path,
                        std::string& result) {
  const size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) return false;
  std::string key(root);
  if (!key.empty() && cut > 0) key += '\\';
  key.append(path.substr(0, cut));
  const auto value = registryLookup(contents, key, path.substr(cut + 1));
  if (!value || value->type != 1) return false;
  result = value->data;
  return true;
}

}  // namespace qr
