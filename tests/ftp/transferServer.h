// A fake FTP server with a data connection, for the transfer and browser
// tests: passive or active mode, files in memory, and switches for the ways
// a server misbehaves (refuses, closes the data connection early or with a
// reset, never sends the final reply, drops the control connection, stops
// reading an upload, ignores ABOR, dribbles its replies a byte at a time,
// does not look at the control connection while it sends). It records every
// command.
#pragma once

#include "tests/support/loopbackListen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftpDlg.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"
#include "ftpFakes.h"

namespace ftp_test {

class FakeFtp {
 public:
  std::map<std::string, std::string> files;  // RETR and SIZE; STOR writes here
  std::string listing;
  std::string retrRefusal;  // e.g. "550 Nao existe": RETR answers this
  std::string storRefusal;
  size_t closeEarlyAfter = SIZE_MAX;  // RETR: bytes before the data connection ends
  std::string endReply = "226 Transferencia completa\r\n";  // empty: never sent
  size_t chunk = 65536;
  int chunkPauseMs = 0;
  std::vector<std::string> cwdAllowed{"pub", ".."};
  std::string storEndReply;                  // after a STOR's data; empty: endReply
  size_t resetAfter = SIZE_MAX;              // RETR: a reset after this many bytes
  size_t closeControlAfter = SIZE_MAX;       // RETR, LIST: the control connection ends here
  bool stallStor = false;                    // STOR: the data is never read
  size_t storRefuseAfter = SIZE_MAX;         // STOR: storEndReply and the data's end here
  bool ignoreAbor = false;                   // ABOR is taken and never answered
  bool blindWhileSending = false;            // ABOR is read only once a send failed
  int dribbleMs = 0;                         // replies go out a byte at a time
  std::string strangerFrom;                  // active mode: a stranger connects too
  std::string epsvReply;                     // EPSV answers this instead of 229
  std::string restReply;                     // REST answers this instead of 350
  std::string typeReply;                     // TYPE answers this instead of 200
  bool neverConnect = false;                 // active mode: 150, then no data connection
  std::string listRefusal;                   // LIST answers this instead of 150
  std::map<std::string, std::string> times;  // MDTM: the file's time; others 550
  size_t shortAfter = SIZE_MAX;              // RETR: the data ends here, with the usual 226
  std::string opening = "150 Abrindo\r\n";   // RETR's preliminary reply
  size_t storStallAfter = SIZE_MAX;          // STOR: the data is no longer read from here
  bool keepPartial = false;                  // STOR: an aborted upload keeps what came
  bool mlstOnly = false;  // MDTM not implemented; FEAT lists MLST, whose entry tells `times`

  FakeFtp() {
    listen_ = listenOn(0, port_);
    thread_ = std::thread([this] { run(); });
  }
  ~FakeFtp() {
    stop_ = true;
    if (stranger_ >= 0) ::close(stranger_);
    ::shutdown(listen_, SHUT_RDWR);
    ::close(listen_);
    if (control_ >= 0) ::shutdown(control_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
  }
  uint16_t port() const { return port_; }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> g(m_);
    return commands_;
  }
  // Whether the command arrives within a second (the client may finish
  // before the server has read its last command).
  bool received(const std::string& command) {
    for (int i = 0; i < 100; ++i) {
      for (const auto& c : commands())
        if (c == command) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  std::string stored(const std::string& name) {
    std::lock_guard<std::mutex> g(m_);
    return files[name];
  }
  bool hasFile(const std::string& name) {
    std::lock_guard<std::mutex> g(m_);
    return files.count(name) > 0;
  }
  // What the stranger of strangerFrom could read from its connection.
  size_t strangerGot() {
    if (stranger_ < 0) return 0;
    size_t total = 0;
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(stranger_, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    return total;
  }
  bool strangerConnected() const { return strangerConnected_; }

 private:
  static int listenOn(uint16_t want, uint16_t& got) {
    return testing_support::listenOnLoopback(got, 1, want);
  }
  void say(const std::string& text) {
    if (dribbleMs <= 0) {
      (void)::send(control_, text.data(), text.size(), MSG_NOSIGNAL);
      return;
    }
    for (char c : text) {
      (void)::send(control_, &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(dribbleMs));
    }
  }
  bool readCommand(std::string& line, int timeoutMs = -1) {
    for (;;) {
      const size_t eol = pending_.find("\r\n");
      if (eol != std::string::npos) {
        line = pending_.substr(0, eol);
        pending_.erase(0, eol + 2);
        std::lock_guard<std::mutex> g(m_);
        commands_.push_back(line);
        return true;
      }
      if (timeoutMs >= 0) {
        pollfd p{control_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
      }
      char buf[512];
      const ssize_t n = ::recv(control_, buf, sizeof buf, 0);
      if (n <= 0) {
        closed_ = true;
        return false;
      }
      pending_.append(buf, static_cast<size_t>(n));
    }
  }
  static int connectTo(const char* from, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &me.sin_addr);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
  int acceptData() {
    if (activePort_ != 0 && neverConnect) {
      activePort_ = 0;
      return -1;
    }
    if (activePort_ != 0) {
      const int fd = connectTo("127.0.0.1", activePort_);
      if (!strangerFrom.empty()) {
        stranger_ = connectTo(strangerFrom.c_str(), activePort_);
        strangerConnected_ = stranger_ >= 0;
      }
      activePort_ = 0;
      return fd;
    }
    if (pasv_ < 0) return -1;
    pollfd p{pasv_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return -1;
    const int fd = ::accept(pasv_, nullptr, nullptr);
    ::close(pasv_);
    pasv_ = -1;
    return fd;
  }
  void answerAbor() {
    if (!ignoreAbor) say("426 Abortado\r\n226 ABOR ok\r\n");
  }
  // Sends bytes on the data connection; false when ABOR came meanwhile.
  bool sendData(int fd, const std::string& bytes, size_t limit) {
    size_t at = 0;
    const size_t end = std::min(limit, bytes.size());
    while (at < end) {
      if (at >= closeControlAfter && control_ >= 0) ::shutdown(control_, SHUT_RDWR);
      size_t n = std::min(chunk, end - at);
      if (at < closeControlAfter) n = std::min(n, closeControlAfter - at);
      if (::send(fd, bytes.data() + at, n, MSG_NOSIGNAL) <= 0) {
        if (!blindWhileSending) return true;
        // Such a server sees ABOR only now that the client closed the data
        // connection.
        std::string line;
        if (readCommand(line, 3000) && line == "ABOR") {
          ::close(fd);
          answerAbor();
          return false;
        }
        return true;
      }
      at += n;
      if (chunkPauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(chunkPauseMs));
      std::string line;
      if (!blindWhileSending && readCommand(line, 0)) {
        if (line == "ABOR") {
          ::close(fd);
          answerAbor();
          return false;
        }
        say("500 Ocupado\r\n");
      }
    }
    return true;
  }
  void finishTransfer() {
    if (!endReply.empty()) say(endReply);
  }
  void run() {
    control_ = ::accept(listen_, nullptr, nullptr);
    if (control_ < 0) return;
    say("220 Pronto\r\n");
    std::string line;
    while (!stop_ && readCommand(line)) {
      const size_t blank = line.find(' ');
      const std::string verb = line.substr(0, blank);
      const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
      if (verb == "PORT") {
        std::string rest = arg;
        int n[6] = {};
        for (int& v : n) v = ftp::TakeNumber(rest);
        activePort_ = static_cast<uint16_t>(n[4] * 256 + n[5]);
        say("200 Ok\r\n");
      } else if (verb == "EPSV") {
        if (!epsvReply.empty()) {
          say(epsvReply);
          continue;
        }
        activePort_ = 0;
        uint16_t p = 0;
        pasv_ = listenOn(0, p);
        say("229 Modo passivo estendido (|||" + std::to_string(p) + "|)\r\n");
      } else if (verb == "REST") {
        if (!restReply.empty()) {
          say(restReply);
          continue;
        }
        rest_ = std::stoul(arg);
        say("350 Recomeco em " + arg + "\r\n");
      } else if (verb == "TYPE" && !typeReply.empty()) {
        say(typeReply);
      } else if (verb == "PASV") {
        activePort_ = 0;
        uint16_t p = 0;
        pasv_ = listenOn(0, p);
        say("227 Entrando em modo passivo (127,0,0,1," + std::to_string(p / 256) + "," +
            std::to_string(p % 256) + ")\r\n");
      } else if (verb == "RETR") {
        const auto it = files.find(arg);
        if (!retrRefusal.empty() || it == files.end()) {
          say(retrRefusal.empty() ? "550 Nao existe\r\n" : retrRefusal);
          continue;
        }
        say(opening);
        const int fd = acceptData();
        if (fd < 0 && neverConnect) {  // it waits for its own connection, until ABOR
          std::string c;
          while (readCommand(c) && c != "ABOR") say("500 Ocupado\r\n");
          say("425 Sem conexao de dados\r\n226 ABOR ok\r\n");
          continue;
        }
        const std::string from = it->second.substr(std::min(rest_, it->second.size()));
        rest_ = 0;
        if (sendData(fd, from, std::min({closeEarlyAfter, resetAfter, shortAfter}))) {
          if (resetAfter < from.size()) {
            const linger abrupt{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
          }
          ::close(fd);
          if (closeEarlyAfter < from.size())
            say("426 Conexao fechada\r\n");
          else
            finishTransfer();
        }
      } else if (verb == "STOR" || verb == "APPE") {
        if (!storRefusal.empty()) {
          say(storRefusal);
          continue;
        }
        say("150 Pode mandar\r\n");
        const int fd = acceptData();
        std::string data;
        char buf[65536];
        ssize_t n;
        bool aborted = false;
        for (;;) {
          const bool reading = !stallStor && data.size() < storStallAfter;
          pollfd p[2] = {{fd, static_cast<short>(reading ? POLLIN : 0), 0}, {control_, POLLIN, 0}};
          if (::poll(p, 2, 5000) <= 0) break;
          if (p[1].revents & POLLIN) {
            std::string c;
            if (readCommand(c, 0) && c == "ABOR") {
              answerAbor();
              aborted = true;
              break;
            }
            if (closed_) {  // no control connection: nothing to report it on
              aborted = true;
              break;
            }
          }
          if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            n = ::recv(fd, buf, sizeof buf, 0);
            if (n < 0) {  // a reset is no end of file: nothing is stored
              say("426 Conexao de dados perdida\r\n");
              aborted = true;
            }
            if (n <= 0) break;
            data.append(buf, static_cast<size_t>(n));
            if (data.size() >= storRefuseAfter) {  // a full disk half way: nothing kept
              say(storEndReply);
              aborted = true;
              break;
            }
          }
        }
        ::close(fd);
        if (aborted && keepPartial) {
          std::lock_guard<std::mutex> g(m_);
          files[arg] = data;
        }
        if (!aborted) {
          {
            std::lock_guard<std::mutex> g(m_);
            std::string& f = files[arg];
            if (verb == "APPE")
              f += data;
            else
              f = f.substr(0, std::min(rest_, f.size())) + data;
          }
          rest_ = 0;
          if (storEndReply.empty())
            finishTransfer();
          else
            say(storEndReply);
        }
      } else if (verb == "LIST") {
        if (!listRefusal.empty()) {
          say(listRefusal);
          continue;
        }
        say("150 Listagem\r\n");
        const int fd = acceptData();
        (void)sendData(fd, listing, SIZE_MAX);
        ::close(fd);
        finishTransfer();
      } else if (verb == "MDTM" && mlstOnly) {
        say("502 Nao implementado\r\n");
      } else if (verb == "FEAT" && mlstOnly) {
        say("211-Extensoes\r\n MLST type*;size*;modify*;\r\n211 Fim\r\n");
      } else if (verb == "MLST" && mlstOnly) {
        const auto f = files.find(arg);
        const auto t = times.find(arg);
        if (f == files.end() || t == times.end()) {
          say("550 Nao existe\r\n");
        } else {
          say("250-Listando " + arg + "\r\n Type=file;Size=" + std::to_string(f->second.size()) +
              ";Modify=" + t->second + "; " + arg + "\r\n250 Fim\r\n");
        }
      } else if (verb == "MDTM") {
        const auto it = times.find(arg);
        say(it == times.end() ? std::string("550 Sem data\r\n") : "213 " + it->second + "\r\n");
      } else if (verb == "SIZE") {
        const auto it = files.find(arg);
        say(it == files.end() ? std::string("550 Nao existe\r\n")
                              : "213 " + std::to_string(it->second.size()) + "\r\n");
      } else if (verb == "CWD") {
        bool ok = false;
        for (const auto& d : cwdAllowed) ok = ok || d == arg;
        say(ok ? "250 Ok\r\n" : "550 Nao\r\n");
      } else if (verb == "DELE") {
        say("250 Apagado\r\n");
      } else if (verb == "QUIT") {
        say("221 Tchau\r\n");
        break;
      } else if (verb == "ABOR") {
        if (!ignoreAbor) say("226 Nada a abortar\r\n");
      } else {
        say("200 Ok\r\n");
      }
    }
  }

  int listen_ = -1;
  int control_ = -1;
  int pasv_ = -1;
  uint16_t activePort_ = 0;
  size_t rest_ = 0;
  int stranger_ = -1;
  std::atomic<bool> strangerConnected_{false};
  uint16_t port_ = 0;
  std::string pending_;
  bool closed_ = false;
  std::thread thread_;
  std::mutex m_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
};

}  // namespace ftp_test
