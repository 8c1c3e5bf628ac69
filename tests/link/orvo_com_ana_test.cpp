// The link manager against a controller peer on a real loopback socket.
#include "link/orvo_com_ana.h"
#include "test_link.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/byte_writer.h"
#include "link/socket_errors.h"
#include "loopback_peer.h"

namespace tarvel::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::LoopbackPeer;
using testing::WaitUntil;

Bytes Frame(FrameIds ids, std::size_t payloadSize, std::uint8_t seed = 0) {
  Bytes payload(payloadSize);
  for (std::size_t i = 0; i < payloadSize; ++i)
    payload[i] = static_cast<std::uint8_t>(seed + i * 7);
  return BuildFrame(ids, payload);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Seen {
  FrameIds ids;
  Bytes payload;
};

// Records every dispatched frame; the optional hook runs inside the dispatch.
struct RecordingDispatcher {
  std::vector<Seen> frames;
  std::function<void(const ReceivedFrame&)> inside;
  void Attach(TDispatcher& d) {
    d.AddFrameListener([this](const ReceivedFrame& f) {
      frames.push_back({f.ids, Bytes(f.payload.begin(), f.payload.end())});
      if (inside) inside(f);
    });
  }
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder.Attach(link.Dispatcher());
    QObject::connect(&link, &TOrvoComAna::OnTimer,
                     [this] { statusLines.push_back(link.StatusText()); });
    QObject::connect(&link, &TOrvoComAna::OnErrOccurred,
                     [this](int, int error, const std::string& msg) {
                       errors.push_back({error, msg});
                     });
  }

  void ConnectToPeer() {
    link.IPAddr = "127.0.0.1";
    link.Port = std::to_string(peer.port());
    link.Connect();
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected() != 0 && !link.Closed(); }));
  }

  bool WaitFrames(std::size_t n, int timeoutMs = 5000) {
    return WaitUntil([&] { return dispatcher->frames.size() >= n; }, timeoutMs);
  }

  LoopbackPeer peer;
  test::TTestLink link;
  RecordingDispatcher recorder;
  RecordingDispatcher* dispatcher = &recorder;
  std::vector<std::string> statusLines;
  std::vector<std::pair<int, std::string>> errors;
};

TEST_F(LinkTest, TwoFramesInOneSegmentAreBothDispatchedThenPublished) {
  ConnectToPeer();
  ASSERT_TRUE(peer.write(Concat({Frame({10, 1, 2}, 16), Frame({1, 3, 2}, 0)})));
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_EQ(dispatcher->frames[0].ids, (FrameIds{10, 1, 2}));
  EXPECT_EQ(dispatcher->frames[0].payload.size(), 16u);
  EXPECT_EQ(dispatcher->frames[1].ids, (FrameIds{1, 3, 2}));
  EXPECT_EQ(link.Dispatcher().Publications(), 2);
  EXPECT_EQ(link.PreviousFrame().length, 12);
  EXPECT_TRUE(link.DataArrived());
  EXPECT_EQ(link.StatusText(), "DataArrival");
}

TEST_F(LinkTest, FrameSplitAcrossSegmentsArrivesWhole) {
  ConnectToPeer();
  const Bytes stream = Concat({Frame({10, 1, 2}, 40, 1), Frame({23, 2, 2}, 333, 2)});
  const std::size_t cuts[] = {1, 3, 4, 5, 7, 8, 19, 20, 21, 59, 60, 61, 100, stream.size() - 1};
  for (std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    dispatcher->frames.clear();
    ASSERT_TRUE(peer.write(std::span(stream).first(cut)));
    // Let the link see the first piece on its own before the rest follows.
    testing::Pump(10);
    ASSERT_TRUE(peer.write(std::span(stream).subspan(cut)));
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(dispatcher->frames[0].payload, Bytes(stream.begin() + 20, stream.begin() + 60));
    EXPECT_EQ(dispatcher->frames[1].payload, Bytes(stream.begin() + 80, stream.end()));
  }
  EXPECT_EQ(link.RecvErrorCount(), 0);
}

TEST_F(LinkTest, LargeFrameIsDispatchedWhole) {
  ConnectToPeer();
  const Bytes big = Frame({15, 1, 2}, 60000 - 12, 4);
  ASSERT_TRUE(peer.write(Concat({big, Frame({10, 1, 2}, 4)})));
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_EQ(dispatcher->frames[0].payload, Bytes(big.begin() + 20, big.end()));
}

TEST_F(LinkTest, BadHeadersGiveTheTwoStatusTextsAndDrain) {
  auto lengthFrame = [](std::uint32_t len) {
    return Concat(
        {Bytes{0x3A, 0x49, 0x01, 0x20}, base::ByteWriter().u32be(len).take(), Bytes(16, 0xEE)});
  };
  struct Case {
    const char* name;
    Bytes bad;
    std::string firstText;
  };
  const Case cases[] = {
      {"header number 0", Concat({Bytes{0x3A, 0x49, 0x00, 0x20}, Bytes(30, 0x55)}), "(58:73:0:32)"},
      {"length 0", lengthFrame(0), "(58:73:1:32)"},
      {"length 11", lengthFrame(11), "(58:73:1:32)"},
      {"length 2^31-1", lengthFrame(0x7FFFFFFF), "(58:73:1:32)"},
  };
  ConnectToPeer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dispatcher->frames.clear();
    statusLines.clear();
    // A good frame, the bad one and more bytes behind it, all in one write.
    ASSERT_TRUE(peer.write(Concat({Frame({10, 1, 2}, 8), c.bad, Frame({10, 1, 2}, 8)})));
    ASSERT_TRUE(WaitUntil([&] { return statusLines.size() >= 2; }));
    ASSERT_EQ(statusLines.size(), 2u);
    EXPECT_EQ(statusLines[0].rfind("Header Format Error Cnt:", 0), 0u) << statusLines[0];
    EXPECT_NE(statusLines[0].find(c.firstText), std::string::npos) << statusLines[0];
    EXPECT_EQ(statusLines[1], "Prev. Data Count:20 (10:1:2)");
    // The whole frame before the bad one was kept; what followed it was drained.
    ASSERT_GE(dispatcher->frames.size(), 1u);
    testing::Pump(20);
    EXPECT_EQ(dispatcher->frames.size(), 1u);
    // The link stays up and reads the next frame sent after the drain.
    ASSERT_TRUE(peer.write(Frame({1, 1, 2}, 3)));
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(dispatcher->frames[1].ids, (FrameIds{1, 1, 2}));
  }
  EXPECT_NE(link.IsConnected(), 0);
}

TEST_F(LinkTest, StalledBodyIsGivenUpWithTheReceiveError) {
  link.SetStallTimeoutMs(200);
  ConnectToPeer();
  const Bytes frame = Frame({10, 1, 2}, 100);
  ASSERT_TRUE(peer.write(std::span(frame).first(60)));
  ASSERT_TRUE(WaitUntil([&] { return link.RecvErrorCount() == 1; }));
  ASSERT_FALSE(statusLines.empty());
  EXPECT_EQ(statusLines.back().rfind("Receive Data Error... CNT(112:60)Retry:", 0), 0u)
      << statusLines.back();
  EXPECT_NE(statusLines.back().find("Connect:True"), std::string::npos);
  EXPECT_TRUE(dispatcher->frames.empty());
  // The link is still usable: a fresh frame is read.
  ASSERT_TRUE(peer.write(Frame({1, 1, 2}, 0)));
  ASSERT_TRUE(WaitFrames(1));
  EXPECT_EQ(dispatcher->frames[0].ids, (FrameIds{1, 1, 2}));
}

TEST_F(LinkTest, PeerCloseKeepsWholeFramesAndFreesTheSocket) {
  ConnectToPeer();
  ASSERT_TRUE(peer.write(Concat({Frame({10, 1, 2}, 8), Frame({10, 2, 2}, 8)})));
  peer.close();
  ASSERT_TRUE(WaitUntil([&] { return link.Socket() == -1; }));
  EXPECT_EQ(dispatcher->frames.size(), 2u);
  EXPECT_EQ(link.IsConnected(), 0);
  EXPECT_TRUE(link.Closed());
  EXPECT_FALSE(link.SendCommand(10, 1, 2).ok());
}

TEST_F(LinkTest, PeerResetIsAnErrorAndTheSocketIsClosed) {
  ConnectToPeer();
  peer.reset();
  ASSERT_TRUE(WaitUntil([&] { return link.Socket() == -1; }));
  EXPECT_EQ(link.IsConnected(), 0);
  EXPECT_TRUE(link.Closed());
}

TEST_F(LinkTest, RefusedConnectionReportsTheError) {
  link.IPAddr = "127.0.0.1";
  link.Port = std::to_string(testing::UnusedPort());
  link.Connect();
  ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
  EXPECT_EQ(errors[0].first, kWsaConnectionRefused);
  EXPECT_EQ(errors[0].second, "Connection refused");
  EXPECT_TRUE(link.Closed());
  EXPECT_EQ(link.IsConnected(), 0);
  EXPECT_EQ(link.Socket(), -1);  // closed before anyone retries
  EXPECT_EQ(link.LastSocketError(), kWsaConnectionRefused);
}

TEST_F(LinkTest, RepeatedConnectAttemptsLeakNoDescriptor) {
  const auto openFds = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  link.IPAddr = "127.0.0.1";
  link.Port = std::to_string(testing::UnusedPort());
  link.Connect();
  ASSERT_TRUE(WaitUntil([&] { return errors.size() == 1; }));
  const auto before = openFds();
  for (int i = 0; i < 20; ++i) {
    link.Connect();
    link.Connect();  // a second press while the first is still connecting
    ASSERT_TRUE(WaitUntil([&] { return errors.size() == static_cast<std::size_t>(i) + 2; }));
  }
  testing::Pump(20);
  EXPECT_EQ(openFds(), before);
}

TEST_F(LinkTest, SendWhileNotConnectedIsRefusedWithoutTouchingTheSocket) {
  EXPECT_FALSE(link.SendCommand(10, 1, 2).ok());
  EXPECT_EQ(link.SendCount(), 0);
  EXPECT_EQ(link.SendErrorCount(), 1);
}

TEST_F(LinkTest, CommandsReachThePeerAndTheLastFrameIsACopy) {
  ConnectToPeer();
  Bytes payload = base::ByteWriter().i32be(7).i32be(-1).take();
  int sendEvents = 0;
  QObject::connect(&link, &TOrvoComAna::OnSendData, [&] { ++sendEvents; });
  ASSERT_TRUE(link.SendFrame(10, 7, 1, payload).ok());
  payload.assign(payload.size(), 0);  // the caller reuses its buffer
  EXPECT_EQ(link.LastSentFrame().ids, (FrameIds{10, 7, 1}));
  EXPECT_EQ(link.LastSentFrame().payload, base::ByteWriter().i32be(7).i32be(-1).take());
  EXPECT_EQ(sendEvents, 1);
  Bytes got;
  ASSERT_TRUE(peer.readExactly(28, &got));
  EXPECT_EQ(got, BuildFrame({10, 7, 1}, base::ByteWriter().i32be(7).i32be(-1).take()));
}

TEST_F(LinkTest, OversizedSinglePayloadIsRefusedAndNothingIsSent) {
  ConnectToPeer();
  const Bytes tooLong(kMaxSinglePayload + 1, 'x');
  const base::Status s = link.SendFrame(9, 2, 1, tooLong);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("237"), std::string::npos) << s.message();
  EXPECT_TRUE(link.SendFrame(9, 2, 1, Bytes(kMaxSinglePayload, 'y')).ok());
  Bytes got;
  ASSERT_TRUE(peer.readExactly(kFrameBufferSize, &got));
  testing::Pump(10);
  auto more = peer.readAvailable();
  EXPECT_TRUE(more.empty());
  EXPECT_EQ(got.size(), kFrameBufferSize);
}

TEST_F(LinkTest, WritesTheSocketCannotTakeAreQueuedAndFinishedInOrder) {
  ConnectToPeer();
  // The peer reads nothing for a while, so the socket fills and frames queue up.
  const Bytes bulk(200000, 0xAB);
  std::vector<Bytes> sent;
  for (int i = 0; i < 60; ++i) {
    Bytes header(kHeaderSize);
    WriteHeader({8, 9, 1}, static_cast<std::uint32_t>(bulk.size()),
                std::span<std::uint8_t, kHeaderSize>(header.data(), kHeaderSize));
    ASSERT_TRUE(link.WriteFrames({header, bulk}).ok());
    ASSERT_TRUE(link.SendCommand(10, i, 2).ok());
    sent.push_back(Concat({header, bulk}));
    sent.push_back(BuildFrame({10, i, 2}, {}));
  }
  EXPECT_GT(link.QueuedBytes(), 0u) << "the socket never filled; the test proves nothing";
  const Bytes expected = [&] {
    Bytes all;
    for (const auto& f : sent) all.insert(all.end(), f.begin(), f.end());
    return all;
  }();
  Bytes got;
  ASSERT_TRUE(peer.readExactly(expected.size(), &got, 20000));
  testing::Pump(20);
  const auto extra = peer.readAvailable();
  got.insert(got.end(), extra.begin(), extra.end());
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "bytes reordered, lost or repeated";
  EXPECT_EQ(link.SendErrorCount(), 0);
  EXPECT_EQ(link.QueuedBytes(), 0u);
}

TEST_F(LinkTest, FrameLargerThanTheQueueIsRefusedWhole) {
  ConnectToPeer();
  const Bytes header(kHeaderSize, 0);
  const Bytes huge(OutputQueue::kMaxBytes, 0);
  const base::Status s = link.WriteFrames({header, huge});
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(link.SendErrorCount(), 1);
  ASSERT_FALSE(statusLines.empty());
  EXPECT_EQ(statusLines.back().rfind("Socket Data Send Error", 0), 0u);
  testing::Pump(20);
  EXPECT_TRUE(peer.readAvailable().empty()) << "part of a refused frame reached the wire";
}

TEST_F(LinkTest, NestedDataArrivalIsCountedAndReplayed) {
  ConnectToPeer();
  int nested = 0;
  dispatcher->inside = [&](const ReceivedFrame&) {
    // A handler that pumps messages would re-enter the receive loop like this.
    if (nested++ == 0) {
      link.DataArrival(&link, link.Socket());
      EXPECT_EQ(link.ReentryCount(), 1);
      EXPECT_EQ(link.PendingReentries(), 1);
    }
  };
  ASSERT_TRUE(peer.write(Concat({Frame({10, 1, 2}, 4), Frame({10, 2, 2}, 4)})));
  ASSERT_TRUE(WaitFrames(2));
  testing::Pump(10);
  EXPECT_EQ(link.PendingReentries(), 0);
  EXPECT_EQ(dispatcher->frames.size(), 2u);
  EXPECT_EQ(dispatcher->frames[1].ids.item, 2);
}

TEST_F(LinkTest, HandlerThatDisconnectsEndsTheBatch) {
  ConnectToPeer();
  dispatcher->inside = [&](const ReceivedFrame&) { link.Disconnect(); };
  ASSERT_TRUE(peer.write(Concat({Frame({10, 1, 2}, 4), Frame({10, 2, 2}, 4)})));
  ASSERT_TRUE(WaitFrames(1));
  testing::Pump(20);
  EXPECT_EQ(dispatcher->frames.size(), 1u);
  EXPECT_EQ(link.Socket(), -1);
}

TEST_F(LinkTest, BurstOfMoreThanOneBatchIsServedCompletely) {
  ConnectToPeer();
  Bytes burst;
  for (int i = 0; i < 2500; ++i) {
    const Bytes f = Frame({10, i, 2}, 8);
    burst.insert(burst.end(), f.begin(), f.end());
  }
  ASSERT_TRUE(peer.write(burst));
  ASSERT_TRUE(WaitFrames(2500));
  for (int i = 0; i < 2500; ++i)
    ASSERT_EQ(dispatcher->frames[static_cast<std::size_t>(i)].ids.item, i);
}

TEST_F(LinkTest, ConnectOnAnOpenLinkDropsItFirstSoNoHalfFrameLeadsTheNewOne) {
  ConnectToPeer();
  // The peer reads nothing, so the socket fills and frames wait in the queue.
  const Bytes bulk(200000, 0xCD);
  for (int i = 0; i < 60; ++i) {
    Bytes header(kHeaderSize);
    WriteHeader({8, 9, 1}, static_cast<std::uint32_t>(bulk.size()),
                std::span<std::uint8_t, kHeaderSize>(header.data(), kHeaderSize));
    ASSERT_TRUE(link.WriteFrames({header, bulk}).ok());
  }
  ASSERT_GT(link.QueuedBytes(), 0u) << "the socket never filled; the test proves nothing";
  const std::int64_t errorsBefore = link.SendErrorCount();
  link.Connect();
  // The frames the old connection could not take are counted, not carried over.
  EXPECT_EQ(link.QueuedBytes(), 0u);
  EXPECT_GT(link.SendErrorCount(), errorsBefore);
  peer.close();  // the old connection, with what it received of the old frames
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(WaitUntil([&] { return link.IsConnected() != 0 && !link.Closed(); }));
  // The new connection starts with a whole frame.
  ASSERT_TRUE(link.SendCommand(1, 1, 2).ok());
  Bytes got;
  ASSERT_TRUE(peer.readExactly(20, &got, 5000));
  EXPECT_EQ(got, BuildFrame({1, 1, 2}, {}));
}

TEST_F(LinkTest, PollingWantedWhileTheLinkIsDownStartsAndResumesWithIt) {
  // Asked for before the first connection: counted, polled once the link is up.
  link.CycleRequest(10, true);
  EXPECT_EQ(link.CycleCount(10), 1);
  EXPECT_FALSE(link.CyclePollActive());
  ConnectToPeer();
  EXPECT_TRUE(link.CyclePollActive());
  // The peer goes away: polling pauses and comes back with the next connection.
  peer.close();
  ASSERT_TRUE(WaitUntil([&] { return link.IsConnected() == 0; }));
  EXPECT_FALSE(link.CyclePollActive());
  EXPECT_TRUE(link.CycleFlag(10));
  ConnectToPeer();
  EXPECT_TRUE(link.CyclePollActive());
  // The operator's Disconnect forgets every request.
  link.Disconnect();
  EXPECT_FALSE(link.CycleFlag(10));
  EXPECT_EQ(link.CycleCount(10), 0);
}

TEST_F(LinkTest, CycleRequestsAreReferenceCounted) {
  ConnectToPeer();
  link.CycleRequest(10, true);
  link.CycleRequest(10, true);
  link.CycleRequest(10, false);
  link.CycleRequest(10, false);
  EXPECT_TRUE(link.CycleFlag(10));
  EXPECT_TRUE(link.CyclePollActive());
  link.CycleRequest(10, false);
  EXPECT_FALSE(link.CycleFlag(10));
  EXPECT_FALSE(link.CyclePollActive());
  // Units outside 1..25 change nothing.
  link.CycleRequest(0, true);
  link.CycleRequest(26, true);
  link.CycleRequest(-3, true);
  EXPECT_FALSE(link.CyclePollActive());

  link.CycleRequest(20, true);
  link.CyclePoll();
  Bytes got;
  ASSERT_TRUE(peer.readExactly(3 * 24, &got));
  const Bytes zero = base::ByteWriter().i32be(0).take();
  EXPECT_EQ(got, Concat({BuildFrame({20, 3, 2}, zero), BuildFrame({20, 4, 2}, zero),
                         BuildFrame({20, 2, 2}, zero)}));
  link.Disconnect();
  EXPECT_FALSE(link.CyclePollActive());
  EXPECT_FALSE(link.CycleFlag(20));
}

class NetInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("tarvel-netinfo-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    link.Path = dir.string();
    link.IniFileName = "NetInfo.INI";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::filesystem::path dir;
  test::TTestLink link;
};

TEST_F(NetInfoTest, Table) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    std::string address;
    std::vector<int> logged;
  };
  const Case cases[] = {
      {"no file", nullptr, "127.0.0.1", {}},
      {"address taken", "IP = 127.0.0.2\nPort = 20000\nLog = 10,9\n", "127.0.0.2", {9, 10}},
      {"CRLF lines", "IP = 127.0.0.3\r\nPort = 20000\r\nLog = 1\r\n", "127.0.0.3", {1}},
      {"other port keeps the default address",
       "IP = 127.0.0.4\n\nPort = 20001\nLog = 23\n",
       "127.0.0.1",
       {23}},
      {"bad log numbers ignored",
       "IP = 127.0.0.5\nPort = 20000\nLog = 0,101,x,5,,-3,100\n",
       "127.0.0.5",
       {5, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TTestLink fresh;
    fresh.Path = dir.string();
    fresh.IniFileName = "NetInfo.INI";
    std::filesystem::remove(dir / "NetInfo.INI");
    if (c.file) Write("NetInfo.INI", c.file);
    fresh.LoadNetInfo();
    EXPECT_EQ(fresh.IPAddr, c.address);
    EXPECT_EQ(fresh.Port, "20000");
    std::vector<int> logged;
    for (int u = -1; u <= 102; ++u) {
      if (fresh.IsLogged(u)) logged.push_back(u);
    }
    EXPECT_EQ(logged, c.logged);
  }
}

TEST_F(NetInfoTest, FileNameMatchesWithoutRegardToCase) {
  Write("netinfo.ini", "IP = 127.0.0.9\nPort = 20000\n");
  link.LoadNetInfo();
  EXPECT_EQ(link.IPAddr, "127.0.0.9");
}

}  // namespace
}  // namespace tarvel::link
