// A fake FTP server that takes several control connections at once, for
// the folder tests: files in memory by absolute path, LIST of a directory,
// MKD, passive data connections (EPSV), and switches for the ways a server
// fails one file or one connection (drops the connection at a file's
// command, sends a file short with 226, refuses a STOR, turns away
// connections beyond a limit). A thread per connection.
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
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace ftp_test {

class ManyFtp {
 public:
  std::map<std::string, std::string> files;  // "/pasta/a.bin" -> bytes; STOR writes here
  std::string dropOn;      // the first RETR or STOR of this path drops its control connection
  std::string shortOn;     // RETR of this path: half its bytes, then 226
  std::string refuseStor;  // STOR of this path: 553
  int maxConnections = 100;  // control connections at once; beyond them 421
  int listPauseMs = 0;       // LIST: a slow server, this long before each listing
  std::string refuseListOnce;  // LIST of this directory: 550, the first time
  std::set<std::string> existing;  // directories there already: MKD 550
  std::string slowOn;  // RETR of this path: 4 KiB every 20 ms
  bool accountAfterPass = false;  // PASS of every login but the first: 332, an account asked

  ManyFtp() {
    listen_ = listenOn(port_);
    acceptor_ = std::thread([this] { acceptAll(); });
  }
  ~ManyFtp() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    acceptor_.join();
    ::close(listen_);
    {
      std::lock_guard<std::mutex> g(m_);
      for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : sessions_) t.join();
  }
  uint16_t port() const { return port_; }
  int peak() const { return peak_; }
  int refused() const { return refused_; }
  std::string file(const std::string& path) {
    std::lock_guard<std::mutex> g(m_);
    const auto it = files.find(path);
    return it == files.end() ? std::string("<none>") : it->second;
  }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> g(m_);
    return commands_;
  }

 private:
  static int listenOn(uint16_t& got) { return testing_support::listenOnLoopback(got, 16); }
  static void say(int fd, const std::string& text) {
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }
  void acceptAll() {
    while (!stop_) {
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      std::lock_guard<std::mutex> g(m_);
      if (live_ >= maxConnections) {
        ++refused_;
        say(fd, "421 Muitas conexoes deste endereco\r\n");
        ::close(fd);
        continue;
      }
      peak_ = std::max(peak_.load(), ++live_);
      open_.insert(fd);
      sessions_.emplace_back([this, fd] { session(fd); });
    }
  }
  // The bytes of the data connection a passive command opened, or -1.
  static int acceptData(int& pasv) {
    pollfd p{pasv, POLLIN, 0};
    const int fd = ::poll(&p, 1, 5000) > 0 ? ::accept(pasv, nullptr, nullptr) : -1;
    ::close(pasv);
    pasv = -1;
    return fd;
  }
  std::string listing(const std::string& dir) {
    std::lock_guard<std::mutex> g(m_);
    std::set<std::string> lines;
    const std::string prefix = dir == "/" ? "/" : dir + "/";
    for (const auto& [path, bytes] : files) {
      if (path.rfind(prefix, 0) != 0) continue;
      const std::string rest = path.substr(prefix.size());
      const size_t slash = rest.find('/');
      if (slash == std::string::npos)
        lines.insert("-rw-r--r-- 1 ftp ftp " + std::to_string(bytes.size()) + " Dec 10 14:00 " +
                     rest + "\r\n");
      else
        lines.insert("drwxr-xr-x 2 ftp ftp 4096 Dec 10 14:00 " + rest.substr(0, slash) + "\r\n");
    }
    std::string out;
    for (const auto& l : lines) out += l;
    return out;
  }
  void session(int control) {
    say(control, "220 Pronto\r\n");
    std::string pending, cwd = "/";
    int pasv = -1;
    bool dropped = false;
    for (;;) {
      size_t eol;
      while ((eol = pending.find("\r\n")) == std::string::npos) {
        char buf[1024];
        const ssize_t n = ::recv(control, buf, sizeof buf, 0);
        if (n <= 0) {
          dropped = true;
          break;
        }
        pending.append(buf, static_cast<size_t>(n));
      }
      if (dropped) break;
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 2);
      {
        std::lock_guard<std::mutex> g(m_);
        commands_.push_back(line);
      }
      const size_t blank = line.find(' ');
      const std::string verb = line.substr(0, blank);
      const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
      const std::string path = arg.rfind('/', 0) == 0 ? arg : (cwd == "/" ? "/" : cwd + "/") + arg;
      if (verb == "USER") {
        say(control, "331 Senha\r\n");
      } else if (verb == "PASS") {
        say(control, accountAfterPass && logins_++ > 0 ? "332 Conta\r\n" : "230 Entrou\r\n");
      } else if (verb == "ACCT") {
        say(control, "530 Conta recusada\r\n");
      } else if (verb == "QUIT") {
        say(control, "221 Tchau\r\n");
        break;
      } else if (verb == "PWD") {
        say(control, "257 \"" + cwd + "\"\r\n");
      } else if (verb == "CWD") {
        cwd = path;
        say(control, "250 Ok\r\n");
      } else if (verb == "MKD" && existing.count(path)) {
        say(control, "550 Create directory operation failed.\r\n");
      } else if (verb == "MKD") {
        say(control, "257 \"" + path + "\" criado\r\n");
      } else if (verb == "FEAT") {
        say(control, "211-Recursos:\r\n EPSV\r\n211 Fim\r\n");
      } else if (verb == "EPSV") {
        uint16_t p = 0;
        if (pasv >= 0) ::close(pasv);
        pasv = listenOn(p);
        say(control, "229 Passivo (|||" + std::to_string(p) + "|)\r\n");
      } else if (verb == "LIST") {
        if (listPauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(listPauseMs));
        if (takeListRefusal(cwd)) {
          say(control, "550 Sem permissao\r\n");
          continue;
        }
        say(control, "150 Lista\r\n");
        const int fd = acceptData(pasv);
        say(fd, listing(cwd));
        ::close(fd);
        say(control, "226 Feito\r\n");
      } else if ((verb == "RETR" || verb == "STOR") && takeDrop(path)) {
        break;  // gone without a word, its data connection never taken
      } else if (verb == "RETR") {
        std::string bytes;
        {
          std::lock_guard<std::mutex> g(m_);
          const auto it = files.find(path);
          if (it == files.end()) {
            say(control, "550 Nao existe\r\n");
            continue;
          }
          bytes = it->second;
        }
        say(control, "150 Abrindo (" + std::to_string(bytes.size()) + " bytes)\r\n");
        const int fd = acceptData(pasv);
        const size_t send = path == shortOn ? bytes.size() / 2 : bytes.size();
        const bool slow = path == slowOn;
        for (size_t at = 0; at < send;) {
          if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
          const ssize_t n = ::send(fd, bytes.data() + at, slow ? std::min<size_t>(4096, send - at) : send - at, MSG_NOSIGNAL);
          if (n <= 0) break;
          at += static_cast<size_t>(n);
        }
        ::close(fd);
        say(control, "226 Completo\r\n");
      } else if (verb == "STOR") {
        if (path == refuseStor) {
          say(control, "553 Proibido\r\n");
          continue;
        }
        say(control, "150 Pode mandar\r\n");
        const int fd = acceptData(pasv);
        std::string bytes;
        char buf[65536];
        ssize_t n;
        while (fd >= 0 && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
          bytes.append(buf, static_cast<size_t>(n));
        if (fd >= 0) ::close(fd);
        {
          std::lock_guard<std::mutex> g(m_);
          files[path] = bytes;
        }
        say(control, "226 Guardado\r\n");
      } else {
        say(control, "200 Ok\r\n");  // TYPE, OPTS, NOOP
      }
    }
    if (pasv >= 0) ::close(pasv);
    std::lock_guard<std::mutex> g(m_);
    open_.erase(control);
    ::close(control);
    --live_;
  }
  bool takeListRefusal(const std::string& dir) {
    std::lock_guard<std::mutex> g(m_);
    if (refuseListOnce.empty() || dir != refuseListOnce) return false;
    refuseListOnce.clear();
    return true;
  }
  bool takeDrop(const std::string& path) {
    std::lock_guard<std::mutex> g(m_);
    if (dropOn.empty() || path != dropOn) return false;
    dropOn.clear();  // once
    return true;
  }

  int listen_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> sessions_;
  std::mutex m_;
  std::set<int> open_;
  int live_ = 0;
  std::atomic<int> logins_{0};
  std::atomic<int> peak_{0};
  std::atomic<int> refused_{0};
  std::vector<std::string> commands_;
};

}  // namespace ftp_test
