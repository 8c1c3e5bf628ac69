// TSockets: one TCP client socket whose readiness arrives as events on the main thread.
//
// A non-blocking POSIX socket is watched by two QSocketNotifiers; their activations become the
// component's notifications, one at a time, on the thread that owns it:
//   FD_CONNECT  connect finished: OnSessionConnected, then Closed() = false (or an error)
//   FD_READ     data waiting: OnDataAvailable
//   FD_WRITE    room to send, only while the owner asked for it (SetWriteWanted): OnDataNeeded
//   FD_CLOSE    the peer closed: OnSessionClosed, then Closed() = true
// A notification that carries an error (a refused connect, a reset) runs no handler: it goes to
// SocketError, the single error path, which calls OnErrorOccurred with the WinSock code and text.
// Nothing here blocks, shows a dialog or ends the program: conditions the original showed in a
// message box ("No Port Specified", "Cannot convert host address") go to OnMessage.
//
// A host name that is not a dotted address is resolved asynchronously; the socket opens once it
// is known. Handlers may call SConnect, SDisconnect, SSend or SReceive; a handler that closes the
// socket ends the notification that called it. Main thread only; not copyable.
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

namespace tarvel::link {

class TSockets : public QObject {
  Q_OBJECT

 public:
  using SocketEvent = std::function<void(QObject* sender, int socket)>;
  using ErrorEvent =
      std::function<void(QObject* sender, int socket, int error, const std::string& msg)>;
  using MessageEvent = std::function<void(const std::string& title, const std::string& text)>;

  // Notification event numbers, as the original library numbered them.
  enum Event { kFdRead = 1, kFdWrite = 2, kFdAccept = 8, kFdConnect = 16, kFdClose = 32 };

  explicit TSockets(QObject* parent = nullptr);
  ~TSockets() override;
  TSockets(const TSockets&) = delete;
  TSockets& operator=(const TSockets&) = delete;

  // Service name or decimal port number; empty by default.
  std::string Port;
  // Dotted IPv4 address or host name; empty by default.
  std::string IPAddr;
  // Only the asynchronous mode exists; the property is kept for the callers that set it.
  bool NonBlocking = true;
  int Timeout = 30;                 // seconds; stored only (no blocking calls are made)
  int MaximumReceiveLength = 8192;  // stored only

  SocketEvent OnDataAvailable;
  SocketEvent OnDataNeeded;
  SocketEvent OnSessionClosed;
  SocketEvent OnSessionAvailable;  // never raised: the component never listens
  SocketEvent OnSessionConnected;
  ErrorEvent OnErrorOccurred;
  MessageEvent OnMessage;  // stands in for the original's message boxes

  // Opens the socket and starts connecting to IPAddr:Port; a socket still open is closed first.
  void SConnect();
  // Closes the socket at once (linger 0: unsent data is discarded). Closed() is left as it is.
  void SDisconnect();
  // One receive call: bytes read, 0 when the peer closed its side, -1 on failure ("would block"
  // included; LastCallError() tells which).
  std::ptrdiff_t SReceive(int socket, void* buffer, std::size_t count);
  // One send call: bytes written (possibly fewer than asked) or -1. Refused without counting
  // while there is no socket or Closed() is true.
  std::ptrdiff_t SSend(int socket, const void* data, std::size_t count);
  // The single error path: Closed() = true unless code is 10035, then OnErrorOccurred.
  void SocketError(int socket, const std::string& function, int code);

  int Socket() const { return socket_; }
  bool Closed() const { return closed_; }
  // WinSock code of the last SReceive/SSend that returned -1; 0 after one that did not.
  int LastCallError() const { return lastCallError_; }
  // True between SConnect and the connect notification (including a pending name look-up).
  bool Connecting() const { return connecting_ || lookupId_ != -1; }

  std::int64_t SendCount() const { return sendCount_; }
  std::int64_t SendShortCount() const { return sendShortCount_; }
  std::int64_t ReceiveCount() const { return receiveCount_; }
  std::int64_t ReceiveErrorCount() const { return receiveErrorCount_; }

 protected:
  // Ask for (or stop) FD_WRITE notifications; the owner wants them while it has queued output.
  void SetWriteWanted(bool wanted);

 private:
  void ConnectTo(std::uint32_t addressNetworkOrder, std::uint16_t portNetworkOrder);
  void ReadReady();
  void WriteReady();
  void Notify(int socket, int event, int error);
  void Message(const std::string& text);

  int socket_ = -1;
  bool closed_ = true;
  bool connecting_ = false;  // connect issued, completion not yet seen
  bool writeWanted_ = false;
  int lastCallError_ = 0;
  int lookupId_ = -1;  // pending host look-up, -1 when none
  std::uint16_t pendingPort_ = 0;
  std::uint64_t generation_ = 0;  // bumped per socket, so stale queued events are dropped
  QSocketNotifier* readNotifier_ = nullptr;
  QSocketNotifier* writeNotifier_ = nullptr;
  std::int64_t sendCount_ = 0;
  std::int64_t sendShortCount_ = 0;
  std::int64_t receiveCount_ = 0;
  std::int64_t receiveErrorCount_ = 0;
};

}  // namespace tarvel::link
