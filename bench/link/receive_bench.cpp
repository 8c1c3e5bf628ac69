// Receive path: frames per second through DataArrival up to dispatch, over a real loopback
// socket, beside a bare recv loop reading the same byte stream.
//
// Prints one line per payload size: receive <size> frames_per_s=<n> ratio_to_raw=<r>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/orvo_com_ana.h"
#include "link/test_link.h"
#include "loopback.h"

namespace {

using tarvel::link::FrameIds;

struct CountingDispatcher {
  void Count(const tarvel::link::ReceivedFrame& f) {
    ++frames;
    checksum += f.payload.empty() ? 0 : f.payload[0];
  }
  std::size_t frames = 0;
  std::size_t checksum = 0;
};

// The controller side: accepts one connection and writes the whole stream.
std::thread Writer(int listenFd, const std::vector<std::uint8_t>& stream) {
  return std::thread([listenFd, &stream] {
    const int c = ::accept(listenFd, nullptr, nullptr);
    std::size_t done = 0;
    while (done < stream.size()) {
      const ssize_t n = ::send(c, stream.data() + done, stream.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::shutdown(c, SHUT_WR);
    char b;
    while (::recv(c, &b, 1, 0) > 0) {
    }
    ::close(c);
  });
}

double RawSeconds(const std::vector<std::uint8_t>& stream) {
  std::uint16_t port = 0;
  const int l = tarvel::bench::ListenLoopback(&port);
  std::thread w = Writer(l, stream);
  const int s = tarvel::bench::ConnectLoopback(port);
  std::vector<std::uint8_t> buf(64 * 1024);
  std::size_t got = 0;
  QElapsedTimer t;
  t.start();
  while (got < stream.size()) {
    const ssize_t n = ::recv(s, buf.data(), buf.size(), 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  const double secs = static_cast<double>(t.nsecsElapsed()) / 1e9;
  ::close(s);
  w.join();
  ::close(l);
  return secs;
}

double LinkSeconds(const std::vector<std::uint8_t>& stream, std::size_t frames) {
  std::uint16_t port = 0;
  const int l = tarvel::bench::ListenLoopback(&port);
  tarvel::link::test::TTestLink link;
  CountingDispatcher count;
  CountingDispatcher* counter = &count;
  link.Dispatcher().AddFrameListener([counter](const auto& f) { counter->Count(f); });
  link.IPAddr = "127.0.0.1";
  link.Port = std::to_string(port);
  link.Connect();
  while (link.IsConnected() == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QElapsedTimer t;
  t.start();
  std::thread w = Writer(l, stream);
  while (counter->frames < frames && link.Socket() != -1) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const double secs = static_cast<double>(t.nsecsElapsed()) / 1e9;
  link.Disconnect();
  w.join();
  ::close(l);
  if (counter->frames != frames)
    std::fprintf(stderr, "lost frames: %zu of %zu\n", counter->frames, frames);
  return secs;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t budget = 128u * 1024 * 1024;  // bytes per case
  for (std::size_t size : {8u, 200u, 4096u, 60000u}) {
    const std::vector<std::uint8_t> payload(size, 0x5A);
    const auto frame = tarvel::link::BuildFrame(FrameIds{10, 1, 2}, payload);
    const std::size_t frames = std::max<std::size_t>(200, budget / frame.size());
    std::vector<std::uint8_t> stream;
    stream.reserve(frames * frame.size());
    for (std::size_t i = 0; i < frames; ++i)
      stream.insert(stream.end(), frame.begin(), frame.end());
    // Best of three runs each, to keep scheduler noise out of the ratio.
    double raw = 1e9, viaLink = 1e9;
    for (int run = 0; run < 3; ++run) {
      raw = std::min(raw, RawSeconds(stream));
      viaLink = std::min(viaLink, LinkSeconds(stream, frames));
    }
    const double fps = static_cast<double>(frames) / viaLink;
    std::printf("receive %zu frames_per_s=%.0f ratio_to_raw=%.2f\n", size, fps, raw / viaLink);
    std::fflush(stdout);
  }
  return 0;
}
