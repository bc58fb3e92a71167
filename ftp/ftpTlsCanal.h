// ftpTlsCanal: TLS over the client's non-blocking sockets. A TlsContext
// holds the library's client context and the sessions the server gave for
// the connection, which every data connection resumes (servers may insist on
// it: a data connection that does not resume is then refused). Under TLS 1.3
// a server may take each of its tickets only once: each data connection
// takes the newest one (the last is never given up unless it cannot be
// resumed), and the tickets that come on the data connections join them.
// A TlsChannel is one TLS
// session over one socket: it never waits itself; each operation that cannot
// go on says which way the socket must become ready first, and Rede waits
// for that in its one wait.
//
// A data connection is the server's only when its handshake proves it: the
// session it resumes was made with the server the user accepted, or it shows
// the very certificate accepted for the control connection. Anyone else who
// reaches the data port first (a local process in active mode, a machine in
// the middle in passive mode) fails the handshake's check before a byte of
// data is read or written.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

namespace ftp {

enum class TlsIo { Moved, Ended, WantRead, WantWrite, Failed };

// What the peer's certificate is and what the check against the system's
// trusted authorities and the host name found.
struct CertificateInfo {
  bool present = false;
  bool verified = false;  // chain and name good
  std::string subject;    // one line, RFC 2253 order
  std::string issuer;
  std::string fingerprint;  // SHA-256, 64 upper-case hex digits
  int verifyError = 0;      // the library's code, 0 when verified
  bool nameMismatch = false;
  bool selfSigned = false;
  bool expired = false;
  bool notYetValid = false;
};

class TlsContext {
 public:
  // nullptr when the library cannot make a client context.
  [[nodiscard]] static std::unique_ptr<TlsContext> create();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  [[nodiscard]] ssl_ctx_st* handle() const { return ctx_; }
  void forgetSessions();
  // The fingerprint of the certificate accepted for the control connection:
  // the one a data connection that resumes no session must show.
  void trustPeer(std::string fingerprint) { trusted_ = std::move(fingerprint); }

 private:
  TlsContext() = default;
  friend class TlsChannel;
  static int onNewSession(ssl_st* ssl, ssl_session_st* session);
  // The session a new data connection resumes (a reference of its own, to
  // be freed), nullptr when there is none.
  [[nodiscard]] ssl_session_st* takeSession();

  static constexpr size_t kMaxSessions = 8;
  ssl_ctx_st* ctx_ = nullptr;
  ssl_session_st* sessions_[kMaxSessions] = {};  // oldest first
  size_t count_ = 0;
  std::string trusted_;
};

class TlsChannel {
 public:
  // A client session over fd, which must be non-blocking. host: the name
  // the certificate must carry (a dotted or IPv6 address is checked as an
  // address). control: the session is the one data connections resume;
  // otherwise the context's control session is resumed.
  [[nodiscard]] static std::unique_ptr<TlsChannel> open(TlsContext& context, int fd,
                                                        const std::string& host, bool control);
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // For a data connection, a handshake that ends with a peer other than
  // the accepted server, or that the peer's bytes break, is Failed
  // (peerRefused).
  [[nodiscard]] TlsIo handshake();
  // got: plain bytes read (Moved). Ended: the peer's close_notify.
  [[nodiscard]] TlsIo read(char* buffer, size_t capacity, size_t& got);
  // sent: plain bytes taken (Moved). After WantRead/WantWrite the same bytes
  // must be offered again.
  [[nodiscard]] TlsIo write(const char* bytes, size_t size, size_t& sent);
  // Sends close_notify; Moved when it went.
  [[nodiscard]] TlsIo shutdown();

  // Bytes taken from the socket and not yet read out (decrypted, or read
  // ahead), or an end or failure not yet told: the socket will not tell.
  // False after a read that wanted more.
  [[nodiscard]] bool pending() const;
  // The way the socket must become ready before the last operation that
  // could not go on can go on; neither when it did not stop.
  [[nodiscard]] bool wantsRead() const { return want_ == TlsIo::WantRead; }
  [[nodiscard]] bool wantsWrite() const { return want_ == TlsIo::WantWrite; }
  [[nodiscard]] bool resumed() const;
  // The data connection's peer is not the server accepted for the control
  // connection: neither a resumed session nor the same certificate, or no
  // handshake at all.
  [[nodiscard]] bool peerRefused() const { return refused_; }
  // The peer's close_notify came.
  [[nodiscard]] bool peerEnded() const;
  // "TLSv1.3 TLS_AES_256_GCM_SHA384".
  [[nodiscard]] std::string description() const;
  [[nodiscard]] CertificateInfo certificate() const;
  // The library's reason for the last failure, for the log and the user.
  [[nodiscard]] const std::string& failure() const { return failure_; }

 private:
  TlsChannel() = default;
  TlsIo judge(int rc, const char* what);
  // A data connection: its handshake first, and the check of its peer.
  [[nodiscard]] TlsIo ready();

  TlsContext* context_ = nullptr;
  ssl_st* ssl_ = nullptr;
  bool control_ = false;
  TlsIo want_ = TlsIo::Moved;
  bool over_ = false;  // close_notify came, or the session failed
  bool refused_ = false;
  std::string failure_;
};

// "AB12 CD34 ..." from 64 hex digits: groups of four, as it is shown.
[[nodiscard]] std::string FingerprintGroups(const std::string& hex);
// As it is spoken: each group's characters apart, groups apart by commas.
[[nodiscard]] std::string SpokenFingerprint(const std::string& hex);

}  // namespace ftp
