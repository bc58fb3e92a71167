// The registry of this environment: a text file in the .reg export format
// ("REGEDIT4" or "Windows Registry Editor Version 5.00"), read by pure
// functions over its contents. "[ROOT\key\path]" opens a key, "@=" sets its
// default value, "\"name\"=" a named value: a quoted string (type 1, with
// \\ and \" escapes), dword:HHHHHHHH (type 4) or hex(N):bytes (type N, lines
// continued by a trailing backslash). Keys and value names are matched
// without regard to case; the last assignment of a value wins, as a later
// import overwrites an earlier one; "[-ROOT\key]" removes a key and what
// was set in it before. Values come back as Windows-1252.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qr {

struct RegistryValue {
  uint32_t type = 1;  // 1 string, 4 double word, others as written after hex(
  std::string data;   // the string, or the bytes of other types
  bool operator==(const RegistryValue&) const = default;
};

// The value "valueName" ("" for the default value) of the key "keyPath"
// (e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\X") in the registry text.
[[nodiscard]] std::optional<RegistryValue> registryLookup(std::string_view contents,
                                                          std::string_view keyPath,
                                                          std::string_view valueName);

// Reads a string value: the path is split at its last backslash into the key
// and the value name (empty: the key's default value); fails without a
// backslash, when the value is absent, or when it is not a plain string.
[[nodiscard]] bool ReadRegistryString(std::string_view contents, std::string_view root,
                                      std::string_view path, std::string& result);

}  // namespace qr
