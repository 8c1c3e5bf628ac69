// The production graph as the program builds it, headless, against the controller simulator:
// every step that should be bound is, the command state reads the real records and models, the
// aperture-changing flag is cleared at start as a second process sees it, and a long stage move
// blanks the beam first and unblanks once the controller reports the move done.
#include <QCoreApplication>
#include <QJsonObject>
#include <QProcess>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/production_graph.h"
#include "base/byte_writer.h"
#include "loopback_peer.h"
#include "support/controller_sim.h"
#include "support/headless_graph.h"
#include "support/temp_dir.h"

namespace tarvel::app {
namespace {

using tarvel::testing::WaitUntil;
namespace fs = std::filesystem;

// Runs the shared-record reader as another process; its output, or "exit N" on failure.
std::string Shm(const QStringList& args) {
  QProcess p;
  p.start(TARVEL_SHM_TOOL, args);
  if (!p.waitForFinished(10000)) return "timeout";
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    return "exit " + std::to_string(p.exitCode()) + ": " + p.readAllStandardError().toStdString();
  }
  return p.readAllStandardOutput().trimmed().toStdString();
}

class ProductionGraphTest : public tarvel::testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fs::create_directories(dir_ / "Data");
  }
  std::unique_ptr<TProductionGraph> Build() {
    hub::TSocketHub::Options o;
    o.useASEM = false;
    o.intervals.mainMs = 20;
    o.intervals.phase1Ms = 100;
    o.intervals.phase2Ms = 50;
    return tarvel::testing::MakeHeadlessGraph(std::move(o), (dir_ / "Data").string());
  }
};

TEST_F(ProductionGraphTest, EveryBuiltStepIsBoundAndTheCommandStateReadsTheRecords) {
  std::ofstream(dir_ / "Data" / "FIBSystem.INI") << "[SYSTEM]\nTYPE=PADO530\n";
  auto graph = Build();
  // The steps of subsystems still to come, and nothing else, are empty. A subsystem that lands
  // binds its step in the composition root and removes it here.
  EXPECT_EQ(graph->Hub().PendingSteps().Unbound(),
            (std::vector<std::string>{"VacuumSequences", "StageInitStep", "StageSeqStep",
                                      "Hard3ConstDataStep", "Hard3ConstDataUpdate", "DacLoopCheck",
                                      "ApertureNumber", "StartApControl", "TakeHard3BoardsChanged",
                                      "VacuumState32", "AbortScanCondition", "SerialSend",
                                      "CLTypeVoltages"}));
  // The dispatcher's table routes the system and stage units to the graph's own models.
  ASSERT_NE(graph->Dispatcher().Row(1), nullptr);
  EXPECT_EQ(graph->Dispatcher().Row(1)->model, &graph->Models().System);
  ASSERT_NE(graph->Dispatcher().Row(10), nullptr);
  EXPECT_EQ(graph->Dispatcher().Row(10)->model, &graph->Models().Stage);
  EXPECT_EQ(&graph->Link().StageInfo(), &graph->Models().Stage);
  EXPECT_EQ(&graph->Link().CommandState(), &graph->MachineState());

  // The monitor word the blanking check reads is the record's (-1 at creation), not a default 0.
  EXPECT_EQ(graph->MachineState().GetMonitorWord(), -1);
  ASSERT_TRUE(graph->Records().Monitor.SetMonitorWord(5).ok());
  EXPECT_EQ(graph->MachineState().GetMonitorWord(), 5);
  ASSERT_TRUE(graph->Records().Monitor.SetMagCode(7).ok());
  EXPECT_EQ(graph->MachineState().GetMagIndex(), 7);
  ASSERT_TRUE(graph->Records().Stage.SetStageXYReal(1234.5, -20.0).ok());
  EXPECT_DOUBLE_EQ(graph->MachineState().GetStageAxis(0), 1234.5);

  // The hub's machine type reaches the link manager and the simulator, which reads that line's
  // system type.
  EXPECT_EQ(graph->Hub().Dummy().SystemTypeIndex(), 5);
  graph->Hub().SetMachineType(2);
  EXPECT_EQ(graph->Link().MachineType(), 2);
  EXPECT_EQ(graph->Hub().Dummy().MachineType(), 2);

  // A notification from the link reaches the hub's listeners and the client notifier alike.
  ASSERT_TRUE(graph->Start().ok());
  graph->Hub().Clients().SetMessageCountUp(true);
  graph->Link().NotifyDataChanged(1128);
  EXPECT_EQ(graph->Hub().Clients().MessageCount(1128), 1);
  EXPECT_EQ(graph->Hub().Clients().LastMessageId(), 1128);
}

TEST_F(ProductionGraphTest, ApertureChangingFlagLeftByACrashIsClearedAtStart) {
  {
    auto first = Build();
    // A change in progress when the server died.
    ASSERT_EQ(Shm({"--set", "OrvoMonitorData", "ApertureMoving", "1"}), "");
    EXPECT_NE(Shm({"OrvoMonitorData", "ApertureMoving"}).find("1"), std::string::npos);
  }
  auto again = Build();
  const std::string after = Shm({"OrvoMonitorData", "ApertureMoving"});
  EXPECT_NE(after.find("0"), std::string::npos) << after;
  EXPECT_EQ(after.find("1"), std::string::npos) << after;
}

TEST_F(ProductionGraphTest, InitialDataFileInTheDataFolderIsReadAtStart) {
  // The program runs from <root>/work; its data folder is ../Data.
  fs::create_directories(dir_ / "work");
  const fs::path before = fs::current_path();
  fs::current_path(dir_ / "work");
  std::ofstream(dir_ / "Data" / "ORVOInitData.INI") << "[OPTICS]\nCL_TYPE = CL_TYPE_22_REV1\n";
  {
    auto graph = Build();
    ASSERT_TRUE(graph->Start().ok());
    EXPECT_EQ(graph->Models().System.SysInformation().CLType, 2);
    const auto recorded = graph->Records().Monitor.GetCLType();
    ASSERT_TRUE(recorded.ok());
    EXPECT_EQ(*recorded, 2);
    // "Save CL Type" now has a file to write to.
    EXPECT_TRUE(graph->Records().Monitor.SetCLType(3).ok());
  }
  fs::current_path(before);
}

TEST_F(ProductionGraphTest, ARecordThatCannotBeAdoptedIsLoggedAndTheServerRunsOn) {
  // Another program left a monitor record far too small to be ours.
  const char* suffix = std::getenv("TARVEL_SHM_SUFFIX");
  const std::string name = std::string("/OrvoMonitorData") + (suffix ? suffix : "");
  ::shm_unlink(name.c_str());  // an earlier test's record, which outlives its server
  const int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0660);
  ASSERT_GE(fd, 0);
  ::fchmod(fd, 0660);
  ASSERT_EQ(::ftruncate(fd, 16), 0);
  ::close(fd);
  std::vector<std::string> log;
  hub::TSocketHub::Options o;
  o.useASEM = false;
  app::TGraphOptions options;
  options.hub = o;
  options.findDataDir = [this](int) -> base::Result<std::string> { return dir_.string(); };
  options.log = [&log](const std::string& line) { log.push_back(line); };
  {
    TProductionGraph graph(std::move(options));
    const auto mentions = [](const auto& lines, const char* what) {
      for (const auto& l : lines) {
        if (l.find(what) != std::string::npos) return true;
      }
      return false;
    };
    EXPECT_TRUE(mentions(log, "OrvoMonitorData")) << "the refused record was not logged";
    // The server runs on without the record; an action on it says why it failed.
    const base::Status alarm = graph.Hub().SetAlarm(5);
    EXPECT_FALSE(alarm.ok());
    EXPECT_FALSE(alarm.message().empty());
  }
  ::shm_unlink(name.c_str());
}

// The optics blanking frame (unit 2 item 20) with its flag.
bool IsBlanking(const QJsonObject& f, bool on) {
  return f["unit"].toInt() == 2 && f["item"].toInt() == 20 && f["mode"].toInt() == 1 &&
         f["payload"].toString().endsWith(on ? "01" : "00");
}

TEST_F(ProductionGraphTest, LongStageMoveBlanksFirstAndUnblanksWhenTheMoveIsDone) {
  tarvel::testing::ControllerSim sim({"--sys-name", "ORVO-GRAPH"});
  ASSERT_TRUE(sim.start());
  auto graph = Build();
  ASSERT_TRUE(graph->Start().ok());
  hub::TSocketHub& hub = graph->Hub();
  // A magnification whose field is far narrower than the move, and a travel range for X.
  ASSERT_TRUE(graph->Records().Monitor.SetMonitorWord(1).ok());
  ASSERT_TRUE(graph->Records().Monitor.SetMagCode(0).ok());
  graph->Models().Stage.SetAxisParameter(0, 4, -100000);
  graph->Models().Stage.SetAxisParameter(0, 5, 100000);
  hub.SetEditIPAdrs("127.0.0.1");
  graph->Link().Port = std::to_string(sim.port());
  hub.PressConnect();
  ASSERT_TRUE(WaitUntil([&] { return hub.LinkPhase() == 4; }, 10000));

  const int before = static_cast<int>(sim.receivedFrames().size());
  ASSERT_TRUE(graph->Link().CmdStageGo(0, 50000.0f).ok());
  ASSERT_TRUE(sim.waitForFrames(before + 2));
  const auto frames = sim.receivedFrames();
  ASSERT_TRUE(IsBlanking(frames[before], true)) << "the beam is not blanked before the move";
  EXPECT_EQ(frames[before + 1]["unit"].toInt(), 10);
  EXPECT_EQ(frames[before + 1]["item"].toInt(), 7);
  EXPECT_EQ(graph->Models().Stage.SpareFlag(), 1);

  // Still moving: no unblank. Then the controller reports X stopped at the target.
  tarvel::testing::Pump(200);
  for (const auto& f : sim.receivedFrames().mid(before + 2)) EXPECT_FALSE(IsBlanking(f, false));
  base::ByteWriter report;
  report.i32be(5).i32be(0).i32be(0).i32be(0).i32be(0);
  for (int axis = 0; axis < 5; ++axis) {
    report.i32be(0).i32be(0).i32be(0).i32be(axis == 0 ? 50000 : 0).i32be(0);
  }
  QString hex;
  for (std::uint8_t b : report.bytes()) hex += QString::asprintf("%02X", b);
  ASSERT_TRUE(sim.command("frame 10 1 2 " + hex));
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& f : sim.receivedFrames().mid(before + 2)) {
      if (IsBlanking(f, false)) return true;
    }
    return false;
  }));
  EXPECT_EQ(graph->Models().Stage.SpareFlag(), 0);
}

}  // namespace
}  // namespace tarvel::app
