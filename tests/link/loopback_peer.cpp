#include "loopback_peer.h"

#include <QEventLoop>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tarvel::testing {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
  }
  return true;
}

void Pump(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

namespace {

int ListenLoopback(std::uint16_t* port, bool listen) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  if (listen) ::listen(fd, 4);
  return fd;
}

}  // namespace

LoopbackPeer::LoopbackPeer() {
  listen_ = ListenLoopback(&port_, true);
}

LoopbackPeer::~LoopbackPeer() {
  close();
  stopListening();
}

void LoopbackPeer::stopListening() {
  if (listen_ != -1) ::close(listen_);
  listen_ = -1;
}

bool LoopbackPeer::accept(int timeoutMs) {
  return WaitUntil(
      [this] {
        if (conn_ != -1) return true;
        conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        return conn_ != -1;
      },
      timeoutMs);
}

bool LoopbackPeer::write(std::span<const std::uint8_t> bytes, int timeoutMs) {
  std::size_t done = 0;
  return WaitUntil(
             [&] {
               while (done < bytes.size()) {
                 const ssize_t n =
                     ::send(conn_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
                 if (n < 0) return errno != EAGAIN;  // give up on a hard error (checked below)
                 done += static_cast<std::size_t>(n);
               }
               return true;
             },
             timeoutMs) &&
         done == bytes.size();
}

std::vector<std::uint8_t> LoopbackPeer::readAvailable() {
  std::vector<std::uint8_t> out;
  std::uint8_t buf[65536];
  for (;;) {
    const ssize_t n = ::recv(conn_, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

bool LoopbackPeer::readExactly(std::size_t n, std::vector<std::uint8_t>* out, int timeoutMs) {
  return WaitUntil(
      [&] {
        const auto more = readAvailable();
        out->insert(out->end(), more.begin(), more.end());
        return out->size() >= n;
      },
      timeoutMs);
}

void LoopbackPeer::shrinkReceiveBuffer() {
  const int small = 4096;
  ::setsockopt(conn_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
}

void LoopbackPeer::close() {
  if (conn_ != -1) ::close(conn_);
  conn_ = -1;
}

void LoopbackPeer::reset() {
  if (conn_ == -1) return;
  const linger hard{1, 0};
  ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close();
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  const int fd = ListenLoopback(&port, false);
  ::close(fd);
  return port;
}

}  // namespace tarvel::testing
