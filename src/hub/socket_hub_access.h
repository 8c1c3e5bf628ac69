// TSocketHubAccess: the automation objects' view of the running hub.
//
// What the hub itself keeps (Connect and Disconnect pressed, the address field, debug mode,
// machine type, the connect-wanted flag and attempts, the V1 close countdown) is read and
// changed on the TSocketHub, so a client's put_SocketStatus walks the same link phases as the
// operator's Connect button. Alarms, notification flags and the data files act on the
// link's shared records, where the monitor window and other processes see them. The rest of
// the client-facing state (client window, message counts, event targets) stays in the
// TMemoryHub members, which nothing else owns yet. Borrows the hub, which must outlive it. Main
// thread only.
#pragma once

#include <functional>

#include "automation/memory_hub.h"
#include "hub/socket_hub.h"

namespace tarvel::hub {

class TSocketHubAccess : public automation::TMemoryHub {
 public:
  // `initData` is the hub's configuration (the hub may hold none; then this one is used).
  TSocketHubAccess(TSocketHub& hub, config::TSysInitData& initData);

  bool DebugMode() const override { return hub_.DebugMode(); }
  void SetDebugMode(bool on) override { hub_.SetDebugMode(on); }
  std::uint8_t MachineType() const override;
  void SetMachineType(std::uint8_t type) override { hub_.SetMachineType(type); }
  bool LinkReady() const override { return hub_.LinkReady(); }
  bool ConnectWanted() const override { return hub_.ConnectWanted(); }
  void SetConnectWanted(bool wanted) override { hub_.SetConnectWanted(wanted); }
  void ResetConnectAttempts() override { hub_.ResetAttempts(); }
  bool ConnectPressed() const override { return hub_.ConnectDown(); }
  void PressConnect() override { hub_.PressConnect(); }
  void PressDisconnect() override { hub_.PressDisconnect(); }
  std::string IPAddressText() const override { return hub_.EditIPAdrs(); }
  void SetIPAddressText(const std::string& text) override { hub_.SetEditIPAdrs(text); }
  bool MonitorVisible() const override;
  void SetMonitorVisible(bool visible) override;
  int V1CloseState() const override { return hub_.V1CloseState(); }
  void StartV1CloseCountdown() override { hub_.StartV1Close(); }
  void StopV1CloseCountdown() override { hub_.StopV1Close(); }
  base::Status SetAlarm(int alarm) override;
  base::Status ResetAlarm(int alarm) override;
  void SetNotificationFlag(int msgid) override;
  base::Status ReopenDataFiles(const std::string& dir) override;

  // The monitor window, when there is one; without it visibility is only remembered.
  std::function<bool()> WindowVisible;
  std::function<void(bool)> ShowWindow;

 private:
  TSocketHub& hub_;
};

}  // namespace tarvel::hub
