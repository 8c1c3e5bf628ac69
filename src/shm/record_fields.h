// The field tables of the five records: the one place a field's name, code, index range, type,
// byte offset and element spacing are written, and each code's area rule (whether the index or
// its low byte selects the field, and which index an index outside the area falls back to).
//
// TSeekPosition, the field catalogue (FieldsOf, FindField), the C header's field list and the
// typed accessors' width checks are all made from these tables; static_asserts below hold every
// field inside its record and every element inside its field's spacing. The layout tests in
// tests/shm check the same offsets independently, written out from the published layouts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "shm/init_data_keys.h"
#include "shm/record_layout.h"

namespace tarvel::shm {

// One field: `count` elements of `width` bytes at record indexes index..index+count-1, element
// k at offset + k * stride.
struct FieldInfo {
  std::string_view name;
  std::uint8_t code;
  std::int32_t index;  // record index of the first element
  int count;           // 1 for a single field
  ValueType type;
  int width;                                       // bytes of one element
  bool text;                                       // a block holding NUL-terminated CP932 text
  std::span<const std::string_view> elementNames;  // empty or `count` names ("" = none)
  std::uint32_t offset;                            // byte offset of element 0
  std::uint32_t stride;                            // bytes from one element to the next

  constexpr std::uint32_t OffsetOf(int k) const {
    return offset + static_cast<std::uint32_t>(k) * stride;
  }
  constexpr std::uint32_t End() const {
    return OffsetOf(count - 1) + static_cast<std::uint32_t>(width);
  }
};

// How a code's index selects a field.
struct AreaRule {
  bool lowByte;      // the low byte of the index selects the field (areas of named fields)
  int defaultIndex;  // an index outside the area takes this one; -1: such an access is refused
};

namespace fields {

using T = ValueType;

inline constexpr std::array<std::string_view, 16> kTrackBallNames = {
    "STARTS", "ACCEL", "REDUCE", "LOW", "UP",    "ONOFF",   "K",       "",
    "",       "K1",    "K2",     "K3",  "CHECK", "MONITOR", "ACCMODE", "LASH"};
inline constexpr std::array<std::string_view, 5> kAxisNames = {"X", "Y", "Z", "T", "R"};
inline constexpr std::array<std::string_view, 5> kHard3Names = {"MagKX", "MagKY", "RefAccV",
                                                                "ShiftKX", "ShiftKY"};
inline constexpr std::array<std::string_view, 39> kCoefficientNames = {
    "VA1SX", "VA1TX", "VA1SY", "VA1TY", "A1SXk", "A1TXk", "A1SYk", "A1TYk", "VBLK",
    "DVXk",  "DVYk",  "DGXk",  "DGYk",  "DRXk",  "DRYk",  "FSXk",  "FSYk",  "VA2SX",
    "VA2TX", "VA2SY", "VA2TY", "A2SXk", "A2TXk", "A2SYk", "A2TYk"};

// A field of `count` evenly packed elements of `type` (stride = width unless given).
constexpr FieldInfo F(std::string_view name, std::uint8_t code, std::int32_t index,
                      std::uint32_t offset, T type, int count = 1,
                      std::span<const std::string_view> names = {}, std::uint32_t stride = 0) {
  const int width = static_cast<int>(ValueTypeSize(type));
  return FieldInfo{
      name,  code,  index, count,  type,
      width, false, names, offset, stride ? stride : static_cast<std::uint32_t>(width)};
}
constexpr FieldInfo Text(std::string_view name, std::uint8_t code, std::int32_t index,
                         std::uint32_t offset, int width) {
  return FieldInfo{name,  code, index, 1,      T::kBlock,
                   width, true, {},    offset, static_cast<std::uint32_t>(width)};
}

// Monitor record, in offset order.
inline constexpr FieldInfo kMonitor[] = {
    F("StageConstant", code::kStageConstant, 0, 0, T::kExtended, 23, kStageKeys),
    F("TrackBallX", code::kTrackBallX, 0, 232, T::kInt32, 16, kTrackBallNames),
    F("TrackBallY", code::kTrackBallY, 0, 316, T::kInt32, 16, kTrackBallNames),
    F("PowerMode", code::kPowerMode, 0, 400, T::kInt32, 9, kPowerKeys),
    F("ApertureNo", code::kAperture, 0, 436, T::kInt32),
    F("ApertureX", code::kAperture, 1, 440, T::kInt32),
    F("ApertureY", code::kAperture, 2, 444, T::kInt32),
    F("ApertureState1", code::kAperture, 3, 448, T::kInt32),
    F("ApertureState2", code::kAperture, 4, 452, T::kInt32),
    F("ApertureMoving", code::kAperture, 5, 456, T::kInt16),
    Text("ReservedText1", code::kVacuum, 0, 460, 51),
    Text("ReservedText2", code::kVacuum, 1, 511, 53),
    F("VacuumValue1", code::kVacuum, 2, 564, T::kInt32),
    F("VacuumValue2", code::kVacuum, 7, 568, T::kInt32),
    F("VacuumReserved3", code::kVacuum, 3, 572, T::kInt32),
    F("VacuumReserved4", code::kVacuum, 4, 576, T::kInt32),
    F("VacuumReserved5", code::kVacuum, 5, 580, T::kInt32),
    F("VacuumReserved6", code::kVacuum, 6, 584, T::kInt32),
    F("VacuumReserved8", code::kVacuum, 8, 588, T::kInt32),
    F("DeviceState", code::kDeviceState, 0, 592, T::kInt16, kDeviceStateCount),
    F("ValveState", code::kValveState, 0, 994, T::kInt16, kDeviceStateCount),
    F("DeviceState3", code::kDeviceState3, 0, 1396, T::kInt16, kDeviceStateCount),
    F("DeviceChanged", code::kDeviceChanged, 0, 1798, T::kInt16, kDeviceStateCount),
    F("ValveChanged", code::kValveChanged, 0, 2200, T::kInt16, kDeviceStateCount),
    F("Device3Changed", code::kDevice3Changed, 0, 2602, T::kInt16, kDeviceStateCount),
    F("CondenserLens", code::kOptics, 0, 3008, T::kExtended),
    F("ObjectiveCoarse", code::kOptics, 1, 3018, T::kExtended),
    F("ObjectiveFine", code::kOptics, 2, 3028, T::kExtended),
    F("ObjectiveSuperFine", code::kOptics, 3, 3038, T::kExtended),
    F("StigmatorX", code::kOptics, 4, 3048, T::kExtended),
    F("StigmatorY", code::kOptics, 5, 3058, T::kExtended),
    F("AlignX", code::kOptics, 6, 3068, T::kExtended),
    F("AlignY", code::kOptics, 7, 3078, T::kExtended),
    F("FineBeamShiftX", code::kOptics, 8, 3088, T::kExtended),
    F("FineBeamShiftY", code::kOptics, 9, 3098, T::kExtended),
    F("MagCode", code::kOptics, 10, 3108, T::kInt32),
    F("Brightness", code::kOptics, 11, 3112, T::kExtended),
    F("Contrast", code::kOptics, 12, 3122, T::kExtended),
    F("OpticsWord13", code::kOptics, 13, 3132, T::kInt16),
    F("OpticsValue", code::kOptics, 14, 3134, T::kExtended, 6),
    F("OpticsWord20", code::kOptics, 20, 3194, T::kInt16),
    F("OpticsValue21", code::kOptics, 21, 3196, T::kExtended),
    F("OpticsWord22", code::kOptics, 22, 3206, T::kInt16),
    F("ScanLinkWord", code::kMonitorWords, 0, 3208, T::kInt16),
    F("MonitorWord", code::kMonitorWords, 1, 3210, T::kInt16),
    F("FieldValue", code::kMonitorWords, 2, 3212, T::kExtended),
    F("MagLock", code::kMonitorWords, 3, 3222, T::kInt16),
    F("CLType", code::kMonitorWords, 4, 3224, T::kInt32),
    F("NotifyFlag", code::kNotifyFlag, 0, 3228, T::kInt16, kNotifyFlagCount),
    F("UnitReport", code::kUnitReport, 0, 3432, T::kDouble, 6),
    F("UnitReportWord", code::kUnitReport, 6, 3480, T::kInt32),
    // Words 0 and 1 are 8 bytes apart, 2 and 3 four: two fields of one name.
    F("Reserved13", code::kReserved13, 0, 3484, T::kInt32, 2, {}, 8),
    F("Reserved13", code::kReserved13, 2, 3500, T::kInt32, 2),
    F("ScanState", code::kScan, 0, 3508, T::kInt32),
    F("ScanRunning", code::kScan, 1, 3512, T::kInt16),
    F("ScanState2", code::kScan, 2, 3516, T::kInt32),
    F("Hard3Const", code::kHard3Const, 0, 3520, T::kDouble, kHard3ConstCount, kHard3Names),
    F("AlarmPresent", code::kAlarmSummary, 0, 3560, T::kInt32),
    F("LowestAlarm", code::kAlarmSummary, 1, 3564, T::kInt32),
    F("AlarmFlag", code::kAlarmFlag, 0, 3568, T::kInt16, kAlarmCount),
};

inline constexpr FieldInfo kStage[] = {
    F("Moving", code::kStage, 0, 0, T::kInt16),
    F("Status", code::kStage, 1, 4, T::kInt32),
    F("Position", code::kStage, 2, 8, T::kInt32, 5, kAxisNames),
    F("RealX", code::kStage, 7, 28, T::kExtended),
    F("RealY", code::kStage, 8, 38, T::kExtended),
    F("Reserved", code::kStage, 9, 48, T::kExtended, 3),
    F("Detail", code::kStage, 12, 80, T::kInt32, kStageDetailCount),
    Text("OwnerName", code::kStage, 22, kStageOwnerNameOffset,
         static_cast<int>(kStageOwnerNameWidth)),
    F("OwnerID", code::kStage, 23, kStageOwnerIdOffset, T::kInt32),
    F("JogState", code::kStage, 24, 224, T::kInt16),
};

inline constexpr FieldInfo kIon[] = {
    F("IonWord0", code::kIon, 0, 0, T::kInt32),
    F("IonValue", code::kIon, 1, 4, T::kExtended, 7),
    F("IonWord", code::kIon, 8, 76, T::kInt32, 8),
    F("IonPair", code::kIon, 16, 108, T::kExtended, 2),
    F("IonWord18", code::kIon, 18, 128, T::kInt16),
    F("IonTail", code::kIon, 19, 130, T::kExtended, 4),
};

inline constexpr FieldInfo kMonitoringSem[] = {
    F("Value", code::kMonitSem, 0, 0, T::kDouble, kMonitSemValueCount),
    F("Reserved23", code::kMonitSem, 23, 240, T::kInt32),
    F("Reserved24", code::kMonitSem, 24, 244, T::kInt32),
    F("Word", code::kMonitSem, 25, 272, T::kInt16),
    F("Coefficient", code::kMonitSemCoeff, 0, 288, T::kDouble, kMonitSemCoeffCount,
      kCoefficientNames),
};

inline constexpr FieldInfo kCanDial[] = {
    F("DialWord", code::kCanDial, 0, 0, T::kInt32, kCanDialWordCount),
};

}  // namespace fields

// A record: its name, size and fields in offset order.
struct RecordInfo {
  std::string_view name;
  std::size_t size;
  std::span<const FieldInfo> fields;
};

inline constexpr RecordInfo kRecords[] = {
    {kMonitorRecord, kMonitorSize, fields::kMonitor},
    {kIonRecord, kIonSize, fields::kIon},
    {kStageRecord, kStageSize, fields::kStage},
    {kMonitoringSemRecord, kMonitoringSemSize, fields::kMonitoringSem},
    {kCanDialRecord, kCanDialSize, fields::kCanDial},
};

// The area rule of every code that has fields; codes without one are refused.
inline constexpr int kCodeCount = 27;
inline constexpr std::array<AreaRule, kCodeCount> kAreaRules = [] {
  std::array<AreaRule, kCodeCount> r{};
  for (auto& a : r) a = {false, -1};  // refused outside the area
  r[code::kStageConstant] = {false, 0};
  r[code::kAperture] = {true, 1};
  r[code::kStage] = {true, 0};
  r[code::kVacuum] = {true, 0};
  r[code::kIon] = {true, 0};
  r[code::kOptics] = {true, 0};
  r[code::kMonitorWords] = {true, 1};
  r[code::kUnitReport] = {true, 0};
  r[code::kReserved13] = {true, 0};
  r[code::kScan] = {true, 0};
  r[code::kAlarmSummary] = {true, 0};
  r[code::kMonitSem] = {false, 0};
  r[code::kMonitSemCoeff] = {false, 4};
  r[code::kCanDial] = {false, 1};
  return r;
}();

namespace fields {

// Every field lies inside its record, its elements do not overlap, its codes belong to the
// record, fields of one record do not overlap each other, and every code's default index names
// a field.
constexpr bool Consistent() {
  for (const RecordInfo& rec : kRecords) {
    for (std::size_t i = 0; i < rec.fields.size(); ++i) {
      const FieldInfo& f = rec.fields[i];
      if (f.count < 1 || f.width < 1 || f.stride < static_cast<std::uint32_t>(f.width))
        return false;
      if (f.End() > rec.size) return false;
      if (RecordOfCode(f.code) != rec.name || f.code >= kCodeCount) return false;
      if (!f.elementNames.empty() && f.elementNames.size() < static_cast<std::size_t>(f.count))
        return false;
      for (std::size_t j = 0; j < rec.fields.size(); ++j) {
        const FieldInfo& g = rec.fields[j];
        if (i == j) continue;
        if (f.offset < g.End() && g.offset < f.End()) return false;
        if (f.code == g.code && f.index < g.index + g.count && g.index < f.index + f.count)
          return false;
      }
    }
  }
  for (int c = 0; c < kCodeCount; ++c) {
    const int d = kAreaRules[c].defaultIndex;
    if (d < 0) continue;
    bool found = false;
    for (const RecordInfo& rec : kRecords)
      for (const FieldInfo& f : rec.fields)
        found |= f.code == c && d >= f.index && d < f.index + f.count;
    if (!found) return false;
  }
  return true;
}
static_assert(Consistent(), "a field table disagrees with its record");
// Where the last field of each record ends (the rest of the section is unused).
static_assert(kMonitor[std::size(kMonitor) - 1].End() == kMonitorSize - 2);
static_assert(kStage[std::size(kStage) - 1].End() == kStageSize - 2);
static_assert(kIon[std::size(kIon) - 1].End() == kIonSize - 2);
static_assert(kMonitoringSem[std::size(kMonitoringSem) - 1].End() == kMonitoringSemSize);
static_assert(kCanDial[0].End() == kCanDialSize);

}  // namespace fields

// A field element named in code. Its code, index and type come from the tables, so an accessor
// writes down only the field's name: a name that is not in a table, a name two codes share or
// an element outside the field does not compile.
struct FieldId {
  std::uint8_t code;
  std::int32_t index;
  ValueType type;
};

// Element `k` of the field `name` (k counts from the field's first index; a name split in two
// rows, like Reserved13, counts across both).
consteval FieldId Named(std::string_view name, int k = 0) {
  // Values, not pointers into the tables: some sanitizer builds cannot compare those at
  // compile time.
  bool found = false;
  std::uint8_t code = 0;
  std::int32_t firstIndex = 0;
  for (const RecordInfo& rec : kRecords) {
    for (const FieldInfo& f : rec.fields) {
      if (f.name != name) continue;
      if (!found) {
        found = true;
        code = f.code;
        firstIndex = f.index;
      } else if (f.code != code) {
        throw "a field name two codes share";
      }
    }
  }
  if (!found) throw "no field of that name";
  const std::int32_t target = firstIndex + k;
  for (const RecordInfo& rec : kRecords) {
    for (const FieldInfo& f : rec.fields) {
      if (f.name == name && target >= f.index && target < f.index + f.count) {
        return FieldId{f.code, target, f.type};
      }
    }
  }
  throw "an element outside the field";
}
}  // namespace tarvel::shm
