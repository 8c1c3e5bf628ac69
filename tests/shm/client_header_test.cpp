// tarvel_shm.h against the server's record tables: the field list and layout identifier it
// prints, and its code macros, must be what the library implements, so another program can use
// the header without reading our sources.
#include <fstream>
#include <iterator>

#include "shm/field_listing.h"
#include "shm/record_layout.h"
#include "tarvel_shm.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

std::string HeaderText() {
  std::ifstream in(TARVEL_SHM_HEADER, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ClientHeaderTest, TheFieldListIsTheRecordTables) {
  const std::string header = HeaderText();
  const std::string begin = "BEGIN FIELDS\n";
  const auto from = header.find(begin);
  const auto to = header.find("END FIELDS");
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  const std::string listed = header.substr(from + begin.size(), to - from - begin.size());
  EXPECT_EQ(listed, FieldListing()) << "paste this between BEGIN FIELDS and END FIELDS:\n"
                                    << FieldListing();
  EXPECT_EQ(TARVEL_SHM_LAYOUT_ID, LayoutId())
      << "set TARVEL_SHM_LAYOUT_ID to 0x" << std::hex << LayoutId() << "u";
  EXPECT_EQ(tarvel_shm_layout_id(), LayoutId());
  EXPECT_EQ(tarvel_shm_version(), TARVEL_SHM_VERSION);
}

TEST(ClientHeaderTest, CodeMacrosAreTheRecordCodes) {
  const struct {
    int macro;
    std::uint8_t code;
  } cases[] = {
      {TARVEL_SHM_CODE_POWER_MODE, code::kPowerMode},
      {TARVEL_SHM_CODE_STAGE_CONSTANT, code::kStageConstant},
      {TARVEL_SHM_CODE_APERTURE, code::kAperture},
      {TARVEL_SHM_CODE_STAGE, code::kStage},
      {TARVEL_SHM_CODE_VACUUM, code::kVacuum},
      {TARVEL_SHM_CODE_DEVICE_STATE, code::kDeviceState},
      {TARVEL_SHM_CODE_VALVE_STATE, code::kValveState},
      {TARVEL_SHM_CODE_ION, code::kIon},
      {TARVEL_SHM_CODE_OPTICS, code::kOptics},
      {TARVEL_SHM_CODE_MONITOR_WORDS, code::kMonitorWords},
      {TARVEL_SHM_CODE_NOTIFY_FLAG, code::kNotifyFlag},
      {TARVEL_SHM_CODE_UNIT_REPORT, code::kUnitReport},
      {TARVEL_SHM_CODE_RESERVED13, code::kReserved13},
      {TARVEL_SHM_CODE_SCAN, code::kScan},
      {TARVEL_SHM_CODE_HARD3_CONST, code::kHard3Const},
      {TARVEL_SHM_CODE_TRACK_BALL_X, code::kTrackBallX},
      {TARVEL_SHM_CODE_TRACK_BALL_Y, code::kTrackBallY},
      {TARVEL_SHM_CODE_ALARM_SUMMARY, code::kAlarmSummary},
      {TARVEL_SHM_CODE_ALARM_FLAG, code::kAlarmFlag},
      {TARVEL_SHM_CODE_MONIT_SEM, code::kMonitSem},
      {TARVEL_SHM_CODE_MONIT_SEM_COEFF, code::kMonitSemCoeff},
      {TARVEL_SHM_CODE_DEVICE_CHANGED, code::kDeviceChanged},
      {TARVEL_SHM_CODE_VALVE_CHANGED, code::kValveChanged},
      {TARVEL_SHM_CODE_DEVICE_STATE3, code::kDeviceState3},
      {TARVEL_SHM_CODE_DEVICE3_CHANGED, code::kDevice3Changed},
      {TARVEL_SHM_CODE_CAN_DIAL, code::kCanDial},
  };
  for (const auto& c : cases) EXPECT_EQ(c.macro, c.code);
}

}  // namespace
}  // namespace tarvel::shm
