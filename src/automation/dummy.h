// TDummy: the offline simulator, as far as the system object needs it.
//
// In debug mode (and for some getters while the link is down) the automation objects answer
// from here instead of the controller's models. One instance, owned by the hub, which keeps its
// machine type in step with its own; the objects reach it through THubAccess. Main thread
// only. The other units' simulated state joins as their objects are built.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"

namespace tarvel::automation {

class TDummy {
 public:
  // The system-type index of a machine line's FIBSystem.INI.
  using SystemTypeReader = std::function<base::Result<int>(int machineType)>;

  explicit TDummy(SystemTypeReader readSystemType) : readSystemType_(std::move(readSystemType)) {}

  bool SocketStatus() const { return socketStatus_; }
  void SetSocketStatus(bool on) { socketStatus_ = on; }
  const std::string& SysName() const { return sysName_; }
  const std::string& SysVersion() const { return sysVersion_; }
  const std::string& SysHardType() const { return sysHardType_; }
  std::int32_t SysVacGaugeType() const { return 1; }
  std::int32_t SysApertureType() const { return 4; }
  std::uint8_t MachineType() const { return machineType_; }
  // Stores the type and reads that machine's system type; a file that cannot be read keeps the
  // index it had, and the reason stays in LastReadStatus().
  void SetMachineType(std::uint8_t type) {
    machineType_ = type;
    base::Result<int> index =
        readSystemType_ ? readSystemType_(type)
                        : base::Result<int>(base::Status::Unavailable("no system type reader"));
    lastRead_ = index.status();
    if (index.ok()) systemTypeIndex_ = *index;
  }
  int SystemTypeIndex() const { return systemTypeIndex_; }
  const base::Status& LastReadStatus() const { return lastRead_; }

 private:
  bool socketStatus_ = false;
  std::string sysName_ = "ORVO410";
  std::string sysVersion_ = "V4.00A";
  std::string sysHardType_ = "HARD3";
  std::uint8_t machineType_ = 1;
  int systemTypeIndex_ = 0;
  SystemTypeReader readSystemType_;
  base::Status lastRead_;
};

}  // namespace tarvel::automation
