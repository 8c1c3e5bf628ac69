#include "config/sys_init_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/temp_dir.h"
#include "config/profile_file.h"

namespace tarvel::config {
namespace {

class TSysInitDataTest : public tarvel::testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    data_ = dir_ / "Data";
    std::filesystem::create_directories(data_);
    holder_.OnV1CloseShown = [this](const std::string& t) { v1Shown_.push_back(t); };
    holder_.OnInvFrameChanged = [this](int f) { invFrames_.push_back(f); };
    holder_.OnGaugeTypeChanged = [this](int g, int t) { gauges_.push_back({g, t}); };
  }
  std::string Key(const char* section, const char* key) {
    return ProfileFile(data_ / "FIBSystem.INI").GetString(section, key, "<missing>");
  }

  std::filesystem::path data_;
  std::vector<int> machineTypesAsked_;
  TSysInitData holder_{[this](int type) -> base::Result<std::string> {
    machineTypesAsked_.push_back(type);
    return data_.string();
  }};
  std::vector<std::string> v1Shown_;
  std::vector<int> invFrames_;
  std::vector<std::pair<int, int>> gauges_;
};

TEST_F(TSysInitDataTest, NothingIsWrittenBeforeLoading) {
  EXPECT_FALSE(holder_.Loaded());
  EXPECT_EQ(holder_.SysTypeText(), "xxxxxxxxxxxx");
  EXPECT_EQ(holder_.GaugeText(2), "xxxxxxxxxxxx");
  EXPECT_EQ(holder_.ReadScanToGrabWait(), "0");
  const base::Status refused[] = {
      holder_.ChooseSystemType(1),  holder_.ChooseStageType(1), holder_.ChooseInvFrame(12),
      holder_.SetV1CloseUse(false), holder_.SetUseASEM(true),   holder_.SetAxes({}),
      holder_.ChooseGauge(0, 1),    holder_.ChooseScanType(1),  holder_.ChooseTransfer(0),
  };
  for (const auto& s : refused) EXPECT_EQ(s.code(), base::Status::Code::kUnavailable);
  EXPECT_FALSE(std::filesystem::exists(data_ / "FIBSystem.INI"));
  EXPECT_EQ(holder_.SystemType(), 0);
  EXPECT_FALSE(holder_.UseASEM());
  EXPECT_TRUE(v1Shown_.empty());
}

TEST_F(TSysInitDataTest, LoadsOnceAndCachesEveryValue) {
  WriteAll(data_ / "FIBSystem.INI",
           "[SYSTEM]\nTYPE=PADO540\nV1_CLOSE=Disable\nSCAN=PC\nINV_FRAME=9\n"
           "[OPTICS]\nTYPE=IOS2\nMAX_BEAMSHIFT=30\n[STAGE]\nAXIS-Z=No\n"
           "[VACUUM]\nTRANSFER=Manual\nGAUGE2=TYPE4\n[SEM Type]\n2nd FIB=1\n");
  WriteAll(data_ / "AxGen.ini", "[Grab]\nScanToGrabWaitTime=250\n");
  ASSERT_TRUE(holder_.LoadInitData(2).ok()) << holder_.StatusText();
  EXPECT_TRUE(holder_.Loaded());
  EXPECT_EQ(holder_.LoadedMarker(), 2);
  EXPECT_EQ(holder_.SystemType(), 9);
  EXPECT_EQ(holder_.SysTypeText(), "PADO540");
  EXPECT_FALSE(holder_.V1CloseEnabled());
  EXPECT_EQ(holder_.ScanType(), 1);
  EXPECT_EQ(holder_.InvFrame(), 9);
  EXPECT_EQ(holder_.OpticsType(), 1);
  EXPECT_EQ(holder_.MaxBeamShift(), 30);
  EXPECT_FALSE(holder_.AxisEnabled(2));
  EXPECT_TRUE(holder_.AxisEnabled(3));
  EXPECT_EQ(holder_.Transfer(), 1);
  EXPECT_EQ(holder_.GaugeTypeOf(1), 3);
  EXPECT_TRUE(holder_.SecondFIB());
  EXPECT_EQ(holder_.ScanToGrabWait(), "250");
  EXPECT_EQ(holder_.FileNameText(), "FIBSystem.INI");
  EXPECT_EQ(holder_.FilePath(), (data_ / "FIBSystem.INI").string());
  EXPECT_EQ(holder_.FileDateText().size(), std::string("yyyy/mm/dd hh:mm").size());
  EXPECT_EQ(v1Shown_, std::vector<std::string>{"Disable"});
  EXPECT_EQ(invFrames_, std::vector<int>{9});
  ASSERT_EQ(gauges_.size(), 5u);
  EXPECT_EQ(gauges_[1], std::make_pair(1, 3));

  // A second load, even for the other machine line, changes nothing.
  WriteAll(data_ / "FIBSystem.INI", "[SYSTEM]\nTYPE=ORVO410\n");
  ASSERT_TRUE(holder_.LoadInitData(1).ok());
  EXPECT_EQ(holder_.LoadedMarker(), 2);
  EXPECT_EQ(holder_.SystemType(), 9);
  EXPECT_EQ(machineTypesAsked_, std::vector<int>{2});
}

TEST_F(TSysInitDataTest, FailedLoadCanBeRetried) {
  int calls = 0;
  TSysInitData holder([&](int) -> base::Result<std::string> {
    if (++calls == 1) return base::Status::NotFound("OrvoDataPath names nothing");
    return data_.string();
  });
  const base::Status first = holder.LoadInitData(1);
  EXPECT_FALSE(first.ok());
  EXPECT_FALSE(holder.Loaded());
  EXPECT_EQ(holder.LoadedMarker(), 0);
  EXPECT_NE(holder.StatusText().find("OrvoDataPath"), std::string::npos);
  EXPECT_EQ(holder.ChooseSystemType(2).code(), base::Status::Code::kUnavailable);

  ASSERT_TRUE(holder.LoadInitData(1).ok());
  EXPECT_TRUE(holder.Loaded());
  EXPECT_EQ(holder.SysTypeText(), "ORVO410");
  EXPECT_TRUE(holder.StatusText().empty());
}

TEST_F(TSysInitDataTest, BadNumberStillLoadsAndIsReported) {
  WriteAll(data_ / "FIBSystem.INI", "[SYSTEM]\nTYPE=ORVO420\nINV_FRAME=fast\n");
  const base::Status s = holder_.LoadInitData(1);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(holder_.Loaded());
  EXPECT_EQ(holder_.SystemType(), 1);
  EXPECT_EQ(holder_.InvFrame(), 12);
  EXPECT_NE(holder_.StatusText().find("[SYSTEM] INV_FRAME"), std::string::npos);
}

TEST_F(TSysInitDataTest, ChangesWriteTheTableTextAndUpdateTheCache) {
  ASSERT_TRUE(holder_.LoadInitData(1).ok());
  ASSERT_TRUE(holder_.ChooseStageType(1).ok());
  EXPECT_EQ(Key("STAGE", "TYPE"), "PADO_TYPE1(XY-M310)");
  EXPECT_EQ(holder_.StageType(), 1);
  EXPECT_EQ(holder_.StageTypeText(), "PADO_TYPE1(XY-M310)");

  ASSERT_TRUE(holder_.ChooseVacuumType(2).ok());
  EXPECT_EQ(Key("VACUUM", "TYPE"), "None");
  ASSERT_TRUE(holder_.ChooseSystemType(5).ok());
  EXPECT_EQ(Key("SYSTEM", "TYPE"), "PADO530");
  ASSERT_TRUE(holder_.ChooseScanType(1).ok());
  EXPECT_EQ(Key("SYSTEM", "SCAN"), "PC");

  ASSERT_TRUE(holder_.ChooseInvFrame(12).ok());
  EXPECT_EQ(Key("SYSTEM", "INV_FRAME"), "12");
  EXPECT_EQ(invFrames_.back(), 12);
  EXPECT_EQ(holder_.ChooseInvFrame(26).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(holder_.ChooseInvFrame(4).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(holder_.InvFrame(), 12);

  ASSERT_TRUE(holder_.SetV1CloseUse(false).ok());
  EXPECT_EQ(Key("SYSTEM", "V1_CLOSE"), "Disable");
  EXPECT_FALSE(holder_.V1CloseEnabled());
  EXPECT_EQ(v1Shown_.back(), "Disable");

  ASSERT_TRUE(holder_.SetAxes({true, true, true}).ok());
  EXPECT_EQ(Key("STAGE", "AXIS-NO"), "3");
  EXPECT_EQ(Key("STAGE", "AXIS-Z"), "Yes");
  for (const char* k : {"AXIS-T", "AXIS-R", "AXIS-AP-X", "AXIS-AP-Y", "AXIS-AP2-X", "AXIS-AP2-Y"}) {
    EXPECT_EQ(Key("STAGE", k), "No") << k;
  }
  EXPECT_EQ(holder_.AxisNoText(), "3");

  ASSERT_TRUE(holder_.ChooseGauge(2, 4).ok());
  EXPECT_EQ(Key("VACUUM", "GAUGE3"), "TYPE5");
  EXPECT_EQ(holder_.GaugeTypeOf(2), 4);
  EXPECT_EQ(holder_.GaugeText(2), "TYPE5");
  EXPECT_EQ(gauges_.back(), std::make_pair(2, 4));

  ASSERT_TRUE(holder_.SetUseASEM(true).ok());
  EXPECT_EQ(Key("SEM Type", "UseASEM"), "1");
  EXPECT_TRUE(holder_.UseASEM());

  // Indexes out of their tables change nothing.
  const base::Status outOfRange[] = {
      holder_.ChooseSystemType(12), holder_.ChooseSystemType(-1), holder_.ChooseStageType(9),
      holder_.ChooseVacuumType(3),  holder_.ChooseGauge(5, 0),    holder_.ChooseGauge(0, 5),
      holder_.ChooseOpticsType(2),  holder_.ChooseSubChamber(2),  holder_.ChooseTransfer(4),
  };
  for (const auto& s : outOfRange) EXPECT_EQ(s.code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(holder_.SystemType(), 5);
  EXPECT_EQ(Key("VACUUM", "GAUGE1"), "TYPE1");
}

TEST_F(TSysInitDataTest, FailedWriteIsReportedAndTheCacheStillFollows) {
  // A folder where the file should be: it cannot be created or replaced.
  std::filesystem::create_directories(data_ / "FIBSystem.INI");
  const base::Status load = holder_.LoadInitData(1);
  EXPECT_FALSE(load.ok());
  ASSERT_TRUE(holder_.Loaded());
  const base::Status s = holder_.ChooseTransfer(3);
  EXPECT_EQ(s.code(), base::Status::Code::kIOError);
  EXPECT_NE(holder_.StatusText().find("TRANSFER"), std::string::npos) << holder_.StatusText();
  EXPECT_EQ(holder_.Transfer(), 3);
  EXPECT_EQ(holder_.VacTransferText(), "Robot_Arm");
}

}  // namespace
}  // namespace tarvel::config
