// The pure parts of file transfer over SSH: packets cut from a stream that
// arrives in any pieces, replies that lie about their lengths, the run of
// received pieces without a gap, the server's identification line, and
// how a host key is told and judged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1252.h"
#include "sftp/sftpDlgInternal.h"
#include "sftp/sftpHostKey.h"
#include "sftp/sftpSsh.h"
#include "sftp/sftpWire.h"

namespace {

using sftp::Packet;
using sftp::Reader;
using sftp::Splitter;
using sftp::Type;
using sftp::Writer;

std::string dataReply(uint32_t id, const std::string& bytes) {
  return Writer(Type::Data, id).str(bytes).finish();
}

TEST(SftpWire, PacketsSurviveAnyCutOfTheStream) {
  const std::string stream = dataReply(7, "abc") + dataReply(8, std::string(70000, 'x')) +
                             Writer(Type::Status, 9).u32(1).str("fim").str("").finish();
  for (size_t piece : {1u, 3u, 5u, 4096u, 100000u}) {
    Splitter s;
    std::vector<std::string> bodies;
    for (size_t at = 0; at < stream.size(); at += piece) {
      s.feed(std::string_view(stream).substr(at, piece));
      while (const auto p = s.take())
        bodies.push_back(std::to_string(int(p->type)) + ":" + std::to_string(p->body.size()));
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"103:11", "103:70008", "101:19"})) << piece;
    EXPECT_EQ(s.buffered(), 0u);
  }
}

TEST(SftpWire, GivingTheBufferBackNeverDropsUnreadBytes) {
  const std::string two = dataReply(1, "um") + dataReply(2, "dois");
  Splitter s;
  s.feed(std::string_view(two).substr(0, two.size() - 3));
  ASSERT_TRUE(s.take().has_value());
  s.release();  // half of the second packet is held: kept
  s.feed(std::string_view(two).substr(two.size() - 3));
  const auto second = s.take();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->body.substr(4 + 4), "dois");
  s.release();  // empty: given back, and the stream goes on
  s.feed(dataReply(3, "tres"));
  const auto third = s.take();
  ASSERT_TRUE(third.has_value());
  EXPECT_EQ(third->body.substr(4 + 4), "tres");
}

TEST(SftpWire, ImpossibleLengthsBreakTheStreamForGood) {
  for (const std::string& bad : {std::string("\0\0\0\0", 4), std::string("\xff\xff\xff\xff", 4),
                                 std::string("\x00\x20\x00\x00", 4)}) {
    Splitter s;
    s.feed(bad + dataReply(1, "ok"));
    EXPECT_FALSE(s.take().has_value());
    EXPECT_TRUE(s.broken());
  }
}

TEST(SftpWire, ReadsPastTheEndGiveNothingAndStayFailed) {
  // A name that claims more bytes than the packet holds, then an attribute
  // block cut short.
  const std::string body = Writer(Type::Name, 1).u32(1).finish().substr(9) + std::string(
                                                                                 "\x00\x00\x10\x00"
                                                                                 "ab",
                                                                                 6);
  Reader r(body);
  EXPECT_EQ(r.u32(), 1u);
  EXPECT_EQ(r.str(), "");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.u32(), 0u);

  sftp::Attributes a;
  a.size = 5;
  a.permissions = 040755;
  a.atime = 1;
  a.mtime = 2;
  std::string full = Writer(Type::Attrs, 3).attrs(a).finish().substr(9);
  Reader whole(full);
  EXPECT_EQ(whole.attrs(), a);
  EXPECT_TRUE(whole.ok());
  EXPECT_TRUE(a.isDirectory());
  Reader cut(std::string_view(full).substr(0, full.size() - 2));
  EXPECT_EQ(cut.attrs(), sftp::Attributes{});
  EXPECT_FALSE(cut.ok());
}

TEST(SftpWire, StatusWithOrWithoutItsMessage) {
  const auto full = sftp::ReadStatus(
      Writer(Type::Status, 4).u32(3).str("Permission denied").str("en").finish().substr(5));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->id, 4u);
  EXPECT_EQ(full->code, sftp::Status::PermissionDenied);
  EXPECT_EQ(full->message, "Permission denied");
  // Servers of the version before 3 send the code alone.
  const auto bare = sftp::ReadStatus(Writer(Type::Status, 5).u32(1).finish().substr(5));
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->code, sftp::Status::Eof);
  EXPECT_EQ(bare->message, "");
  EXPECT_FALSE(sftp::ReadStatus(std::string("\0\0\0\5", 4)));

  const sftp::Result denied = sftp::StatusResult(sftp::Status::PermissionDenied, "negado \xc3\xa9");
  EXPECT_EQ(denied.outcome, sftp::Outcome::Denied);
  EXPECT_EQ(denied.message, qr::W("negado é"));
  EXPECT_TRUE(sftp::StatusResult(sftp::Status::Ok, "").ok());
  // A reply of the wrong kind where a status was due is no success.
  EXPECT_FALSE(sftp::ReplyStatus(Type::Handle, "").ok());
}

TEST(SftpWire, PathsJoinUnderTheCurrentDirectory) {
  struct Case {
    std::string dir, name, joined;
  } cases[] = {
      {"/home/ana", "a.txt", "/home/ana/a.txt"},
      {"/home/ana/", "a.txt", "/home/ana/a.txt"},
      {"/home/ana", "/etc/x", "/etc/x"},
      {"/", "pub", "/pub"},
      {"/home/ana", "", "/home/ana"},
      {"", "rel", "rel"},
  };
  for (const Case& c : cases) EXPECT_EQ(sftp::JoinPath(c.dir, c.name), c.joined) << c.dir << c.name;
}

// Pieces of a receive arrive out of order and short; only the run without
// a gap from the start may be kept.
TEST(SftpWire, OnlyTheRunWithoutAGapCounts) {
  struct Case {
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    uint64_t contiguous;
  } cases[] = {
      {{{0, 10}, {10, 10}}, 20}, {{{10, 10}}, 0},
      {{{10, 10}, {0, 10}}, 20}, {{{20, 5}, {10, 10}, {0, 10}}, 25},
      {{{0, 10}, {15, 5}}, 10},  {{{0, 10}, {5, 10}, {30, 1}, {15, 15}}, 31},
      {{{0, 0}, {0, 3}}, 3},
  };
  for (const Case& c : cases) {
    sftp::Arrivals a(0);
    for (auto [o, n] : c.pieces) a.add(o, n);
    EXPECT_EQ(a.contiguous(), c.contiguous) << c.pieces.size() << " pieces";
  }
  sftp::Arrivals resumed(100);
  resumed.add(0, 50);  // before the start: changes nothing
  resumed.add(100, 1);
  EXPECT_EQ(resumed.contiguous(), 101u);
}

// A transfer's requests in flight: as many as fill the window, within
// bounds; each reply taken once, and only for an id that was asked.
TEST(SftpWire, AWindowAnswersEachOfItsOwnRequestsOnce) {
  struct Case {
    uint32_t chunk;
    size_t depth;
  } cases[] = {{256 * 1024, sftp::kInFlightBytes / (256 * 1024)},
               {1024, sftp::kMaxRequests},
               {32 * 1024 * 1024, sftp::kMinRequests},
               {0, sftp::kMaxRequests}};
  for (const Case& c : cases) EXPECT_EQ(sftp::Window(0, c.chunk).depth(), c.depth) << c.chunk;

  sftp::Window w(100, 256 * 1024);
  uint32_t id = 1;
  for (; !w.full(); ++id) w.ask(id, {100 + (id - 1) * 10ull, 10});
  EXPECT_EQ(id - 1, w.depth());
  EXPECT_FALSE(w.answer(id).has_value());
  const auto third = w.answer(3);
  ASSERT_TRUE(third.has_value());
  EXPECT_EQ(third->offset, 120u);
  EXPECT_FALSE(w.answer(3).has_value());
  EXPECT_FALSE(w.full());
  w.done(third->offset, third->length);
  EXPECT_EQ(w.contiguous(), 100u);
  w.done(100, 20);
  EXPECT_EQ(w.contiguous(), 130u);
  for (uint32_t i = 1; i < id; ++i) (void)w.answer(i);
  EXPECT_TRUE(w.idle());
}

// The server's window as libssh keeps it: topped up to what a read asks
// for, with a message to the server, whenever it is below that. A long
// receive sends few such messages, and the window never gets near closing.
TEST(SftpWire, ReadsOpenTheWindowRarelyAndNeverLetItClose) {
  sftp::Asks asks(sftp::kReceiveWindow, sftp::kCommandRoom);
  uint64_t window = 64 * 1024;  // what the channel opened with
  uint64_t lowest = UINT64_MAX;
  int messages = 0;
  const uint64_t total = 256ull * 1024 * 1024;
  for (uint64_t got = 0; got < total;) {
    const size_t ask = asks.next();
    if (ask > window) {
      window = ask;
      ++messages;
    }
    // One packet of the server's at most, within the window.
    const uint64_t n = std::min<uint64_t>({32 * 1024, window, ask});
    ASSERT_GT(n, 0u) << "the window closed after " << got << " bytes";
    window -= n;
    got += n;
    asks.took(ask, n);
    if (messages > 0) lowest = std::min(lowest, window);
  }
  EXPECT_LE(messages, total / (sftp::kReceiveWindow / 4) + 1);
  EXPECT_GE(lowest, sftp::kReceiveWindow / 2);
  // Outside transfers every read asks for the small room.
  sftp::Asks commands(sftp::kCommandRoom, sftp::kCommandRoom);
  commands.took(commands.next(), 1000);
  EXPECT_EQ(commands.next(), sftp::kCommandRoom);
}

TEST(SftpWire, IdentificationTellsSshFromOtherProtocols) {
  using Kind = sftp::Identification::Kind;
  struct Case {
    std::string received;
    Kind kind;
    std::string firstLine;
  } cases[] = {
      {"SSH-2.0-OpenSSH_9.2p1 Debian\r\n", Kind::Ssh, ""},
      {"SSH-2.0-Open", Kind::Incomplete, ""},
      {"", Kind::Incomplete, ""},
      {"220 FTP pronto\r\n", Kind::Other, "220 FTP pronto"},
      {"Bem-vindo\r\nSSH-2.0-x\r\n", Kind::Ssh, "Bem-vindo"},  // RFC 4253 4.2: lines before
      {"HTTP/1.1 400 Bad Request\r\nServer: x\r\n", Kind::Other, "HTTP/1.1 400 Bad Request"},
  };
  for (const Case& c : cases) {
    const sftp::Identification id = sftp::IdentificationOf(c.received);
    EXPECT_EQ(id.kind, c.kind) << c.received;
    EXPECT_EQ(id.firstLine, c.firstLine) << c.received;
  }
}

TEST(SftpHostKey, KeysAreToldAndJudged) {
  const std::string fp = "SHA256:jR6wWSQqa9Flu1KWkIk4sYTloNy7naNAFmCXNxx8a5g";
  EXPECT_EQ(sftp::FingerprintTail(fp), "Nxx8 a5g");
  EXPECT_EQ(sftp::FingerprintTail("SHA256:abcdefgh"), "abcd efgh");
  EXPECT_EQ(sftp::FingerprintTail("SHA256:ab"), "ab");
  EXPECT_EQ(sftp::SpokenCharacters("Nx+8 a/g"), qr::W("N maiúsculo, x, mais, 8, a, barra, g"));
  EXPECT_EQ(sftp::KeyTypeName("ssh-ed25519"), "ED25519");
  EXPECT_EQ(sftp::KeyTypeName("ecdsa-sha2-nistp384"), "ECDSA");
  EXPECT_EQ(sftp::KeyTypeName("ssh-rsa"), "RSA");
  EXPECT_EQ(sftp::KeyTypeName("novo-tipo"), "novo-tipo");

  using sftp::HostKeyVerdict;
  using sftp::KnownState;
  EXPECT_EQ(sftp::JudgeHostKey(KnownState::Known), HostKeyVerdict::Trust);
  EXPECT_EQ(sftp::JudgeHostKey(KnownState::Unknown), HostKeyVerdict::Ask);
  EXPECT_EQ(sftp::JudgeHostKey(KnownState::Changed), HostKeyVerdict::Impostor);
  EXPECT_EQ(sftp::JudgeHostKey(KnownState::OtherType), HostKeyVerdict::Impostor);
  EXPECT_EQ(sftp::JudgeHostKey(KnownState::Unreadable), HostKeyVerdict::CannotCheck);
}

}  // namespace
