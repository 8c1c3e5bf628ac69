// The monitor record's layout: every accessor checked against the bytes in the section at the
// published offsets, read from /dev/shm without the code under test.
#include "shm/monit_data.h"

#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class MonitDataLayoutTest : public ShmTest {
 protected:
  void SetUp() override {
    ShmTest::SetUp();
    root_ = std::make_unique<OrvoRoot>();
    rec_ = std::make_unique<TOrvoMonitData>(true, Options(&log_));
    ASSERT_TRUE(rec_->IsOpen()) << rec_->OpenStatus().message();
  }
  void TearDown() override {
    rec_.reset();
    root_.reset();
    ShmTest::TearDown();
  }
  std::vector<std::uint8_t> Raw() { return RawBytes(kMonitorRecord); }

  std::unique_ptr<OrvoRoot> root_;
  std::vector<std::string> log_;
  std::unique_ptr<TOrvoMonitData> rec_;
};

TEST_F(MonitDataLayoutTest, SizeAndCreationSteps) {
  const auto b = Raw();
  ASSERT_EQ(b.size(), 3872u);
  EXPECT_EQ(At<std::int16_t>(b, 3210), -1);  // monitor word
  EXPECT_EQ(At<std::int32_t>(b, 3500), 1);   // reserved word 13/2
  EXPECT_EQ(At<std::int32_t>(b, 3560), 0);   // alarm present
  EXPECT_EQ(At<std::int32_t>(b, 3564), -1);  // lowest alarm
  for (int n = 0; n <= 150; ++n) EXPECT_EQ(At<std::int16_t>(b, 3568 + 2 * n), 0);
  EXPECT_EQ(At<std::int32_t>(b, 3224), 1);  // CL type
}

TEST_F(MonitDataLayoutTest, ApertureFields) {
  ASSERT_TRUE(rec_->SetApertureState(-11, 22, 33, 44).ok());
  ASSERT_TRUE(rec_->SetApertureNo(7).ok());
  ASSERT_TRUE(rec_->SetApertureMoving(0).ok());
  auto b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 436), 7);
  EXPECT_EQ(At<std::int32_t>(b, 440), -11);
  EXPECT_EQ(At<std::int32_t>(b, 444), 22);
  EXPECT_EQ(At<std::int32_t>(b, 448), 33);
  EXPECT_EQ(At<std::int32_t>(b, 452), 44);
  EXPECT_EQ(*rec_->GetApertureNo(), 7);
  EXPECT_EQ(*rec_->GetApertureX(), -11);
  EXPECT_EQ(*rec_->GetApertureY(), 22);
  ASSERT_TRUE(rec_->SetApertureMoving(1).ok());
  b = Raw();
  EXPECT_EQ(At<std::int16_t>(b, 456), 1);
  EXPECT_EQ(*rec_->GetApertureNo(), -1);  // while moving
  EXPECT_EQ(*rec_->GetApertureMoving(), 1);
}

TEST_F(MonitDataLayoutTest, VacuumFieldsAndTheirBounds) {
  ASSERT_TRUE(rec_->SetDeviceState(0, 1).ok());
  ASSERT_TRUE(rec_->SetDeviceState(200, 2).ok());
  ASSERT_TRUE(rec_->SetValveState(200, 3).ok());
  ASSERT_TRUE(rec_->SetDeviceState3(5, 4).ok());
  ASSERT_TRUE(rec_->SetDeviceChanged(200, -1).ok());
  ASSERT_TRUE(rec_->SetValveChanged(0, -1).ok());
  ASSERT_TRUE(rec_->SetDevice3Changed(200, -1).ok());
  ASSERT_TRUE(rec_->SetVacuumValue1(0x12345678).ok());
  ASSERT_TRUE(rec_->SetVacuumValue2(-5).ok());
  // Out of the area: refused, never reaching the next group.
  EXPECT_EQ(rec_->SetDeviceState(201, 99).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec_->SetValveState(-1, 99).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec_->SetDevice3Changed(201, 99).code(), base::Status::Code::kOutOfRange);
  const auto b = Raw();
  EXPECT_EQ(At<std::int16_t>(b, 592), 1);
  EXPECT_EQ(At<std::int16_t>(b, 992), 2);
  EXPECT_EQ(At<std::int16_t>(b, 994), 0);  // valve 0 untouched by device 201
  EXPECT_EQ(At<std::int16_t>(b, 1394), 3);
  EXPECT_EQ(At<std::int16_t>(b, 1396 + 10), 4);
  EXPECT_EQ(At<std::int16_t>(b, 2198), -1);
  EXPECT_EQ(At<std::int16_t>(b, 2200), -1);
  EXPECT_EQ(At<std::int16_t>(b, 3002), -1);
  EXPECT_EQ(At<std::int16_t>(b, 3008), 0);  // the optics after group 3 flags are untouched
  EXPECT_EQ(At<std::int32_t>(b, 564), 0x12345678);
  EXPECT_EQ(At<std::int32_t>(b, 568), -5);
  EXPECT_EQ(*rec_->GetDeviceState(200), 2);
  EXPECT_EQ(*rec_->GetValveState(200), 3);
  EXPECT_EQ(*rec_->GetDeviceState3(5), 4);
  EXPECT_EQ(*rec_->GetVacuumValue2(), -5);
  EXPECT_FALSE(rec_->GetDeviceState(201).ok());
}

TEST_F(MonitDataLayoutTest, OpticsValuesAndBlocks) {
  ASSERT_TRUE(rec_->SetOpticsValue(0, 1.25).ok());
  ASSERT_TRUE(rec_->SetOpticsValue(15, -3.5).ok());
  EXPECT_EQ(rec_->SetOpticsValue(10, 1.0).code(),
            base::Status::Code::kOutOfRange);  // a 32-bit field
  EXPECT_EQ(rec_->SetOpticsValue(13, 1.0).code(),
            base::Status::Code::kOutOfRange);  // a 16-bit field
  auto b = Raw();
  EXPECT_EQ(ExtAt(b, 3008), 1.25);
  EXPECT_EQ(ExtAt(b, 3144), -3.5);
  EXPECT_EQ(*rec_->GetOpticsValue(15), -3.5);

  OpticsBlock block;
  for (int i = 0; i < 23; ++i) block.value[i] = 100.0 + i;
  block.magCode = 0x00030205;
  block.word13 = -1;
  block.word20 = 1;
  block.word22 = -1;
  ASSERT_TRUE(rec_->WriteOpticsBlock(block).ok());
  b = Raw();
  const int extOffsets[][2] = {{0, 3008},  {1, 3018},  {2, 3028},  {3, 3038},  {4, 3048},
                               {5, 3058},  {6, 3068},  {7, 3078},  {8, 3088},  {9, 3098},
                               {11, 3112}, {12, 3122}, {14, 3134}, {15, 3144}, {16, 3154},
                               {17, 3164}, {18, 3174}, {19, 3184}, {21, 3196}};
  for (const auto& e : extOffsets) EXPECT_EQ(ExtAt(b, e[1]), 100.0 + e[0]) << e[0];
  EXPECT_EQ(At<std::int32_t>(b, 3108), 0x00030205);
  EXPECT_EQ(At<std::int16_t>(b, 3132), -1);
  EXPECT_EQ(At<std::int16_t>(b, 3194), 1);
  EXPECT_EQ(At<std::int16_t>(b, 3206), -1);
  EXPECT_EQ(At<std::int16_t>(b, 3208), 0);  // the scan-link word after the block is untouched
  EXPECT_EQ(*rec_->GetMagIndex(), 5);
  EXPECT_EQ(*rec_->GetMagByte1(), 2);
  EXPECT_EQ(*rec_->GetMagByte2(), 3);

  ASSERT_TRUE(rec_->WriteOpticsTail(0.001, 2e-7).ok());
  b = Raw();
  EXPECT_EQ(ExtAt(b, 3154), 0.001);
  EXPECT_EQ(ExtAt(b, 3164), 2e-7);
  EXPECT_EQ(ExtAt(b, 3174), 118.0);
}

TEST_F(MonitDataLayoutTest, MonitorWordsAndNotificationFlags) {
  ASSERT_TRUE(rec_->SetScanLinkWord(-1).ok());
  ASSERT_TRUE(rec_->SetMonitorWord(0).ok());
  ASSERT_TRUE(rec_->SetFieldValue(1.0).ok());
  ASSERT_TRUE(rec_->SetMagLock(1).ok());
  ASSERT_TRUE(rec_->SetMagCode(771).ok());
  ASSERT_TRUE(rec_->MarkNotified(1124).ok());
  ASSERT_TRUE(rec_->MarkNotified(1140).ok());
  ASSERT_TRUE(rec_->MarkNotified(1225).ok());
  EXPECT_EQ(rec_->MarkNotified(1226).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec_->MarkNotified(1123).code(), base::Status::Code::kOutOfRange);
  const auto b = Raw();
  EXPECT_EQ(At<std::int16_t>(b, 3208), -1);
  EXPECT_EQ(At<std::int16_t>(b, 3210), 0);
  EXPECT_EQ(ExtAt(b, 3212), 1.0);
  EXPECT_EQ(At<std::int16_t>(b, 3222), 1);
  EXPECT_EQ(At<std::int32_t>(b, 3108), 771);
  EXPECT_EQ(At<std::int16_t>(b, 3228), 1);
  EXPECT_EQ(At<std::int16_t>(b, 3228 + 2 * 16), 1);  // 1140 is index 16
  EXPECT_EQ(At<std::int16_t>(b, 3430), 1);
  EXPECT_EQ(At<std::int16_t>(b, 3226), 0);
  EXPECT_EQ(At<std::int16_t>(b, 3432), 0);  // the unit report after the flags is untouched
  EXPECT_EQ(*rec_->GetMonitorWord(), 0);
  EXPECT_EQ(*rec_->GetScanLinkWord(), -1);
  EXPECT_EQ(*rec_->GetMagLock(), 1);
  EXPECT_EQ(*rec_->GetFieldValue(), 1.0);
}

TEST_F(MonitDataLayoutTest, UnitReportScanAndHard3) {
  const double six[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(rec_->WriteUnitReport(six, 77).ok());
  auto b = Raw();
  for (int k = 0; k < 6; ++k) EXPECT_EQ(At<double>(b, 3432 + 8 * k), k + 1.0);
  EXPECT_EQ(At<std::int32_t>(b, 3480), 77);
  ASSERT_TRUE(rec_->WriteUnitReport(9.5, -9.5, 1, 32).ok());
  b = Raw();
  EXPECT_EQ(At<double>(b, 3432), 9.5);
  EXPECT_EQ(At<double>(b, 3440), -9.5);
  EXPECT_EQ(At<std::int32_t>(b, 3448), 1);
  EXPECT_EQ(At<std::int16_t>(b, 3452), 32);
  EXPECT_EQ(At<std::int16_t>(b, 3454), 0);
  EXPECT_EQ(At<double>(b, 3456), 4.0);  // the long form's tail is left

  ASSERT_TRUE(rec_->SetScanState(123456).ok());
  ASSERT_TRUE(rec_->SetScanRunning(-1).ok());
  ASSERT_TRUE(rec_->SetScanState2(-2).ok());
  ASSERT_TRUE(rec_->SetHard3Constants(1.5, 2.5, 30.0, -4.5, 5.5).ok());
  b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 3508), 123456);
  EXPECT_EQ(At<std::int16_t>(b, 3512), -1);
  EXPECT_EQ(At<std::int32_t>(b, 3516), -2);
  EXPECT_EQ(At<double>(b, 3520), 1.5);
  EXPECT_EQ(At<double>(b, 3528), 2.5);
  EXPECT_EQ(At<double>(b, 3536), 30.0);
  EXPECT_EQ(At<double>(b, 3544), -4.5);
  EXPECT_EQ(At<double>(b, 3552), 5.5);
  EXPECT_EQ(*rec_->GetRefAccV(), 30.0);
  EXPECT_EQ(*rec_->GetShiftKY(), 5.5);
  EXPECT_EQ(*rec_->GetMagKX(), 1.5);
  EXPECT_EQ(*rec_->GetScanState(), 123456);
  EXPECT_EQ(*rec_->GetScanRunning(), -1);
  EXPECT_EQ(*rec_->GetScanState2(), -2);
}

TEST_F(MonitDataLayoutTest, StageConstantsAndTrackBallBounds) {
  ASSERT_TRUE(rec_->WriteExtended(code::kStageConstant, 22, 1.0).ok());
  ASSERT_TRUE(rec_->WriteI32(code::kTrackBallX, 15, 100).ok());
  ASSERT_TRUE(rec_->WriteI32(code::kTrackBallY, 0, 4000).ok());
  ASSERT_TRUE(rec_->WriteI32(code::kPowerMode, 8, 2).ok());
  EXPECT_EQ(rec_->WriteI32(code::kTrackBallX, 16, 5).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec_->WriteI32(code::kPowerMode, 9, 5).code(), base::Status::Code::kOutOfRange);
  EXPECT_FALSE(rec_->GetTrackBall(2, 0).ok());
  // A stage-constant index out of range takes the default offset 0.
  ASSERT_TRUE(rec_->WriteExtended(code::kStageConstant, 23, 7.0).ok());
  const auto b = Raw();
  EXPECT_EQ(ExtAt(b, 220), 1.0);
  EXPECT_EQ(ExtAt(b, 0), 7.0);
  EXPECT_EQ(At<std::int32_t>(b, 292), 100);
  EXPECT_EQ(At<std::int32_t>(b, 296), 0);
  EXPECT_EQ(At<std::int32_t>(b, 316), 4000);
  EXPECT_EQ(At<std::int32_t>(b, 432), 2);
  EXPECT_EQ(At<std::int32_t>(b, 436), 0);
  EXPECT_TRUE(*rec_->GetZSafetyFlag());
  EXPECT_EQ(*rec_->GetStageConstant(0), 7.0);
  EXPECT_EQ(*rec_->GetTrackBall(0, 15), 100);
  EXPECT_EQ(*rec_->GetPowerMode(8), 2);
}

TEST_F(MonitDataLayoutTest, CodesOfOtherRecordsAreRefused) {
  EXPECT_EQ(rec_->WriteI32(code::kStage, 0, 1).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec_->WriteI32(2, 0, 1).code(), base::Status::Code::kOutOfRange);  // no area at all
}

TEST_F(MonitDataLayoutTest, AnotherProcessSeesTheFields) {
  ASSERT_TRUE(rec_->SetFieldValue(2.5).ok());
  ASSERT_TRUE(rec_->SetDeviceState(46, 1).ok());
  Ran ext = RunToEnd(Helper({"read", "OrvoMonitorData", Suffix(), "10", "2", "5"}));
  EXPECT_EQ(ext.status, 0);
  EXPECT_EQ(ext.out, "2.5\n");
  Ran dev = RunToEnd(Helper({"read", "OrvoMonitorData", Suffix(), "6", "46", "1"}));
  EXPECT_EQ(dev.out, "1\n");
  Ran refused = RunToEnd(Helper({"read", "OrvoMonitorData", Suffix(), "6", "201", "1"}));
  EXPECT_EQ(refused.status, 2);  // -TARVEL_SHM_ERR_RANGE
  Ran w = RunToEnd(Helper({"write", "OrvoMonitorData", Suffix(), "9", "11", "5", "0.75"}));
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(*rec_->GetOpticsValue(11), 0.75);
}

}  // namespace
}  // namespace tarvel::shm
