// sftpDlg: requests, replies and the simple operations.
#include "sftp/sftpDlg.h"

#include <algorithm>

#include "base/cp1252.h"
#include "ftp/ftpTela.h"
#include "sftp/sftpDlgInternal.h"
#include "sftp/sftpSsh.h"

namespace sftp {

namespace {

constexpr uint32_t kVersion = 3;
constexpr std::string_view kLimits = "limits@openssh.com";

}  // namespace

Result StatusResult(Status code, std::string_view message) {
  Result r;
  switch (code) {
    case Status::Ok:
      return r;
    case Status::NoSuchFile:
      r.outcome = Outcome::NotFound;
      break;
    case Status::PermissionDenied:
      r.outcome = Outcome::Denied;
      break;
    case Status::OpUnsupported:
      r.outcome = Outcome::Unsupported;
      break;
    case Status::NoConnection:
    case Status::ConnectionLost:
      r.outcome = Outcome::Lost;
      break;
    case Status::Eof:
    case Status::Failure:
    case Status::BadMessage:
      r.outcome = Outcome::Failed;
      break;
    default:
      r.outcome = Outcome::Failed;
      break;
  }
  r.message = qr::fromUtf8(message);
  return r;
}

Result ReplyStatus(Type type, std::string_view body) {
  if (type != Type::Status) return {Outcome::Failed, qr::W("resposta inesperada do servidor"), 0};
  Reader r(body);
  const auto code = static_cast<Status>(r.u32());
  const std::string_view message = r.atEnd() ? std::string_view() : r.str();
  if (!r.ok()) return {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
  return StatusResult(code, message);
}

Dlg::Dlg(ftp::Tela& ui, Ssh& ssh, int deadlineMs)
    : ui_(ui), ssh_(ssh), deadlineMs_(deadlineMs), asks_(kCommandRoom, kCommandRoom) {}

void Dlg::queue(std::string packet) {
  if (out_.empty()) {
    out_ = std::move(packet);
    outAt_ = 0;
  } else {
    out_ += packet;
  }
}

Result Dlg::lostResult() const {
  return {Outcome::Lost, qr::fromUtf8(lost_), 0};
}

bool Dlg::pump(int ms) {
  if (!lost_.empty()) return false;
  bool moved = false;
  while (outAt_ < out_.size()) {
    const long n = ssh_.send(std::string_view(out_).substr(outAt_));
    if (n < 0) {
      lost_ = ssh_.failure().empty() ? "a conexão caiu" : ssh_.failure();
      return false;
    }
    if (n == 0) break;
    outAt_ += static_cast<size_t>(n);
    moved = true;
  }
  if (outAt_ == out_.size()) {
    out_.clear();
    outAt_ = 0;
  } else if (outAt_ >= kOutboxLimit) {
    out_.erase(0, outAt_);
    outAt_ = 0;
  }
  // libssh takes at most 4 KiB from the socket per call, so a packet may
  // take several calls that bring nothing: they go on while a call still
  // finds bytes on the socket, rather than waiting for it.
  for (int i = 0; i < kReceivesPerPump; ++i) {
    const size_t ask = asks_.next();
    const uint64_t socketBefore = ssh_.bytesReadFromSocket();
    const long n = ssh_.receive(in_.room(ask), ask);
    if (n < 0) {
      lost_ = ssh_.failure().empty() ? "a conexão caiu" : ssh_.failure();
      return false;
    }
    asks_.took(ask, static_cast<size_t>(n));
    if (n == 0) {
      if (ssh_.bytesReadFromSocket() == socketBefore) break;
      moved = true;
      continue;
    }
    in_.commit(static_cast<size_t>(n));
    heard_ = Clock::now();
    moved = true;
  }
  if (in_.broken()) {
    lost_ = "o servidor mandou um pacote inválido";
    return false;
  }
  if (!moved && ms > 0) ssh_.wait(ms);
  return true;
}

Result Dlg::await(uint32_t id, Reply& reply, bool escapable) {
  heard_ = Clock::now();
  for (;;) {
    while (const std::optional<Packet> p = in_.take()) {
      if (p->type == Type::Version) {
        if (id != 0) continue;
        reply.type = p->type;
        reply.body = std::string(p->body);
        return {};
      }
      Reader r(p->body);
      if (r.u32() != id || id == 0) continue;
      reply.type = p->type;
      reply.body = std::string(p->body.substr(4));
      return {};
    }
    if (!lost_.empty()) return lostResult();
    if (escapable && ui_.keyPending() && ui_.takeEscape()) return {Outcome::Escaped, {}, 0};
    if (Clock::now() - heard_ > std::chrono::milliseconds(deadlineMs_)) {
      lost_ = "o servidor não respondeu";
      return lostResult();
    }
    (void)pump(kSliceMs);
  }
}

Result Dlg::call(std::string packet, uint32_t id, Reply& reply) {
  if (!lost_.empty()) return lostResult();
  queue(std::move(packet));
  return await(id, reply);
}

Result Dlg::statusCall(std::string packet, uint32_t id) {
  Reply reply;
  const Result r = call(std::move(packet), id, reply);
  if (!r.ok()) return r;
  return ReplyStatus(reply.type, reply.body);
}

Result Dlg::Start() {
  Reply reply;
  Result r = call(Writer(Type::Init).u32(kVersion).finish(), 0, reply);
  if (!r.ok()) return r;
  Reader v(reply.body);
  version_ = v.u32();
  while (v.ok() && !v.atEnd()) {
    const std::string_view name = v.str();
    (void)v.str();
    if (name == kLimits) hasLimits_ = true;
  }
  if (version_ < kVersion) return {Outcome::Unsupported, "SFTP " + std::to_string(version_), 0};
  ui_.logEvent("sftp", "version " + std::to_string(version_));
  if (hasLimits_) {
    r = queryLimits();
    if (r.outcome == Outcome::Lost || r.outcome == Outcome::Escaped) return r;
  }
  return {};
}

Result Dlg::queryLimits() {
  const uint32_t id = nextId_++;
  Reply reply;
  const Result r = call(Writer(Type::Extended, id).str(kLimits).finish(), id, reply);
  if (!r.ok()) return r;
  if (reply.type != Type::ExtendedReply) return ReplyStatus(reply.type, reply.body);
  Reader l(reply.body);
  const uint64_t maxPacket = l.u64();
  const uint64_t maxRead = l.u64();
  const uint64_t maxWrite = l.u64();
  if (!l.ok()) return {};
  // Zero means "no limit given"; the header of a WRITE must fit in the
  // packet beside its data.
  auto chunk = [&](uint64_t limit) -> uint32_t {
    uint64_t c = limit == 0 ? kSafeChunk : limit;
    if (maxPacket > 1024) c = std::min<uint64_t>(c, maxPacket - 1024);
    return static_cast<uint32_t>(std::clamp<uint64_t>(c, 1024, kMaxChunk));
  };
  readChunk_ = chunk(maxRead);
  writeChunk_ = chunk(maxWrite);
  ui_.logEvent("sftp", "chunks " + std::to_string(readChunk_) + "/" + std::to_string(writeChunk_));
  return {};
}

Result Dlg::RealPath(std::string_view path, std::string& resolved) {
  const uint32_t id = nextId_++;
  Reply reply;
  const Result r = call(Writer(Type::Realpath, id).str(path).finish(), id, reply);
  if (!r.ok()) return r;
  if (reply.type != Type::Name) return ReplyStatus(reply.type, reply.body);
  Reader n(reply.body);
  const uint32_t count = n.u32();
  const std::string_view name = n.str();
  if (!n.ok() || count < 1) return {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
  resolved = std::string(name);
  return {};
}

Result Dlg::Stat(std::string_view path, Attributes& attrs) {
  const uint32_t id = nextId_++;
  Reply reply;
  const Result r = call(Writer(Type::Stat, id).str(path).finish(), id, reply);
  if (!r.ok()) return r;
  if (reply.type != Type::Attrs) return ReplyStatus(reply.type, reply.body);
  Reader a(reply.body);
  attrs = a.attrs();
  if (!a.ok()) return {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
  return {};
}

Result Dlg::openHandle(Type type, std::string_view path, uint32_t flags, std::string& handle) {
  const uint32_t id = nextId_++;
  Writer w(type, id);
  w.str(path);
  if (type == Type::Open) w.u32(flags).attrs({});
  Reply reply;
  const Result r = call(w.finish(), id, reply);
  if (!r.ok()) return r;
  if (reply.type != Type::Handle) return ReplyStatus(reply.type, reply.body);
  Reader h(reply.body);
  handle = std::string(h.str());
  if (!h.ok()) return {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
  return {};
}

Result Dlg::closeHandle(const std::string& handle) {
  if (!lost_.empty()) return lostResult();
  const uint32_t id = nextId_++;
  queue(Writer(Type::Close, id).str(handle).finish());
  Reply reply;
  // A close is the end of what was begun: ESC does not leave it half done
  // (its reply still has the deadline).
  const Result r = await(id, reply, false);
  if (!r.ok()) return r;
  return ReplyStatus(reply.type, reply.body);
}

Result Dlg::List(std::string_view dir, std::vector<Entry>& entries) {
  entries.clear();
  std::string handle;
  Result r = openHandle(Type::Opendir, dir, 0, handle);
  if (!r.ok()) return r;
  for (;;) {
    const uint32_t id = nextId_++;
    Reply reply;
    r = call(Writer(Type::Readdir, id).str(handle).finish(), id, reply);
    if (!r.ok()) break;
    if (reply.type == Type::Status) {
      r = ReplyStatus(reply.type, reply.body);
      Reader s(reply.body);
      if (static_cast<Status>(s.u32()) == Status::Eof) r = {};
      break;
    }
    if (reply.type != Type::Name) {
      r = {Outcome::Failed, qr::W("resposta inesperada do servidor"), 0};
      break;
    }
    Reader n(reply.body);
    const uint32_t count = n.u32();
    for (uint32_t i = 0; i < count && n.ok(); ++i) {
      Entry e;
      e.name = std::string(n.str());
      e.longname = std::string(n.str());
      e.attrs = n.attrs();
      if (n.ok() && e.name != "." && e.name != "..") entries.push_back(std::move(e));
    }
    if (!n.ok()) {
      r = {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
      break;
    }
  }
  if (r.outcome == Outcome::Lost) return r;
  const Result closed = closeHandle(handle);
  return r.ok() ? closed : r;
}

Result Dlg::MakeDirectory(std::string_view path) {
  const uint32_t id = nextId_++;
  return statusCall(Writer(Type::Mkdir, id).str(path).attrs({}).finish(), id);
}

Result Dlg::RemoveDirectory(std::string_view path) {
  const uint32_t id = nextId_++;
  return statusCall(Writer(Type::Rmdir, id).str(path).finish(), id);
}

Result Dlg::Remove(std::string_view path) {
  const uint32_t id = nextId_++;
  return statusCall(Writer(Type::Remove, id).str(path).finish(), id);
}

Result Dlg::Rename(std::string_view from, std::string_view to) {
  const uint32_t id = nextId_++;
  return statusCall(Writer(Type::Rename, id).str(from).str(to).finish(), id);
}

}  // namespace sftp
