#include "link/sockets.h"

#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "link/socket_errors.h"

namespace tarvel::link {
namespace {

const char* EventName(int event) {
  switch (event) {
    case TSockets::kFdRead:
      return "FD_READ";
    case TSockets::kFdWrite:
      return "FD_WRITE";
    case TSockets::kFdAccept:
      return "FD_ACCEPT";
    case TSockets::kFdConnect:
      return "FD_CONNECT";
    case TSockets::kFdClose:
      return "FD_CLOSE";
    default:
      return "";
  }
}

// The port in network byte order: a known service name, else a decimal number 1..65535.
bool ResolvePort(const std::string& port, std::uint16_t* out) {
  if (const servent* s = getservbyname(port.c_str(), "tcp")) {
    *out = static_cast<std::uint16_t>(s->s_port);
    return true;
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
    return false;
  }
  *out = htons(static_cast<std::uint16_t>(value));
  return true;
}

}  // namespace

TSockets::TSockets(QObject* parent) : QObject(parent) {}

TSockets::~TSockets() {
  if (lookupId_ != -1) QHostInfo::abortHostLookup(lookupId_);
  if (socket_ != -1) ::close(socket_);
}

void TSockets::Message(const std::string& text) {
  if (OnMessage) {
    OnMessage("WINSOCK ERROR", text);
  } else {
    std::fprintf(stderr, "WINSOCK ERROR: %s\n", text.c_str());
  }
}

void TSockets::SConnect() {
  // A socket still open (or a look-up still pending) belongs to the previous attempt; closing
  // it first keeps reconnect loops from leaking one descriptor per try.
  if (socket_ != -1 || lookupId_ != -1) SDisconnect();
  if (Port.empty()) {
    Message("No Port Specified");
    return;
  }
  if (IPAddr.empty()) {
    Message("No IP Address Specified");
    return;
  }
  std::uint16_t port = 0;
  if (!ResolvePort(Port, &port)) {
    SocketError(-1, "SConnect (port " + Port + ")", kWsaInvalidArgument);
    return;
  }
  in_addr addr{};
  if (inet_pton(AF_INET, IPAddr.c_str(), &addr) == 1) {
    ConnectTo(addr.s_addr, port);  // a dotted address needs no look-up
    return;
  }
  // A host name: resolved off the event loop; the connect starts when the answer arrives.
  pendingPort_ = port;
  const std::uint64_t gen = ++generation_;
  lookupId_ = QHostInfo::lookupHost(QString::fromStdString(IPAddr), this,
                                    [this, gen](const QHostInfo& info) {
                                      if (gen != generation_) return;
                                      lookupId_ = -1;
                                      for (const auto& a : info.addresses()) {
                                        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                                          ConnectTo(htonl(a.toIPv4Address()), pendingPort_);
                                          return;
                                        }
                                      }
                                      Message("Cannot convert host address");
                                    });
}

void TSockets::ConnectTo(std::uint32_t addressNetworkOrder, std::uint16_t portNetworkOrder) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    // Without a socket there is nothing to connect; the remaining steps are skipped.
    SocketError(-1, "SConnect (socket)", WinSockCodeFromErrno(errno));
    return;
  }
  socket_ = fd;
  const std::uint64_t gen = ++generation_;
  const int one = 1;
  // Commands are small and latency matters more than segment count.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  readNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  readNotifier_->setEnabled(false);
  connect(readNotifier_, &QSocketNotifier::activated, this, [this] { ReadReady(); });
  writeNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  connect(writeNotifier_, &QSocketNotifier::activated, this, [this] { WriteReady(); });

  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = portNetworkOrder;
  peer.sin_addr.s_addr = addressNetworkOrder;
  connecting_ = true;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ||
      errno == EINPROGRESS) {
    return;  // completion (or its error) arrives as writability
  }
  // An immediate failure is still delivered as a connect notification from the event loop, so
  // a handler that reconnects never runs inside SConnect itself.
  const int code = WinSockCodeFromErrno(errno);
  writeNotifier_->setEnabled(false);
  QTimer::singleShot(0, this, [this, gen, fd, code] {
    if (gen != generation_ || socket_ != fd) return;
    connecting_ = false;
    Notify(fd, kFdConnect, code);
  });
}

void TSockets::SDisconnect() {
  ++generation_;  // queued notifications and look-up answers for the old socket are void
  if (lookupId_ != -1) {
    QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
  }
  // The notifiers may be the ones whose signal is running right now: disable, delete later.
  for (QSocketNotifier** n : {&readNotifier_, &writeNotifier_}) {
    if (*n) {
      (*n)->setEnabled(false);
      (*n)->deleteLater();
      *n = nullptr;
    }
  }
  connecting_ = false;
  writeWanted_ = false;
  if (socket_ == -1) return;
  const int fd = socket_;
  socket_ = -1;
  ::shutdown(fd, SHUT_RDWR);
  const linger hard{1, 0};  // discard unsent data and reset, as the original did
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  if (::close(fd) != 0) SocketError(-1, "Disconnect (closesocket)", WinSockCodeFromErrno(errno));
}

std::ptrdiff_t TSockets::SReceive(int socket, void* buffer, std::size_t count) {
  if (socket_ == -1 || socket != socket_) return -1;
  ssize_t n;
  do {
    n = ::recv(socket, buffer, count, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    lastCallError_ = WinSockCodeFromErrno(errno);
    ++receiveErrorCount_;
    if (lastCallError_ != kWsaWouldBlock) SocketError(socket, "SReceive", lastCallError_);
    return -1;
  }
  lastCallError_ = 0;
  ++receiveCount_;
  return n;
}

std::ptrdiff_t TSockets::SSend(int socket, const void* data, std::size_t count) {
  if (socket_ == -1 || socket != socket_ || closed_) {
    lastCallError_ = kWsaNotConnected;
    return -1;
  }
  ++sendCount_;
  ssize_t n;
  do {
    n = ::send(socket, data, count, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(count)) ++sendShortCount_;
  if (n < 0) {
    lastCallError_ = WinSockCodeFromErrno(errno);
    SocketError(socket, "SSend", lastCallError_);
    return -1;
  }
  lastCallError_ = 0;
  return n;
}

void TSockets::SocketError(int socket, const std::string& function, int code) {
  if (code != kWsaWouldBlock) closed_ = true;
  const std::string text = SocketErrorText(code);
  if (OnErrorOccurred) {
    OnErrorOccurred(this, socket, code, text);
  } else {
    std::fprintf(stderr, "WINSOCK ERROR: Error %d in function %s\r\n%s\n", code, function.c_str(),
                 text.c_str());
  }
}

void TSockets::SetWriteWanted(bool wanted) {
  writeWanted_ = wanted;
  if (writeNotifier_ && !connecting_) writeNotifier_->setEnabled(wanted);
}

void TSockets::ReadReady() {
  const int fd = socket_;
  if (fd == -1) return;
  // Peek one byte to tell data from an orderly close without taking anything from the stream.
  char probe;
  ssize_t n;
  do {
    n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    Notify(fd, kFdRead, 0);
    return;
  }
  if (n < 0 && errno == EAGAIN) return;  // spurious wake-up
  // End of stream or a reset: reported once; the notifier would otherwise fire forever.
  if (readNotifier_) readNotifier_->setEnabled(false);
  Notify(fd, kFdClose, n == 0 ? 0 : WinSockCodeFromErrno(errno));
}

void TSockets::WriteReady() {
  const int fd = socket_;
  if (fd == -1) return;
  if (connecting_) {
    connecting_ = false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (writeNotifier_) writeNotifier_->setEnabled(writeWanted_ && err == 0);
    if (err == 0 && readNotifier_) readNotifier_->setEnabled(true);
    Notify(fd, kFdConnect, err == 0 ? 0 : WinSockCodeFromErrno(err));
    return;
  }
  if (!writeWanted_) {
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    return;
  }
  Notify(fd, kFdWrite, 0);
}

void TSockets::Notify(int socket, int event, int error) {
  if (error > 10000) {
    SocketError(socket, EventName(event), error);
    return;
  }
  switch (event) {
    case kFdRead:
      if (OnDataAvailable) OnDataAvailable(this, socket);
      break;
    case kFdWrite:
      if (OnDataNeeded) OnDataNeeded(this, socket);
      break;
    case kFdAccept:
      if (OnSessionAvailable) OnSessionAvailable(this, socket);
      break;
    case kFdConnect:
      if (OnSessionConnected) OnSessionConnected(this, socket);
      closed_ = false;
      break;
    case kFdClose:
      if (OnSessionClosed) OnSessionClosed(this, socket);
      closed_ = true;
      break;
    default:
      break;
  }
}

}  // namespace tarvel::link
