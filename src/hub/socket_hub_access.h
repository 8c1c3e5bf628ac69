// TSocketHubAccess: the automation objects' view of the running hub.
//
// Every call reads or changes the TSocketHub, the one home of hub state: a client's
// put_SocketStatus presses the same Connect button and walks the same link phases as the
// operator, "Msg Count Up" and the client window are the ones the monitor window shows, and
// alarms, notification flags and the data files act on the shared records other processes
// read. Borrows the hub, which must outlive it. Main thread only.
#pragma once

#include "automation/hub_access.h"
#include "hub/socket_hub.h"

namespace tarvel::hub {

class TSocketHubAccess : public automation::THubAccess {
 public:
  explicit TSocketHubAccess(TSocketHub& hub) : hub_(hub) {}

  link::TOrvoComAna& Link() override { return hub_.Link(); }
  config::TSysInitData& InitData() override { return hub_.InitData(); }
  automation::TDummy& Dummy() override { return hub_.Dummy(); }
  bool DebugMode() const override { return hub_.DebugMode(); }
  void SetDebugMode(bool on) override { hub_.SetDebugMode(on); }
  std::uint8_t MachineType() const override { return hub_.MachineType() == 2 ? 2 : 1; }
  void SetMachineType(std::uint8_t type) override { hub_.SetMachineType(type); }
  bool LinkReady() const override { return hub_.LinkReady(); }
  bool ConnectWanted() const override { return hub_.ConnectWanted(); }
  void SetConnectWanted(bool wanted) override { hub_.SetConnectWanted(wanted); }
  void ResetConnectAttempts() override { hub_.ResetAttempts(); }
  bool ConnectPressed() const override { return hub_.ConnectDown(); }
  void PressConnect() override { hub_.PressConnect(); }
  void PressDisconnect() override { hub_.PressDisconnect(); }
  void ShowSocketStatus(bool on) override { hub_.ShowSocketStatus(on); }
  std::string IPAddressText() const override { return hub_.EditIPAdrs(); }
  void SetIPAddressText(const std::string& text) override { hub_.SetEditIPAdrs(text); }
  bool MonitorVisible() const override { return hub_.MonitorVisible(); }
  void SetMonitorVisible(bool visible) override { hub_.SetMonitorVisible(visible); }
  std::string ClientWindowTitle() const override { return clients().ClientWindowTitle(); }
  void SetClientWindowTitle(const std::string& t) override { clients().SetClientWindowTitle(t); }
  std::uint32_t ClientWindowHandle() const override { return clients().ClientWindowHandle(); }
  void SetClientWindowHandle(std::uint32_t h) override { clients().SetClientWindowHandle(h); }
  bool MessageCountUp() const override { return clients().MessageCountUp(); }
  void SetMessageCountUp(bool down) override { clients().SetMessageCountUp(down); }
  int MessageCount(int msgid) const override { return clients().MessageCount(msgid); }
  void AddMessageCount(int msgid) override { clients().AddMessageCount(msgid); }
  void ShowMessageId(int msgid) override { clients().ShowMessageId(msgid); }
  void SetNotificationFlag(int msgid) override { hub_.SetNotificationFlag(msgid); }
  std::weak_ptr<automation::TAutomationObject> EventTarget() const override {
    return clients().EventTarget();
  }
  void SetEventTarget(std::weak_ptr<automation::TAutomationObject> t) override {
    clients().SetEventTarget(std::move(t));
  }
  std::weak_ptr<automation::TAutomationObject> IonEventTarget() const override {
    return clients().IonEventTarget();
  }
  void SetIonEventTarget(std::weak_ptr<automation::TAutomationObject> t) override {
    clients().SetIonEventTarget(std::move(t));
  }
  base::Status SetAlarm(int alarm) override { return hub_.SetAlarm(alarm); }
  base::Status ResetAlarm(int alarm) override { return hub_.ResetAlarm(alarm); }
  bool CancelVacMainInterlockAlarm() const override {
    return hub_.Link().CancelVacMainInterlockAlarm();
  }
  void SetCancelVacMainInterlockAlarm(bool on) override {
    hub_.Link().SetCancelVacMainInterlockAlarm(on);
  }
  int MaxBeamShift() const override { return hub_.MaxBeamShift(); }
  void SetMaxBeamShift(int value) override { hub_.SetMaxBeamShift(value); }
  int V1CloseState() const override { return hub_.V1CloseState(); }
  void StartV1CloseCountdown() override { hub_.StartV1Close(); }
  void StopV1CloseCountdown() override { hub_.StopV1Close(); }
  base::Status ReopenDataFiles(const std::string& dir) override {
    return hub_.ReopenDataFiles(dir);
  }
  void AddScanHistory(const std::string& line) override { hub_.AddScanHistory(line); }

 private:
  THubClients& clients() const { return hub_.Clients(); }

  TSocketHub& hub_;
};

}  // namespace tarvel::hub
