#include "link/sockets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "link/socket_errors.h"
#include "loopback_peer.h"

namespace tarvel::link {
namespace {

using testing::LoopbackPeer;
using testing::WaitUntil;

TEST(SocketErrors, PosixErrorsMapToTheirWinSockCodeAndText) {
  struct Case {
    int err;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {EAGAIN, 10035, "Operation would block"},
      {ECONNREFUSED, 10061, "Connection refused"},
      {ECONNRESET, 10054, "Connection reset by peer"},
      {ETIMEDOUT, 10060, "Connection timed out"},
      {EHOSTUNREACH, 10065, "No route to host"},
      {EADDRNOTAVAIL, 10049, "Can't assign requested address"},
      {EPIPE, 10058, "Can't send after socket shutdown"},
      {EIO, 20000 + EIO, "Not a WinSock error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(WinSockCodeFromErrno(c.err), c.code);
    EXPECT_EQ(SocketErrorText(c.code), c.text);
  }
  EXPECT_EQ(SocketErrorText(11004), "No Data");
  EXPECT_EQ(SocketErrorText(0), "Not a WinSock error");
}

class SocketsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sock.OnMessage = [this](const std::string& title, const std::string& text) {
      messages.push_back(title + ": " + text);
    };
    sock.OnErrorOccurred = [this](QObject*, int, int error, const std::string&) {
      errors.push_back(error);
    };
    sock.OnSessionConnected = [this](QObject*, int) { ++connects; };
  }
  TSockets sock;
  std::vector<std::string> messages;
  std::vector<int> errors;
  int connects = 0;
};

TEST_F(SocketsTest, MissingSettingsAreReportedAndOpenNoSocket) {
  struct Case {
    const char* port;
    const char* addr;
    const char* message;
  };
  const Case cases[] = {
      {"", "127.0.0.1", "WINSOCK ERROR: No Port Specified"},
      {"20000", "", "WINSOCK ERROR: No IP Address Specified"},
  };
  for (const Case& c : cases) {
    messages.clear();
    sock.Port = c.port;
    sock.IPAddr = c.addr;
    sock.SConnect();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], c.message);
    EXPECT_EQ(sock.Socket(), -1);
  }
}

TEST_F(SocketsTest, UnresolvableHostIsReportedWithoutASocket) {
  sock.Port = "20000";
  sock.IPAddr = "no-such-host.invalid";
  sock.SConnect();
  ASSERT_TRUE(WaitUntil([&] { return !messages.empty(); }, 15000));
  EXPECT_EQ(messages[0], "WINSOCK ERROR: Cannot convert host address");
  EXPECT_EQ(sock.Socket(), -1);
  EXPECT_EQ(connects, 0);
}

TEST_F(SocketsTest, HostNameIsResolvedAndConnects) {
  LoopbackPeer peer;
  sock.Port = std::to_string(peer.port());
  sock.IPAddr = "localhost";
  sock.SConnect();
  ASSERT_TRUE(WaitUntil([&] { return connects == 1 || !messages.empty() || !errors.empty(); }));
  EXPECT_EQ(connects, 1) << (messages.empty() ? "" : messages[0]);
  EXPECT_FALSE(sock.Closed());
}

TEST_F(SocketsTest, CallsBeforeAndAfterTheConnectionAreRefused) {
  LoopbackPeer peer;
  sock.Port = std::to_string(peer.port());
  sock.IPAddr = "127.0.0.1";
  sock.SConnect();
  const char byte = 'x';
  // Before the connect notification the socket is still Closed.
  EXPECT_EQ(sock.SSend(sock.Socket(), &byte, 1), -1);
  EXPECT_EQ(sock.SendCount(), 0);
  ASSERT_TRUE(WaitUntil([&] { return connects == 1; }));
  ASSERT_TRUE(peer.accept());

  // Nothing waiting: "would block", counted as a failed receive but not reported as an error.
  char buf[16];
  EXPECT_EQ(sock.SReceive(sock.Socket(), buf, sizeof buf), -1);
  EXPECT_EQ(sock.LastCallError(), kWsaWouldBlock);
  EXPECT_EQ(sock.ReceiveErrorCount(), 1);
  EXPECT_TRUE(errors.empty());

  EXPECT_EQ(sock.SSend(sock.Socket(), &byte, 1), 1);
  EXPECT_EQ(sock.SendCount(), 1);

  sock.SDisconnect();
  EXPECT_EQ(sock.Socket(), -1);
  EXPECT_FALSE(sock.Closed());              // only the socket is gone ...
  EXPECT_EQ(sock.SSend(-1, &byte, 1), -1);  // ... which is enough to refuse sending
  EXPECT_EQ(sock.SendCount(), 1);
}

TEST_F(SocketsTest, OrderlyCloseByThePeerIsASuccessfulReceiveThenTheClosedEvent) {
  LoopbackPeer peer;
  int closedEvents = 0;
  sock.OnSessionClosed = [&](QObject*, int) { ++closedEvents; };
  sock.OnDataAvailable = [&](QObject*, int s) {
    char buf[64];
    while (sock.SReceive(s, buf, sizeof buf) > 0) {
    }
  };
  sock.Port = std::to_string(peer.port());
  sock.IPAddr = "127.0.0.1";
  sock.SConnect();
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(WaitUntil([&] { return connects == 1; }));
  peer.close();
  ASSERT_TRUE(WaitUntil([&] { return closedEvents == 1; }));
  EXPECT_TRUE(sock.Closed());
  testing::Pump(20);
  EXPECT_EQ(closedEvents, 1);  // reported once, not on every wake-up
}

}  // namespace
}  // namespace tarvel::link
