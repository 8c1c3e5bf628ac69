// tarvel-shm, the command-line reader, run as a separate process.
#include "shm/monit_data.h"
#include "shm/stage_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

std::vector<std::string> Tool(std::vector<std::string> args) {
  args.insert(args.begin(), {TARVEL_SHM_TOOL, "--suffix", Suffix()});
  return args;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ShmReaderTest : public ShmTest {};

TEST_F(ShmReaderTest, PrintsAWholeRecordByName) {
  TOrvoStageData stage(true, Options());
  const std::int32_t detail[10] = {};
  ASSERT_TRUE(stage.PublishStage(1, 7, 1.5f, 2.5f, 300, 400, 500, detail).ok());
  ASSERT_TRUE(stage.AcquireStageOwner("OLE Server").ok());
  Ran r = RunToEnd(Tool({"OrvoStageData"}));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "Moving = -1\n"));
  EXPECT_TRUE(Contains(r.out, "Status = 7\n"));
  EXPECT_TRUE(Contains(r.out, "Position[4] = 300  # Z\n"));
  EXPECT_TRUE(Contains(r.out, "RealX = 1.5\n"));
  EXPECT_TRUE(Contains(r.out, "OwnerName = \"OLE Server\"\n"));
  EXPECT_TRUE(Contains(r.out, "JogState = 0\n"));
}

TEST_F(ShmReaderTest, PrintsJson) {
  TOrvoMonitData monitor(true, Options());
  ASSERT_TRUE(monitor.SetFieldValue(0.5).ok());
  Ran one = RunToEnd(Tool(
      {"--json", "OrvoMonitorData", "FieldValue", "AlarmFlag[3]", "StageConstant[EU_OFFSET]"}));
  ASSERT_EQ(one.status, 0);
  EXPECT_EQ(one.out, "{\"record\":\"OrvoMonitorData\",\"section\":\"OrvoMonitorData" + Suffix() +
                         "\",\"size\":3872,\"fields\":{\"FieldValue\":0.5,\"AlarmFlag[3]\":0,"
                         "\"StageConstant[5]\":0}}\n");
  Ran all = RunToEnd(Tool({"--json", "OrvoMonitorData"}));
  ASSERT_EQ(all.status, 0);
  EXPECT_TRUE(Contains(all.out, "\"MonitorWord\":-1,"));
  EXPECT_TRUE(Contains(all.out, "\"TrackBallX\":[0,0,"));
  EXPECT_TRUE(Contains(all.out, "\"LowestAlarm\":-1,"));
}

TEST_F(ShmReaderTest, SetsFields) {
  TOrvoMonitData monitor(true, Options());
  TOrvoStageData stage(true, Options());
  EXPECT_EQ(RunToEnd(Tool({"--set", "OrvoMonitorData", "DeviceState[46]", "1"})).status, 0);
  EXPECT_EQ(RunToEnd(Tool({"--set", "OrvoMonitorData", "Brightness", "-0.125"})).status, 0);
  EXPECT_EQ(RunToEnd(Tool({"--set", "OrvoStageData", "OwnerName", "tool"})).status, 0);
  EXPECT_EQ(*monitor.GetDeviceState(46), 1);
  EXPECT_EQ(*monitor.GetOpticsValue(11), -0.125);
  EXPECT_EQ(*stage.GetStageOwnerName(), "tool");
  EXPECT_EQ(RunToEnd(Tool({"--set", "OrvoMonitorData", "DeviceState[201]", "1"})).status, 2);
  EXPECT_EQ(RunToEnd(Tool({"--set", "OrvoMonitorData", "DeviceState[1]", "x"})).status, 2);
  EXPECT_EQ(RunToEnd(Tool({"OrvoIonData"})).status, 2);  // no such section
}

TEST_F(ShmReaderTest, WatchesForChanges) {
  TOrvoMonitData monitor(true, Options());
  Child watch(Tool({"--watch", "--interval", "20", "--changes", "2", "--duration", "10000",
                    "OrvoMonitorData", "ScanRunning", "AlarmPresent"}));
  EXPECT_EQ(watch.ReadLine(), "ScanRunning = 0");
  EXPECT_EQ(watch.ReadLine(), "AlarmPresent = 0");
  ASSERT_TRUE(monitor.SetMagLock(1).ok());  // not watched
  ASSERT_TRUE(monitor.SetScanRunning(-1).ok());
  const std::string first = watch.ReadLine();
  EXPECT_TRUE(Contains(first, " ScanRunning = -1")) << first;
  ASSERT_TRUE(*monitor.SetAlarm(4));
  const std::string second = watch.ReadLine();
  EXPECT_TRUE(Contains(second, " AlarmPresent = 1")) << second;
  EXPECT_EQ(watch.Wait(), 0);
}

}  // namespace
}  // namespace tarvel::shm
