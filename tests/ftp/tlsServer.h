// A scripted FTP server that speaks explicit TLS (AUTH TLS), for the checks
// of the encrypted connection: what it may slip in after its 234, and which
// certificate, session or plain bytes it brings to the data connections
// (passive: EPSV; active: PORT). Its certificates are made at run time.
// Blocking sockets with time-outs: a client that stops talking never holds
// the server thread for long.
#pragma once

#include "tests/support/loopbackListen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftpPort.h"

namespace ftp_test {

// A self-signed certificate and its key.
class TestCertificate {
 public:
  explicit TestCertificate(const char* commonName) {
    key_ = EVP_EC_gen("P-256");
    cert_ = X509_new();
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), ++serial());
    X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert_), 86400);
    X509_set_pubkey(cert_, key_);
    X509_NAME* name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(cert_, name);
    X509_sign(cert_, key_, EVP_sha256());
  }
  ~TestCertificate() {
    X509_free(cert_);
    EVP_PKEY_free(key_);
  }
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;

  // A server context showing this certificate; each context has session
  // tickets of its own, so none resumes another's sessions.
  SSL_CTX* serverContext() const {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx, cert_);
    SSL_CTX_use_PrivateKey(ctx, key_);
    static const unsigned char kId[] = "naviro-teste";
    SSL_CTX_set_session_id_context(ctx, kId, sizeof kId - 1);
    return ctx;
  }
  // SHA-256, 64 upper-case hex digits.
  std::string fingerprint() const {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    X509_digest(cert_, EVP_sha256(), md, &len);
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
      hex += "0123456789ABCDEF"[md[i] >> 4];
      hex += "0123456789ABCDEF"[md[i] & 15];
    }
    return hex;
  }

 private:
  static long& serial() {
    static long n = 0;
    return n;
  }
  EVP_PKEY* key_ = nullptr;
  X509* cert_ = nullptr;
};

class TlsFtp {
 public:
  // What the data connections bring.
  enum class Data {
    Resumed,      // the control connection's context: its sessions resume
    SameCert,     // the same certificate, a context of its own: nothing resumes
    OtherCert,    // another certificate: someone else on the data port
    PlainBefore,  // plain bytes before the handshake
  };
  std::string afterAuth;  // sent with the 234, in the same send
  bool refuseAuth = false;
  Data data = Data::Resumed;
  std::map<std::string, std::string> files;

  TlsFtp()
      : control_(cert_.serverContext()),
        same_(cert_.serverContext()),
        other_(other_cert_.serverContext()) {
    listen_ = listenOn(port_);
    thread_ = std::thread([this] { run(); });
  }
  ~TlsFtp() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (thread_.joinable()) thread_.join();
    SSL_CTX_free(control_);
    SSL_CTX_free(same_);
    SSL_CTX_free(other_);
  }
  uint16_t port() const { return port_; }
  const TestCertificate& certificate() const { return cert_; }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> g(m_);
    return commands_;
  }
  std::string stored(const std::string& name) {
    std::lock_guard<std::mutex> g(m_);
    return stored_[name];
  }
  // Data connections whose handshake ended (the client's check came after).
  int dataHandshakes() const { return dataHandshakes_; }

 private:
  static int listenOn(uint16_t& port) { return testing_support::listenOnLoopback(port, 2); }
  static void limitWaits(int fd) {
    const timeval t{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
  }
  void say(const std::string& text) {
    if (ssl_)
      (void)SSL_write(ssl_, text.data(), static_cast<int>(text.size()));
    else
      (void)::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
  }
  bool readCommand(std::string& line) {
    for (;;) {
      const size_t eol = pending_.find("\r\n");
      if (eol != std::string::npos) {
        line = pending_.substr(0, eol);
        pending_.erase(0, eol + 2);
        std::lock_guard<std::mutex> g(m_);
        commands_.push_back(line);
        return true;
      }
      char buf[512];
      const int n = ssl_ ? SSL_read(ssl_, buf, sizeof buf)
                         : static_cast<int>(::recv(fd_, buf, sizeof buf, 0));
      if (n <= 0 || stop_) return false;
      pending_.append(buf, static_cast<size_t>(n));
    }
  }
  // The data connection of the transfer, its TLS session begun; nullptr
  // when none came or its handshake failed (the client refused it).
  SSL* openData(int& fd) {
    fd = -1;
    if (activePort_ != 0) {
      fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      sa.sin_port = htons(activePort_);
      activePort_ = 0;
      if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return nullptr;
    } else if (pasv_ >= 0) {
      fd = ::accept(pasv_, nullptr, nullptr);
      ::close(pasv_);
      pasv_ = -1;
    }
    if (fd < 0) return nullptr;
    limitWaits(fd);
    if (data == Data::PlainBefore) {
      const std::string plain = "dados trocados\r\n";
      (void)::send(fd, plain.data(), plain.size(), MSG_NOSIGNAL);
    }
    SSL* ssl = SSL_new(data == Data::Resumed ? control_ : data == Data::OtherCert ? other_ : same_);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      return nullptr;
    }
    ++dataHandshakes_;
    return ssl;
  }
  static void closeData(SSL* ssl, int fd) {
    if (ssl) {
      (void)SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    if (fd >= 0) ::close(fd);
  }
  void run() {
    fd_ = ::accept(listen_, nullptr, nullptr);
    if (fd_ < 0) return;
    limitWaits(fd_);
    say("220 Pronto\r\n");
    std::string line;
    while (!stop_ && readCommand(line)) {
      const size_t blank = line.find(' ');
      const std::string verb = line.substr(0, blank);
      const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
      if (verb == "AUTH") {
        if (refuseAuth) {
          say("500 Nao conheco\r\n");
          continue;
        }
        say("234 Pode comecar\r\n" + afterAuth);
        ssl_ = SSL_new(control_);
        SSL_set_fd(ssl_, fd_);
        if (SSL_accept(ssl_) != 1) {
          ERR_print_errors_fp(stderr);  // the test's output says why
          break;
        }
      } else if (verb == "EPSV") {
        uint16_t p = 0;
        pasv_ = listenOn(p);
        say("229 Passivo estendido (|||" + std::to_string(p) + "|)\r\n");
      } else if (verb == "PORT") {
        std::string rest = arg;
        int n[6] = {};
        for (int& v : n) v = ftp::TakeNumber(rest);
        activePort_ = static_cast<uint16_t>(n[4] * 256 + n[5]);
        say("200 Ok\r\n");
      } else if (verb == "SIZE") {
        const auto it = files.find(arg);
        say(it == files.end() ? std::string("550 Nao existe\r\n")
                              : "213 " + std::to_string(it->second.size()) + "\r\n");
      } else if (verb == "RETR") {
        say("150 Abrindo\r\n");
        int fd = -1;
        SSL* ssl = openData(fd);
        if (!ssl) {
          closeData(nullptr, fd);
          say("425 Sem conexao de dados\r\n");
          continue;
        }
        const std::string& bytes = files[arg];
        (void)SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
        closeData(ssl, fd);
        say("226 Completo\r\n");
      } else if (verb == "STOR") {
        say("150 Pode mandar\r\n");
        int fd = -1;
        SSL* ssl = openData(fd);
        std::string got;
        char buf[16384];
        int n;
        while (ssl && (n = SSL_read(ssl, buf, sizeof buf)) > 0)
          got.append(buf, static_cast<size_t>(n));
        closeData(ssl, fd);
        if (!ssl) {
          say("425 Sem conexao de dados\r\n");
          continue;
        }
        {
          std::lock_guard<std::mutex> g(m_);
          stored_[arg] = got;
        }
        say("226 Guardado\r\n");
      } else if (verb == "ABOR") {
        say("226 Nada a abortar\r\n");
      } else if (verb == "QUIT") {
        say("221 Tchau\r\n");
        break;
      } else {
        say("200 Ok\r\n");
      }
    }
    if (ssl_) SSL_free(ssl_);
    ::close(fd_);
  }

  TestCertificate cert_{"naviro-teste"};
  TestCertificate other_cert_{"impostor"};
  SSL_CTX* control_;
  SSL_CTX* same_;
  SSL_CTX* other_;
  int listen_ = -1;
  int fd_ = -1;
  int pasv_ = -1;
  uint16_t port_ = 0;
  uint16_t activePort_ = 0;
  SSL* ssl_ = nullptr;
  std::string pending_;
  std::thread thread_;
  std::mutex m_;
  std::vector<std::string> commands_;
  std::map<std::string, std::string> stored_;
  std::atomic<int> dataHandshakes_{0};
  std::atomic<bool> stop_{false};
};

}  // namespace ftp_test
