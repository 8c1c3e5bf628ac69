// TMonitoringSEMData: the monitoring-SEM record "MonitoringSEMData", 600 bytes, codes 20 and 21.
//
// Fields: record_fields.h (fields::kMonitoringSem). The coefficient area holds the 25
// coefficients of MonitoringSEMData.INI, then 5.0 and zeros; indexes 28 and 29 also take the
// field value. Errors as in TOrvoSharedData.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "shm/shared_data.h"

namespace tarvel::shm {

class TMonitoringSEMData : public TOrvoSharedData {
 public:
  explicit TMonitoringSEMData(bool master, RecordOptions options = {});

  // Reads section "Coefficient" of <directory>/MonitoringSEMData.INI, then writes
  // word 20/25 := 0 and one block at 21/0: the 25 coefficients, 5.0 and five zeros. A value that
  // is not a number takes its key's default and is reported; the file is never written.
  base::Status LoadCoefficients(const std::string& directory);
  // The 23 values as one 184-byte block at code 20 index 0.
  base::Status PublishMonitoringSEM(std::span<const double, kMonitSemValueCount> values);
  base::Status SetFieldValueA(double x);  // code 21 index 28
  base::Status SetFieldValueB(double x);  // code 21 index 29

  base::Result<double> GetMonitoringSEMValue(int i);  // code 20, 0..22
  base::Result<double> GetCoefficient(int i);         // code 21, 0..38
  base::Result<std::int16_t> GetMonitoringSEMWord();  // code 20 index 25
};

}  // namespace tarvel::shm
