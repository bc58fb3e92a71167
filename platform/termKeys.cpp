// Terminal key decoder. Sequences are matched through two tables: keys named
// by the final byte of CSI/SS3 sequences (ESC [ 1 ; m A, ESC O A) and keys
// numbered in ESC [ n ; m ~ sequences. The modifier parameter m is 1 plus
// Shift 1, Alt 2, Ctrl 4 (Meta 8 counts as Alt), as xterm sends it.
#include "platform/termKeys.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/cp1252.h"
#include "platform/keyEvents.h"

namespace platform {

using qr::KeyEvent;
using qr::VKey;

namespace {

struct FinalKey {
  char final;
  VKey key;
};
constexpr std::array<FinalKey, 10> kFinalKeys = {{
    {'A', VKey::Up},
    {'B', VKey::Down},
    {'C', VKey::Right},
    {'D', VKey::Left},
    {'H', VKey::Home},
    {'F', VKey::End},
    {'P', VKey::F1},
    {'Q', VKey::F2},
    {'R', VKey::F3},
    {'S', VKey::F4},
}};

struct NumberedKey {
  int number;
  VKey key;
};
constexpr std::array<NumberedKey, 20> kNumberedKeys = {{
    {1, VKey::Home},     {2, VKey::Insert}, {3, VKey::Delete}, {4, VKey::End},  {5, VKey::PageUp},
    {6, VKey::PageDown}, {7, VKey::Home},   {8, VKey::End},    {11, VKey::F1},  {12, VKey::F2},
    {13, VKey::F3},      {14, VKey::F4},    {15, VKey::F5},    {17, VKey::F6},  {18, VKey::F7},
    {19, VKey::F8},      {20, VKey::F9},    {21, VKey::F10},   {23, VKey::F11}, {24, VKey::F12},
}};

// rxvt marks modifiers on numbered keys by the last byte instead of a parameter.
struct SuffixModifiers {
  char suffix;
  Modifiers mods;
};
constexpr std::array<SuffixModifiers, 4> kSuffixes = {{
    {'~', {}},
    {'^', {true, false, false}},
    {'$', {false, false, true}},
    {'@', {true, false, true}},
}};

constexpr char kEsc = 0x1b;

enum class Status { Done, NeedMore };

struct Step {
  Status status = Status::Done;
  size_t length = 0;
  std::vector<KeyEvent> events;
};

Modifiers modifiersOfParameter(int m) {
  if (m < 2) return {};
  const int bits = m - 1;
  return Modifiers{(bits & 4) != 0, (bits & 2) != 0 || (bits & 8) != 0, (bits & 1) != 0};
}

std::optional<VKey> keyOfFinal(char final) {
  for (const auto& k : kFinalKeys)
    if (k.final == final) return k.key;
  return std::nullopt;
}

std::optional<VKey> keyOfNumber(int number) {
  for (const auto& k : kNumberedKeys)
    if (k.number == number) return k.key;
  return std::nullopt;
}

std::vector<int> parameters(std::string_view text) {
  std::vector<int> out{0};
  for (char c : text) {
    if (c == ';' || c == ':') {
      out.push_back(0);
    } else if (c >= '0' && c <= '9') {
      if (out.back() < 100000) out.back() = out.back() * 10 + (c - '0');
    }
  }
  return out;
}

Modifiers merge(Modifiers a, Modifiers b) {
  return Modifiers{a.ctrl || b.ctrl, a.alt || b.alt, a.shift || b.shift};
}

// A character code arriving in a CSI 27;m;c~ or CSI c;m u report.
std::vector<KeyEvent> codeWithModifiers(int code, Modifiers mods) {
  switch (code) {
    case 13:
      return pressKey(VKey::Enter, mods);
    case 9:
      return pressKey(VKey::Tab, mods);
    case 27:
      return pressKey(VKey::Escape, mods);
    case 8:
    case 127:
      return pressKey(VKey::Backspace, mods);
    default:
      break;
  }
  uint8_t byte = '?';
  if (code >= 0 && code < 0x110000) {
    if (auto b = qr::cp1252FromCodePoint(static_cast<char32_t>(code))) byte = *b;
  }
  const CharKey k = keyOfCharacter(byte);
  const Modifiers m = merge(mods, {false, false, k.shift});
  if (k.key == VKey::Other)
    return pressEvents(VKey::Other, m, mods.alt ? std::nullopt : std::optional<uint8_t>(byte));
  return pressKey(k.key, m);
}

// ESC [ ... : parameters, intermediates, one final byte.
Step decodeCsi(std::string_view in, bool final) {
  // rxvt ends Shift+key sequences with '$', elsewhere an intermediate byte;
  // no terminal sends one to us otherwise, as we ask it for no reports.
  size_t i = 2;
  while (i < in.size() && in[i] != '$' && static_cast<unsigned char>(in[i]) >= 0x20 &&
         static_cast<unsigned char>(in[i]) <= 0x3f)
    ++i;
  if (i >= in.size()) {
    if (!final) return {Status::NeedMore, 0, {}};
    return {Status::Done, in.size(), {}};  // broken sequence: dropped
  }
  const char last = in[i];
  const std::string_view params = in.substr(2, i - 2);
  Step step{Status::Done, i + 1, {}};
  // Linux console: ESC [ [ A .. E are F1 .. F5.
  if (params.empty() && last == '[') {
    if (in.size() < 4) {
      if (!final) return {Status::NeedMore, 0, {}};
      return {Status::Done, in.size(), {}};
    }
    step.length = 4;
    const char f = in[3];
    if (f >= 'A' && f <= 'E')
      step.events = pressKey(static_cast<VKey>(static_cast<uint16_t>(VKey::F1) + (f - 'A')), {});
    return step;
  }
  if (!params.empty() &&
      (params[0] == '<' || params[0] == '?' || params[0] == '>' || params[0] == '='))
    return step;  // private reports (mouse, device attributes): not keys
  const std::vector<int> p = parameters(params);
  if (last == 'Z') {
    step.events = pressKey(VKey::Tab, {false, false, true});
    return step;
  }
  if (last == 'u') {
    step.events = codeWithModifiers(p[0], modifiersOfParameter(p.size() > 1 ? p[1] : 1));
    return step;
  }
  for (const auto& s : kSuffixes) {
    if (last != s.suffix) continue;
    if (p[0] == 27 && p.size() >= 3 && s.suffix == '~') {
      step.events = codeWithModifiers(p[2], modifiersOfParameter(p[1]));
      return step;
    }
    if (auto key = keyOfNumber(p[0]))
      step.events = pressKey(*key, merge(s.mods, modifiersOfParameter(p.size() > 1 ? p[1] : 1)));
    return step;
  }
  if (auto key = keyOfFinal(last)) {
    step.events = pressKey(*key, modifiersOfParameter(p.size() > 1 ? p[1] : (p[0] > 1 ? p[0] : 1)));
  }
  return step;
}

// ESC O final, possibly with a modifier digit before the final byte.
Step decodeSs3(std::string_view in, bool final) {
  size_t i = 2;
  while (i < in.size() && ((in[i] >= '0' && in[i] <= '9') || in[i] == ';')) ++i;
  if (i >= in.size()) {
    if (!final) return {Status::NeedMore, 0, {}};
    return {Status::Done, in.size(), {}};
  }
  Step step{Status::Done, i + 1, {}};
  const std::vector<int> p = parameters(in.substr(2, i - 2));
  const int m = p.back() > 1 ? p.back() : 1;
  if (auto key = keyOfFinal(in[i])) step.events = pressKey(*key, modifiersOfParameter(m));
  return step;
}

size_t utf8Length(unsigned char lead) {
  if (lead >= 0xf0 && lead < 0xf8) return 4;
  if (lead >= 0xe0) return lead < 0xf0 ? 3 : 1;
  if (lead >= 0xc2) return 2;
  return 1;
}

// A character of a code set other than UTF-8: the longest sequence that
// names one; '?' for a byte that starts none.
Step decodeInCodeSet(std::string_view in, bool final, const CodeSet& codes) {
  constexpr size_t kLongest = 4;
  for (size_t n = std::min(in.size(), kLongest); n > 0; --n) {
    const auto found = codes.characters.find(in.substr(0, n));
    if (found != codes.characters.end()) return {Status::Done, n, typeCharacter(found->second)};
  }
  if (!final && in.size() < kLongest) {
    const auto next = codes.characters.lower_bound(in);
    if (next != codes.characters.end() && next->first.starts_with(in))
      return {Status::NeedMore, 0, {}};
  }
  return {Status::Done, 1, typeCharacter('?')};
}

// One key that does not start with ESC.
Step decodePlain(std::string_view in, bool final, uint8_t eraseByte, const CodeSet* codes) {
  const auto c = static_cast<unsigned char>(in[0]);
  Step step{Status::Done, 1, {}};
  const uint8_t otherErase = eraseByte == 8 ? 127 : 8;
  if (c == eraseByte) {
    step.events = pressKey(VKey::Backspace, {});
  } else if (c == otherErase) {
    step.events = pressKey(VKey::Backspace, {true, false, false});
  } else if (c == 13) {
    step.events = pressKey(VKey::Enter, {});
  } else if (c == 10) {
    step.events = pressKey(VKey::Enter, {true, false, false});
  } else if (c == 9) {
    step.events = pressKey(VKey::Tab, {});
  } else if (c == 0) {
    step.events = pressKey(VKey::Space, {true, false, false});
  } else if (c >= 1 && c <= 26) {
    step.events = pressKey(qr::letterKey(static_cast<char>('A' + c - 1)), {true, false, false});
  } else if (c < 32) {
    step.events = pressEvents(VKey::Other, {true, false, false}, c);
  } else if (c < 128) {
    step.events = typeCharacter(c);
  } else if (codes && !codes->utf8) {
    return decodeInCodeSet(in, final, *codes);
  } else {
    size_t n = utf8Length(c);
    if (n > in.size()) {
      if (!final) return {Status::NeedMore, 0, {}};
      n = 1;
    }
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(in[k]) & 0xc0) != 0x80) n = 1;
    step.length = n;
    for (char b : qr::fromUtf8(in.substr(0, n))) {
      auto ev = typeCharacter(static_cast<uint8_t>(b));
      step.events.insert(step.events.end(), ev.begin(), ev.end());
    }
  }
  return step;
}

// Adds Alt to a key: the press becomes a system key without its character.
std::vector<KeyEvent> withAlt(const std::vector<KeyEvent>& events) {
  if (events.empty()) return events;
  const KeyEvent& down = events.front();
  return pressEvents(down.key, Modifiers{down.ctrl, true, down.shift}, std::nullopt);
}

Step decodeOne(std::string_view in, bool final, uint8_t eraseByte, const CodeSet* codes) {
  if (in[0] != kEsc) return decodePlain(in, final, eraseByte, codes);
  if (in.size() == 1) {
    if (!final) return {Status::NeedMore, 0, {}};
    return {Status::Done, 1, pressKey(VKey::Escape, {})};
  }
  const char next = in[1];
  if (next == '[') return decodeCsi(in, final);
  if (next == 'O') {
    if (in.size() == 2 && final) return {Status::Done, 2, withAlt(typeCharacter('O'))};
    return decodeSs3(in, final);
  }
  if (next == kEsc) {
    // ESC ESC [ ... is Alt with a special key; two ESC alone are two presses.
    if (in.size() == 2 && !final) return {Status::NeedMore, 0, {}};
    if (in.size() > 2 && (in[2] == '[' || in[2] == 'O')) {
      Step inner = decodeOne(in.substr(1), final, eraseByte, codes);
      if (inner.status == Status::NeedMore) return inner;
      return {Status::Done, inner.length + 1, withAlt(inner.events)};
    }
    return {Status::Done, 1, pressKey(VKey::Escape, {})};
  }
  Step inner = decodePlain(in.substr(1), final, eraseByte, codes);
  if (inner.status == Status::NeedMore) return inner;
  return {Status::Done, inner.length + 1, withAlt(inner.events)};
}

}  // namespace

DecodedKeys decodeTerminalInput(std::string_view input, bool final, uint8_t eraseByte,
                                const CodeSet* codes) {
  DecodedKeys out;
  while (out.consumed < input.size()) {
    Step step = decodeOne(input.substr(out.consumed), final, eraseByte, codes);
    if (step.status == Status::NeedMore) break;
    out.consumed += step.length;
    out.events.insert(out.events.end(), step.events.begin(), step.events.end());
  }
  return out;
}

}  // namespace platform
