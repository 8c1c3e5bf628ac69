// TDummy: the offline simulator, as far as the system object needs it.
//
// In debug mode (and for some getters while the link is down) the automation objects answer
// from here instead of the controller's models. Owned by the automation server context; main
// thread only. The other units' simulated state joins as their objects are built.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel::automation {

class TDummy {
 public:
  bool SocketStatus() const { return socketStatus_; }
  void SetSocketStatus(bool on) { socketStatus_ = on; }
  const std::string& SysName() const { return sysName_; }
  const std::string& SysVersion() const { return sysVersion_; }
  const std::string& SysHardType() const { return sysHardType_; }
  std::int32_t SysVacGaugeType() const { return 1; }
  std::int32_t SysApertureType() const { return 4; }
  std::uint8_t MachineType() const { return machineType_; }
  void SetMachineType(std::uint8_t type) { machineType_ = type; }

 private:
  bool socketStatus_ = false;
  std::string sysName_ = "ORVO410";
  std::string sysVersion_ = "V4.00A";
  std::string sysHardType_ = "HARD3";
  std::uint8_t machineType_ = 1;
};

}  // namespace tarvel::automation
