// ftpTlsCanal: TLS sessions with the OpenSSL library.
#include "ftp/ftpTlsCanal.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstring>

namespace ftp {

namespace {

// What the server put in its certificate reaches the screen and the voice:
// no control characters, and no more than a screen line's worth or two.
std::string tame(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  if (text.size() > 160) text.resize(160);
  return text;
}

// A name as it is read aloud: its values, the common name first ("ftp.br,
// Empresa, BR"), without the attribute labels; the whole one-line form when
// it has none of these.
std::string nameLine(const X509_NAME* name) {
  if (!name) return {};
  std::string spoken;
  for (const int nid : {NID_commonName, NID_organizationName, NID_organizationalUnitName,
                        NID_localityName, NID_stateOrProvinceName, NID_countryName}) {
    for (int i = X509_NAME_get_index_by_NID(name, nid, -1); i >= 0;
         i = X509_NAME_get_index_by_NID(name, nid, i)) {
      unsigned char* utf8 = nullptr;
      const int n =
          ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
      if (n > 0) {
        if (!spoken.empty()) spoken += ", ";
        spoken.append(reinterpret_cast<const char*>(utf8), static_cast<size_t>(n));
      }
      OPENSSL_free(utf8);
    }
  }
  if (!spoken.empty()) return tame(spoken);
  BIO* bio = BIO_new(BIO_s_mem());
  if (!bio) return {};
  X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string text(data ? data : "", n > 0 ? static_cast<size_t>(n) : 0);
  BIO_free(bio);
  return tame(text);
}

// The library's error queue as one line, emptied.
std::string drainErrors() {
  std::string text;
  while (const unsigned long e = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(e, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

std::string fingerprintOf(X509* cert) {
  std::string hex;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!cert || X509_digest(cert, EVP_sha256(), md, &len) != 1) return hex;
  static const char* kHex = "0123456789ABCDEF";
  for (unsigned int i = 0; i < len; ++i) {
    hex += kHex[md[i] >> 4];
    hex += kHex[md[i] & 15];
  }
  return hex;
}

bool isAddress(const std::string& host) {
  if (host.find(':') != std::string::npos) return true;  // IPv6
  if (host.empty()) return false;
  for (char c : host)
    if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
  return true;
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::create() {
  std::unique_ptr<TlsContext> c(new TlsContext);
  c->ctx_ = SSL_CTX_new(TLS_client_method());
  if (!c->ctx_) return nullptr;
  SSL_CTX_set_min_proto_version(c->ctx_, TLS1_2_VERSION);
  // The handshake goes on whatever the check finds: the certificate is
  // judged afterwards, with the user when the system does not know it.
  SSL_CTX_set_verify(c->ctx_, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_default_verify_paths(c->ctx_);
  SSL_CTX_set_mode(c->ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Whole runs of records per system call rather than a header and a body
  // for each; what is read ahead counts as pending (SSL_has_pending).
  SSL_CTX_set_read_ahead(c->ctx_, 1);
  SSL_CTX_set_default_read_buffer_len(c->ctx_, 64 * 1024);
  SSL_CTX_set_session_cache_mode(c->ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(c->ctx_, &TlsContext::onNewSession);
  SSL_CTX_set_app_data(c->ctx_, c.get());
  return c;
}

TlsContext::~TlsContext() {
  forgetSessions();
  if (ctx_) SSL_CTX_free(ctx_);
}

void TlsContext::forgetSessions() {
  for (size_t i = 0; i < count_; ++i) SSL_SESSION_free(sessions_[i]);
  count_ = 0;
}

// Sessions come with the handshake (TLS 1.2) or after it, read with the
// first data (TLS 1.3 tickets).
int TlsContext::onNewSession(ssl_st* ssl, ssl_session_st* session) {
  auto* self = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
  if (!self) return 0;
  if (self->count_ == kMaxSessions) {
    SSL_SESSION_free(self->sessions_[0]);
    for (size_t i = 1; i < kMaxSessions; ++i) self->sessions_[i - 1] = self->sessions_[i];
    --self->count_;
  }
  self->sessions_[self->count_++] = session;
  return 1;  // ours now
}

ssl_session_st* TlsContext::takeSession() {
  if (count_ == 0) return nullptr;
  ssl_session_st* s = sessions_[count_ - 1];
  if (count_ > 1 || !SSL_SESSION_is_resumable(s)) {
    --count_;
    return s;
  }
  SSL_SESSION_up_ref(s);
  return s;
}

std::unique_ptr<TlsChannel> TlsChannel::open(TlsContext& context, int fd, const std::string& host,
                                             bool control) {
  std::unique_ptr<TlsChannel> ch(new TlsChannel);
  ch->context_ = &context;
  ch->control_ = control;
  ch->ssl_ = SSL_new(context.handle());
  if (!ch->ssl_ || SSL_set_fd(ch->ssl_, fd) != 1) return nullptr;
  SSL_set_connect_state(ch->ssl_);
  if (isAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ch->ssl_), host.c_str());
  } else if (!host.empty()) {
    SSL_set_tlsext_host_name(ch->ssl_, host.c_str());
    SSL_set1_host(ch->ssl_, host.c_str());
  }
  // A data connection's hello waits for the transfer loop: it goes when the
  // socket can take it, after the transfer's command was answered (some
  // servers reset a data connection that speaks before its command).
  if (!control) ch->want_ = TlsIo::WantWrite;
  if (control) {
    context.forgetSessions();
  } else if (ssl_session_st* session = context.takeSession()) {
    SSL_set_session(ch->ssl_, session);
    SSL_SESSION_free(session);
  }
  return ch;
}

TlsChannel::~TlsChannel() {
  if (ssl_) SSL_free(ssl_);
}

TlsIo TlsChannel::judge(int rc, const char* what) {
  const int error = SSL_get_error(ssl_, rc);
  const int sysErrno = errno;
  switch (error) {
    case SSL_ERROR_WANT_READ:
      want_ = TlsIo::WantRead;
      return want_;
    case SSL_ERROR_WANT_WRITE:
      want_ = TlsIo::WantWrite;
      return want_;
    case SSL_ERROR_ZERO_RETURN:
      want_ = TlsIo::Moved;
      over_ = true;
      return TlsIo::Ended;
    case SSL_ERROR_SYSCALL: {
      want_ = TlsIo::Moved;
      over_ = true;
      std::string queued = drainErrors();
      failure_ = std::string(what) + ": " +
                 (!queued.empty() ? queued
                  : sysErrno != 0 ? std::string(std::strerror(sysErrno))
                                  : std::string("connection closed without close_notify"));
      return TlsIo::Failed;
    }
    default:
      want_ = TlsIo::Moved;
      over_ = true;
      failure_ = std::string(what) + ": " + drainErrors();
      return TlsIo::Failed;
  }
}

TlsIo TlsChannel::handshake() {
  if (refused_) return TlsIo::Failed;
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_do_handshake(ssl_);
  if (rc != 1) {
    // On a data connection, bytes that are not the server's TLS (plain
    // text sent first, a record the library refuses) prove nothing about
    // the peer: the same as another peer.
    const int saved = errno;
    const bool unproven = !control_ && SSL_get_error(ssl_, rc) == SSL_ERROR_SSL;
    errno = saved;
    const TlsIo io = judge(rc, "handshake");
    if (unproven) refused_ = true;
    return io;
  }
  want_ = TlsIo::Moved;
  if (control_ || resumed()) return TlsIo::Moved;
  const std::string shown = fingerprintOf(SSL_get0_peer_certificate(ssl_));
  if (!shown.empty() && shown == context_->trusted_) return TlsIo::Moved;
  refused_ = true;
  over_ = true;
  failure_ = "data connection: neither the control connection's session nor its certificate (" +
             (shown.empty() ? std::string("none") : shown) + ")";
  return TlsIo::Failed;
}

TlsIo TlsChannel::ready() {
  if (control_ || (!refused_ && SSL_is_init_finished(ssl_))) return TlsIo::Moved;
  return handshake();
}

TlsIo TlsChannel::read(char* buffer, size_t capacity, size_t& got) {
  got = 0;
  if (const TlsIo h = ready(); h != TlsIo::Moved) return h;
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_read_ex(ssl_, buffer, capacity, &got);
  if (rc == 1) {
    want_ = TlsIo::Moved;
    return TlsIo::Moved;
  }
  got = 0;
  return judge(rc, "read");
}

TlsIo TlsChannel::write(const char* bytes, size_t size, size_t& sent) {
  sent = 0;
  if (size == 0) return TlsIo::Moved;
  if (const TlsIo h = ready(); h != TlsIo::Moved) return h;
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_write_ex(ssl_, bytes, size, &sent);
  if (rc == 1) {
    want_ = TlsIo::Moved;
    return TlsIo::Moved;
  }
  sent = 0;
  return judge(rc, "write");
}

TlsIo TlsChannel::shutdown() {
  // A connection that ends before its handshake did (an empty file sent)
  // finishes the handshake first: close_notify needs a session.
  if (SSL_in_init(ssl_) || refused_) {
    const TlsIo h = handshake();
    if (h != TlsIo::Moved) return h;
  }
  // Tickets the server sent on a connection we only wrote to are read now,
  // for the next data connection to resume.
  if (!control_ && want_ != TlsIo::WantWrite) {
    char none[1];
    size_t got = 0;
    ERR_clear_error();
    if (SSL_peek_ex(ssl_, none, sizeof none, &got) != 1) ERR_clear_error();
  }
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_shutdown(ssl_);
  if (rc >= 0) {  // 0: ours went, the peer's not awaited
    want_ = TlsIo::Moved;
    return TlsIo::Moved;
  }
  return judge(rc, "shutdown");
}

bool TlsChannel::pending() const {
  // After a read that wanted more, what is held is a record's beginning:
  // only the socket can finish it.
  return over_ || (want_ == TlsIo::Moved && SSL_has_pending(ssl_) == 1);
}

bool TlsChannel::peerEnded() const {
  return (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

bool TlsChannel::resumed() const {
  return SSL_session_reused(ssl_) == 1;
}

std::string TlsChannel::description() const {
  return std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_);
}

CertificateInfo TlsChannel::certificate() const {
  CertificateInfo info;
  X509* cert = SSL_get0_peer_certificate(ssl_);
  if (!cert) return info;
  info.present = true;
  info.subject = nameLine(X509_get_subject_name(cert));
  info.issuer = nameLine(X509_get_issuer_name(cert));
  info.fingerprint = fingerprintOf(cert);
  const long result = SSL_get_verify_result(ssl_);
  info.verifyError = static_cast<int>(result);
  info.verified = result == X509_V_OK;
  info.nameMismatch =
      result == X509_V_ERR_HOSTNAME_MISMATCH || result == X509_V_ERR_IP_ADDRESS_MISMATCH;
  info.selfSigned = result == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT ||
                    result == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN;
  info.expired = result == X509_V_ERR_CERT_HAS_EXPIRED;
  info.notYetValid = result == X509_V_ERR_CERT_NOT_YET_VALID;
  return info;
}

std::string FingerprintGroups(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 4) {
    if (!out.empty()) out += ' ';
    out += hex.substr(i, 4);
  }
  return out;
}

std::string SpokenFingerprint(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i < hex.size(); ++i) {
    if (i > 0) out += i % 4 == 0 ? ", " : " ";
    out += hex[i];
  }
  return out;
}

}  // namespace ftp
