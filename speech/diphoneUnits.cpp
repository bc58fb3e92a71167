// Pure parts of the syllable-unit synthesiser: token reader, splitting,
// unit names and their fallbacks, index records and bisection, WAV layout.
#include "speech/diphoneUnits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/ascii.h"
#include "base/bytes.h"

namespace speech::units {
namespace {

struct PausePair {
  char c;
  int samples;
};
constexpr std::array<PausePair, 4> kPauses{{{'.', 8000}, {',', 4000}, {';', 6000}, {':', 8000}}};

bool contains(std::string_view set, char c) {
  return c != 0 && set.find(c) != set.npos;
}

bool endsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

void playUnitString(std::string_view u, double f, std::vector<UnitString>& out) {
  out.push_back({std::string(u), f});
}

}  // namespace

bool isVowel(char c) {
  return contains("AEIOUaeiouwy", c);
}
bool isConsonant(char c) {
  return contains("bcdfgjklmnpqrstvxz", c);
}
bool isGlide(char c) {
  return c == 'w' || c == 'y';
}
bool isAccentMark(char c) {
  return c == '^' || c == '~';
}
bool isStressedVowel(char c) {
  return contains("AEIOU", c);
}

int punctuationPause(char c) {
  for (const auto& p : kPauses)
    if (p.c == c) return p.samples;
  return 0;
}

Token readToken(std::string_view text, size_t& pos, int flag) {
  Token t;
  if (pos < text.size() && text[pos] == '[') {
    t.wordStart = true;
    ++pos;
  }
  auto append = [&t](char c) {
    if (t.text.size() < kMaxTokenLength) t.text += c;
  };
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == ' ' || c == ']') {
      t.closedBy = c;
      break;
    }
    if (c == '/') {
      if (t.text.size() <= kMaxNameLength) continue;
      t.closedBy = '/';
      break;
    }
    if (c == '_') {
      append('_');
      if (pos < text.size()) append(text[pos++]);
    } else if (c == '|') {
      t.text = "_TRACO";
    } else {
      append(c);
    }
  }
  if (flag == 0 && t.text.size() == 2 && t.text[0] == '_') {
    if (const int p = punctuationPause(t.text[1]); p > 0) {
      t.text.clear();
      t.pauseSamples = p;
    }
  }
  return t;
}

void splitToken(std::string_view t, double f, std::vector<UnitString>& out) {
  const size_t n = t.size();
  if (n == 0) return;
  if (n == 1) return playUnitString(t, f, out);
  if (n > 2 && isConsonant(t[0]) && isConsonant(t[1])) {
    const std::string_view two = t.substr(0, 2);
    if (two != "dj" && two != "nh" && two != "rr" && two != "ks" && t.substr(0, 3) != "tch") {
      playUnitString(t.substr(0, 1), 1.0, out);
      return splitToken(t.substr(1), f, out);
    }
  }
  if (n > 2 && endsWith(t, "rr")) {
    splitToken(t.substr(0, n - 2), f, out);
    return playUnitString("rr", f, out);
  }
  if (n > 2 && isConsonant(t[n - 1])) {
    splitToken(t.substr(0, n - 1), f, out);
    return splitToken(t.substr(n - 1), f, out);
  }
  if (isGlide(t[n - 1])) {
    if (n > 2 && isVowel(t[n - 2])) {
      splitToken(t.substr(0, n - 1), 0.6, out);
      return playUnitString(t.substr(n - 2), f, out);
    }
    if (n > 2 && isAccentMark(t[n - 2])) {
      if (n > 3) {
        if (t[n - 2] == '~') {
          std::string head(t.substr(0, n - 2));
          head += '^';
          splitToken(head, 0.6, out);
        } else {
          splitToken(t.substr(0, n - 1), 0.6, out);
        }
      }
      const std::string tail{t[n - 3], t[n - 1], t[n - 2]};
      return playUnitString(tail, f, out);
    }
  }
  if (t != "_s" && t[n - 1] == 's') {
    splitToken(t.substr(0, n - 1), 0.7, out);
    return playUnitString("s", f, out);
  }
  playUnitString(t, f, out);
}

std::vector<UnitString> splitToken(std::string_view token, double factor) {
  std::vector<UnitString> out;
  splitToken(token, factor, out);
  return out;
}

void unitNames(std::string_view u, double f, int& stress, std::vector<NamePlay>& out) {
  if (u.size() > kMaxUnitString) u = u.substr(0, kMaxUnitString);
  if (u.empty()) return;
  if (u[0] == '_') {
    if (u.size() < 2) return;
    out.push_back({"_" + std::to_string(static_cast<uint8_t>(u[1])), stress, f});
    return;
  }
  const bool stressed = std::any_of(u.begin(), u.end(), isStressedVowel);
  const int s = stressed ? kStressIn : stress;
  std::string name = "$";
  for (const char c : u) {
    if (c == '^' || c == '~') {
      out.push_back({name + (c == '^' ? "CIRC" : "TIL"), s, f});
      name = "$";
    } else {
      name += c;
    }
  }
  if (name != "$") out.push_back({name, s, f});
  if (stressed) stress = kStressAfter;
}

std::vector<IndexRecord> parseIndex(std::span<const uint8_t> bytes) {
  std::vector<IndexRecord> records;
  const size_t count = bytes.size() / kRecordSize;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* r = bytes.data() + i * kRecordSize;
    const size_t len = std::min<size_t>(r[0], kMaxNameLength);
    records.push_back({std::string(reinterpret_cast<const char*>(r + 1), len), qr::readLe16(r + 9),
                       qr::readLe32(r + 11)});
  }
  return records;
}

void encodeRecord(const IndexRecord& record, uint8_t* out) {
  std::memset(out, 0, kRecordSize);
  const size_t len = std::min(record.name.size(), kMaxNameLength);
  out[0] = static_cast<uint8_t>(len);
  std::memcpy(out + 1, record.name.data(), len);
  qr::putLe16(out + 9, record.length);
  qr::putLe32(out + 11, record.offset);
}

bool nameLess(std::string_view a, std::string_view b) {
  // char_traits<char> compares as unsigned char, so this is byte-wise.
  return a.compare(b) < 0;
}

std::optional<size_t> findUnit(const std::vector<IndexRecord>& records, std::string_view name) {
  size_t lo = 0;
  size_t hi = records.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const int c = std::string_view(records[mid].name).compare(name);
    if (c == 0) return mid;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return std::nullopt;
}

std::string upperName(std::string_view name) {
  return qr::asciiUpper(name);
}

size_t unitBytes(uint32_t recordLength, int stress, size_t nameLength, int unitCut, int unitMinimum,
                 double factor) {
  long len = recordLength;
  if (stress < kStressIn && nameLength > 2) {
    len -= unitCut;
    if (len < unitMinimum) len = std::min<long>(unitMinimum, recordLength);
  }
  len = std::clamp<long>(len, 0, recordLength);
  return static_cast<size_t>(std::lround(static_cast<double>(len) * std::max(factor, 0.0)));
}

void fadeOut(uint8_t* samples, size_t n) {
  const size_t fade = std::min(kCutFadeSamples, n / 2);
  const auto span = static_cast<long>(fade);
  for (size_t i = 0; i < fade; ++i) {
    uint8_t& v = samples[n - fade + i];
    const long weight = static_cast<long>(fade - 1 - i);
    const long d = static_cast<long>(v) - 128;
    // Rounded away from zero: the tail keeps its last step of wave until the
    // final sample instead of dropping to silence early.
    const long faded = (std::abs(d) * weight + span - 1) / span;
    v = static_cast<uint8_t>(128 + (d < 0 ? -faded : faded));
  }
}

void resolveName(std::string_view m, int s, double f, const UnitLookup& lookup,
                 std::vector<Piece>& out) {
  if (m.empty()) return;
  if (m[0] == '_') {
    out.push_back({Piece::Kind::Letter, std::string(m), 0, s, f});
    return;
  }
  if (const auto found = lookup(upperName(m))) {
    out.push_back({Piece::Kind::Unit, std::string(m), *found, s, f});
    return;
  }
  const size_t n = m.size();
  if (n <= 2) {
    out.push_back({Piece::Kind::Noise, std::string(m), 0, s, f});
    return;
  }
  if (isVowel(m[n - 1])) {
    resolveName(m.substr(0, n - 1), s, f * 0.9, lookup, out);
    resolveName(std::string("$") + m[n - 1], s, f, lookup, out);
  } else if (endsWith(m, "CIRC") && n >= 7) {
    resolveName(m.substr(0, n - 5), s, f * 0.9, lookup, out);
    resolveName("$" + std::string(m.substr(n - 5)), s, f, lookup, out);
  } else if (endsWith(m, "TIL")) {
    std::string r(m.substr(0, n - 3));
    int rs = s;
    const char last = upperName(r.substr(r.size() - 1))[0];
    if (last != 'I' && last != 'U') {
      r += "CIRC";
      rs = kStressIn;
    }
    resolveName(r, rs, f * 0.9, lookup, out);
    resolveName("$nn", kStressBefore, 0.9, lookup, out);
  }
}

std::optional<WavView> parseWav(std::span<const uint8_t> img) {
  const auto info = qr::parseWavImage(img.data(), img.size());
  if (!info) return std::nullopt;
  return WavView{info->format.channels, info->format.rate, info->format.bits,
                 img.subspan(info->dataOffset, info->dataLength)};
}

std::vector<uint8_t> toUnitFormat(const WavView& w) {
  std::vector<uint8_t> out;
  if (w.channels == 0 || w.rate == 0 || (w.bits != 8 && w.bits != 16)) return out;
  const size_t frameBytes = static_cast<size_t>(w.channels) * (w.bits / 8);
  const size_t frames = w.data.size() / frameBytes;
  auto sampleAt = [&](size_t frame) -> uint8_t {
    const uint8_t* p = w.data.data() + frame * frameBytes;
    if (w.bits == 8) return p[0];
    return static_cast<uint8_t>(p[1] ^ 0x80);
  };
  if (w.rate == kSampleRate) {
    out.resize(frames);
    for (size_t i = 0; i < frames; ++i) out[i] = sampleAt(i);
    return out;
  }
  const size_t outFrames = static_cast<size_t>(static_cast<double>(frames) * kSampleRate / w.rate);
  out.resize(outFrames);
  for (size_t i = 0; i < outFrames; ++i) {
    const size_t src = static_cast<size_t>(static_cast<double>(i) * w.rate / kSampleRate);
    out[i] = sampleAt(std::min(src, frames - 1));
  }
  return out;
}

void forEachResolvedName(std::string_view phonetic, const UnitLookup& lookup,
                         const PieceVisitor& visit) {
  std::vector<UnitString> strings;
  std::vector<NamePlay> names;
  std::vector<Piece> pieces;
  size_t pos = 0;
  int stress = kStressBefore;
  while (pos < phonetic.size()) {
    const Token token = readToken(phonetic, pos, 0);
    if (token.wordStart) stress = kStressBefore;
    strings.clear();
    splitToken(token.text, 1.0, strings);
    names.clear();
    for (const auto& u : strings) unitNames(u.text, u.factor, stress, names);
    for (const auto& n : names) {
      pieces.clear();
      resolveName(n.name, n.stress, n.factor, lookup, pieces);
      visit(n, pieces);
    }
  }
}

}  // namespace speech::units
