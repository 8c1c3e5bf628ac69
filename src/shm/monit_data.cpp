// TOrvoMonitData: creation steps and the typed accessors. The initial-data file is in
// monit_init_data.cpp, the alarm table and hardware error log in monit_alarms.cpp.
#include "shm/monit_data.h"

#include <cstring>

#include "shm/alarm_texts.h"
#include "shm/extended.h"

namespace tarvel::shm {
namespace {

bool IsExtendedOpticsIndex(int i) {
  return (i >= 0 && i <= 9) || i == 11 || i == 12 || (i >= 14 && i <= 19) || i == 21;
}

base::Status Refused(const std::string& what, int i) {
  return base::Status::OutOfRange(what + " index " + std::to_string(i) + " is out of range");
}

}  // namespace

TOrvoMonitData::TOrvoMonitData(bool master, RecordOptions options)
    : TOrvoSharedData(std::string(kMonitorRecord), master, std::move(options)),
      alarmText_(DefaultAlarmText) {
  if (!master) return;
  if (IsOpen()) {
    (void)SetMonitorWord(-1);
    (void)WriteI32(Named("Reserved13", 2), 1);
    (void)Locked([](HeldRecord& h) {
      bool ok = h.WriteI32(Named("AlarmPresent"), 0) && h.WriteI32(Named("LowestAlarm"), -1);
      for (int n = 0; ok && n < kAlarmCount; ++n) ok = h.WriteI16(code::kAlarmFlag, n, 0);
      return ok;
    });
    (void)WriteI32(Named("CLType"), 1);
  }
  const base::Status rot = RotateHardwareLog();
  if (!rot.ok()) (void)Report(rot);
}

base::Result<double> TOrvoMonitData::GetStageConstant(int i) {
  return ReadExtended(code::kStageConstant, i);
}

base::Result<bool> TOrvoMonitData::GetZSafetyFlag() {
  auto v = GetStageConstant(22);
  if (!v.ok()) return v.status();
  return *v > 0.5;
}

base::Result<std::int32_t> TOrvoMonitData::GetPowerMode(int i) {
  return ReadI32(code::kPowerMode, i);
}

// --- aperture ---

base::Status TOrvoMonitData::SetApertureState(std::int32_t x, std::int32_t y, std::int32_t s1,
                                              std::int32_t s2) {
  return Locked([&](HeldRecord& h) {
    return h.WriteI32(Named("ApertureX"), x) && h.WriteI32(Named("ApertureY"), y) &&
           h.WriteI32(Named("ApertureState1"), s1) && h.WriteI32(Named("ApertureState2"), s2);
  });
}

base::Status TOrvoMonitData::SetApertureMoving(std::int16_t v) {
  return WriteI16(Named("ApertureMoving"), v);
}
base::Result<std::int16_t> TOrvoMonitData::GetApertureMoving() {
  return ReadI16(Named("ApertureMoving"));
}
base::Status TOrvoMonitData::SetApertureNo(std::int32_t n) {
  return WriteI32(Named("ApertureNo"), n);
}

base::Result<std::int32_t> TOrvoMonitData::GetApertureNo() {
  std::int32_t n = 0;
  std::int16_t moving = 0;
  base::Status st = Locked([&](HeldRecord& h) {
    return h.ReadI16(Named("ApertureMoving"), &moving) && h.ReadI32(Named("ApertureNo"), &n);
  });
  if (!st.ok()) return st;
  return moving != 0 ? -1 : n;
}

base::Result<std::int32_t> TOrvoMonitData::GetApertureX() {
  return ReadI32(Named("ApertureX"));
}
base::Result<std::int32_t> TOrvoMonitData::GetApertureY() {
  return ReadI32(Named("ApertureY"));
}

// --- track ball ---

base::Result<std::int32_t> TOrvoMonitData::GetTrackBall(int axis, int i) {
  if (axis != 0 && axis != 1) return Report(Refused("track-ball axis", axis));
  return ReadI32(axis == 0 ? code::kTrackBallX : code::kTrackBallY, i);
}

base::Status TOrvoMonitData::SetTrackBall(int axis, int i, std::int32_t v) {
  if (axis != 0 && axis != 1) return Report(Refused("track-ball axis", axis));
  base::Status st = WriteI32(axis == 0 ? code::kTrackBallX : code::kTrackBallY, i, v);
  if (!st.ok()) return st;
  return SaveTrackBall(i);
}

// --- vacuum ---

base::Status TOrvoMonitData::SetDeviceState(int i, std::int16_t v) {
  return WriteI16(code::kDeviceState, i, v);
}
base::Status TOrvoMonitData::SetValveState(int i, std::int16_t v) {
  return WriteI16(code::kValveState, i, v);
}
base::Status TOrvoMonitData::SetDeviceState3(int i, std::int16_t v) {
  return WriteI16(code::kDeviceState3, i, v);
}
base::Result<std::int16_t> TOrvoMonitData::GetDeviceState(int i) {
  return ReadI16(code::kDeviceState, i);
}
base::Result<std::int16_t> TOrvoMonitData::GetValveState(int i) {
  return ReadI16(code::kValveState, i);
}
base::Result<std::int16_t> TOrvoMonitData::GetDeviceState3(int i) {
  return ReadI16(code::kDeviceState3, i);
}
base::Status TOrvoMonitData::SetDeviceChanged(int i, std::int16_t v) {
  return WriteI16(code::kDeviceChanged, i, v);
}
base::Status TOrvoMonitData::SetValveChanged(int i, std::int16_t v) {
  return WriteI16(code::kValveChanged, i, v);
}
base::Status TOrvoMonitData::SetDevice3Changed(int i, std::int16_t v) {
  return WriteI16(code::kDevice3Changed, i, v);
}
base::Result<std::int16_t> TOrvoMonitData::GetDeviceChanged(int i) {
  return ReadI16(code::kDeviceChanged, i);
}
base::Result<std::int16_t> TOrvoMonitData::GetValveChanged(int i) {
  return ReadI16(code::kValveChanged, i);
}
base::Result<std::int16_t> TOrvoMonitData::GetDevice3Changed(int i) {
  return ReadI16(code::kDevice3Changed, i);
}
base::Status TOrvoMonitData::SetVacuumValue1(std::int32_t v) {
  return WriteI32(Named("VacuumValue1"), v);
}
base::Status TOrvoMonitData::SetVacuumValue2(std::int32_t v) {
  return WriteI32(Named("VacuumValue2"), v);
}
base::Result<std::int32_t> TOrvoMonitData::GetVacuumValue1() {
  return ReadI32(Named("VacuumValue1"));
}
base::Result<std::int32_t> TOrvoMonitData::GetVacuumValue2() {
  return ReadI32(Named("VacuumValue2"));
}

// --- optics ---

base::Status TOrvoMonitData::SetOpticsValue(int i, double x) {
  if (!IsExtendedOpticsIndex(i)) return Report(Refused("extended optics value", i));
  return WriteExtended(code::kOptics, i, x);
}

base::Result<double> TOrvoMonitData::GetOpticsValue(int i) {
  if (!IsExtendedOpticsIndex(i)) return Report(Refused("extended optics value", i));
  return ReadExtended(code::kOptics, i);
}

base::Status TOrvoMonitData::WriteOpticsBlock(const OpticsBlock& block) {
  // Built in offset order: 3008 .. 3207, 200 bytes.
  std::array<std::uint8_t, 200> bytes{};
  std::size_t at = 0;
  auto ext = [&](double v) {
    EncodeExtended(v, std::span<std::uint8_t, kExtendedSize>(bytes.data() + at, kExtendedSize));
    at += kExtendedSize;
  };
  auto raw = [&](const void* p, std::size_t n) {
    std::memcpy(bytes.data() + at, p, n);
    at += n;
  };
  for (int i = 0; i <= 9; ++i) ext(block.value[i]);
  raw(&block.magCode, 4);
  ext(block.value[11]);
  ext(block.value[12]);
  raw(&block.word13, 2);
  for (int i = 14; i <= 19; ++i) ext(block.value[i]);
  raw(&block.word20, 2);
  ext(block.value[21]);
  raw(&block.word22, 2);
  return WriteBlock(Named("CondenserLens"), bytes);
}

base::Status TOrvoMonitData::WriteOpticsTail(double value16, double value17) {
  std::array<std::uint8_t, 2 * kExtendedSize> bytes{};
  EncodeExtended(value16, std::span<std::uint8_t, kExtendedSize>(bytes.data(), kExtendedSize));
  EncodeExtended(
      value17, std::span<std::uint8_t, kExtendedSize>(bytes.data() + kExtendedSize, kExtendedSize));
  return WriteBlock(Named("OpticsValue", 2), bytes);
}

base::Status TOrvoMonitData::SetMagCode(std::int32_t v) {
  return WriteI32(Named("MagCode"), v);
}

base::Result<std::int32_t> TOrvoMonitData::GetMagIndex() {
  auto v = ReadI32(Named("MagCode"));
  if (!v.ok()) return v.status();
  return *v & 0xFF;
}
base::Result<std::int32_t> TOrvoMonitData::GetMagByte1() {
  auto v = ReadI32(Named("MagCode"));
  if (!v.ok()) return v.status();
  return (*v >> 8) & 0xFF;
}
base::Result<std::int32_t> TOrvoMonitData::GetMagByte2() {
  auto v = ReadI32(Named("MagCode"));
  if (!v.ok()) return v.status();
  return (*v >> 16) & 0xFF;
}

// --- monitor words ---

base::Status TOrvoMonitData::SetScanLinkWord(std::int16_t v) {
  return WriteI16(Named("ScanLinkWord"), v);
}
base::Result<std::int16_t> TOrvoMonitData::GetScanLinkWord() {
  return ReadI16(Named("ScanLinkWord"));
}
base::Status TOrvoMonitData::SetMonitorWord(std::int16_t v) {
  return WriteI16(Named("MonitorWord"), v);
}
base::Result<std::int16_t> TOrvoMonitData::GetMonitorWord() {
  return ReadI16(Named("MonitorWord"));
}
base::Status TOrvoMonitData::SetFieldValue(double x) {
  return WriteExtended(Named("FieldValue"), x);
}
base::Result<double> TOrvoMonitData::GetFieldValue() {
  return ReadExtended(Named("FieldValue"));
}
base::Status TOrvoMonitData::SetMagLock(std::int16_t v) {
  return WriteI16(Named("MagLock"), v);
}
base::Result<std::int16_t> TOrvoMonitData::GetMagLock() {
  return ReadI16(Named("MagLock"));
}
base::Result<std::int32_t> TOrvoMonitData::GetCLType() {
  return ReadI32(Named("CLType"));
}

base::Status TOrvoMonitData::MarkNotified(int message) {
  return WriteI16(code::kNotifyFlag, message - kFirstNotifyMessage, 1);
}

base::Result<std::int16_t> TOrvoMonitData::GetNotified(int message) {
  return ReadI16(code::kNotifyFlag, message - kFirstNotifyMessage);
}

base::Status TOrvoMonitData::WriteUnitReport(std::span<const double, 6> values, std::int32_t word) {
  std::array<std::uint8_t, 52> bytes{};
  std::memcpy(bytes.data(), values.data(), 48);
  std::memcpy(bytes.data() + 48, &word, 4);
  return WriteBlock(Named("UnitReport"), bytes);
}

base::Status TOrvoMonitData::WriteUnitReport(double a, double b, std::int32_t word,
                                             std::int16_t flag) {
  std::array<std::uint8_t, 24> bytes{};  // bytes 22..23 stay zero
  std::memcpy(bytes.data(), &a, 8);
  std::memcpy(bytes.data() + 8, &b, 8);
  std::memcpy(bytes.data() + 16, &word, 4);
  std::memcpy(bytes.data() + 20, &flag, 2);
  return WriteBlock(Named("UnitReport"), bytes);
}

// --- scan ---

base::Status TOrvoMonitData::SetScanState(std::int32_t v) {
  return WriteI32(Named("ScanState"), v);
}
base::Status TOrvoMonitData::SetScanRunning(std::int16_t v) {
  return WriteI16(Named("ScanRunning"), v);
}
base::Status TOrvoMonitData::SetScanState2(std::int32_t v) {
  return WriteI32(Named("ScanState2"), v);
}
base::Result<std::int32_t> TOrvoMonitData::GetScanState() {
  return ReadI32(Named("ScanState"));
}
base::Result<std::int16_t> TOrvoMonitData::GetScanRunning() {
  return ReadI16(Named("ScanRunning"));
}
base::Result<std::int32_t> TOrvoMonitData::GetScanState2() {
  return ReadI32(Named("ScanState2"));
}

// --- Hard3 constants ---

base::Status TOrvoMonitData::SetHard3Constants(double kx, double ky, double acc, double sx,
                                               double sy) {
  const double v[kHard3ConstCount] = {kx, ky, acc, sx, sy};
  std::array<std::uint8_t, sizeof v> bytes{};
  std::memcpy(bytes.data(), v, sizeof v);
  return WriteBlock(Named("Hard3Const"), bytes);
}

base::Result<double> TOrvoMonitData::GetMagKX() {
  return ReadDouble(Named("Hard3Const"));
}
base::Result<double> TOrvoMonitData::GetMagKY() {
  return ReadDouble(Named("Hard3Const", 1));
}
base::Result<double> TOrvoMonitData::GetRefAccV() {
  return ReadDouble(Named("Hard3Const", 2));
}
base::Result<double> TOrvoMonitData::GetShiftKX() {
  return ReadDouble(Named("Hard3Const", 3));
}
base::Result<double> TOrvoMonitData::GetShiftKY() {
  return ReadDouble(Named("Hard3Const", 4));
}

}  // namespace tarvel::shm
