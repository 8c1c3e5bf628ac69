// TFIBSystemINI: the installation's system configuration file "FIBSystem.INI".
//
// Knows every section, key, default and value table of the file; creates it with defaults when
// it is missing; parses each value into its text and its index in the value table; writes single
// keys back (comments and other keys of the file survive). Values in memory are those of the last
// Load: the file setters write the file only (SetUseASEM/SetSecondFIB also keep the field, which
// WriteDefaults writes). The object holds no open file. Main thread only.
//
// Errors are values. Load always leaves every field set: a key that is missing, or whose number
// does not parse, takes its default, and Load reports each problem (file, section, key, text).
// A write that fails (read-only folder or file) is reported by the setter.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tarvel::config {

// Value tables: a value's index is its row here.
inline constexpr std::array<std::string_view, 12> kSystemTypeNames = {
    "ORVO410", "ORVO420", "ORVO430", "ORVO440", "PADO510", "PADO530",
    "PADO520", "K4_SEM",  "K4_FIB",  "PADO540", "PADO-5",  "PADO-6"};
inline constexpr std::array<std::string_view, 2> kScanTypeNames = {"VME", "PC"};
inline constexpr std::array<std::string_view, 2> kOpticsTypeNames = {"IOS", "IOS2"};
inline constexpr std::array<std::string_view, 9> kStageTypeNames = {"ORVO410",
                                                                    "PADO_TYPE1(XY-M310)",
                                                                    "PADO_TYPE2(XY-M311)",
                                                                    "PADO_TYPE3(QS-300)",
                                                                    "PADO_TYPE4(QS-300-B)",
                                                                    "PADO_TYPE5(510)",
                                                                    "PADO_TYPE6(510_2)",
                                                                    "PADO_TYPE7(530)",
                                                                    "PADO_TYPE8(WEAVER)"};
inline constexpr std::array<std::string_view, 3> kVacuumTypeNames = {"ORVO410", "PADO510", "None"};
inline constexpr std::array<std::string_view, 2> kSubChamberNames = {"None", "Exist"};
inline constexpr std::array<std::string_view, 4> kTransferNames = {"None", "Manual", "Auto_Rod",
                                                                   "Robot_Arm"};
inline constexpr std::array<std::string_view, 5> kGaugeTypeNames = {"TYPE1", "TYPE2", "TYPE3",
                                                                    "TYPE4", "TYPE5"};

inline constexpr int kAxisCount = 9;   // X, Y, Z, T, R, AP-X, AP-Y, AP2-X, AP2-Y
inline constexpr int kGaugeCount = 5;  // GAUGE1..GAUGE5
inline constexpr int kPadoSystemType = 4;

// Vacuum-gauge conversion: pressure = K * 10^(A * volts + B).
struct GaugeCoefficients {
  double K = 1.0;
  double A = 1.0;
  double B = 1.0;
};

class TFIBSystemINI {
 public:
  static constexpr std::string_view kFileName = "FIBSystem.INI";

  // `dataDir` may be a native path or an installation path ("C:\ORVO\Data"). Only chooses the
  // defaults (PADO510 when the folder's text contains "Pado", "pado" or "PADO"); the file is not
  // touched.
  explicit TFIBSystemINI(std::string dataDir);

  // "C:\ORVO\Data\FIBSystem.INI", the fixed place some readers use.
  static std::filesystem::path FixedPath();
  // [SEM Type] UseASEM of the fixed file; false when missing or not a number.
  static bool FixedUseASEM();

  // Creates the file with defaults when missing, then reads every key. Not ok when something had
  // to be defaulted or could not be written; the message lists each problem.
  base::Status Load();
  // Writes every key with its default (the two booleans from the current fields).
  base::Status WriteDefaults();

  // Each writes one key of the file; memory is left as it is.
  base::Status SetSystemType(std::string_view text);
  base::Status SetV1Close(std::string_view text);
  base::Status SetScanType(std::string_view text);
  base::Status SetInvFrame(std::string_view text);
  base::Status SetOpticsType(std::string_view text);
  base::Status SetStageType(std::string_view text);
  base::Status SetAxisNo(std::string_view text);
  base::Status SetAxisX(std::string_view yesNo) { return SetAxis(0, yesNo); }
  base::Status SetAxisY(std::string_view yesNo) { return SetAxis(1, yesNo); }
  base::Status SetAxisZ(std::string_view yesNo) { return SetAxis(2, yesNo); }
  base::Status SetAxisT(std::string_view yesNo) { return SetAxis(3, yesNo); }
  base::Status SetAxisR(std::string_view yesNo) { return SetAxis(4, yesNo); }
  base::Status SetAxisAPX(std::string_view yesNo) { return SetAxis(5, yesNo); }
  base::Status SetAxisAPY(std::string_view yesNo) { return SetAxis(6, yesNo); }
  base::Status SetAxisAP2X(std::string_view yesNo) { return SetAxis(7, yesNo); }
  base::Status SetAxisAP2Y(std::string_view yesNo) { return SetAxis(8, yesNo); }
  // Axis i = 0..8 in the order above.
  base::Status SetAxis(int i, std::string_view yesNo);
  base::Status SetVacuumType(std::string_view text);
  base::Status SetTransfer(std::string_view text);
  base::Status SetSubChamber(std::string_view text);
  base::Status SetGauge1(std::string_view text) { return SetGauge(0, text); }
  base::Status SetGauge2(std::string_view text) { return SetGauge(1, text); }
  base::Status SetGauge3(std::string_view text) { return SetGauge(2, text); }
  base::Status SetGauge4(std::string_view text) { return SetGauge(3, text); }
  base::Status SetGauge5(std::string_view text) { return SetGauge(4, text); }
  // Gauge i = 0..4.
  base::Status SetGauge(int i, std::string_view text);
  base::Status SetUseASEM(bool on);
  base::Status SetSecondFIB(bool on);

  const std::string& DataDir() const { return dataDir_; }
  const std::string& FileName() const { return fileName_; }
  const std::filesystem::path& FullPath() const { return fullPath_; }

  const std::string& SystemTypeName() const { return systemTypeName_; }
  int SystemType() const { return systemType_; }
  const std::string& V1CloseText() const { return v1Close_; }
  const std::string& ScanTypeName() const { return scanTypeName_; }
  int ScanType() const { return scanType_; }
  const std::string& InvFrameText() const { return invFrameText_; }
  int InvFrame() const { return invFrame_; }
  const std::string& OpticsTypeName() const { return opticsTypeName_; }
  int OpticsType() const { return opticsType_; }
  bool UseASEM() const { return useASEM_; }
  bool SecondFIB() const { return secondFIB_; }
  const std::string& MaxBeamShiftText() const { return maxBeamShiftText_; }
  int MaxBeamShift() const { return maxBeamShift_; }
  const std::string& StageTypeName() const { return stageTypeName_; }
  int StageType() const { return stageType_; }
  const std::string& AxisNoText() const { return axisNoText_; }
  int AxisNo() const { return axisNo_; }
  // Out-of-range indexes give "" / false / 0.
  std::string AxisText(int i) const;
  bool AxisEnabled(int i) const;
  const std::string& VacuumTypeName() const { return vacuumTypeName_; }
  int VacuumType() const { return vacuumType_; }
  const std::string& SubChamberName() const { return subChamberName_; }
  int SubChamber() const { return subChamber_; }
  const std::string& TransferName() const { return transferName_; }
  int Transfer() const { return transfer_; }
  std::string GaugeName(int i) const;
  int GaugeType(int i) const;

  // The coefficients of a gauge type (0..4); any other type gives 1, 1, 1.
  static GaugeCoefficients GetGaugeCoefficients(int gaugeType);
  // The pressure for a 12-bit count `raw` (0 -> -10 V, 4096 -> +10 V) on channel 0..5;
  // 0 for any other channel.
  static double GaugePressure(int gaugeType, int channel, int raw);

 private:
  base::Status Write(std::string_view section, std::string_view key, std::string_view value);

  std::string dataDir_;
  std::string fileName_;
  std::filesystem::path fullPath_;

  std::string systemTypeName_;
  int systemType_ = 0;
  std::string v1Close_;
  std::string scanTypeName_;
  int scanType_ = 0;
  std::string invFrameText_;
  int invFrame_ = 0;
  std::string opticsTypeName_;
  int opticsType_ = 0;
  bool useASEM_ = false;
  bool secondFIB_ = false;
  std::string maxBeamShiftText_;
  int maxBeamShift_ = 0;
  std::string stageTypeName_;
  int stageType_ = 0;
  std::string axisNoText_;
  int axisNo_ = 0;
  std::array<std::string, kAxisCount> axisTexts_;
  std::array<bool, kAxisCount> axisEnabled_{};
  std::string vacuumTypeName_;
  int vacuumType_ = 0;
  std::string subChamberName_;
  int subChamber_ = 0;
  std::string transferName_;
  int transfer_ = 0;
  std::array<std::string, kGaugeCount> gaugeNames_;
  std::array<int, kGaugeCount> gaugeTypes_{};

  // Defaults in key order, per section.
  std::vector<std::string> systemDefaults_;  // 4
  std::vector<std::string> opticsDefaults_;  // 2
  std::vector<std::string> stageDefaults_;   // 11
  std::vector<std::string> vacuumDefaults_;  // 8
};

}  // namespace tarvel::config
