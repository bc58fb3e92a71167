// qrCrt, key translation and the Braille keyboard. Tables are constexpr
// arrays searched in order; the console (qrCrt.cpp) owns the queue.
#include "console/qrCrtKeys.h"

#include <array>

#include "base/ascii.h"
#include "base/wav.h"
#include "console/qrCrt.h"

namespace qr {

namespace {

struct SpecialKey {
  VKey key;
  uint8_t code;
  uint8_t ctrlCode;  // 255: the key whose Shift form differs (Insert)
};

constexpr std::array<SpecialKey, 22> kSpecialKeys = {{
    {VKey::F1, 59, 94},      {VKey::F2, 60, 95},      {VKey::F3, 61, 96},
    {VKey::F4, 62, 97},      {VKey::F5, 63, 98},      {VKey::F6, 64, 99},
    {VKey::F7, 65, 100},     {VKey::F8, 66, 101},     {VKey::F9, 67, 102},
    {VKey::F10, 68, 103},    {VKey::F11, 69, 104},    {VKey::F12, 70, 105},
    {VKey::Insert, 82, 255}, {VKey::Delete, 83, 83},  {VKey::Home, 71, 119},
    {VKey::End, 79, 117},    {VKey::PageUp, 73, 132}, {VKey::PageDown, 81, 118},
    {VKey::Up, 72, 113},     {VKey::Down, 80, 114},   {VKey::Left, 75, 115},
    {VKey::Right, 77, 116},
}};
constexpr uint8_t kShiftInsertCode = 254;

// Alt with A..Z, then 0..9.
constexpr std::array<uint8_t, 26> kAltLetters = {30, 48, 46, 32, 18, 33, 34, 35, 23,
                                                 36, 37, 38, 50, 49, 24, 25, 16, 19,
                                                 31, 20, 22, 47, 17, 45, 21, 44};
constexpr std::array<uint8_t, 10> kAltDigits = {129, 120, 121, 122, 123, 124, 125, 126, 127, 128};

// Row: dots 4-6 (bits 3-5); column: dots 1-3 (bits 0-2).
constexpr std::array<uint8_t, 64> kBrailleTable = {
    32,  97,  44,  98,  39,  107, 59,  108,  //
    94,  99,  105, 102, 237, 109, 115, 112,  //
    126, 101, 58,  104, 42,  111, 33,  114,  //
    172, 100, 106, 103, 227, 110, 116, 113,  //
    253, 226, 63,  234, 45,  117, 34,  118,  //
    123, 238, 245, 224, 243, 120, 232, 231,  //
    36,  251, 255, 252, 125, 122, 61,  225,  //
    95,  244, 119, 239, 35,  121, 250, 233,  //
};

struct ChordKey {
  VKey key;
  uint8_t bit;
};
constexpr std::array<ChordKey, 7> kChordKeys = {{
    {letterKey('F'), 0x01},
    {letterKey('D'), 0x02},
    {letterKey('S'), 0x04},
    {letterKey('J'), 0x08},
    {letterKey('K'), 0x10},
    {letterKey('L'), 0x20},
    {VKey::Space, kSpaceBit},
}};

constexpr uint16_t raw(VKey key) {
  return static_cast<uint16_t>(key);
}

constexpr bool isLetterKey(VKey key) {
  return raw(key) >= raw(VKey::LetterA) && raw(key) < raw(VKey::LetterA) + 26;
}
constexpr bool isDigitKey(VKey key) {
  return raw(key) >= raw(VKey::Digit0) && raw(key) < raw(VKey::Digit0) + 10;
}

constexpr uint32_t kToneRate = 11025;
constexpr size_t kToneBlock = 11071;
constexpr size_t kWavHeader = kWavHeaderSize;

}  // namespace

std::optional<uint8_t> specialKeyCode(VKey key, bool ctrl, bool shift) {
  for (const SpecialKey& k : kSpecialKeys) {
    if (k.key != key) continue;
    if (ctrl) return k.ctrlCode;
    if (shift && k.ctrlCode == 255) return kShiftInsertCode;
    return k.code;
  }
  return std::nullopt;
}

std::optional<uint8_t> altKeyCode(VKey key) {
  if (isLetterKey(key)) return kAltLetters[raw(key) - raw(VKey::LetterA)];
  if (isDigitKey(key)) return kAltDigits[raw(key) - raw(VKey::Digit0)];
  return std::nullopt;
}

uint8_t brailleChar(uint8_t dots) {
  return kBrailleTable[dots & 0x3F];
}

uint8_t chordBit(VKey key) {
  for (const ChordKey& k : kChordKeys)
    if (k.key == key) return k.bit;
  return 0;
}

uint8_t completeChord(BrailleState& s) {
  const uint8_t chord = s.chord;
  s.chord = 0;
  if (chord & kSpaceBit) {
    // A space chord ends a word: capitals and number mode end with it.
    s.capitalNext = s.capitalsLocked = s.numberMode = false;
    const uint8_t dots = chord & 0x3F;
    if (dots == 0) return ' ';
    return brailleChar(dots) & 0x1F;  // "m" gives Enter, "h" Backspace
  }
  uint8_t c = brailleChar(chord);
  if (s.mode != 2) return c;
  if (s.numberMode) {
    if (c == '\'') {
      c = '.';
    } else if (c >= 'a' && c <= 'i') {
      c = static_cast<uint8_t>('1' + (c - 'a'));
    } else if (c == 'j') {
      c = '0';
    } else if (c == '~') {
      s.numberMode = false;
    }
  }
  if (s.capitalNext || s.capitalsLocked) c = asciiUpper(c);
  if (c == kNumberSign) {
    s.numberMode = true;
    return kNoCharacter;
  }
  if (c == kCapitalSign) {
    if (s.capitalNext) s.capitalsLocked = true;
    s.capitalNext = true;
    return kNoCharacter;
  }
  s.capitalNext = false;
  return c;
}

std::vector<uint8_t> toneImage(uint16_t hz) {
  if (hz == 0) return {};
  std::vector<uint8_t> v(kToneBlock, 0);
  const uint32_t f = hz;
  const uint32_t p = kToneRate / f;
  auto fill = [&v](size_t from, size_t count, uint8_t value) {
    for (size_t i = from; i < from + count && i < v.size(); ++i) v[i] = value;
  };
  size_t offset = kWavHeader;
  for (uint32_t k = 1;; ++k) {
    fill(offset, p / 2 + 1, 96);
    fill(offset + p / 2, p - p / 2 + 1, 160);
    offset = (static_cast<size_t>(k) * kToneRate) / f + kWavHeader;
    if (offset > kToneRate - p) break;
  }
  v[offset - 1] = 128;
  const uint32_t dataLength = static_cast<uint32_t>(offset - kWavHeader);
  v.resize(offset);
  writeWavHeader(v.data(), dataLength, kToneRate, 1, 8);
  return v;
}

KeyTranslator::KeyTranslator(Console& console, AudioOutput& audio, EventLog& log)
    : console_(console), audio_(audio), log_(log) {}

void KeyTranslator::handle(const KeyEvent& event) {
  shift_ = event.shift;
  ctrl_ = event.ctrl;
  alt_ = event.alt;
  if (event.type != KeyEvent::Type::Char) {
    const bool down = event.type != KeyEvent::Type::Up;
    if (event.key == VKey::Shift) shift_ = down;
    if (event.key == VKey::Ctrl) ctrl_ = down;
    if (event.key == VKey::Alt) alt_ = down;
  }
  switch (event.type) {
    case KeyEvent::Type::Char:
      charMessage(event);
      return;
    case KeyEvent::Type::Down:
      if ((event.alt && !event.ctrl) || (event.key == VKey::F10 && !event.ctrl)) {
        (void)sysKeyDown(event);
      } else {
        (void)keyDown(event);
      }
      return;
    case KeyEvent::Type::SysDown:
      (void)sysKeyDown(event);
      return;
    case KeyEvent::Type::Up:
      // A key released while Alt is held without Ctrl is a system key-up,
      // left to the platform like its key-down: it ends no Braille chord.
      if (event.alt && !event.ctrl) return;
      (void)keyUp(event);
      return;
  }
}

void KeyTranslator::charMessage(const KeyEvent& event) {
  uint8_t c = event.ch;
  if (event.alt && !event.ctrl) return;  // a system character
  if (event.ctrl && isAsciiLetter(c)) {
    if (event.alt) return;  // Ctrl+Alt+letter gives its Alt code on key-down
    c = static_cast<uint8_t>(c & 0x1F);
  }
  // A lone 0 would make the next key read as an extended key's code.
  if (c == 0) return;
  if (braille_.mode != 0 && (c == ' ' || isAsciiLetter(c))) return;
  if (c == 8)
    c = event.ctrl ? 127 : 8;
  else if (c == 13)
    c = event.ctrl ? 10 : 13;
  const char byte = static_cast<char>(c);
  (void)console_.queueKeyBytes(std::string_view(&byte, 1));
}

bool KeyTranslator::keyDown(const KeyEvent& event) {
  if (breakChecking_ && event.key == VKey::Break && event.ctrl) {
    console_.endByBreak();
  }
  if (event.alt) {
    if (event.ctrl && event.key == VKey::F12) {
      setBrailleMode(0);
    } else if (event.ctrl && event.key == VKey::F11) {
      setBrailleMode(braille_.mode + 1);
    } else if (const auto code = altKeyCode(event.key)) {
      const char bytes[2] = {0, static_cast<char>(*code)};
      (void)console_.queueKeyBytes(std::string_view(bytes, 2));
    }
    return true;
  }
  if (braille_.mode != 0 && !event.ctrl) {
    if (const uint8_t bit = chordBit(event.key)) {
      braille_.chord |= bit;
      braille_.held |= bit;
      return true;
    }
  }
  if (const auto code = specialKeyCode(event.key, event.ctrl, event.shift)) {
    const char bytes[2] = {0, static_cast<char>(*code)};
    (void)console_.queueKeyBytes(std::string_view(bytes, 2));
  }
  return true;
}

bool KeyTranslator::sysKeyDown(const KeyEvent& event) {
  if (!breakChecking_) return false;
  if (event.key != VKey::Left && event.key != VKey::Right) return false;
  KeyEvent plain = event;
  plain.alt = false;
  return keyDown(plain);
}

bool KeyTranslator::keyUp(const KeyEvent& event) {
  if (braille_.mode == 0) return false;
  const bool chordKeyUp = !event.ctrl && (isLetterKey(event.key) || event.key == VKey::Space);
  if (!chordKeyUp) {
    braille_.capitalNext = braille_.capitalsLocked = braille_.numberMode = false;
    return false;
  }
  braille_.held &= static_cast<uint8_t>(~chordBit(event.key));
  if (braille_.held != 0) return true;
  const uint8_t c = completeChord(braille_);
  if (c != kNoCharacter) {
    const char byte = static_cast<char>(c);
    (void)console_.queueKeyBytes(std::string_view(&byte, 1));
  }
  return true;
}

void KeyTranslator::setBrailleMode(int mode) {
  if (mode > 2) mode = 1;
  if (mode < 0) mode = 0;
  auto tone = [this](uint16_t hz) {
    toneStart(hz);
    console_.consoleDelay(200);
    toneStop();
  };
  if (mode == 0) {
    const bool wasOn = braille_.mode != 0;
    braille_ = BrailleState{};
    if (wasOn) tone(100);
  } else {
    tone(800);
    tone(mode == 1 ? 1600 : 400);
  }
  braille_.mode = mode;
}

void KeyTranslator::toneStart(uint16_t hz) {
  toneStop();
  toneImage_ = toneImage(hz);
  if (toneImage_.size() <= kWavHeader) return;
  toneOn_ = true;
  log_.event("tone", static_cast<long long>(hz));
  const PcmFormat format{kToneRate, 8, 1};
  audio_.toneStart(format, toneImage_.data() + kWavHeader, toneImage_.size() - kWavHeader);
}

void KeyTranslator::toneStop() {
  if (toneOn_) audio_.toneStop();
  toneOn_ = false;
  toneImage_.clear();
}

}  // namespace qr
