// Send path: commands per second through the command catalogue and the link manager's writer,
// over a real loopback socket, beside a bare send loop writing the same bytes.
//
// Prints one line per case: send <case> per_s=<n> ratio_to_raw=<r>
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
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/command_state.h"
#include "link/frame.h"
#include "link/orvo_com_ana.h"
#include "link/test_link.h"
#include "loopback.h"

namespace {

using tarvel::link::TOrvoComAna;

// The controller side: accepts one connection and counts what arrives until `total` bytes.
std::thread Reader(int listenFd, std::size_t total, std::atomic<std::size_t>* got) {
  return std::thread([listenFd, total, got] {
    const int c = ::accept(listenFd, nullptr, nullptr);
    std::vector<std::uint8_t> buf(256 * 1024);
    while (got->load() < total) {
      const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
      if (n <= 0) break;
      got->fetch_add(static_cast<std::size_t>(n));
    }
    ::close(c);
  });
}

double RawSeconds(const std::vector<std::uint8_t>& one, std::size_t count) {
  std::uint16_t port = 0;
  const int l = tarvel::bench::ListenLoopback(&port);
  std::atomic<std::size_t> got{0};
  std::thread r = Reader(l, one.size() * count, &got);
  const int s = tarvel::bench::ConnectLoopback(port);
  QElapsedTimer t;
  t.start();
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t done = 0;
    while (done < one.size()) {
      const ssize_t n = ::send(s, one.data() + done, one.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  r.join();
  const double secs = static_cast<double>(t.nsecsElapsed()) / 1e9;
  ::close(s);
  ::close(l);
  return secs;
}

struct BulkState : tarvel::link::test::TScriptedState {
  std::vector<std::uint8_t> data = std::vector<std::uint8_t>(60000, 0x5A);
  tarvel::link::TScanCondition ScanCondition() const override {
    tarvel::link::TScanCondition c;
    c.words[tarvel::link::TScanCondition::kWidth] = 800;  // 800 x 600 bits = 60000 bytes
    c.words[tarvel::link::TScanCondition::kHeight] = 600;
    return c;
  }
  std::span<const std::uint8_t> ScanBulkData() const override { return data; }
};

double LinkSeconds(const std::function<tarvel::base::Status(TOrvoComAna&)>& cmd,
                   std::size_t frameSize, std::size_t count) {
  std::uint16_t port = 0;
  const int l = tarvel::bench::ListenLoopback(&port);
  std::atomic<std::size_t> got{0};
  const std::size_t total = frameSize * count;
  std::thread r = Reader(l, total, &got);
  // The bulk frames read the scan block through the command state.
  struct BulkLink : tarvel::link::test::TLinkPartsWith<BulkState>, TOrvoComAna {
    BulkLink() : TOrvoComAna(partDispatcher, partModels, partState) {}
  } link;
  link.IPAddr = "127.0.0.1";
  link.Port = std::to_string(port);
  link.Connect();
  while (link.IsConnected() == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QElapsedTimer t;
  t.start();
  std::size_t failed = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // Keep the queue short, as a real sender would by the event loop's pace.
    while (link.QueuedBytes() > 4u * 1024 * 1024) QCoreApplication::processEvents();
    if (!cmd(link).ok()) ++failed;
  }
  while (got.load() < total && link.Socket() != -1) QCoreApplication::processEvents();
  const double secs = static_cast<double>(t.nsecsElapsed()) / 1e9;
  link.Disconnect();
  r.join();
  ::close(l);
  if (failed != 0) std::fprintf(stderr, "refused commands: %zu of %zu\n", failed, count);
  return secs;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  struct Case {
    const char* name;
    std::function<tarvel::base::Status(TOrvoComAna&)> cmd;
    std::vector<std::uint8_t> frame;  // the same bytes for the bare loop
    std::size_t count;
  };
  std::vector<std::uint8_t> flag{0, 0, 0, 1};
  std::vector<std::uint8_t> bulk{0x03, 0x20, 0x02, 0x58};  // width 800, height 600
  bulk.resize(4 + 60000, 0x5A);
  const Case cases[] = {
      {"small", [](TOrvoComAna& l) { return l.CmdSysDataInitialized(true); },
       tarvel::link::BuildFrame({1, 12, 1}, flag), 200000},
      {"bulk60000",
       [](TOrvoComAna& l) { return l.CmdScanBitmapData(tarvel::link::TBitmapForm::kPlain); },
       tarvel::link::BuildFrame({8, 4, 1}, bulk), 2000},
  };
  for (const Case& c : cases) {
    // Best of three runs each, to keep scheduler noise out of the ratio.
    double raw = 1e9, viaLink = 1e9;
    for (int run = 0; run < 3; ++run) {
      raw = std::min(raw, RawSeconds(c.frame, c.count));
      viaLink = std::min(viaLink, LinkSeconds(c.cmd, c.frame.size(), c.count));
    }
    std::printf("send %s per_s=%.0f ratio_to_raw=%.2f\n", c.name,
                static_cast<double>(c.count) / viaLink, raw / viaLink);
    std::fflush(stdout);
  }
  return 0;
}
