// Plain blocking loopback sockets for the link benchmarks' controller side and raw baselines.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace tarvel::bench {

// Listens on 127.0.0.1 with an ephemeral port, stored in *port.
inline int ListenLoopback(std::uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  ::listen(fd, 1);
  return fd;
}

// A blocking client connected to 127.0.0.1:port.
inline int ConnectLoopback(std::uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return s;
}

}  // namespace tarvel::bench
