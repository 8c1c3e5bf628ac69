// What the field tables add beyond the offsets (which seek_position_test checks against the
// published layouts): typed accesses must match a field's width, and a name may span fields.
#include "shm/field_catalog.h"
#include "shm/monit_data.h"
#include "shm/stage_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class FieldTableTest : public ShmTest {};

// A 4-byte write to a 2-byte device state used to overwrite its neighbour too.
TEST_F(FieldTableTest, ATypedAccessOfAnotherWidthIsRefusedAndWritesNothing) {
  TOrvoMonitData monitor(true, Options());
  TOrvoStageData stage(true, Options());
  const auto monitorBefore = RawBytes(kMonitorRecord);
  const auto stageBefore = RawBytes(kStageRecord);
  const struct {
    const char* name;
    TOrvoSharedData* record;
    std::uint8_t code;
    std::int32_t index;
    ValueType type;
  } cases[] = {
      {"i32 on a 16-bit device state", &monitor, code::kDeviceState, 3, ValueType::kInt32},
      {"extended on the 16-bit optics word 13", &monitor, code::kOptics, 13, ValueType::kExtended},
      {"double on a 32-bit alarm summary", &monitor, code::kAlarmSummary, 0, ValueType::kDouble},
      {"i16 on the 32-bit owner ID", &stage, code::kStage, 23, ValueType::kInt16},
      {"i32 on the owner-name text", &stage, code::kStage, 22, ValueType::kInt32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint8_t value[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const base::Status st = c.record->WriteValue(c.code, c.index, value, c.type);
    EXPECT_EQ(st.code(), base::Status::Code::kOutOfRange) << st.message();
    std::uint8_t out[10] = {};
    EXPECT_EQ(c.record->ReadValue(c.code, c.index, c.type, out).code(),
              base::Status::Code::kOutOfRange);
  }
  EXPECT_EQ(RawBytes(kMonitorRecord), monitorBefore);
  EXPECT_EQ(RawBytes(kStageRecord), stageBefore);
  // Blocks may still cover several fields, as the publication writes them.
  std::uint8_t two[4] = {1, 0, 2, 0};
  EXPECT_TRUE(monitor.WriteBlock(code::kDeviceState, 3, two).ok());
  EXPECT_EQ(*monitor.GetDeviceState(4), 2);
}

TEST(FieldCatalogTest, ANameSpanningTwoFieldsFindsEachIndex) {
  const struct {
    const char* text;
    long offset;  // -1: not found
  } cases[] = {{"Reserved13[0]", 3484}, {"Reserved13[1]", 3492}, {"Reserved13[2]", 3500},
               {"Reserved13[3]", 3504}, {"Reserved13[4]", -1},   {"Reserved13", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto ref = FindField(kMonitorRecord, c.text);
    EXPECT_EQ(ref ? static_cast<long>(ref->offset) : -1, c.offset);
  }
}

}  // namespace
}  // namespace tarvel::shm
