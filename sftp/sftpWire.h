// sftpWire: the packets of the SSH file transfer protocol, version 3
// (draft-ietf-secsh-filexfer-02, the version OpenSSH's server and nearly
// every other one speak). Each packet is a uint32 length, a type byte and
// the body; numbers are big-endian, strings a uint32 length and the bytes.
// Pure code: building requests, cutting a byte stream into packets and
// reading replies; no I/O. Names are bytes as the server gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sftp {

enum class Type : uint8_t {
  Init = 1,
  Version = 2,
  Open = 3,
  Close = 4,
  Read = 5,
  Write = 6,
  Lstat = 7,
  Fstat = 8,
  Setstat = 9,
  Fsetstat = 10,
  Opendir = 11,
  Readdir = 12,
  Remove = 13,
  Mkdir = 14,
  Rmdir = 15,
  Realpath = 16,
  Stat = 17,
  Rename = 18,
  Status = 101,
  Handle = 102,
  Data = 103,
  Name = 104,
  Attrs = 105,
  Extended = 200,
  ExtendedReply = 201,
};

// The status codes of version 3 (section 7 of the draft).
enum class Status : uint32_t {
  Ok = 0,
  Eof = 1,
  NoSuchFile = 2,
  PermissionDenied = 3,
  Failure = 4,
  BadMessage = 5,
  NoConnection = 6,
  ConnectionLost = 7,
  OpUnsupported = 8,
};

// Flags of SSH_FXP_OPEN.
inline constexpr uint32_t kOpenRead = 0x01;
inline constexpr uint32_t kOpenWrite = 0x02;
inline constexpr uint32_t kOpenAppend = 0x04;
inline constexpr uint32_t kOpenCreate = 0x08;
inline constexpr uint32_t kOpenTruncate = 0x10;
inline constexpr uint32_t kOpenExclusive = 0x20;

// What every server must take: a read or write of 32 KiB, a packet of
// 34000 bytes (section 3 of the draft). Larger ones only when the server
// says so (limits@openssh.com).
inline constexpr uint32_t kSafeChunk = 32768;
// The longest packet accepted from a server; a longer length is a broken
// stream, not a packet.
inline constexpr uint32_t kMaxPacket = 1024 * 1024 + 1024;

struct Attributes {
  std::optional<uint64_t> size;
  std::optional<uint32_t> uid, gid;
  std::optional<uint32_t> permissions;  // with the file type bits (S_IFDIR ...)
  std::optional<uint32_t> atime, mtime;
  [[nodiscard]] bool isDirectory() const;
  [[nodiscard]] bool isRegular() const;
  [[nodiscard]] bool isLink() const;
  bool operator==(const Attributes&) const = default;
};

// Builds one packet; finish() gives the bytes with their length in front.
class Writer {
 public:
  Writer(Type type, uint32_t id);
  // INIT carries no request id.
  explicit Writer(Type type);
  Writer& u8(uint8_t v);
  Writer& u32(uint32_t v);
  Writer& u64(uint64_t v);
  Writer& str(std::string_view bytes);
  Writer& attrs(const Attributes& a);
  [[nodiscard]] std::string finish();

 private:
  std::string bytes_;
};

// Reads the body of one packet; any read past its end fails the reader,
// and every later read gives zero or empty.
class Reader {
 public:
  explicit Reader(std::string_view body) : rest_(body) {}
  [[nodiscard]] uint8_t u8();
  [[nodiscard]] uint32_t u32();
  [[nodiscard]] uint64_t u64();
  [[nodiscard]] std::string_view str();
  [[nodiscard]] Attributes attrs();
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] bool atEnd() const { return rest_.empty(); }

 private:
  [[nodiscard]] bool need(size_t n);
  std::string_view rest_;
  bool ok_ = true;
};

struct Packet {
  Type type{};
  std::string_view body;  // after the type byte; valid until the next feed
};

// Cuts received bytes into packets. A length of zero or beyond kMaxPacket
// breaks the stream for good.
class Splitter {
 public:
  void feed(std::string_view bytes);
  // Room for up to n more bytes at the end of the buffer: write into it,
  // then commit() what was written.
  [[nodiscard]] char* room(size_t n);
  void commit(size_t n);
  [[nodiscard]] std::optional<Packet> take();
  [[nodiscard]] bool broken() const { return broken_; }
  [[nodiscard]] size_t buffered() const { return used_ - at_; }
  // The buffer's memory given back when it holds nothing (after a
  // transfer, whose room is large).
  void release();

 private:
  void compact();
  std::string buffer_;
  size_t at_ = 0;
  size_t used_ = 0;  // bytes of buffer_ that hold data (room() grows it)
  bool broken_ = false;
};

// A STATUS reply's code and message.
struct StatusReply {
  uint32_t id = 0;
  Status code = Status::Failure;
  std::string message;
};
[[nodiscard]] std::optional<StatusReply> ReadStatus(std::string_view body);

// A path on the server: name taken as it is when absolute, else under dir.
[[nodiscard]] std::string JoinPath(std::string_view dir, std::string_view name);

}  // namespace sftp
