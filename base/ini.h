// The private-profile (INI) format as pure functions over the text of a
// file: sections and keys matched without regard to case, the first section
// of a name and the first key in it win, blanks around key and value
// removed, one pair of surrounding double quotes removed, lines starting with
// ";" ignored, CR LF or LF line ends, a UTF-8 byte order mark skipped.
// Values may be UTF-8 or Windows-1252; they come back as Windows-1252.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qr {

// One value of the file whose contents are given; nullopt when the section
// or key is absent. At most maxLength bytes of the value are kept.
[[nodiscard]] std::optional<std::string> iniLookup(std::string_view contents,
                                                   std::string_view section, std::string_view key,
                                                   size_t maxLength = 255);

// Names compared as the format compares them (ASCII letters without case).
[[nodiscard]] bool iniSameName(std::string_view a, std::string_view b);

// The run-time library's integer conversion: leading blanks, a sign, "$" or
// "0x" for hexadecimal; a partial value counts as invalid, so does empty.
struct NumberValue {
  long value = 0;
  bool valid = false;
};
[[nodiscard]] NumberValue convertNumber(std::string_view text);

}  // namespace qr
