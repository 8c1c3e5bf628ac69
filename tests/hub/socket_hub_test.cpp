// The hub against the controller simulator over loopback: the four link phases after a
// connection, the scan timer by hardware type, reconnection while a client wants the link, and
// the windowless "can't connect" note. Intervals are shortened; order and relative timing are
// asserted, never absolute times.
#include "hub/socket_hub.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QElapsedTimer>
#include <filesystem>

#include "loopback_peer.h"
#include "support/controller_sim.h"
#include "support/headless_graph.h"

namespace tarvel::hub {
namespace {

using link::FrameIds;
using tarvel::testing::Pump;
using tarvel::testing::WaitUntil;

struct Sent {
  FrameIds ids;
  qint64 atMs;
};

class HubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarvel-hub-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TARVEL_ORVO_ROOT", dir_.c_str(), 1);
    clock_.start();
  }
  void TearDown() override {
    hub_ = nullptr;
    graph_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void MakeHub(TSocketHub::Options options) {
    options.intervals.mainMs = 20;
    options.intervals.phase1Ms = 300;
    options.intervals.phase2Ms = 150;
    options.intervals.disconnectMs = 50;
    options.intervals.dialOpenDelayMs = 1;
    graph_ = tarvel::testing::MakeHeadlessGraph(std::move(options), dir_.string());
    hub_ = &graph_->Hub();
    hub_->OnLog = [this](const std::string& memo, const std::string& line) {
      log_.push_back(memo + " " + line);
    };
    // Watch every frame the hub writes, beside the hub's own command log.
    QObject::connect(&hub_->Link(), &tarvel::link::TOrvoComAna::OnSendData, [this] {
      sent_.push_back({hub_->Link().LastSentFrame().ids, clock_.elapsed()});
    });
  }
  void ConnectTo(quint16 port) {
    hub_->SetEditIPAdrs("127.0.0.1");
    hub_->Link().Port = std::to_string(port);
    hub_->PressConnect();
  }
  std::size_t CountLog(const std::string& part) const {
    std::size_t n = 0;
    for (const auto& l : log_) n += l.find(part) != std::string::npos;
    return n;
  }

  std::filesystem::path dir_;
  QElapsedTimer clock_;
  std::unique_ptr<tarvel::app::TProductionGraph> graph_;
  TSocketHub* hub_ = nullptr;
  std::vector<Sent> sent_;
  std::vector<std::string> log_;
};

std::vector<FrameIds> Phase1Frames() {
  std::vector<FrameIds> f = {{1, 1, 2},  {10, 1, 2}, {9, 1, 2}, {9, 3, 2},
                             {2, 12, 2}, {8, 2, 2},  {9, 4, 1}, {23, 18, 2}};
  for (int s = 0; s <= 16; ++s) f.push_back({23, 18, 1});
  return f;
}

std::vector<FrameIds> Phase2Frames() {  // a HARD2 ORVO-line system
  std::vector<FrameIds> f = {{20, 2, 2}, {20, 4, 2}, {20, 3, 2}, {18, 1, 2},
                             {6, 10, 2}, {6, 7, 2},  {10, 6, 2}, {10, 2, 2}};
  for (int s = 0; s <= 16; ++s) f.push_back({23, 18, 1});
  return f;
}

TEST_F(HubTest, PhasesWalkOnceInOrderWithTheirIntervals) {
  tarvel::testing::ControllerSim sim({"--sys-name", "ORVO-TEST", "--hard-type", "HARD2"});
  ASSERT_TRUE(sim.start());
  TSocketHub::Options options;
  options.useASEM = true;  // phase 3 then writes the panel's six DACs
  options.dialSearchDirs = {TARVEL_CAN32_FULL};
  MakeHub(std::move(options));
  qint64 apControlAt = -1;
  hub_->PendingSteps().ApertureNumber = [] { return -1; };
  hub_->PendingSteps().StartApControl = [&](int action) {
    EXPECT_EQ(action, 6);
    apControlAt = clock_.elapsed();
  };
  ConnectTo(sim.port());
  const std::size_t total = Phase1Frames().size() + Phase2Frames().size() + 6;
  ASSERT_TRUE(WaitUntil([&] { return hub_->LinkPhase() == 4 && sent_.size() >= total; }));
  Pump(400);  // phase 4 stays: nothing of phases 1-3 is sent again
  ASSERT_EQ(sent_.size(), total);

  std::vector<FrameIds> expected = Phase1Frames();
  const auto p2 = Phase2Frames();
  expected.insert(expected.end(), p2.begin(), p2.end());
  for (int i = 0; i < 6; ++i) expected.push_back({23, 3, 1});
  for (std::size_t i = 0; i < total; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent_[i].ids, expected[i]);
  }
  const qint64 end1 = sent_[Phase1Frames().size() - 1].atMs;
  const qint64 start2 = sent_[Phase1Frames().size()].atMs;
  const qint64 end2 = sent_[Phase1Frames().size() + p2.size() - 1].atMs;
  const qint64 start3 = sent_[Phase1Frames().size() + p2.size()].atMs;
  EXPECT_GE(start2 - end1, 300 * 9 / 10);
  EXPECT_GE(start3 - end2, 150 * 9 / 10);
  EXPECT_GE(apControlAt, end2);

  // The controller saw the same walk, end to end.
  ASSERT_TRUE(sim.waitForFrames(static_cast<int>(total)));
  const auto rx = sim.receivedFrames();
  for (std::size_t i = 0; i < total; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rx[static_cast<int>(i)]["unit"].toInt(), expected[i].unit);
    EXPECT_EQ(rx[static_cast<int>(i)]["item"].toInt(), expected[i].item);
  }

  // A lost connection with Connect still down: the disconnect tick notes it once, headless.
  ASSERT_TRUE(sim.command("close"));
  ASSERT_TRUE(WaitUntil([&] { return CountLog("ORVO Controller can't connect!!!") == 1; }));
  Pump(200);
  EXPECT_EQ(CountLog("ORVO Controller can't connect!!!"), 1u);
  EXPECT_EQ(CountLog("  Check ORVO Controller or LAN."), 1u);
}

TEST_F(HubTest, ScanTimerRunsOnlyOnHard3) {
  struct Case {
    const char* hardType;
    bool scanTimer;
  };
  for (const Case c : {Case{"HARD2", false}, Case{"HARD3", true}}) {
    SCOPED_TRACE(c.hardType);
    tarvel::testing::ControllerSim sim({"--hard-type", c.hardType});
    ASSERT_TRUE(sim.start());
    MakeHub({});
    ConnectTo(sim.port());
    ASSERT_TRUE(WaitUntil([&] { return hub_->Link().SysInformation().SysHardType == c.hardType; }));
    hub_->FormShow();
    EXPECT_EQ(hub_->ScanTimerActive(), c.scanTimer);
    hub_->PressDisconnect();
    EXPECT_FALSE(hub_->ScanTimerActive());
    EXPECT_EQ(hub_->LinkPhase(), 1);
  }
}

TEST_F(HubTest, RefusedConnectionsRetryUpToOneHundredAttemptsThenStop) {
  MakeHub({});
  hub_->SetConnectWanted(true);
  ConnectTo(tarvel::testing::UnusedPort());
  ASSERT_TRUE(WaitUntil([&] { return !hub_->ConnectWanted(); }, 20000));
  Pump(200);
  std::vector<std::string> retries;
  for (const auto& l : hub_->MemoSocket().Lines()) {
    if (l.find("> Socket Retry Count:") != std::string::npos) retries.push_back(l);
  }
  ASSERT_EQ(retries.size(), static_cast<std::size_t>(TSocketHub::kMaxAttempts - 1));
  for (std::size_t i = 0; i < retries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(retries[i].substr(retries[i].find("Count:")), "Count:" + std::to_string(i + 1));
    EXPECT_EQ(retries[i].front(), '<');
  }
  EXPECT_EQ(hub_->AttemptCount(), 0);
  EXPECT_FALSE(hub_->ConnectDown());
  EXPECT_TRUE(hub_->DisconnectDown());
  EXPECT_TRUE(hub_->EditIPAdrsEnabled());
  EXPECT_EQ(hub_->Link().Socket(), -1);  // no socket left behind by the last refusal
  EXPECT_EQ(sent_.size(), 0u);
  // Giving up tells the operator as the disconnect tick would, once for the outage.
  EXPECT_EQ(CountLog("ORVO Controller can't connect!!!"), 1u);
  EXPECT_EQ(CountLog("Check ORVO Controller or LAN."), 1u);
}

TEST_F(HubTest, ConnectWantedIsDroppedOnceConnected) {
  tarvel::testing::ControllerSim sim;
  ASSERT_TRUE(sim.start());
  MakeHub({});
  hub_->SetConnectWanted(true);
  ConnectTo(sim.port());
  ASSERT_TRUE(WaitUntil([&] { return hub_->LinkPhase() >= 2; }));
  EXPECT_FALSE(hub_->ConnectWanted());
  EXPECT_EQ(hub_->AttemptCount(), 0);
  EXPECT_TRUE(hub_->LinkReady());
  hub_->PressDisconnect();
  EXPECT_FALSE(hub_->LinkReady());
}

TEST_F(HubTest, CommandLogFollowsTheCommLogFlags) {
  tarvel::testing::ControllerSim sim;
  ASSERT_TRUE(sim.start());
  MakeHub({});
  hub_->Link().SetLogged(9, true);
  ConnectTo(sim.port());
  ASSERT_TRUE(WaitUntil([&] { return hub_->LinkPhase() >= 2; }));
  std::vector<std::string> logged;
  for (const auto& l : hub_->MemoSocket().Lines()) {
    if (l.find("Cmd[") != std::string::npos) logged.push_back(l.substr(l.find("Cmd[")));
  }
  EXPECT_EQ(logged,
            (std::vector<std::string>{"Cmd[ 9,  1,  2]", "Cmd[ 9,  3,  2]", "Cmd[ 9,  4,  1]"}));
  // And every memo line reached the program log.
  EXPECT_EQ(CountLog("Cmd[ 9,  4,  1]"), 1u);
}

TEST_F(HubTest, NothingIsSentWhileConnectIsUp) {
  MakeHub({});
  Pump(200);
  EXPECT_EQ(sent_.size(), 0u);
  EXPECT_EQ(hub_->LinkPhase(), 1);
}

}  // namespace
}  // namespace tarvel::hub
