// The controller simulator through its real socket: a plain blocking client on 127.0.0.1 talks
// to the binary that ControllerSim runs, and checks the bytes and the log lines.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "link/frame.h"
#include "link/frame_format.h"
#include "support/controller_sim.h"

namespace tarvel::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kReadTimeoutMs = 5000;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const Bytes& b) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (std::uint8_t v : b) {
    s += d[v >> 4];
    s += d[v & 15];
  }
  return s;
}

Bytes Int32Be(std::int32_t v) {
  return base::ByteWriter().i32be(v).take();
}

// A blocking loopback client whose reads are bounded by poll() deadlines.
class Client {
 public:
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Returns 0 on success, else the connect errno.
  int connectTo(quint16 port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return errno;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) return errno;
    return 0;
  }
  bool sendBytes(const Bytes& b) {
    std::size_t done = 0;
    while (done < b.size()) {
      const ssize_t n = ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool sendFrame(link::FrameIds ids, const Bytes& payload = {}) {
    return sendBytes(link::BuildFrame(ids, payload));
  }
  // Reads exactly n bytes; nullopt on timeout, EOF or error. Counts the recv calls it made.
  std::optional<Bytes> readExact(std::size_t n, int timeoutMs = kReadTimeoutMs) {
    Bytes out(n);
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
      const ssize_t r = ::recv(fd_, out.data() + got, n - got, 0);
      ++recvCalls;
      if (r <= 0) {
        lastErrno = r < 0 ? errno : 0;
        return std::nullopt;
      }
      got += static_cast<std::size_t>(r);
    }
    return out;
  }
  struct Frame {
    Bytes raw;  // the whole frame as received
    link::FrameIds ids;
    Bytes payload;
  };
  std::optional<Frame> readFrame() {
    std::optional<Bytes> prefix = readExact(link::kPrefixSize);
    if (!prefix) return std::nullopt;
    base::ByteReader r(*prefix);
    std::int32_t length = 0;
    if (!r.skip(link::kMarkSize) || !r.readI32be(&length) || length < 12 || length > (1 << 24))
      return std::nullopt;
    std::optional<Bytes> rest = readExact(static_cast<std::size_t>(length));
    if (!rest) return std::nullopt;
    Frame f;
    f.raw = *prefix;
    f.raw.insert(f.raw.end(), rest->begin(), rest->end());
    base::ByteReader ids(*rest);
    (void)ids.readI32be(&f.ids.unit);
    (void)ids.readI32be(&f.ids.item);
    (void)ids.readI32be(&f.ids.mode);
    f.payload.assign(rest->begin() + link::kIdsSize, rest->end());
    return f;
  }
  // True when nothing arrives (and the connection stays open) for `ms` milliseconds.
  bool quietFor(int ms) {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, ms) == 0;
  }
  // True when the peer ended the connection (EOF or reset) within the read timeout.
  bool endedByPeer() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, kReadTimeoutMs) <= 0) return false;
    std::uint8_t b;
    const ssize_t r = ::recv(fd_, &b, 1, 0);
    lastErrno = r < 0 ? errno : 0;
    return r <= 0;
  }
  void closeNow() {
    ::close(fd_);
    fd_ = -1;
  }

  int recvCalls = 0;
  int lastErrno = 0;

 private:
  int fd_ = -1;
};

// A started simulator with one connected client, the simulator having logged the accept.
struct Session {
  explicit Session(QStringList args = {}) : sim(std::move(args)) {}
  bool open() {
    return sim.start() && client.connectTo(sim.port()) == 0 &&
           sim.waitForEvent(QStringLiteral("accepted"));
  }
  ControllerSim sim;
  Client client;
};

constexpr link::FrameIds kSysInfoRequest{1, 1, 2};
constexpr link::FrameIds kSysInfoReport{1, 1, 2};

struct Identity {
  std::string protocol, time, name, version, hardType;
  std::int32_t ints[6] = {};
};

// Decodes a full system report the way the server must: five strings, six integers, no padding.
std::optional<Identity> DecodeSystemReport(const Bytes& payload) {
  base::ByteReader r(payload);
  Identity id;
  for (std::string* s : {&id.protocol, &id.time, &id.name, &id.version, &id.hardType}) {
    if (!r.readCString(s)) return std::nullopt;
  }
  for (std::int32_t& v : id.ints) {
    if (!r.readI32be(&v)) return std::nullopt;
  }
  if (!r.atEnd()) return std::nullopt;
  return id;
}

TEST(ControllerSimTest, SystemReportAndSingleFieldReportsDecode) {
  // "テスト" in UTF-8 on the command line must reach the wire in CP932.
  Session s({"--sys-name",         "ORVO450SEC テスト",
             "--hard-type",        "HARD3",
             "--protocol",         "P1.5",
             "--sys-version",      "V9.87",
             "--sys-time",         "2024/01/02 03:04:05",
             "--modify-flag",      "1",
             "--vac-gauge-type",   "3",
             "--aperture-type",    "0x85",
             "--detector-type",    "1",
             "--egun-type",        "1",
             "--data-initialized", "-7"});
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.client.sendFrame(kSysInfoRequest));
  std::optional<Client::Frame> f = s.client.readFrame();
  ASSERT_TRUE(f);
  EXPECT_EQ(ToHex(Bytes(f->raw.begin(), f->raw.begin() + 4)), "3a490120");
  EXPECT_EQ(f->ids, kSysInfoReport);
  std::optional<Identity> id = DecodeSystemReport(f->payload);
  ASSERT_TRUE(id) << ToHex(f->payload);
  const std::string cp932Name = "ORVO450SEC \x83\x65\x83\x58\x83\x67";
  EXPECT_EQ(id->protocol, "P1.5");
  EXPECT_EQ(id->time, "2024/01/02 03:04:05");
  EXPECT_EQ(id->name, cp932Name);
  EXPECT_EQ(id->version, "V9.87");
  EXPECT_EQ(id->hardType, "HARD3");
  const std::int32_t expected[6] = {1, 3, 0x85, 1, 1, -7};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(id->ints[i], expected[i]) << "integer " << i;

  const struct {
    std::int32_t item;
    Bytes payload;
  } cases[] = {
      {2, {'P', '1', '.', '5', 0}},
      {3, base::ByteWriter().cstring("2024/01/02 03:04:05").take()},
      {4, base::ByteWriter().cstring(cp932Name).take()},
      {5, {'V', '9', '.', '8', '7', 0}},
      {6, {'H', 'A', 'R', 'D', '3', 0}},
      {7, Int32Be(1)},
      {8, Int32Be(3)},
      {9, Int32Be(0x85)},
      {10, Int32Be(1)},
      {11, Int32Be(1)},
      {12, Int32Be(-7)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("item " + std::to_string(c.item));
    ASSERT_TRUE(s.client.sendFrame({1, c.item, 2}));
    std::optional<Client::Frame> r = s.client.readFrame();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ids, (link::FrameIds{1, c.item, 2}));
    EXPECT_EQ(ToHex(r->payload), ToHex(c.payload));
  }
}

TEST(ControllerSimTest, IdentityChangesAtRunTimeAndTimeSettingIsKept) {
  Session s;
  ASSERT_TRUE(s.open());
  EXPECT_TRUE(s.sim.command("set sys-name PADO510"));
  EXPECT_TRUE(s.sim.command("set hard-type HARD3"));
  EXPECT_FALSE(s.sim.command("set hard-type HARD4"));
  EXPECT_FALSE(s.sim.command("set no-such-key 1"));
  // A clock setting from the server (item 3, mode 1) is what the next report shows.
  ASSERT_TRUE(
      s.client.sendFrame({1, 3, 1}, base::ByteWriter().cstring("2031/05/06 07:08:09").take()));
  ASSERT_TRUE(s.client.sendFrame({1, 12, 1}, Int32Be(0)));
  ASSERT_TRUE(s.sim.waitForFrames(2));
  ASSERT_TRUE(s.sim.command("report 1 1"));
  std::optional<Client::Frame> f = s.client.readFrame();
  ASSERT_TRUE(f);
  std::optional<Identity> id = DecodeSystemReport(f->payload);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->name, "PADO510");
  EXPECT_EQ(id->hardType, "HARD3");
  EXPECT_EQ(id->time.substr(0, 14), "2031/05/06 07:");
  EXPECT_EQ(id->ints[5], 0);
}

TEST(ControllerSimTest, SyncReplyEchoesTheId) {
  Session s;
  ASSERT_TRUE(s.open());
  for (const std::int32_t syncId : {1, 123456, 999998, -1}) {
    SCOPED_TRACE(syncId);
    ASSERT_TRUE(s.client.sendFrame({1, 14, 1}, Int32Be(syncId)));
    std::optional<Client::Frame> f = s.client.readFrame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->ids, (link::FrameIds{1, 14, 2}));
    EXPECT_EQ(ToHex(f->payload), ToHex(Int32Be(syncId)));
  }
}

TEST(ControllerSimTest, LogLineCarriesIdsLengthAndPayloadHex) {
  Session s;
  ASSERT_TRUE(s.open());
  // Sent one byte per write: the simulator must still cut exactly one frame from it.
  const Bytes frame = link::BuildFrame({10, 7, 1}, FromHex("00000001deadbeef"));
  for (std::uint8_t b : frame) ASSERT_TRUE(s.client.sendBytes({b}));
  ASSERT_TRUE(s.sim.waitForFrames(1));
  ASSERT_TRUE(s.client.sendFrame({27, 3, 2}));
  ASSERT_TRUE(s.sim.waitForFrames(2));
  const QList<QJsonObject> frames = s.sim.receivedFrames();
  ASSERT_EQ(frames.size(), 2);
  EXPECT_EQ(frames[0]["unit"].toInt(), 10);
  EXPECT_EQ(frames[0]["item"].toInt(), 7);
  EXPECT_EQ(frames[0]["mode"].toInt(), 1);
  EXPECT_EQ(frames[0]["len"].toInt(), 20);
  EXPECT_EQ(frames[0]["payload"].toString(), QStringLiteral("00000001deadbeef"));
  EXPECT_TRUE(frames[0]["t"].isDouble());
  EXPECT_EQ(frames[1]["unit"].toInt(), 27);
  EXPECT_EQ(frames[1]["len"].toInt(), 12);
  EXPECT_EQ(frames[1]["payload"].toString(), QString());
  // Unknown units are only logged, never answered.
  EXPECT_TRUE(s.client.quietFor(200));

  s.client.closeNow();
  ASSERT_TRUE(s.sim.waitForEvent(QStringLiteral("closed")));
  const QList<QJsonObject> events = s.sim.events();
  ASSERT_EQ(events.size(), 2);
  EXPECT_EQ(events[0]["event"].toString(), QStringLiteral("accepted"));
  EXPECT_EQ(events[1]["reason"].toString(), QStringLiteral("peer"));
}

TEST(ControllerSimTest, SplitWritesStillDeliverWholeFrames) {
  // A long name makes the report about 200 bytes: some 70 pieces of 3 bytes, 2 ms apart.
  const std::string name = "ORVO-" + std::string(150, 'N');
  Session s({"--split", "3", "--sys-name", QString::fromStdString(name)});
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.client.sendFrame(kSysInfoRequest));
  std::optional<Client::Frame> report = s.client.readFrame();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->ids, kSysInfoReport);
  std::optional<Identity> id = DecodeSystemReport(report->payload);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->name, name);
  // The pieces arrive as separate segments, so the frame cannot come in one or two reads.
  EXPECT_GT(s.client.recvCalls, 2);

  // Command output is split the same way and still arrives whole and in order.
  Bytes payload(150);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(s.sim.command(QString::fromStdString("frame 8 2 2 " + ToHex(payload))));
  ASSERT_TRUE(s.sim.command("burst 2 8 3 4"));
  std::optional<Client::Frame> f = s.client.readFrame();
  ASSERT_TRUE(f);
  EXPECT_EQ(f->raw, link::BuildFrame({8, 2, 2}, payload));
  for (std::int32_t k = 0; k < 2; ++k) {
    std::optional<Client::Frame> b = s.client.readFrame();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->raw, link::BuildFrame({8, 3, 2}, Int32Be(k)));
  }
}

TEST(ControllerSimTest, RefuseBindsButConnectIsRefused) {
  ControllerSim sim({"--refuse"});
  ASSERT_TRUE(sim.start());
  ASSERT_NE(sim.port(), 0);
  Client client;
  EXPECT_EQ(client.connectTo(sim.port()), ECONNREFUSED);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(ControllerSimTest, ScenarioSendsItsFaultOnceAfterTheFirstSystemReport) {
  const Bytes filler(16, 0xEE);
  Bytes stallPayload(32);
  for (std::size_t i = 0; i < stallPayload.size(); ++i)
    stallPayload[i] = static_cast<std::uint8_t>(i);
  const struct {
    const char* name;
    Bytes fault;
  } cases[] = {
      {"bad-header", FromHex("3a4900200000000c000000010000000100000002")},
      {"len0", Concat({FromHex("3a49012000000000"), filler})},
      {"len11", Concat({FromHex("3a4901200000000b"), filler})},
      {"lenmax", Concat({FromHex("3a4901207fffffff"), filler})},
      {"stall", Concat({FromHex("3a4901200000004c000000010000000100000002"), stallPayload})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session s({"--scenario", c.name});
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.client.sendFrame(kSysInfoRequest));
    std::optional<Client::Frame> report = s.client.readFrame();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ids, kSysInfoReport);
    std::optional<Bytes> fault = s.client.readExact(c.fault.size());
    ASSERT_TRUE(fault);
    EXPECT_EQ(ToHex(*fault), ToHex(c.fault));
    EXPECT_TRUE(s.client.quietFor(100));
    // Once only: the next report comes alone, except after a stall, which sends nothing more.
    ASSERT_TRUE(s.client.sendFrame(kSysInfoRequest));
    if (std::string(c.name) == "stall") {
      ASSERT_TRUE(s.sim.waitForFrames(2));
      EXPECT_TRUE(s.client.quietFor(200));
    } else {
      std::optional<Client::Frame> again = s.client.readFrame();
      ASSERT_TRUE(again);
      EXPECT_EQ(again->ids, kSysInfoReport);
      EXPECT_TRUE(s.client.quietFor(100));
    }
  }
}

TEST(ControllerSimTest, CloseScenarioEndsTheConnectionAfterTheReport) {
  Session s({"--scenario", "close"});
  ASSERT_TRUE(s.open());
  ASSERT_TRUE(s.client.sendFrame(kSysInfoRequest));
  ASSERT_TRUE(s.client.readFrame());
  EXPECT_TRUE(s.client.endedByPeer());
  EXPECT_EQ(s.client.lastErrno, 0);  // orderly: EOF, not a reset
  ASSERT_TRUE(s.sim.waitForEvent(QStringLiteral("closed")));
}

TEST(ControllerSimTest, ControlCommandsWriteTheirBytes) {
  Session s;
  ASSERT_TRUE(s.sim.start());
  EXPECT_FALSE(s.sim.command("frame 10 1 2 -"));    // no client yet
  EXPECT_FALSE(s.sim.command("frame 10 1 2 abc"));  // odd hex
  EXPECT_FALSE(s.sim.command("fly 1 2"));
  ASSERT_EQ(s.client.connectTo(s.sim.port()), 0);
  ASSERT_TRUE(s.sim.waitForEvent(QStringLiteral("accepted")));

  ASSERT_TRUE(s.sim.command("frame 10 1 2 -"));
  std::optional<Bytes> bytes = s.client.readExact(20);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(ToHex(*bytes), "3a4901200000000c0000000a0000000100000002");

  ASSERT_TRUE(s.sim.command("burst 3 10 1 6"));
  for (std::uint32_t k = 0; k < 3; ++k) {
    std::optional<Client::Frame> f = s.client.readFrame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->ids, (link::FrameIds{10, 1, 2}));
    EXPECT_EQ(ToHex(f->payload), ToHex(Concat({Int32Be(static_cast<std::int32_t>(k)), {4, 5}})));
  }

  // A stalled frame completed by raw bytes reads as one whole frame.
  ASSERT_TRUE(s.sim.command("stall 10 1 8"));
  ASSERT_TRUE(s.sim.command("raw 04050607"));
  std::optional<Client::Frame> f = s.client.readFrame();
  ASSERT_TRUE(f);
  EXPECT_EQ(ToHex(f->payload), "0001020304050607");

  ASSERT_TRUE(s.sim.command("length 2147483647"));
  bytes = s.client.readExact(24);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(ToHex(*bytes), "3a4901207fffffff" + std::string(32, 'e'));

  ASSERT_TRUE(s.sim.command("reset"));
  EXPECT_TRUE(s.client.endedByPeer());
  EXPECT_EQ(s.client.lastErrno, ECONNRESET);
  EXPECT_FALSE(s.sim.command("close"));  // nothing left to close
}

TEST(ControllerSimTest, NewConnectionReplacesTheOld) {
  Session s;
  ASSERT_TRUE(s.open());
  Client second;
  ASSERT_EQ(second.connectTo(s.sim.port()), 0);
  ASSERT_TRUE(s.sim.waitForEvent(QStringLiteral("closed")));
  EXPECT_TRUE(s.client.endedByPeer());
  ASSERT_TRUE(second.sendFrame(kSysInfoRequest));
  std::optional<Client::Frame> f = second.readFrame();
  ASSERT_TRUE(f);
  EXPECT_EQ(f->ids, kSysInfoReport);
}

}  // namespace
}  // namespace tarvel::testing
