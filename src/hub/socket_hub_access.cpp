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

base::Status TSocketHubAccess::SetAlarm(int alarm) {
  // Whether the flag was new does not matter here: the caller notifies in every case.
  return hub_.Link().MonitorRecord().SetAlarm(alarm).status();
}

base::Status TSocketHubAccess::ResetAlarm(int alarm) {
  return hub_.Link().MonitorRecord().ResetAlarm(alarm);
}

void TSocketHubAccess::SetNotificationFlag(int msgid) {
  TMemoryHub::SetNotificationFlag(msgid);
  // A record that cannot be held now loses only this flag; the notification itself goes out.
  (void)hub_.Link().MonitorRecord().MarkNotified(msgid);
}

base::Status TSocketHubAccess::ReopenDataFiles(const std::string& dir) {
  (void)TMemoryHub::ReopenDataFiles(dir);
  link::TOrvoComAna& link = hub_.Link();
  const base::Status monitor = link.MonitorRecord().LoadInitData(dir);
  const base::Status sem = link.MonitoringSEMRecord().LoadCoefficients(dir);
  return monitor.ok() ? sem : monitor;
}

}  // namespace tarvel::hub
