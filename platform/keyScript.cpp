// Key script parser: named keys and modifiers are looked up in tables; the
// events of each press come from keyEvents so scripted keys look exactly
// like typed ones.
#include "platform/keyScript.h"

#include <array>
#include <charconv>
#include <optional>

#include "base/ascii.h"
#include "base/cp1252.h"
#include "platform/keyEvents.h"

namespace platform {

using qr::VKey;

namespace {

struct NamedKey {
  std::string_view name;
  VKey key;
};
constexpr std::array<NamedKey, 33> kNamedKeys = {{
    {"Enter", VKey::Enter},
    {"Esc", VKey::Escape},
    {"Escape", VKey::Escape},
    {"Tab", VKey::Tab},
    {"Backspace", VKey::Backspace},
    {"Space", VKey::Space},
    {"Up", VKey::Up},
    {"Down", VKey::Down},
    {"Left", VKey::Left},
    {"Right", VKey::Right},
    {"Home", VKey::Home},
    {"End", VKey::End},
    {"PgUp", VKey::PageUp},
    {"PgDn", VKey::PageDown},
    {"Ins", VKey::Insert},
    {"Insert", VKey::Insert},
    {"Del", VKey::Delete},
    {"Delete", VKey::Delete},
    {"Break", VKey::Break},
    {"F1", VKey::F1},
    {"F2", VKey::F2},
    {"F3", VKey::F3},
    {"F4", VKey::F4},
    {"F5", VKey::F5},
    {"F6", VKey::F6},
    {"F7", VKey::F7},
    {"F8", VKey::F8},
    {"F9", VKey::F9},
    {"F10", VKey::F10},
    {"F11", VKey::F11},
    {"F12", VKey::F12},
    {"PageUp", VKey::PageUp},
    {"PageDown", VKey::PageDown},
}};

bool sameName(std::string_view a, std::string_view b) {
  return qr::asciiEqualNoCase(a, b);
}

std::optional<VKey> keyOfName(std::string_view name) {
  if (name.size() == 1) {
    const char c = name[0];
    if (qr::isAsciiLetter(c)) return qr::letterKey(qr::asciiUpper(c));
    if (c >= '0' && c <= '9') return qr::digitKey(c);
    return std::nullopt;
  }
  for (const auto& k : kNamedKeys)
    if (sameName(k.name, name)) return k.key;
  return std::nullopt;
}

struct Press {
  VKey key;
  Modifiers mods;
};

// "Ctrl+Alt+F11" -> F11 with Ctrl and Alt.
std::optional<Press> parsePress(std::string_view text) {
  Press press{VKey::None, {}};
  for (;;) {
    const size_t plus = text.find('+');
    if (plus == std::string_view::npos || plus + 1 == text.size()) break;
    const std::string_view mod = text.substr(0, plus);
    if (sameName(mod, "Ctrl") || sameName(mod, "Control"))
      press.mods.ctrl = true;
    else if (sameName(mod, "Alt"))
      press.mods.alt = true;
    else if (sameName(mod, "Shift"))
      press.mods.shift = true;
    else
      return std::nullopt;
    text.remove_prefix(plus + 1);
  }
  const auto key = keyOfName(text);
  if (!key) return std::nullopt;
  press.key = *key;
  return press;
}

std::string describe(std::string_view body) {
  return "{" + std::string(body) + "}";
}

// One UTF-8 character (or one stray byte) from the front of text.
size_t characterLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t n = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
  if (n > text.size()) return 1;
  for (size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80) return 1;
  return n;
}

std::optional<std::string_view> argumentOf(std::string_view body, std::string_view word) {
  if (body.size() > word.size() && body.substr(0, word.size()) == word && body[word.size()] == ' ')
    return body.substr(word.size() + 1);
  return std::nullopt;
}

}  // namespace

ParsedScript parseKeyScript(std::string_view utf8) {
  std::string text;
  for (char c : utf8)
    if (c != '\n' && c != '\r') text += c;
  ParsedScript out;
  std::string_view rest = text;
  const auto fail = [&](std::string message) {
    out.error = std::move(message);
    out.steps.clear();
    return out;
  };
  while (!rest.empty()) {
    if (rest.substr(0, 2) == "{{") {
      out.steps.push_back({ScriptStep::Kind::Key, typeCharacter('{'), 0, {}});
      rest.remove_prefix(2);
      continue;
    }
    if (rest[0] != '{') {
      const size_t n = characterLength(rest);
      for (char b : qr::fromUtf8(rest.substr(0, n)))
        out.steps.push_back({ScriptStep::Kind::Key, typeCharacter(static_cast<uint8_t>(b)), 0, {}});
      rest.remove_prefix(n);
      continue;
    }
    const size_t close = rest.find('}');
    if (close == std::string_view::npos)
      return fail("unclosed \"{\" in the key script: " + std::string(rest.substr(0, 40)));
    const std::string_view body = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
    if (auto arg = argumentOf(body, "wait")) {
      int ms = 0;
      const auto [end, ec] = std::from_chars(arg->data(), arg->data() + arg->size(), ms);
      if (ec != std::errc() || end != arg->data() + arg->size() || ms < 0)
        return fail("bad time in " + describe(body));
      out.steps.push_back({ScriptStep::Kind::Wait, {}, ms, {}});
    } else if (auto until = argumentOf(body, "until")) {
      out.steps.push_back({ScriptStep::Kind::Until, {}, 0, std::string(*until)});
    } else if (auto path = argumentOf(body, "dump")) {
      out.steps.push_back({ScriptStep::Kind::Dump, {}, 0, std::string(*path)});
    } else if (auto names = argumentOf(body, "chord")) {
      std::vector<qr::KeyEvent> downs, ups;
      std::string_view list = *names;
      while (!list.empty()) {
        const size_t space = list.find(' ');
        const std::string_view name = list.substr(0, space);
        list = space == std::string_view::npos ? std::string_view{} : list.substr(space + 1);
        if (name.empty()) continue;
        const auto press = parsePress(name);
        if (!press)
          return fail("unknown key name \"" + std::string(name) + "\" in " + describe(body));
        auto events = pressKey(press->key, press->mods);
        ups.push_back(events.back());
        events.pop_back();
        downs.insert(downs.end(), events.begin(), events.end());
      }
      if (ups.empty()) return fail("empty chord " + describe(body));
      downs.insert(downs.end(), ups.begin(), ups.end());
      out.steps.push_back({ScriptStep::Kind::Key, std::move(downs), 0, {}});
    } else {
      const auto press = parsePress(body);
      if (!press) return fail("unknown key name " + describe(body));
      out.steps.push_back({ScriptStep::Kind::Key, pressKey(press->key, press->mods), 0, {}});
    }
  }
  return out;
}

}  // namespace platform
