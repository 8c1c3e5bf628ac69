// The link manager against the controller simulator over loopback: the simulator's own reports
// and its fault scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/orvo_com_ana.h"
#include "link/socket_errors.h"
#include "loopback_peer.h"
#include "support/controller_sim.h"
#include "test_link.h"

namespace tarvel::link {
namespace {

using testing::WaitUntil;

class SimLinkTest : public ::testing::Test {
 protected:
  void Start(QStringList args) {
    sim = std::make_unique<tarvel::testing::ControllerSim>(args << "--sys-name"
                                                                << "ORVO-TEST");
    ASSERT_TRUE(sim->start());
    QObject::connect(&link, &TOrvoComAna::OnTimer,
                     [this] { statusLines.push_back(link.StatusText()); });
    QObject::connect(&link, &TOrvoComAna::OnErrOccurred,
                     [this](int, int error, const std::string&) { errors.push_back(error); });
    link.IPAddr = "127.0.0.1";
    link.Port = std::to_string(sim->port());
  }
  void ConnectAndRequestReport() {
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected() != 0 && !link.Closed(); }));
    ASSERT_TRUE(link.CmdSysInfoRequest().ok());
    ASSERT_TRUE(WaitUntil([&] { return link.SysInformation().SysName == "ORVO-TEST"; }));
  }
  bool HasStatus(const std::string& prefix) const {
    for (const auto& s : statusLines) {
      if (s.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  std::unique_ptr<tarvel::testing::ControllerSim> sim;
  test::TTestLink link;
  std::vector<std::string> statusLines;
  std::vector<int> errors;
};

TEST_F(SimLinkTest, SystemReportIsRequestedLoggedAndDecoded) {
  Start({});
  ConnectAndRequestReport();
  ASSERT_TRUE(sim->waitForFrames(1));
  const QJsonObject rx = sim->receivedFrames().first();
  EXPECT_EQ(rx["unit"].toInt(), 1);
  EXPECT_EQ(rx["item"].toInt(), 1);
  EXPECT_EQ(rx["mode"].toInt(), 2);
  EXPECT_EQ(rx["len"].toInt(), 12);
  EXPECT_EQ(link.RecvErrorCount(), 0);
}

TEST_F(SimLinkTest, ReportsSplitIntoTinyWritesArriveWhole) {
  Start({"--split", "3"});
  ConnectAndRequestReport();
  const auto before = link.FramesReceived();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(sim->command("report 1 1"));
  ASSERT_TRUE(WaitUntil([&] { return link.FramesReceived() >= before + 3; }, 10000));
  EXPECT_EQ(link.RecvErrorCount(), 0);
  EXPECT_TRUE(statusLines.empty()) << statusLines.front();
}

TEST_F(SimLinkTest, FaultScenariosAreSurvived) {
  struct Case {
    const char* scenario;
    const char* status;  // the first status line the fault must produce
  };
  const Case cases[] = {
      {"bad-header", "Header Format Error Cnt:"},
      {"len0", "Header Format Error Cnt:"},
      {"len11", "Header Format Error Cnt:"},
      {"lenmax", "Header Format Error Cnt:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    statusLines.clear();
    link.Disconnect();
    Start({"--scenario", c.scenario});
    ConnectAndRequestReport();
    ASSERT_TRUE(WaitUntil([&] { return HasStatus(c.status); }));
    EXPECT_TRUE(HasStatus("Prev. Data Count:"));
    // The whole report before the fault was kept, and the link still reads what follows.
    testing::Pump(50);
    const auto before = link.FramesReceived();
    ASSERT_TRUE(sim->command("report 1 1"));
    ASSERT_TRUE(WaitUntil([&] { return link.FramesReceived() > before; }));
    EXPECT_NE(link.IsConnected(), 0);
  }
}

TEST_F(SimLinkTest, StalledBodyIsGivenUp) {
  link.SetStallTimeoutMs(300);
  Start({"--scenario", "stall"});
  ConnectAndRequestReport();
  ASSERT_TRUE(WaitUntil([&] { return link.RecvErrorCount() == 1; }));
  EXPECT_TRUE(HasStatus("Receive Data Error... CNT("));
  EXPECT_NE(link.IsConnected(), 0);
}

TEST_F(SimLinkTest, ClosedByTheControllerAfterItsReport) {
  Start({"--scenario", "close"});
  ConnectAndRequestReport();
  ASSERT_TRUE(WaitUntil([&] { return link.Socket() == -1; }));
  EXPECT_EQ(link.IsConnected(), 0);
  EXPECT_EQ(link.SysInformation().SysName, "ORVO-TEST");
}

TEST_F(SimLinkTest, StageMovesSetTheSimulatorsAxisTargets) {
  Start({});
  ConnectAndRequestReport();
  ASSERT_TRUE(link.CmdStageGo(2, 1500.0f).ok());
  ASSERT_TRUE(link.CmdStageGoXY(-10.5f, 20.0f).ok());
  ASSERT_TRUE(link.CmdStageStop(2).ok());
  const auto targets = [&] {
    QStringList out;
    for (const auto& e : sim->events()) {
      if (e["event"].toString() == "stage-target") {
        out << e["axis"].toString() + "=" + e["target"].toString();
      }
    }
    return out;
  };
  ASSERT_TRUE(WaitUntil([&] { return targets().size() >= 4; }));
  EXPECT_EQ(targets(), (QStringList{"2=1500.000000", "0=-10.500000", "1=20.000000", "2=none"}));
  // The simulator's log names the command and its sub-command.
  bool named = false;
  for (const auto& f : sim->receivedFrames()) {
    named |= f["cmd"].toString() == "CmdStageMotion";
  }
  EXPECT_TRUE(named);
}

TEST_F(SimLinkTest, RefusedConnection) {
  Start({"--refuse"});
  link.Connect();
  ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
  EXPECT_EQ(errors.front(), kWsaConnectionRefused);
  EXPECT_EQ(link.Socket(), -1);
}

}  // namespace
}  // namespace tarvel::link
