// A listening TCP socket on 127.0.0.1 for the fake servers of the tests:
// the port asked for (0: any free one), the port it got written back.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace testing_support {

inline int listenOnLoopback(uint16_t& got, int backlog, uint16_t want = 0) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(want);
  (void)::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  got = ntohs(sa.sin_port);
  ::listen(fd, backlog);
  return fd;
}

}  // namespace testing_support
