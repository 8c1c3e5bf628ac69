// TOrvoMonitData: the alarm table (codes 18 and 19) and the hardware error log.
#include <ctime>

#include "shm/monit_data.h"
#include "shm/stage_data.h"

namespace tarvel::shm {
namespace {

bool ValidAlarm(int n) {
  return n >= 0 && n < kAlarmCount;
}

// Scans flags 0..150; at the first raised one stores its number at 3564 and returns it.
int ScanFirst(HeldRecord& h, bool* ok) {
  for (int n = 0; n < kAlarmCount; ++n) {
    std::int16_t f = 0;
    if (!h.ReadI16(code::kAlarmFlag, n, &f)) {
      *ok = false;
      return -1;
    }
    if (f != 0) {
      *ok = h.WriteI32(Named("LowestAlarm"), n);
      return n;
    }
  }
  return -1;
}

}  // namespace

base::Result<bool> TOrvoMonitData::SetAlarm(int n) {
  if (!ValidAlarm(n)) {
    return Report(
        base::Status::OutOfRange("alarm number " + std::to_string(n) + " is outside 0..150"));
  }
  // The flag first, so that a log failure can never lose the alarm.
  bool wasClear = false;
  base::Status st = Locked([&](HeldRecord& h) {
    std::int16_t flag = 0;
    if (!h.ReadI16(code::kAlarmFlag, n, &flag)) return false;
    if (flag != 0) return true;
    wasClear = true;
    return h.WriteI16(code::kAlarmFlag, n, -1) && h.WriteI32(Named("AlarmPresent"), 1);
  });
  // Logged on every call, whatever became of the flag; a failure is reported, never returned.
  const base::Status logged = LogHardwareError(n);
  if (!logged.ok()) (void)Report(base::Status::IOError("hardware error log: " + logged.message()));
  if (!st.ok()) return st;
  return wasClear;
}

base::Status TOrvoMonitData::ResetAlarm(int n) {
  if (!ValidAlarm(n)) {
    return Report(
        base::Status::OutOfRange("alarm number " + std::to_string(n) + " is outside 0..150"));
  }
  return Locked([&](HeldRecord& h) {
    if (!h.WriteI16(code::kAlarmFlag, n, 0)) return false;
    bool ok = true;
    if (ScanFirst(h, &ok) < 0 && ok) ok = h.WriteI32(Named("AlarmPresent"), 0);
    return ok;
  });
}

base::Result<int> TOrvoMonitData::FirstAlarm() {
  int first = -1;
  base::Status st = Locked([&](HeldRecord& h) {
    bool ok = true;
    first = ScanFirst(h, &ok);
    return ok;
  });
  if (!st.ok()) return st;
  return first;
}

base::Result<std::int16_t> TOrvoMonitData::GetAlarm(int n) {
  if (!ValidAlarm(n)) return std::int16_t{0};
  return ReadI16(code::kAlarmFlag, n);
}

base::Result<std::int32_t> TOrvoMonitData::GetAlarmPresent() {
  return ReadI32(Named("AlarmPresent"));
}

base::Status TOrvoMonitData::RotateHardwareLog() {
  if (!hardwareLog_.Enabled(dataDirectory_)) return base::Status::Ok();
  return hardwareLog_.Rotate();
}

base::Status TOrvoMonitData::LogHardwareError(int n) {
  if (!hardwareLog_.Enabled(dataDirectory_)) return base::Status::Ok();
  std::string line = HardwareErrorLog::FormatTime(std::time(nullptr));
  line += alarmText_ ? alarmText_(n) : std::string(" ");
  if (n == 87) {
    line += "\r\n";
    static constexpr const char* kAxes[5] = {" X:", " Y:", " Z:", " T:", " R:"};
    base::Result<std::array<std::int32_t, 5>> pos =
        stage_ ? stage_->GetAxisPositions()
               : base::Result<std::array<std::int32_t, 5>>(
                     base::Status::Unavailable("no stage record"));
    for (int k = 0; k < 5; ++k) {
      line += kAxes[k];
      line += pos.ok() ? std::to_string((*pos)[k]) : std::string("?");
    }
    auto mgs = GetDeviceState(46);
    auto gas = GetDeviceState(4);
    line += (mgs.ok() && *mgs != 0) ? " MGS: DOWN;" : " MGS: UP";
    line += (gas.ok() && *gas != 0) ? " GAS: DOWN" : " GAS: UP";
  }
  return hardwareLog_.Append(line);
}

}  // namespace tarvel::shm
