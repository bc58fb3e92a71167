// Code-set tables built once with iconv, one character at a time.
#include "platform/terminalCodeSet.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "base/cp1252.h"

namespace platform {

namespace {

bool isAscii(std::string_view name) {
  return name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII" || name.empty();
}

bool isUtf8(std::string_view name) {
  return name == "UTF-8" || name == "utf-8" || name == "UTF8" || name == "utf8";
}

// One Windows-1252 byte as the terminal shows it in UTF-8.
std::string utf8Glyph(uint8_t b) {
  if (b < 32 || b == 127) return " ";
  if (b == 0x81 || b == 0x8d || b == 0x8f || b == 0x90 || b == 0x9d) return "?";
  return qr::toUtf8(std::string(1, static_cast<char>(b)));
}

// Converts one UTF-8 character with an open iconv descriptor; empty when the
// set has no such character.
std::string convertOne(iconv_t cd, const std::string& utf8) {
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in = utf8;
  char out[16];
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out;
  size_t outLeft = sizeof out;
  if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return {};
  // Stateful sets may need a closing shift sequence.
  if (::iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return {};
  return std::string(out, static_cast<size_t>(outPtr - out));
}

}  // namespace

CodeSet codeSetNamed(std::string_view name) {
  CodeSet codes;
  for (int b = 0; b < 256; ++b)
    codes.glyphs[static_cast<size_t>(b)] = utf8Glyph(static_cast<uint8_t>(b));
  if (isUtf8(name) || isAscii(name)) return codes;
  const std::string setName(name);
  iconv_t cd = ::iconv_open(setName.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return codes;
  codes.name = setName;
  codes.utf8 = false;
  for (int b = 128; b < 256; ++b) {
    std::string& glyph = codes.glyphs[static_cast<size_t>(b)];
    if (glyph == "?") continue;
    std::string converted = convertOne(cd, glyph);
    if (converted.empty()) {
      glyph.assign(1, '?');
      continue;
    }
    glyph = converted;
    codes.characters.emplace(converted, static_cast<uint8_t>(b));
  }
  ::iconv_close(cd);
  return codes;
}

std::string localeCodeSetName() {
  locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return "UTF-8";
  std::string name = ::nl_langinfo_l(CODESET, locale);
  ::freelocale(locale);
  return isAscii(name) ? "UTF-8" : name;
}

std::string encodeText(const CodeSet& codes, std::string_view cp1252) {
  std::string out;
  for (char c : cp1252) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 32 || b == 127) continue;
    out += codes.glyphs[b];
  }
  return out;
}

}  // namespace platform
