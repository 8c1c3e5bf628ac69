#include "shm/monitoring_sem_data.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/decimal.h"
#include "config/paths.h"
#include "config/profile_file.h"

namespace tarvel::shm {
namespace {

struct CoefficientKey {
  std::string_view key;
  std::string_view def;
};

constexpr std::array<CoefficientKey, 25> kCoefficientKeys = {{
    {"VA1SX", "0"}, {"VA1TX", "0"},    {"VA1SY", "0"}, {"VA1TY", "0"},    {"A1SXk", "1"},
    {"A1TXk", "3"}, {"A1SYk", "1"},    {"A1TYk", "3"}, {"VBLK", "0"},     {"DVXk", "1"},
    {"DVYk", "1"},  {"DGXk", "1"},     {"DGYk", "1"},  {"DRXk", "0"},     {"DRYk", "0"},
    {"FSXk", "1"},  {"FSYk", "1"},     {"VA2SX", "0"}, {"VA2TX", "0"},    {"VA2SY", "0"},
    {"VA2TY", "0"}, {"A2SXk", "0.46"}, {"A2TXk", "1"}, {"A2SYk", "0.46"}, {"A2TYk", "1"},
}};

}  // namespace

TMonitoringSEMData::TMonitoringSEMData(bool master, RecordOptions options)
    : TOrvoSharedData(std::string(kMonitoringSemRecord), master, std::move(options)) {}

base::Status TMonitoringSEMData::LoadCoefficients(const std::string& directory) {
  const config::ProfileFile ini((config::NativePath(directory) / "MonitoringSEMData.INI").string());
  std::array<double, 31> block{};  // 25 coefficients, 5.0, then zeros (26..30)
  std::vector<std::string> bad;
  for (std::size_t k = 0; k < kCoefficientKeys.size(); ++k) {
    const double def = base::ParseReal(kCoefficientKeys[k].def).value_or(0.0);
    auto v = ini.GetDouble("Coefficient", kCoefficientKeys[k].key, def);
    if (!v.ok())
      bad.push_back(v.status().message() + ", took " + std::string(kCoefficientKeys[k].def));
    block[k] = v.ok() ? *v : def;
  }
  block[25] = 5.0;
  base::Status first = WriteI16(Named("Word"), 0);
  std::array<std::uint8_t, sizeof block> bytes{};
  std::memcpy(bytes.data(), block.data(), sizeof block);
  base::Status second = WriteBlock(Named("Coefficient"), bytes);
  if (!bad.empty()) {
    std::string text = "MonitoringSEMData.INI: ";
    for (std::size_t i = 0; i < bad.size(); ++i) text += (i ? "; " : "") + bad[i];
    return Report(base::Status::InvalidArgument(text));
  }
  return !first.ok() ? first : second;
}

base::Status TMonitoringSEMData::PublishMonitoringSEM(
    std::span<const double, kMonitSemValueCount> values) {
  std::array<std::uint8_t, 8 * kMonitSemValueCount> bytes{};
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return WriteBlock(Named("Value"), bytes);
}

base::Status TMonitoringSEMData::SetFieldValueA(double x) {
  return WriteDouble(Named("Coefficient", 28), x);
}
base::Status TMonitoringSEMData::SetFieldValueB(double x) {
  return WriteDouble(Named("Coefficient", 29), x);
}

base::Result<double> TMonitoringSEMData::GetMonitoringSEMValue(int i) {
  if (i < 0 || i >= kMonitSemValueCount) {
    return Report(base::Status::OutOfRange("monitoring-SEM value index " + std::to_string(i) +
                                           " is outside 0..22"));
  }
  return ReadDouble(code::kMonitSem, i);
}

base::Result<double> TMonitoringSEMData::GetCoefficient(int i) {
  if (i < 0 || i >= kMonitSemCoeffCount) {
    return Report(
        base::Status::OutOfRange("coefficient index " + std::to_string(i) + " is outside 0..38"));
  }
  return ReadDouble(code::kMonitSemCoeff, i);
}

base::Result<std::int16_t> TMonitoringSEMData::GetMonitoringSEMWord() {
  return ReadI16(Named("Word"));
}

}  // namespace tarvel::shm
