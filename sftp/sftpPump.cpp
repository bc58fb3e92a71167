// sftpDlg, the transfer loops: many READ or WRITE requests in flight, the
// local file read and written at the pieces' own offsets.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>

#include "base/cp1252.h"
#include "sftp/sftpDlg.h"
#include "sftp/sftpDlgInternal.h"

namespace sftp {

namespace {

// Writes all of bytes at offset; the errno of a failure, else 0.
int writeAt(int fd, std::string_view bytes, uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    bytes.remove_prefix(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return 0;
}

Result badReply() {
  return {Outcome::Failed, qr::W("resposta inválida do servidor"), 0};
}

}  // namespace

void Arrivals::add(uint64_t offset, uint64_t length) {
  if (length == 0) return;
  const uint64_t end = offset + length;
  if (offset > contiguous_) {
    uint64_t& e = later_[offset];
    e = std::max(e, end);
    return;
  }
  contiguous_ = std::max(contiguous_, end);
  while (!later_.empty() && later_.begin()->first <= contiguous_) {
    contiguous_ = std::max(contiguous_, later_.begin()->second);
    later_.erase(later_.begin());
  }
}

Window::Window(uint64_t start, uint32_t chunk)
    : chunk_(std::max<uint32_t>(chunk, 1)),
      depth_(std::clamp<size_t>(kInFlightBytes / chunk_, kMinRequests, kMaxRequests)),
      done_(start) {}

std::optional<Piece> Window::answer(uint32_t id) {
  const auto it = asked_.find(id);
  if (it == asked_.end()) return std::nullopt;
  const Piece p = it->second;
  asked_.erase(it);
  return p;
}

class Dlg::TransferRoom {
 public:
  explicit TransferRoom(Dlg& d) : d_(d) { d_.asks_ = Asks(kReceiveWindow, kCommandRoom); }
  ~TransferRoom() {
    d_.asks_ = Asks(kCommandRoom, kCommandRoom);
    d_.in_.release();
  }
  TransferRoom(const TransferRoom&) = delete;
  TransferRoom& operator=(const TransferRoom&) = delete;

 private:
  Dlg& d_;
};

bool Dlg::outboxHasRoom() const {
  return out_.size() - outAt_ < kOutboxLimit;
}

bool Dlg::passGoesOn(bool alive, uint64_t moved, Progress& progress, Result& failure) {
  if (!alive) {
    failure = lostResult();
    return false;
  }
  if (!progress.carryOn(moved)) {
    failure = {Outcome::Escaped, {}, 0};
    return false;
  }
  if (Clock::now() - heard_ > std::chrono::milliseconds(deadlineMs_)) {
    lost_ = "o servidor não respondeu";
    failure = lostResult();
    return false;
  }
  return true;
}

Result Dlg::Get(std::string_view path, int fd, uint64_t offset, Progress& progress,
                TransferReport& report) {
  report = {};
  const TransferRoom room(*this);
  std::string handle;
  Result failure = openHandle(Type::Open, path, kOpenRead, handle);
  if (!failure.ok()) return failure;
  {
    const uint32_t id = nextId_++;
    Reply reply;
    failure = call(Writer(Type::Fstat, id).str(handle).finish(), id, reply);
    if (failure.outcome == Outcome::Lost || failure.outcome == Outcome::Escaped) {
      if (failure.outcome == Outcome::Escaped) (void)closeHandle(handle);
      return failure;
    }
    failure = {};
    if (reply.type == Type::Attrs) {
      Reader a(reply.body);
      const Attributes attrs = a.attrs();
      if (a.ok()) report.size = attrs.size;
    }
  }

  Window window(offset, readChunk_);
  const uint32_t chunk = window.chunk();
  std::deque<Piece> again;  // the rest of pieces that came short
  uint64_t next = offset;
  std::optional<uint64_t> end;  // the server said the file ends here
  bool stop = false;
  heard_ = Clock::now();
  for (;;) {
    while (!stop && !window.full() && outboxHasRoom()) {
      Piece p;
      if (!again.empty()) {
        p = again.front();
        again.pop_front();
        if (end && p.offset >= *end) continue;
      } else {
        if (end && next >= *end) break;
        // Past the size the file had, one request at a time looks for its
        // end (it may have grown).
        if (report.size && next > *report.size && !window.idle()) break;
        p = {next, chunk};
        next += chunk;
      }
      const uint32_t id = nextId_++;
      queue(Writer(Type::Read, id).str(handle).u64(p.offset).u32(p.length).finish());
      window.ask(id, p);
    }
    const bool alive = pump(kSliceMs);
    while (const std::optional<Packet> packet = in_.take()) {
      Reader r(packet->body);
      const std::optional<Piece> asked = window.answer(r.u32());
      if (!asked || stop) continue;
      const Piece p = *asked;
      if (packet->type == Type::Data) {
        const std::string_view data = r.str();
        if (!r.ok() || data.size() > p.length) {
          failure = badReply();
          stop = true;
          continue;
        }
        if (data.empty()) {  // no bytes and no end: taken as the end
          end = std::min(end.value_or(p.offset), p.offset);
          continue;
        }
        if (const int error = writeAt(fd, data, p.offset)) {
          failure = {Outcome::LocalFailed, {}, error};
          stop = true;
          continue;
        }
        window.done(p.offset, data.size());
        if (data.size() < p.length)
          again.push_back({p.offset + data.size(), static_cast<uint32_t>(p.length - data.size())});
      } else if (packet->type == Type::Status) {
        const Status code = static_cast<Status>(r.u32());
        const std::string_view message = r.atEnd() ? std::string_view() : r.str();
        if (code == Status::Eof) {
          end = std::min(end.value_or(p.offset), p.offset);
        } else {
          failure = StatusResult(code, message);
          stop = true;
        }
      } else {
        failure = badReply();
        stop = true;
      }
    }
    if (stop) break;
    if (alive && end && window.contiguous() >= *end) break;
    if (!passGoesOn(alive, window.contiguous() - offset, progress, failure)) break;
  }
  if (failure.outcome != Outcome::Lost) {
    const Result closed = closeHandle(handle);
    if (closed.outcome == Outcome::Lost && failure.ok()) failure = closed;
  }
  // Pieces that came after a gap are not kept: the file holds what arrived
  // in order, and a later receive goes on from its end.
  const uint64_t kept = window.contiguous();
  if (::ftruncate(fd, static_cast<off_t>(kept)) != 0 && failure.ok())
    failure = {Outcome::LocalFailed, {}, errno};
  report.moved = kept - offset;
  report.reachedEnd = end && kept >= *end;
  return failure;
}

Result Dlg::Put(int fd, uint64_t offset, std::string_view path, Progress& progress,
                TransferReport& report) {
  report = {};
  const TransferRoom room(*this);
  std::string handle;
  const uint32_t flags = kOpenWrite | kOpenCreate | (offset == 0 ? kOpenTruncate : 0);
  Result failure = openHandle(Type::Open, path, flags, handle);
  if (!failure.ok()) return failure;

  Window window(offset, writeChunk_);
  const uint32_t chunk = window.chunk();
  std::string block(chunk, '\0');
  uint64_t next = offset;
  bool allRead = false;
  bool stop = false;
  heard_ = Clock::now();
  for (;;) {
    while (!stop && !allRead && !window.full() && outboxHasRoom()) {
      const ssize_t n = ::pread(fd, block.data(), chunk, static_cast<off_t>(next));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failure = {Outcome::LocalFailed, {}, errno};
        stop = true;
        break;
      }
      if (n == 0) {
        allRead = true;
        break;
      }
      const uint32_t id = nextId_++;
      queue(Writer(Type::Write, id)
                .str(handle)
                .u64(next)
                .str(std::string_view(block.data(), static_cast<size_t>(n)))
                .finish());
      window.ask(id, {next, static_cast<uint32_t>(n)});
      next += static_cast<uint64_t>(n);
    }
    const bool alive = pump(kSliceMs);
    while (const std::optional<Packet> packet = in_.take()) {
      Reader r(packet->body);
      const std::optional<Piece> asked = window.answer(r.u32());
      if (!asked || stop) continue;
      const Result written = ReplyStatus(packet->type, packet->body.substr(4));
      if (written.ok()) {
        window.done(asked->offset, asked->length);
      } else {
        failure = written;
        stop = true;
      }
    }
    if (stop) break;
    if (alive && allRead && window.idle()) break;
    if (!passGoesOn(alive, window.contiguous() - offset, progress, failure)) break;
  }
  // The file is whole only once its close is confirmed too: a server may
  // find at the close that the disk could not take it.
  if (failure.outcome != Outcome::Lost) {
    const Result closed = closeHandle(handle);
    if (failure.ok()) failure = closed;
  }
  report.moved = window.contiguous() - offset;
  return failure;
}

}  // namespace sftp
