// TOrvoMonitData: the monitor record "OrvoMonitorData", 3872 bytes.
//
// Offsets of every field are TSeekPosition's (seek_position.h). Beyond the typed accessors the
// record keeps the initial-data file "ORVOInitData.INI" (LoadInitData, SaveTrackBall,
// SetCLType; read through config::ProfileFile at <directory>/ORVOInitData.INI, the current
// directory never changed), the alarm table, and the hardware error log (hardware_error_log.h).
//
// Mendings of the original: indexes outside a field's area are refused (see TSeekPosition);
// SetAlarm sets the flag before it logs, and a log failure is logged and never reaches the
// caller; a bad value in the initial-data file takes its key's default and is reported, and
// the rest of the file still loads. Reads that fail return the Status; the caller keeps its
// last value.
//
// Borrowed: the stage record given to SetStageRecord (for the alarm-87 log line) must outlive
// this object or be reset. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "shm/hardware_error_log.h"
#include "shm/shared_data.h"

namespace tarvel::shm {

class TOrvoStageData;

// The 200-byte optics block of WriteOpticsBlock (code 9 indexes 0..22 in offset order).
struct OpticsBlock {
  std::array<double, kOpticsIndexCount> value{};  // the extended indexes 0..9, 11, 12, 14..19, 21
  std::int32_t magCode = 0;                       // index 10
  std::int16_t word13 = 0;
  std::int16_t word20 = 0;
  std::int16_t word22 = 0;
};

class TOrvoMonitData : public TOrvoSharedData {
 public:
  using AlarmTextSource = std::function<std::string(int)>;

  // The master runs the creation steps: monitor word -1, reserved word 13/2 := 1, no alarms
  // (present 0, lowest -1, 151 flags 0), CL type 1, then RotateHardwareLog.
  explicit TOrvoMonitData(bool master, RecordOptions options = {});

  // --- initial-data file ---
  // Reads <directory>/ORVOInitData.INI (a Windows-style path, mapped by config::NativePath).
  // Ok, or InvalidArgument listing every bad value (each took its default) or the first
  // shared-memory failure; the rest of the file is loaded in every case.
  base::Status LoadInitData(const std::string& directory);
  const std::string& DataDirectory() const { return dataDirectory_; }
  // i in 0..6 or 9..15: writes TRACK-BALL-X / -Y key i from codes 16 and 17; other i do nothing.
  base::Status SaveTrackBall(int i);

  base::Result<double> GetStageConstant(int i);
  base::Result<bool> GetZSafetyFlag();  // stage constant 22 > 0.5
  base::Result<std::int32_t> GetPowerMode(int i);

  // --- aperture (code 3) ---
  base::Status SetApertureState(std::int32_t x, std::int32_t y, std::int32_t s1, std::int32_t s2);
  base::Status SetApertureMoving(std::int16_t v);
  base::Result<std::int16_t> GetApertureMoving();
  base::Status SetApertureNo(std::int32_t n);
  base::Result<std::int32_t> GetApertureNo();  // -1 while the moving flag is non-zero
  base::Result<std::int32_t> GetApertureX();
  base::Result<std::int32_t> GetApertureY();

  // --- track ball (codes 16 X, 17 Y; axis 0 or 1) ---
  base::Result<std::int32_t> GetTrackBall(int axis, int i);
  // Writes the record, then SaveTrackBall(i).
  base::Status SetTrackBall(int axis, int i, std::int32_t v);

  // --- vacuum (codes 5, 6, 7, 24, 22, 23, 25) ---
  base::Status SetDeviceState(int i, std::int16_t v);
  base::Status SetValveState(int i, std::int16_t v);
  base::Status SetDeviceState3(int i, std::int16_t v);
  base::Result<std::int16_t> GetDeviceState(int i);
  base::Result<std::int16_t> GetValveState(int i);
  base::Result<std::int16_t> GetDeviceState3(int i);
  base::Status SetDeviceChanged(int i, std::int16_t v);
  base::Status SetValveChanged(int i, std::int16_t v);
  base::Status SetDevice3Changed(int i, std::int16_t v);
  base::Result<std::int16_t> GetDeviceChanged(int i);
  base::Result<std::int16_t> GetValveChanged(int i);
  base::Result<std::int16_t> GetDevice3Changed(int i);
  base::Status SetVacuumValue1(std::int32_t v);
  base::Status SetVacuumValue2(std::int32_t v);
  base::Result<std::int32_t> GetVacuumValue1();
  base::Result<std::int32_t> GetVacuumValue2();

  // --- optics (code 9) ---
  // The extended indexes only (0..9, 11, 12, 14..19, 21); others are refused.
  base::Status SetOpticsValue(int i, double x);
  base::Result<double> GetOpticsValue(int i);
  base::Status WriteOpticsBlock(const OpticsBlock& block);
  base::Status WriteOpticsTail(double value16, double value17);
  base::Status SetMagCode(std::int32_t v);
  base::Result<std::int32_t> GetMagIndex();  // byte 0
  base::Result<std::int32_t> GetMagByte1();
  base::Result<std::int32_t> GetMagByte2();

  // --- monitor words (code 10) ---
  base::Status SetScanLinkWord(std::int16_t v);
  base::Result<std::int16_t> GetScanLinkWord();
  base::Status SetMonitorWord(std::int16_t v);
  base::Result<std::int16_t> GetMonitorWord();
  base::Status SetFieldValue(double x);
  base::Result<double> GetFieldValue();
  base::Status SetMagLock(std::int16_t v);
  base::Result<std::int16_t> GetMagLock();
  base::Result<std::int32_t> GetCLType();
  // Writes the record, then OPTICS CL_TYPE to the initial-data file.
  base::Status SetCLType(std::int32_t v);

  // Sets the flag of notification `message` (1124..1225) to 1.
  base::Status MarkNotified(int message);
  base::Result<std::int16_t> GetNotified(int message);

  // The unit-report area (code 12): six doubles and a 32-bit value, or the 24-byte form
  // (two doubles, a 32-bit value, a 16-bit value, two zero bytes).
  base::Status WriteUnitReport(std::span<const double, 6> values, std::int32_t word);
  base::Status WriteUnitReport(double a, double b, std::int32_t word, std::int16_t flag);

  // --- scan (code 14) ---
  base::Status SetScanState(std::int32_t v);
  base::Status SetScanRunning(std::int16_t v);
  base::Status SetScanState2(std::int32_t v);
  base::Result<std::int32_t> GetScanState();
  base::Result<std::int16_t> GetScanRunning();
  base::Result<std::int32_t> GetScanState2();

  // --- Hard3 constants (code 15) ---
  base::Status SetHard3Constants(double kx, double ky, double acc, double sx, double sy);
  base::Result<double> GetMagKX();
  base::Result<double> GetMagKY();
  base::Result<double> GetRefAccV();
  base::Result<double> GetShiftKX();
  base::Result<double> GetShiftKY();

  // --- alarms (codes 18, 19) ---
  // Sets flag n (0..150) and alarm-present, then appends the log line. True when the flag was
  // clear before. The log line is written on every call; its failure is logged only.
  base::Result<bool> SetAlarm(int n);
  // Clears flag n, then FirstAlarm; alarm-present := 0 when none is left.
  base::Status ResetAlarm(int n);
  // The lowest raised alarm number (also stored at 3564), or -1 (3564 unchanged).
  base::Result<int> FirstAlarm();
  // Flag n; 0 for n outside 0..150 without touching the section.
  base::Result<std::int16_t> GetAlarm(int n);
  base::Result<std::int32_t> GetAlarmPresent();

  // --- hardware error log ---
  base::Status RotateHardwareLog();
  base::Status LogHardwareError(int n);
  void SetAlarmTextSource(AlarmTextSource source) { alarmText_ = std::move(source); }
  void SetStageRecord(TOrvoStageData* stage) { stage_ = stage; }
  const HardwareErrorLog& HardwareLog() const { return hardwareLog_; }

 private:
  base::Status WriteAlarmFlags(int n, bool raise, bool* wasClear);
  std::string InitDataPath() const;

  std::string dataDirectory_;  // as last given to LoadInitData; empty before
  HardwareErrorLog hardwareLog_;
  AlarmTextSource alarmText_;        // the text of an alarm number, CP932
  TOrvoStageData* stage_ = nullptr;  // borrowed, for the alarm-87 line
};

}  // namespace tarvel::shm
