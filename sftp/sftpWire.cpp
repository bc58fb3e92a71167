// sftpWire: packet building and reading.
#include "sftp/sftpWire.h"

#include <cstring>

namespace sftp {

namespace {

constexpr uint32_t kAttrSize = 0x00000001;
constexpr uint32_t kAttrUidGid = 0x00000002;
constexpr uint32_t kAttrPermissions = 0x00000004;
constexpr uint32_t kAttrTimes = 0x00000008;
constexpr uint32_t kAttrExtended = 0x80000000;

constexpr uint32_t kTypeMask = 0170000;
constexpr uint32_t kDirectory = 0040000;
constexpr uint32_t kRegular = 0100000;
constexpr uint32_t kLink = 0120000;

uint32_t be32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | u[3];
}

}  // namespace

bool Attributes::isDirectory() const {
  return permissions && (*permissions & kTypeMask) == kDirectory;
}

bool Attributes::isRegular() const {
  return permissions && (*permissions & kTypeMask) == kRegular;
}

bool Attributes::isLink() const {
  return permissions && (*permissions & kTypeMask) == kLink;
}

Writer::Writer(Type type, uint32_t id) : Writer(type) {
  u32(id);
}

Writer::Writer(Type type) {
  bytes_.assign(4, '\0');  // the length, filled in by finish()
  bytes_.push_back(static_cast<char>(type));
}

Writer& Writer::u8(uint8_t v) {
  bytes_.push_back(static_cast<char>(v));
  return *this;
}

Writer& Writer::u32(uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
  bytes_.append(b, 4);
  return *this;
}

Writer& Writer::u64(uint64_t v) {
  u32(static_cast<uint32_t>(v >> 32));
  return u32(static_cast<uint32_t>(v));
}

Writer& Writer::str(std::string_view bytes) {
  u32(static_cast<uint32_t>(bytes.size()));
  bytes_.append(bytes);
  return *this;
}

Writer& Writer::attrs(const Attributes& a) {
  uint32_t flags = 0;
  if (a.size) flags |= kAttrSize;
  if (a.uid && a.gid) flags |= kAttrUidGid;
  if (a.permissions) flags |= kAttrPermissions;
  if (a.atime && a.mtime) flags |= kAttrTimes;
  u32(flags);
  if (a.size) u64(*a.size);
  if (a.uid && a.gid) u32(*a.uid).u32(*a.gid);
  if (a.permissions) u32(*a.permissions);
  if (a.atime && a.mtime) u32(*a.atime).u32(*a.mtime);
  return *this;
}

std::string Writer::finish() {
  const uint32_t length = static_cast<uint32_t>(bytes_.size() - 4);
  bytes_[0] = static_cast<char>(length >> 24);
  bytes_[1] = static_cast<char>(length >> 16);
  bytes_[2] = static_cast<char>(length >> 8);
  bytes_[3] = static_cast<char>(length);
  return std::move(bytes_);
}

bool Reader::need(size_t n) {
  if (ok_ && rest_.size() >= n) return true;
  ok_ = false;
  rest_ = {};
  return false;
}

uint8_t Reader::u8() {
  if (!need(1)) return 0;
  const auto v = static_cast<uint8_t>(rest_[0]);
  rest_.remove_prefix(1);
  return v;
}

uint32_t Reader::u32() {
  if (!need(4)) return 0;
  const uint32_t v = be32(rest_.data());
  rest_.remove_prefix(4);
  return v;
}

uint64_t Reader::u64() {
  const uint64_t high = u32();
  return (high << 32) | u32();
}

std::string_view Reader::str() {
  const uint32_t n = u32();
  if (!need(n)) return {};
  const std::string_view v = rest_.substr(0, n);
  rest_.remove_prefix(n);
  return v;
}

Attributes Reader::attrs() {
  Attributes a;
  const uint32_t flags = u32();
  if (flags & kAttrSize) a.size = u64();
  if (flags & kAttrUidGid) {
    a.uid = u32();
    a.gid = u32();
  }
  if (flags & kAttrPermissions) a.permissions = u32();
  if (flags & kAttrTimes) {
    a.atime = u32();
    a.mtime = u32();
  }
  if (flags & kAttrExtended) {
    const uint32_t count = u32();
    for (uint32_t i = 0; i < count && ok_; ++i) {
      (void)str();
      (void)str();
    }
  }
  return ok_ ? a : Attributes{};
}

void Splitter::compact() {
  if (at_ == 0) return;
  std::memmove(buffer_.data(), buffer_.data() + at_, used_ - at_);
  used_ -= at_;
  at_ = 0;
}

char* Splitter::room(size_t n) {
  if (at_ == used_) at_ = used_ = 0;
  if (buffer_.size() - used_ < n) {
    // Room for twice what is asked: a stream read in small pieces into a
    // large room moves its unread bytes once per room's worth, not at
    // every read.
    compact();
    if (buffer_.size() - used_ < n) buffer_.resize(used_ + 2 * n);
  }
  return buffer_.data() + used_;
}

void Splitter::release() {
  if (at_ != used_) return;
  std::string().swap(buffer_);
  at_ = used_ = 0;
}

void Splitter::commit(size_t n) {
  used_ += n;
}

void Splitter::feed(std::string_view bytes) {
  std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
  commit(bytes.size());
}

std::optional<Packet> Splitter::take() {
  if (broken_ || used_ - at_ < 4) return std::nullopt;
  const uint32_t length = be32(buffer_.data() + at_);
  if (length == 0 || length > kMaxPacket) {
    broken_ = true;
    return std::nullopt;
  }
  if (used_ - at_ < 4 + size_t{length}) return std::nullopt;
  Packet p;
  p.type = static_cast<Type>(static_cast<uint8_t>(buffer_[at_ + 4]));
  p.body = std::string_view(buffer_.data() + at_ + 5, length - 1);
  at_ += 4 + size_t{length};
  return p;
}

std::optional<StatusReply> ReadStatus(std::string_view body) {
  Reader r(body);
  StatusReply s;
  s.id = r.u32();
  s.code = static_cast<Status>(r.u32());
  if (!r.ok()) return std::nullopt;
  // The message and its language tag came with version 3; some old servers
  // leave them out.
  if (!r.atEnd()) {
    const std::string_view message = r.str();
    if (r.ok()) s.message = std::string(message);
  }
  return s;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (name.starts_with('/') || dir.empty()) return std::string(name);
  if (name.empty()) return std::string(dir);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

}  // namespace sftp
