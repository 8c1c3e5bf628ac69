// SystemUnit: unit 1 of the simulated controller, its identity reports and the sync reply.
//
// Requests (mode 2) of item 1 get the full system report; items 2..12 get one field each.
// Item 14 (the synchronisation request, mode 1 or 2, a 32-bit id) is answered by item 14 mode 2
// carrying the same id. Settings the server may send change the state as a controller would:
// item 3 mode 1 sets the clock, item 12 mode 1 the data-initialised flag. Everything else of
// unit 1 is only logged by the server.
//
// Full report payload (no padding anywhere): SysProtocol, SysTime, SysName, SysVersion,
// SysHardType as zero-terminated CP932 strings, then six big-endian 32-bit integers:
// SysModifyFlag, SysVacGaugeType, SysApertureType, DetectorType, EGunType, SysDataInitialized.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller_sim/sim_unit.h"
#include "controller_sim/system_identity.h"

namespace tarvel::controller_sim {

class SystemUnit : public SimUnit {
 public:
  enum Item : std::int32_t {
    kItemAll = 1,
    kItemProtocol = 2,
    kItemTime = 3,
    kItemName = 4,
    kItemVersion = 5,
    kItemHardType = 6,
    kItemModifyFlag = 7,
    kItemVacGaugeType = 8,
    kItemApertureType = 9,
    kItemDetectorType = 10,
    kItemEGunType = 11,
    kItemDataInitialized = 12,
    kItemSync = 14,
  };

  explicit SystemUnit(SystemIdentity identity);

  SystemIdentity& identity() { return identity_; }
  const SystemIdentity& identity() const { return identity_; }

  std::int32_t unitId() const override { return 1; }
  void receive(link::FrameIds ids, std::span<const std::uint8_t> payload,
               std::vector<OutFrame>& replies) override;
  bool report(std::int32_t item, std::vector<OutFrame>& out) override;

  // The payload of report `item` (1..12, or 14 with the last id received), nullopt for others.
  std::optional<std::vector<std::uint8_t>> reportPayload(std::int32_t item) const;

  // SysTime as reported now: the fixed text when one is set, else the running clock.
  std::string timeText() const;

 private:
  SystemIdentity identity_;
  // Clock: local wall time plus this offset (seconds), changed by a time setting from the server.
  std::chrono::seconds clockOffset_{0};
  std::int32_t lastSyncId_ = 0;  // the id of the last synchronisation request received
};

}  // namespace tarvel::controller_sim
