// The five shared records: section names, sizes, field codes and value types.
//
// This is the one home of these numbers on the server side; every field's name, index range,
// type and byte offset is in the field tables (record_fields.h), from which TSeekPosition and
// the catalogue are made. All layouts are little-endian byte offsets from the start of the
// section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvel::shm {

// Section (record) names, as other processes open them.
inline constexpr std::string_view kMonitorRecord = "OrvoMonitorData";
inline constexpr std::string_view kIonRecord = "OrvoIonData";
inline constexpr std::string_view kStageRecord = "OrvoStageData";
inline constexpr std::string_view kMonitoringSemRecord = "MonitoringSEMData";
inline constexpr std::string_view kCanDialRecord = "CanDialData";

// The five, in the order the link manager creates them.
inline constexpr std::string_view kRecordNames[] = {kMonitorRecord, kIonRecord, kStageRecord,
                                                    kMonitoringSemRecord, kCanDialRecord};

// The mutex of a section is the section name followed by this.
inline constexpr std::string_view kMutexSuffix = "_MUT";

inline constexpr std::size_t kMonitorSize = 3872;
inline constexpr std::size_t kIonSize = 172;
inline constexpr std::size_t kStageSize = 228;
inline constexpr std::size_t kMonitoringSemSize = 600;
inline constexpr std::size_t kCanDialSize = 44;

// The size chosen by the record name; any other name gets the monitor record's 3872 bytes.
constexpr std::size_t RecordSize(std::string_view recordName) {
  if (recordName == kIonRecord) return kIonSize;
  if (recordName == kStageRecord) return kStageSize;
  if (recordName == kMonitoringSemRecord) return kMonitoringSemSize;
  if (recordName == kCanDialRecord) return kCanDialSize;
  return kMonitorSize;
}

// Value types of a typed access.
enum class ValueType : std::uint8_t {
  kByte = 0,      // 1 byte, byte or boolean
  kInt16 = 1,     // 16-bit signed
  kInt32 = 2,     // 32-bit signed
  kWord32 = 3,    // 32-bit, same transfer as kInt32
  kDouble = 4,    // 8-byte IEEE 754
  kExtended = 5,  // 10-byte x87 extended
  kBlock = 6,     // n bytes
};

// Bytes moved by one access of a fixed-width type; 0 for kBlock (the caller gives n).
constexpr std::size_t ValueTypeSize(ValueType t) {
  switch (t) {
    case ValueType::kByte:
      return 1;
    case ValueType::kInt16:
      return 2;
    case ValueType::kInt32:
    case ValueType::kWord32:
      return 4;
    case ValueType::kDouble:
      return 8;
    case ValueType::kExtended:
      return 10;
    case ValueType::kBlock:
      return 0;
  }
  return 0;
}

// Field codes. Codes 4, 8, 20, 21 and 26 belong to the stage, ion, monitoring-SEM and dial
// records; every other code to the monitor record.
namespace code {
inline constexpr std::uint8_t kPowerMode = 0;        // monitor record
inline constexpr std::uint8_t kStageConstant = 1;    // monitor record
inline constexpr std::uint8_t kAperture = 3;         // monitor record
inline constexpr std::uint8_t kStage = 4;            // stage record
inline constexpr std::uint8_t kVacuum = 5;           // monitor record
inline constexpr std::uint8_t kDeviceState = 6;      // monitor record
inline constexpr std::uint8_t kValveState = 7;       // monitor record
inline constexpr std::uint8_t kIon = 8;              // ion record
inline constexpr std::uint8_t kOptics = 9;           // monitor record
inline constexpr std::uint8_t kMonitorWords = 10;    // monitor record
inline constexpr std::uint8_t kNotifyFlag = 11;      // monitor record
inline constexpr std::uint8_t kUnitReport = 12;      // monitor record
inline constexpr std::uint8_t kReserved13 = 13;      // monitor record
inline constexpr std::uint8_t kScan = 14;            // monitor record
inline constexpr std::uint8_t kHard3Const = 15;      // monitor record
inline constexpr std::uint8_t kTrackBallX = 16;      // monitor record
inline constexpr std::uint8_t kTrackBallY = 17;      // monitor record
inline constexpr std::uint8_t kAlarmSummary = 18;    // monitor record
inline constexpr std::uint8_t kAlarmFlag = 19;       // monitor record
inline constexpr std::uint8_t kMonitSem = 20;        // monitoring-SEM record
inline constexpr std::uint8_t kMonitSemCoeff = 21;   // monitoring-SEM record
inline constexpr std::uint8_t kDeviceChanged = 22;   // monitor record
inline constexpr std::uint8_t kValveChanged = 23;    // monitor record
inline constexpr std::uint8_t kDeviceState3 = 24;    // monitor record
inline constexpr std::uint8_t kDevice3Changed = 25;  // monitor record
inline constexpr std::uint8_t kCanDial = 26;         // dial record
}  // namespace code

// The position in kRecordNames of the record a field code belongs to (cheaper to compare than
// the names, on every access).
constexpr int RecordNumberOfCode(std::uint8_t c) {
  switch (c) {
    case code::kStage:
      return 2;
    case code::kIon:
      return 1;
    case code::kMonitSem:
    case code::kMonitSemCoeff:
      return 3;
    case code::kCanDial:
      return 4;
    default:
      return 0;
  }
}

// The record a field code belongs to.
constexpr std::string_view RecordOfCode(std::uint8_t c) {
  return kRecordNames[RecordNumberOfCode(c)];
}
static_assert(RecordOfCode(code::kStage) == kStageRecord &&
              RecordOfCode(code::kIon) == kIonRecord &&
              RecordOfCode(code::kMonitSem) == kMonitoringSemRecord &&
              RecordOfCode(code::kCanDial) == kCanDialRecord &&
              RecordOfCode(code::kOptics) == kMonitorRecord);

// Array lengths that bound client and wire indexes.
inline constexpr int kStageConstantCount = 23;
inline constexpr int kTrackBallCount = 16;
inline constexpr int kPowerModeCount = 9;
inline constexpr int kDeviceStateCount = 201;
inline constexpr int kNotifyFlagCount = 102;
inline constexpr int kAlarmCount = 151;  // alarm numbers 0..150
inline constexpr int kOpticsIndexCount = 23;
inline constexpr int kHard3ConstCount = 5;
inline constexpr int kMonitSemValueCount = 23;
inline constexpr int kMonitSemCoeffCount = 39;
inline constexpr int kCanDialWordCount = 11;
inline constexpr int kStageDetailCount = 10;

// Stage record: owner slot.
inline constexpr std::size_t kStageOwnerNameOffset = 120;
inline constexpr std::size_t kStageOwnerNameWidth = 100;
inline constexpr std::size_t kStageOwnerIdOffset = 220;
inline constexpr std::int32_t kStageOwnerFree = -2;

// First notification id whose flag is at code 11 index 0.
inline constexpr int kFirstNotifyMessage = 1124;

}  // namespace tarvel::shm
