// The alarm table of the monitor record and the hardware error log it writes.
#include <fstream>
#include <sstream>

#include "shm/alarm_texts.h"
#include "shm/monit_data.h"
#include "shm/stage_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountLines(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++n;
  return n;
}

class AlarmTest : public ShmTest {
 protected:
  void SetUp() override {
    ShmTest::SetUp();
    root_ = std::make_unique<OrvoRoot>();
    rec_ = std::make_unique<TOrvoMonitData>(true, Options(&log_));
    ASSERT_TRUE(rec_->IsOpen());
  }
  void TearDown() override {
    rec_.reset();
    root_.reset();
    ShmTest::TearDown();
  }
  std::filesystem::path LogFile() const { return root_->data() / "OrvoHardwareError.Log"; }

  std::unique_ptr<OrvoRoot> root_;
  std::vector<std::string> log_;
  std::unique_ptr<TOrvoMonitData> rec_;
};

TEST_F(AlarmTest, SetTwiceReturnsTrueThenFalseAndLogsBoth) {
  EXPECT_TRUE(*rec_->SetAlarm(5));
  EXPECT_FALSE(*rec_->SetAlarm(5));
  const auto b = RawBytes(kMonitorRecord);
  EXPECT_EQ(At<std::int16_t>(b, 3568 + 10), -1);
  EXPECT_EQ(At<std::int32_t>(b, 3560), 1);
  EXPECT_EQ(*rec_->GetAlarm(5), -1);
  const std::string text = ReadFile(LogFile());
  EXPECT_EQ(CountLines(text, "Vacuum Error 05: ION Pump Alarm\r\n"), 2);
}

TEST_F(AlarmTest, ResetKeepsTheOtherAlarmAndFindsIt) {
  ASSERT_TRUE(*rec_->SetAlarm(5));
  ASSERT_TRUE(*rec_->SetAlarm(9));
  ASSERT_TRUE(rec_->ResetAlarm(5).ok());
  auto b = RawBytes(kMonitorRecord);
  EXPECT_EQ(At<std::int16_t>(b, 3578), 0);
  EXPECT_EQ(At<std::int32_t>(b, 3560), 1);
  EXPECT_EQ(At<std::int32_t>(b, 3564), 9);
  ASSERT_TRUE(rec_->ResetAlarm(9).ok());
  b = RawBytes(kMonitorRecord);
  EXPECT_EQ(At<std::int32_t>(b, 3560), 0);
  EXPECT_EQ(At<std::int32_t>(b, 3564), 9);  // unchanged when none is found
  EXPECT_EQ(*rec_->FirstAlarm(), -1);
}

TEST_F(AlarmTest, FirstAlarmScansInOrder) {
  ASSERT_TRUE(*rec_->SetAlarm(150));
  ASSERT_TRUE(*rec_->SetAlarm(0));
  EXPECT_EQ(*rec_->FirstAlarm(), 0);
  EXPECT_EQ(At<std::int32_t>(RawBytes(kMonitorRecord), 3564), 0);
}

TEST_F(AlarmTest, NumbersOutsideTheTable) {
  // GetAlarm(151) reads as clear without touching the section: it answers even with no section.
  EXPECT_EQ(*rec_->GetAlarm(151), 0);
  EXPECT_EQ(*rec_->GetAlarm(-1), 0);
  EXPECT_FALSE(rec_->SetAlarm(151).ok());
  EXPECT_FALSE(rec_->ResetAlarm(-1).ok());
  EXPECT_EQ(At<std::int16_t>(RawBytes(kMonitorRecord), 3870), 0);  // past flag 150
  TOrvoMonitData none(false, RecordOptions{"_absent" + Suffix(), [](const std::string&) {}});
  EXPECT_EQ(*none.GetAlarm(151), 0);
  EXPECT_FALSE(none.GetAlarm(5).ok());
}

// A log failure never loses the alarm nor reaches the caller; it is reported.
TEST_F(AlarmTest, LogFailureDoesNotStopTheAlarm) {
  std::filesystem::create_directory(LogFile());  // the log cannot be opened as a file
  auto r = rec_->SetAlarm(12);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(*r);
  EXPECT_EQ(*rec_->GetAlarm(12), -1);
  bool reported = false;
  for (const auto& line : log_) reported |= line.find("hardware error log") != std::string::npos;
  EXPECT_TRUE(reported);
}

TEST_F(AlarmTest, SpecimenContactLineCarriesPositionsAndStates) {
  TOrvoStageData stage(true, Options());
  rec_->SetStageRecord(&stage);
  for (int axis = 1; axis < 5; ++axis)
    ASSERT_TRUE(stage.SetAxisPosition(axis, 1000 * (axis + 1)).ok());
  ASSERT_TRUE(stage.SetAxisPosition(0, -1000).ok());
  ASSERT_TRUE(rec_->SetDeviceState(46, 1).ok());
  ASSERT_TRUE(rec_->SetDeviceState(4, 0).ok());
  ASSERT_TRUE(*rec_->SetAlarm(87));
  const std::string text = ReadFile(LogFile());
  const std::string expected =
      DefaultAlarmText(87) + "\r\n X:-1000 Y:2000 Z:3000 T:4000 R:5000 MGS: DOWN; GAS: UP\r\n";
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
  // "yy/mmm/dd hh:nn    " before the text.
  EXPECT_EQ(text[2], '/');
  EXPECT_EQ(text[6], '/');
  EXPECT_EQ(text.substr(15, 4), "    ");
  rec_->SetStageRecord(nullptr);
}

TEST_F(AlarmTest, NoLogOnThePadoLineOrWithoutTheDataFolder) {
  std::filesystem::create_directories(root_->path() / "Pado");
  (void)rec_->LoadInitData((root_->path() / "Pado").string());
  ASSERT_TRUE(*rec_->SetAlarm(3));
  EXPECT_FALSE(std::filesystem::exists(LogFile()));
  (void)rec_->LoadInitData(root_->data().string());
  ASSERT_FALSE(*rec_->SetAlarm(3));
  EXPECT_TRUE(std::filesystem::exists(LogFile()));
  std::filesystem::remove_all(root_->data());
  ASSERT_TRUE(rec_->ResetAlarm(3).ok());
  ASSERT_TRUE(*rec_->SetAlarm(3));  // no C:\ORVO\Data: nothing written, nothing failed
  EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST(AlarmTextTest, BuiltInTextsOfMachineType1) {
  EXPECT_EQ(DefaultAlarmText(1), "Vacuum Error 01: Gas Pressure");
  EXPECT_EQ(DefaultAlarmText(8), "Vacuum Error 08: ION  Chamber Vaccum interlock error.");
  EXPECT_EQ(DefaultAlarmText(27), "Vacuum Error 27: Reserved");
  EXPECT_EQ(DefaultAlarmText(32), "Vacuum Error 32: Vacuum Shutdown.");
  EXPECT_EQ(DefaultAlarmText(64), "Vacuum Error 64: Reserved");
  EXPECT_EQ(DefaultAlarmText(65), "Electronics Error 01: VME Unit/Cabinet Fan Alarm");
  EXPECT_EQ(DefaultAlarmText(75), "Electronics Error 11: SEM Water Leak Alram");
  EXPECT_EQ(DefaultAlarmText(84), "Electronics Error 20: Reserved");
  EXPECT_EQ(DefaultAlarmText(85), "Stage Error 01: Stage Not Initialize");
  EXPECT_EQ(DefaultAlarmText(89), "Stage Error 05: Laser Scale Alarm");
  EXPECT_EQ(DefaultAlarmText(104), "Stage Error 20: Reserved");
  EXPECT_EQ(DefaultAlarmText(105), "Ion Error 01: ");
  EXPECT_EQ(DefaultAlarmText(106), "Ion Error   : HV Hardware Alarm");
  EXPECT_EQ(DefaultAlarmText(110), "Ion Error 06: ");
  EXPECT_EQ(DefaultAlarmText(111), "Ion Error 07: Reserved");
  EXPECT_EQ(DefaultAlarmText(124), "Ion Error 20: Reserved");
  EXPECT_EQ(DefaultAlarmText(125), "ERROR No.125: Unknown error.");
  EXPECT_EQ(DefaultAlarmText(150), "ERROR No.150: Unknown error.");
  EXPECT_EQ(DefaultAlarmText(0), " ");
  EXPECT_EQ(DefaultAlarmText(151), " ");
  const std::string t87 = DefaultAlarmText(87);
  EXPECT_EQ(t87.size(), 110u);
  EXPECT_EQ(t87.substr(0, 51), "Stage Error 03: The specimen touched the SEM column");
  EXPECT_EQ(t87.substr(51, 4), "\x81\x49\r\n");
}

}  // namespace
}  // namespace tarvel::shm
