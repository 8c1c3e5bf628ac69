#include "hub/socket_hub_access.h"

namespace tarvel::hub {

TSocketHubAccess::TSocketHubAccess(TSocketHub& hub, config::TSysInitData& initData)
    : TMemoryHub(hub.Link(), hub.InitData() ? *hub.InitData() : initData), hub_(hub) {}

std::uint8_t TSocketHubAccess::MachineType() const {
  return hub_.MachineType() == 2 ? 2 : 1;
}

bool TSocketHubAccess::MonitorVisible() const {
  return WindowVisible ? WindowVisible() : TMemoryHub::MonitorVisible();
}

void TSocketHubAccess::SetMonitorVisible(bool visible) {
  TMemoryHub::SetMonitorVisible(visible);
  if (ShowWindow) ShowWindow(visible);
}

}  // namespace tarvel::hub
