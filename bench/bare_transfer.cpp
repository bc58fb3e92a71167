// The bare loop the client's transfer loop is measured against: a minimal
// passive-mode FTP dialogue, then one recv of at most 8 KiB per pass written
// straight to a file (or one 8 KiB read per pass sent), nothing else.
//
//   bare_transfer HOST PORT get|put REMOTE LOCAL
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int connectTo(const char* host, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, host, &sa.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return -1;
  return fd;
}

// Reads one reply (the last line's code); multi-line replies are skipped.
int reply(int fd, std::string& line) {
  for (;;) {
    line.clear();
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
    if (line.size() >= 4 && line[3] == ' ') return std::atoi(line.c_str());
    if (line.empty()) return 0;
  }
}

int command(int fd, const std::string& text, std::string& line) {
  const std::string out = text + "\r\n";
  (void)::send(fd, out.data(), out.size(), 0);
  return reply(fd, line);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "uso: bare_transfer HOST PORT get|put REMOTE LOCAL\n");
    return 2;
  }
  const bool get = std::strcmp(argv[3], "get") == 0;
  std::string line;
  const int control = connectTo(argv[1], std::atoi(argv[2]));
  if (control < 0 || reply(control, line) != 220) return 1;
  (void)command(control, "USER anonymous", line);
  (void)command(control, "PASS x@y", line);
  (void)command(control, "TYPE I", line);
  if (command(control, "PASV", line) != 227) return 1;
  int n[6] = {};
  const char* p = std::strchr(line.c_str(), '(');
  if (!p || std::sscanf(p, "(%d,%d,%d,%d,%d,%d)", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) != 6)
    return 1;
  const int data = connectTo(argv[1], n[4] * 256 + n[5]);
  if (data < 0) return 1;
  const int code = command(control, std::string(get ? "RETR " : "STOR ") + argv[4], line);
  if (code != 150 && code != 125) return 1;
  const int file =
      get ? ::open(argv[5], O_WRONLY | O_CREAT | O_TRUNC, 0644) : ::open(argv[5], O_RDONLY);
  if (file < 0) return 1;
  char block[8192];
  ssize_t got;
  if (get) {
    while ((got = ::recv(data, block, sizeof block, 0)) > 0)
      if (::write(file, block, static_cast<size_t>(got)) != got) return 1;
  } else {
    while ((got = ::read(file, block, sizeof block)) > 0)
      if (::send(data, block, static_cast<size_t>(got), 0) != got) return 1;
  }
  ::close(file);
  ::close(data);
  return reply(control, line) == 226 ? 0 : 1;
}
