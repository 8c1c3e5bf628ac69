#include "shm/field_catalog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "shm/init_data_keys.h"
#include "shm/seek_position.h"

namespace tarvel::shm {
namespace {

using T = ValueType;

constexpr std::array<std::string_view, 16> kTrackBallNames = {
    "STARTS", "ACCEL", "REDUCE", "LOW", "UP",    "ONOFF",   "K",       "",
    "",       "K1",    "K2",     "K3",  "CHECK", "MONITOR", "ACCMODE", "LASH"};
constexpr std::array<std::string_view, 5> kAxisNames = {"X", "Y", "Z", "T", "R"};
constexpr std::array<std::string_view, 5> kHard3Names = {"MagKX", "MagKY", "RefAccV", "ShiftKX",
                                                         "ShiftKY"};
constexpr std::array<std::string_view, 39> kCoefficientNames = {
    "VA1SX", "VA1TX", "VA1SY", "VA1TY", "A1SXk", "A1TXk", "A1SYk", "A1TYk", "VBLK",
    "DVXk",  "DVYk",  "DGXk",  "DGYk",  "DRXk",  "DRYk",  "FSXk",  "FSYk",  "VA2SX",
    "VA2TX", "VA2SY", "VA2TY", "A2SXk", "A2TXk", "A2SYk", "A2TYk"};

constexpr FieldInfo F(std::string_view name, std::uint8_t code, std::int32_t index, T type,
                      int count = 1, std::span<const std::string_view> names = {}) {
  return FieldInfo{name,  code, index, count, type, static_cast<int>(ValueTypeSize(type)),
                   false, names};
}
constexpr FieldInfo Text(std::string_view name, std::uint8_t code, std::int32_t index, int width) {
  return FieldInfo{name, code, index, 1, T::kBlock, width, true, {}};
}

const FieldInfo kMonitorFields[] = {
    F("StageConstant", code::kStageConstant, 0, T::kExtended, 23, kStageKeys),
    F("TrackBallX", code::kTrackBallX, 0, T::kInt32, 16, kTrackBallNames),
    F("TrackBallY", code::kTrackBallY, 0, T::kInt32, 16, kTrackBallNames),
    F("PowerMode", code::kPowerMode, 0, T::kInt32, 9, kPowerKeys),
    F("ApertureNo", code::kAperture, 0, T::kInt32),
    F("ApertureX", code::kAperture, 1, T::kInt32),
    F("ApertureY", code::kAperture, 2, T::kInt32),
    F("ApertureState1", code::kAperture, 3, T::kInt32),
    F("ApertureState2", code::kAperture, 4, T::kInt32),
    F("ApertureMoving", code::kAperture, 5, T::kInt16),
    Text("ReservedText1", code::kVacuum, 0, 51),
    Text("ReservedText2", code::kVacuum, 1, 53),
    F("VacuumValue1", code::kVacuum, 2, T::kInt32),
    F("VacuumValue2", code::kVacuum, 7, T::kInt32),
    F("VacuumReserved3", code::kVacuum, 3, T::kInt32),
    F("VacuumReserved4", code::kVacuum, 4, T::kInt32),
    F("VacuumReserved5", code::kVacuum, 5, T::kInt32),
    F("VacuumReserved6", code::kVacuum, 6, T::kInt32),
    F("VacuumReserved8", code::kVacuum, 8, T::kInt32),
    F("DeviceState", code::kDeviceState, 0, T::kInt16, 201),
    F("ValveState", code::kValveState, 0, T::kInt16, 201),
    F("DeviceState3", code::kDeviceState3, 0, T::kInt16, 201),
    F("DeviceChanged", code::kDeviceChanged, 0, T::kInt16, 201),
    F("ValveChanged", code::kValveChanged, 0, T::kInt16, 201),
    F("Device3Changed", code::kDevice3Changed, 0, T::kInt16, 201),
    F("CondenserLens", code::kOptics, 0, T::kExtended),
    F("ObjectiveCoarse", code::kOptics, 1, T::kExtended),
    F("ObjectiveFine", code::kOptics, 2, T::kExtended),
    F("ObjectiveSuperFine", code::kOptics, 3, T::kExtended),
    F("StigmatorX", code::kOptics, 4, T::kExtended),
    F("StigmatorY", code::kOptics, 5, T::kExtended),
    F("AlignX", code::kOptics, 6, T::kExtended),
    F("AlignY", code::kOptics, 7, T::kExtended),
    F("FineBeamShiftX", code::kOptics, 8, T::kExtended),
    F("FineBeamShiftY", code::kOptics, 9, T::kExtended),
    F("MagCode", code::kOptics, 10, T::kInt32),
    F("Brightness", code::kOptics, 11, T::kExtended),
    F("Contrast", code::kOptics, 12, T::kExtended),
    F("OpticsWord13", code::kOptics, 13, T::kInt16),
    F("OpticsValue", code::kOptics, 14, T::kExtended, 6),
    F("OpticsWord20", code::kOptics, 20, T::kInt16),
    F("OpticsValue21", code::kOptics, 21, T::kExtended),
    F("OpticsWord22", code::kOptics, 22, T::kInt16),
    F("ScanLinkWord", code::kMonitorWords, 0, T::kInt16),
    F("MonitorWord", code::kMonitorWords, 1, T::kInt16),
    F("FieldValue", code::kMonitorWords, 2, T::kExtended),
    F("MagLock", code::kMonitorWords, 3, T::kInt16),
    F("CLType", code::kMonitorWords, 4, T::kInt32),
    F("NotifyFlag", code::kNotifyFlag, 0, T::kInt16, 102),
    F("UnitReport", code::kUnitReport, 0, T::kDouble, 6),
    F("UnitReportWord", code::kUnitReport, 6, T::kInt32),
    F("Reserved13", code::kReserved13, 0, T::kInt32, 4),
    F("ScanState", code::kScan, 0, T::kInt32),
    F("ScanRunning", code::kScan, 1, T::kInt16),
    F("ScanState2", code::kScan, 2, T::kInt32),
    F("Hard3Const", code::kHard3Const, 0, T::kDouble, 5, kHard3Names),
    F("AlarmPresent", code::kAlarmSummary, 0, T::kInt32),
    F("LowestAlarm", code::kAlarmSummary, 1, T::kInt32),
    F("AlarmFlag", code::kAlarmFlag, 0, T::kInt16, 151),
};

const FieldInfo kStageFields[] = {
    F("Moving", code::kStage, 0, T::kInt16),
    F("Status", code::kStage, 1, T::kInt32),
    F("Position", code::kStage, 2, T::kInt32, 5, kAxisNames),
    F("RealX", code::kStage, 7, T::kExtended),
    F("RealY", code::kStage, 8, T::kExtended),
    F("Reserved", code::kStage, 9, T::kExtended, 3),
    F("Detail", code::kStage, 12, T::kInt32, 10),
    Text("OwnerName", code::kStage, 22, static_cast<int>(kStageOwnerNameWidth)),
    F("OwnerID", code::kStage, 23, T::kInt32),
    F("JogState", code::kStage, 24, T::kInt16),
};

const FieldInfo kIonFields[] = {
    F("IonWord0", code::kIon, 0, T::kInt32),   F("IonValue", code::kIon, 1, T::kExtended, 7),
    F("IonWord", code::kIon, 8, T::kInt32, 8), F("IonPair", code::kIon, 16, T::kExtended, 2),
    F("IonWord18", code::kIon, 18, T::kInt16), F("IonTail", code::kIon, 19, T::kExtended, 4),
};

const FieldInfo kMonitoringSemFields[] = {
    F("Value", code::kMonitSem, 0, T::kDouble, 23),
    F("Reserved23", code::kMonitSem, 23, T::kInt32),
    F("Reserved24", code::kMonitSem, 24, T::kInt32),
    F("Word", code::kMonitSem, 25, T::kInt16),
    F("Coefficient", code::kMonitSemCoeff, 0, T::kDouble, 39, kCoefficientNames),
};

const FieldInfo kCanDialFields[] = {
    F("DialWord", code::kCanDial, 0, T::kInt32, 11),
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<FieldRef> Ref(const FieldInfo& f, int k) {
  if (k < 0 || k >= f.count) return std::nullopt;
  const auto off = TSeekPosition::Offset(f.code, f.index + k);
  if (!off) return std::nullopt;
  return FieldRef{&f, f.index + k, *off};
}

}  // namespace

std::span<const FieldInfo> FieldsOf(std::string_view record) {
  if (record == kMonitorRecord) return kMonitorFields;
  if (record == kStageRecord) return kStageFields;
  if (record == kIonRecord) return kIonFields;
  if (record == kMonitoringSemRecord) return kMonitoringSemFields;
  if (record == kCanDialRecord) return kCanDialFields;
  return {};
}

std::optional<FieldRef> FindField(std::string_view record, std::string_view text) {
  std::string_view name = text;
  std::string_view sub;
  const auto open = text.find('[');
  if (open != std::string_view::npos) {
    if (text.back() != ']') return std::nullopt;
    name = text.substr(0, open);
    sub = text.substr(open + 1, text.size() - open - 2);
  }
  for (const FieldInfo& f : FieldsOf(record)) {
    if (!EqualsIgnoreCase(f.name, name)) continue;
    if (open == std::string_view::npos) return f.count == 1 ? Ref(f, 0) : std::nullopt;
    int index = 0;
    const auto [p, ec] = std::from_chars(sub.data(), sub.data() + sub.size(), index);
    if (ec == std::errc() && p == sub.data() + sub.size()) return Ref(f, index - f.index);
    for (std::size_t k = 0; k < f.elementNames.size(); ++k) {
      if (!f.elementNames[k].empty() && EqualsIgnoreCase(f.elementNames[k], sub))
        return Ref(f, static_cast<int>(k));
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::string ElementLabel(const FieldInfo& f, int k) {
  std::string label(f.name);
  if (f.count > 1) label += "[" + std::to_string(f.index + k) + "]";
  return label;
}

}  // namespace tarvel::shm
