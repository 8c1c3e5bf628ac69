#include "config/fib_system_ini.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <span>
#include <system_error>

#include "base/decimal.h"
#include "config/paths.h"
#include "config/profile_file.h"

namespace tarvel::config {
namespace {

constexpr std::string_view kSystem = "SYSTEM";
constexpr std::string_view kOptics = "OPTICS";
constexpr std::string_view kStage = "STAGE";
constexpr std::string_view kVacuum = "VACUUM";
constexpr std::string_view kSemType = "SEM Type";

// Keys in the order WriteDefaults writes them.
constexpr std::array<std::string_view, 4> kSystemKeys = {"TYPE", "V1_CLOSE", "SCAN", "INV_FRAME"};
constexpr std::array<std::string_view, 2> kOpticsKeys = {"TYPE", "MAX_BEAMSHIFT"};
constexpr std::array<std::string_view, 11> kStageKeys = {
    "TYPE",   "AXIS-NO",   "AXIS-X",    "AXIS-Y",     "AXIS-Z",    "AXIS-T",
    "AXIS-R", "AXIS-AP-X", "AXIS-AP-Y", "AXIS-AP2-X", "AXIS-AP2-Y"};
constexpr std::array<std::string_view, 8> kVacuumKeys = {
    "TYPE", "SUB-CHAMBER", "TRANSFER", "GAUGE1", "GAUGE2", "GAUGE3", "GAUGE4", "GAUGE5"};
constexpr std::string_view kUseASEMKey = "UseASEM";
constexpr std::string_view kSecondFIBKey = "2nd FIB";
constexpr int kFirstAxisKey = 2;  // AXIS-X in kStageKeys

// Index of `text` in `table` (exact, case-sensitive); 0 when it matches no row.
template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& table, std::string_view text) {
  int index = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (table[i] == text) index = static_cast<int>(i);
  }
  return index;
}

// A whole decimal integer that fits an int.
bool ParseInt(const std::string& text, int* out) {
  const auto v = base::ParseInteger(text);
  if (!v || *v < INT_MIN || *v > INT_MAX) return false;
  *out = static_cast<int>(*v);
  return true;
}

bool ContainsPado(std::string_view dir) {
  return dir.find("Pado") != std::string_view::npos || dir.find("pado") != std::string_view::npos ||
         dir.find("PADO") != std::string_view::npos;
}

// Collects problems; the first one's code is the result's.
class Problems {
 public:
  void Add(const base::Status& s) {
    if (s.ok()) return;
    if (first_.ok()) first_ = s;
    if (!text_.empty()) text_ += "; ";
    text_ += s.message();
  }
  base::Status Result() const {
    if (first_.ok()) return base::Status::Ok();
    switch (first_.code()) {
      case base::Status::Code::kIOError:
        return base::Status::IOError(text_);
      default:
        return base::Status::InvalidArgument(text_);
    }
  }

 private:
  base::Status first_;
  std::string text_;
};

}  // namespace

TFIBSystemINI::TFIBSystemINI(std::string dataDir)
    : dataDir_(std::move(dataDir)),
      fileName_(kFileName),
      fullPath_(NativePath(dataDir_) / std::string(kFileName)) {
  systemDefaults_ = {ContainsPado(dataDir_) ? "PADO510" : "ORVO410", "Enable", "VME", "12"};
  opticsDefaults_ = {"IOS", "20"};
  stageDefaults_ = {"ORVO410", "7", "Yes", "Yes", "Yes", "Yes", "Yes", "Yes", "Yes", "No", "No"};
  vacuumDefaults_ = {"ORVO410", "Exist", "Auto_Rod", "TYPE1", "TYPE1", "TYPE2", "TYPE3", "TYPE2"};
}

std::filesystem::path TFIBSystemINI::FixedPath() {
  return NativePath("C:\\ORVO\\Data\\FIBSystem.INI");
}

bool TFIBSystemINI::FixedUseASEM() {
  return ProfileFile(FixedPath()).GetProfileInt(kSemType, kUseASEMKey, 0) != 0;
}

base::Status TFIBSystemINI::Write(std::string_view section, std::string_view key,
                                  std::string_view value) {
  base::Status s = ProfileFile(fullPath_).WriteString(section, key, value);
  if (s.ok()) return s;
  // The profile layer may name only the file; say which key was lost.
  const std::string what = "[" + std::string(section) + "] " + std::string(key);
  if (s.message().find(what) != std::string::npos) return s;
  return base::Status::IOError("writing " + what + ": " + s.message());
}

base::Status TFIBSystemINI::WriteDefaults() {
  Problems problems;
  // One failed key is reported; the others are still tried.
  auto writeAll = [&](std::string_view section, std::span<const std::string_view> keys,
                      const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
      problems.Add(Write(section, keys[i], values[i]));
    }
  };
  writeAll(kSystem, kSystemKeys, systemDefaults_);
  writeAll(kOptics, kOpticsKeys, opticsDefaults_);
  writeAll(kStage, kStageKeys, stageDefaults_);
  writeAll(kVacuum, kVacuumKeys, vacuumDefaults_);
  problems.Add(Write(kSemType, kUseASEMKey, useASEM_ ? "1" : "0"));
  problems.Add(Write(kSemType, kSecondFIBKey, secondFIB_ ? "1" : "0"));
  return problems.Result();
}

base::Status TFIBSystemINI::Load() {
  Problems problems;
  ProfileFile file(fullPath_);
  if (!file.exists()) {
    problems.Add(WriteDefaults());
  } else if (!std::ifstream(file.resolvedPath()).is_open()) {
    problems.Add(base::Status::IOError(file.resolvedPath().string() +
                                       ": cannot be read; defaults are used"));
  }
  const std::string where = file.resolvedPath().string();

  auto text = [&](std::string_view section, std::string_view key, const std::string& def) {
    return file.GetString(section, key, def);
  };
  // A number that does not parse takes its default (text and value), so what is shown is what
  // is used, and the rest of the file still loads.
  auto number = [&](std::string_view section, std::string_view key, const std::string& def,
                    std::string* textOut, int* valueOut) {
    std::string t = text(section, key, def);
    int v = 0;
    if (!ParseInt(t, &v)) {
      problems.Add(base::Status::InvalidArgument(where + " [" + std::string(section) + "] " +
                                                 std::string(key) + ": \"" + t +
                                                 "\" is not an integer; default " + def + " used"));
      t = def;
      ParseInt(def, &v);
    }
    *textOut = std::move(t);
    *valueOut = v;
  };

  systemTypeName_ = text(kSystem, "TYPE", systemDefaults_[0]);
  systemType_ = IndexOf(kSystemTypeNames, systemTypeName_);
  v1Close_ = text(kSystem, "V1_CLOSE", systemDefaults_[1]);
  scanTypeName_ = text(kSystem, "SCAN", systemDefaults_[2]);
  scanType_ = IndexOf(kScanTypeNames, scanTypeName_);
  number(kSystem, "INV_FRAME", systemDefaults_[3], &invFrameText_, &invFrame_);

  opticsTypeName_ = text(kOptics, "TYPE", opticsDefaults_[0]);
  opticsType_ = IndexOf(kOpticsTypeNames, opticsTypeName_);
  useASEM_ = file.GetProfileInt(kSemType, kUseASEMKey, 0) != 0;
  secondFIB_ = file.GetProfileInt(kSemType, kSecondFIBKey, 0) != 0;
  number(kOptics, "MAX_BEAMSHIFT", opticsDefaults_[1], &maxBeamShiftText_, &maxBeamShift_);

  stageTypeName_ = text(kStage, "TYPE", stageDefaults_[0]);
  stageType_ = IndexOf(kStageTypeNames, stageTypeName_);
  number(kStage, "AXIS-NO", stageDefaults_[1], &axisNoText_, &axisNo_);
  for (int i = 0; i < kAxisCount; ++i) {
    const auto k = static_cast<std::size_t>(kFirstAxisKey + i);
    axisTexts_[static_cast<std::size_t>(i)] = text(kStage, kStageKeys[k], stageDefaults_[k]);
    axisEnabled_[static_cast<std::size_t>(i)] = axisTexts_[static_cast<std::size_t>(i)] == "Yes";
  }

  vacuumTypeName_ = text(kVacuum, "TYPE", vacuumDefaults_[0]);
  vacuumType_ = IndexOf(kVacuumTypeNames, vacuumTypeName_);
  subChamberName_ = text(kVacuum, "SUB-CHAMBER", vacuumDefaults_[1]);
  subChamber_ = IndexOf(kSubChamberNames, subChamberName_);
  transferName_ = text(kVacuum, "TRANSFER", vacuumDefaults_[2]);
  transfer_ = IndexOf(kTransferNames, transferName_);
  for (std::size_t i = 0; i < kGaugeCount; ++i) {
    gaugeNames_[i] = text(kVacuum, kVacuumKeys[3 + i], vacuumDefaults_[3 + i]);
    // The first matching row; a text that matches none is type 0 but is still shown.
    gaugeTypes_[i] = 0;
    for (std::size_t t = 0; t < kGaugeTypeNames.size(); ++t) {
      if (kGaugeTypeNames[t] == gaugeNames_[i]) {
        gaugeTypes_[i] = static_cast<int>(t);
        break;
      }
    }
  }
  return problems.Result();
}

base::Status TFIBSystemINI::SetSystemType(std::string_view t) {
  return Write(kSystem, "TYPE", t);
}
base::Status TFIBSystemINI::SetV1Close(std::string_view t) {
  return Write(kSystem, "V1_CLOSE", t);
}
base::Status TFIBSystemINI::SetScanType(std::string_view t) {
  return Write(kSystem, "SCAN", t);
}
base::Status TFIBSystemINI::SetInvFrame(std::string_view t) {
  return Write(kSystem, "INV_FRAME", t);
}
base::Status TFIBSystemINI::SetOpticsType(std::string_view t) {
  return Write(kOptics, "TYPE", t);
}
base::Status TFIBSystemINI::SetStageType(std::string_view t) {
  return Write(kStage, "TYPE", t);
}
base::Status TFIBSystemINI::SetAxisNo(std::string_view t) {
  return Write(kStage, "AXIS-NO", t);
}
base::Status TFIBSystemINI::SetVacuumType(std::string_view t) {
  return Write(kVacuum, "TYPE", t);
}
base::Status TFIBSystemINI::SetTransfer(std::string_view t) {
  return Write(kVacuum, "TRANSFER", t);
}
base::Status TFIBSystemINI::SetSubChamber(std::string_view t) {
  return Write(kVacuum, "SUB-CHAMBER", t);
}

base::Status TFIBSystemINI::SetAxis(int i, std::string_view yesNo) {
  if (i < 0 || i >= kAxisCount) {
    return base::Status::OutOfRange("axis " + std::to_string(i) + " is outside 0..8");
  }
  return Write(kStage, kStageKeys[static_cast<std::size_t>(kFirstAxisKey + i)], yesNo);
}

base::Status TFIBSystemINI::SetGauge(int i, std::string_view text) {
  if (i < 0 || i >= kGaugeCount) {
    return base::Status::OutOfRange("gauge " + std::to_string(i) + " is outside 0..4");
  }
  return Write(kVacuum, kVacuumKeys[static_cast<std::size_t>(3 + i)], text);
}

base::Status TFIBSystemINI::SetUseASEM(bool on) {
  useASEM_ = on;
  return Write(kSemType, kUseASEMKey, on ? "1" : "0");
}

base::Status TFIBSystemINI::SetSecondFIB(bool on) {
  secondFIB_ = on;
  return Write(kSemType, kSecondFIBKey, on ? "1" : "0");
}

std::string TFIBSystemINI::AxisText(int i) const {
  return (i >= 0 && i < kAxisCount) ? axisTexts_[static_cast<std::size_t>(i)] : std::string();
}

bool TFIBSystemINI::AxisEnabled(int i) const {
  return i >= 0 && i < kAxisCount && axisEnabled_[static_cast<std::size_t>(i)];
}

std::string TFIBSystemINI::GaugeName(int i) const {
  return (i >= 0 && i < kGaugeCount) ? gaugeNames_[static_cast<std::size_t>(i)] : std::string();
}

int TFIBSystemINI::GaugeType(int i) const {
  return (i >= 0 && i < kGaugeCount) ? gaugeTypes_[static_cast<std::size_t>(i)] : 0;
}

GaugeCoefficients TFIBSystemINI::GetGaugeCoefficients(int gaugeType) {
  switch (gaugeType) {
    case 0:
      return {1.0, 5.0 / 3.0, -28.0 / 3.0};
    case 1:
      return {549.44, 0.516624, -10.0};
    case 2:
      return {549.44, 0.516624, -9.741688};
    case 3:
      return {1.0, 1.333, -8.333};
    case 4:
      return {400.0 / 3.0, 2.0, -11.0};
    default:
      return {1.0, 1.0, 1.0};
  }
}

double TFIBSystemINI::GaugePressure(int gaugeType, int channel, int raw) {
  if (channel < 0 || channel > 5) return 0.0;
  const GaugeCoefficients c = GetGaugeCoefficients(gaugeType);
  const long double volts = static_cast<long double>(raw) * 20.0L / 4096.0L - 10.0L;
  return static_cast<double>(
      static_cast<long double>(c.K) *
      std::pow(10.0L, static_cast<long double>(c.A) * volts + static_cast<long double>(c.B)));
}

}  // namespace tarvel::config
