// Encoding and decoding of the diphone database file (layout in dbFormat.h).
#include "synth/dbFormat.h"

#include <cstring>

namespace synth {
namespace {

uint32_t fnv1a(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

struct Writer {
  std::vector<uint8_t> out;
  void u8(uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v), u8(v >> 8); }
  void u32(uint32_t v) { u16(v & 0xffff), u16(v >> 16); }
  void bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
  }
};

// Reads forward through the bytes; any read past the end fails the reader
// for good, so the decoder checks once per block.
struct Reader {
  const std::vector<uint8_t>& in;
  size_t at = 0;
  bool ok = true;
  bool has(size_t n) {
    if (!ok || in.size() - at < n) ok = false;
    return ok;
  }
  uint32_t u8() { return has(1) ? in[at++] : 0; }
  uint32_t u16() {
    const uint32_t lo = u8();
    return lo | (u8() << 8);
  }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | (u16() << 16);
  }
};

}  // namespace

std::vector<uint8_t> encodeDatabase(const Database& db) {
  Writer w;
  w.bytes(kDbMagic, 8);
  w.u32(db.rate);
  w.u32(static_cast<uint32_t>(db.pitch * 100 + 0.5));
  w.u16(db.margin);
  if (db.phonemes.size() > 255) return {};
  w.u16(static_cast<uint32_t>(db.phonemes.size()));
  for (const auto& name : db.phonemes) {
    if (name.empty() || name.size() > 15) return {};
    w.u8(static_cast<uint32_t>(name.size()));
    w.bytes(name.data(), name.size());
  }
  w.u32(static_cast<uint32_t>(db.diphones.size()));
  uint32_t mark = 0;
  for (const auto& d : db.diphones) {
    if (d.marks.size() > 255 || mark >= (1u << 24)) return {};
    w.u8(d.first), w.u8(d.second), w.u16(0);
    w.u32(d.start), w.u32(d.count), w.u32(d.boundary);
    w.u32(mark | static_cast<uint32_t>(d.marks.size()) << 24);
    mark += static_cast<uint32_t>(d.marks.size());
  }
  w.u32(mark);
  for (const auto& d : db.diphones)
    for (const auto& m : d.marks) w.u32((m.at & 0x7fffffffu) | (m.voiced ? 0x80000000u : 0));
  w.u32(static_cast<uint32_t>(db.samples.size()));
  for (const int16_t s : db.samples) w.u16(static_cast<uint16_t>(s));
  w.u32(static_cast<uint32_t>(db.info.size()));
  w.bytes(db.info.data(), db.info.size());
  w.u32(fnv1a(w.out.data(), w.out.size()));
  return w.out;
}

std::optional<Database> decodeDatabase(const std::vector<uint8_t>& bytes, std::string* why) {
  auto fail = [why](const char* reason) -> std::optional<Database> {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (bytes.size() < 8 + 4 + 4 + 2 + 2 + 4 * 5 || std::memcmp(bytes.data(), kDbMagic, 8) != 0)
    return fail("not a diphone database");
  const size_t body = bytes.size() - 4;
  const uint32_t sum = bytes[body] | bytes[body + 1] << 8 | bytes[body + 2] << 16 |
                       static_cast<uint32_t>(bytes[body + 3]) << 24;
  if (fnv1a(bytes.data(), body) != sum) return fail("damaged or truncated (checksum)");
  Reader r{bytes, 8};
  Database db;
  db.rate = r.u32();
  db.pitch = r.u32() / 100.0;
  db.margin = static_cast<uint16_t>(r.u16());
  if (db.rate < 4000 || db.rate > 96000 || db.pitch < 30 || db.pitch > 500)
    return fail("sample rate or pitch out of range");
  const uint32_t nPhonemes = r.u16();
  for (uint32_t i = 0; i < nPhonemes && r.ok; ++i) {
    const uint32_t len = r.u8();
    if (len == 0 || len > 15 || !r.has(len)) return fail("bad phoneme name");
    db.phonemes.emplace_back(reinterpret_cast<const char*>(&bytes[r.at]), len);
    r.at += len;
  }
  const uint32_t nDiphones = r.u32();
  if (!r.ok || nDiphones > (body - r.at) / 20) return fail("diphone table truncated");
  std::vector<std::pair<uint32_t, uint32_t>> markRanges;
  db.diphones.resize(nDiphones);
  for (auto& d : db.diphones) {
    d.first = static_cast<uint8_t>(r.u8());
    d.second = static_cast<uint8_t>(r.u8());
    r.u16();
    d.start = r.u32(), d.count = r.u32(), d.boundary = r.u32();
    const uint32_t m = r.u32();
    markRanges.emplace_back(m & 0xffffff, m >> 24);
    if (d.first >= nPhonemes || d.second >= nPhonemes || d.boundary > d.count)
      return fail("bad diphone record");
  }
  const uint32_t nMarks = r.u32();
  if (!r.ok || nMarks > (body - r.at) / 4) return fail("mark table truncated");
  std::vector<Mark> marks(nMarks);
  for (auto& m : marks) {
    const uint32_t v = r.u32();
    m = {v & 0x7fffffffu, (v & 0x80000000u) != 0};
  }
  const uint32_t nSamples = r.u32();
  if (!r.ok || nSamples > (body - r.at) / 2) return fail("samples truncated");
  db.samples.resize(nSamples);
  for (auto& s : db.samples) s = static_cast<int16_t>(r.u16());
  const uint32_t infoLen = r.u32();
  if (!r.has(infoLen)) return fail("description truncated");
  db.info.assign(reinterpret_cast<const char*>(&bytes[r.at]), infoLen);
  r.at += infoLen;
  if (r.at != body) return fail("trailing bytes");
  for (size_t i = 0; i < nDiphones; ++i) {
    auto& d = db.diphones[i];
    const auto [first, count] = markRanges[i];
    if (d.start < db.margin || static_cast<uint64_t>(d.start) + d.count + db.margin > nSamples ||
        static_cast<uint64_t>(first) + count > nMarks)
      return fail("diphone outside the sample or mark block");
    d.marks.assign(marks.begin() + first, marks.begin() + first + count);
    for (size_t k = 0; k < d.marks.size(); ++k)
      if (d.marks[k].at >= d.count || (k > 0 && d.marks[k].at <= d.marks[k - 1].at))
        return fail("pitch marks out of order");
  }
  return db;
}

}  // namespace synth
