// LoopbackPeer: the controller's side of a link test, on 127.0.0.1 with an ephemeral port.
//
// The test writes exact bytes (whole frames, pieces, garbage) and reads what the link sent.
// Every wait runs the Qt event loop, so the link under test keeps working meanwhile, and is
// bounded.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tarvel::testing {

// Runs the event loop until `done` is true or `timeoutMs` passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the event loop for about `ms` (used only to let nothing happen, never to time a result).
void Pump(int ms);

class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t port() const { return port_; }
  bool accept(int timeoutMs = 5000);
  bool connected() const { return conn_ != -1; }
  // Writes all bytes, running the event loop while the socket is full.
  bool write(std::span<const std::uint8_t> bytes, int timeoutMs = 10000);
  // What has arrived so far (non-blocking).
  std::vector<std::uint8_t> readAvailable();
  // Reads until `n` bytes arrived in all (bounded).
  bool readExactly(std::size_t n, std::vector<std::uint8_t>* out, int timeoutMs = 5000);
  void shrinkReceiveBuffer();  // so that the link's writes fill the socket quickly
  void close();                // orderly
  void reset();                // RST
  void stopListening();

 private:
  int listen_ = -1;
  int conn_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
std::uint16_t UnusedPort();

}  // namespace tarvel::testing
