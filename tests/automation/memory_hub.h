// TMemoryHub: THubAccess without a window, over a real link manager and configuration.
//
// Test only: for the few automation tests that need a hub state the real hub and the simulator
// cannot produce (a record that refuses a write); it keeps every piece of hub state in plain
// members. The program and the test server use the real hub. Borrows the link manager and the
// configuration, which must outlive it. Main thread only.
#pragma once

#include <QElapsedTimer>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "automation/dummy.h"
#include "automation/hub_access.h"
#include "hub/hub_clients.h"

namespace tarvel::automation {

class TMemoryHub : public THubAccess {
 public:
  static constexpr int kMaxAlarm = 150;

  TMemoryHub(link::TOrvoComAna& link, config::TSysInitData& initData);

  link::TOrvoComAna& Link() override { return link_; }
  TDummy& Dummy() override { return dummy_; }
  config::TSysInitData& InitData() override { return initData_; }
  bool DebugMode() const override { return debugMode_; }
  void SetDebugMode(bool on) override { debugMode_ = on; }
  std::uint8_t MachineType() const override { return machineType_; }
  void SetMachineType(std::uint8_t type) override {
    machineType_ = type;
    dummy_.SetMachineType(type);
  }
  bool LinkReady() const override;
  bool ConnectWanted() const override { return connectWanted_; }
  void SetConnectWanted(bool wanted) override { connectWanted_ = wanted; }
  void ResetConnectAttempts() override { connectAttempts_ = 0; }
  bool ConnectPressed() const override { return connectPressed_; }
  void PressConnect() override;
  void PressDisconnect() override;
  void ShowSocketStatus(bool on) override { statusLabel_ = on ? "TRUE" : "FALSE"; }
  std::string IPAddressText() const override { return ipText_; }
  void SetIPAddressText(const std::string& text) override { ipText_ = text; }
  bool MonitorVisible() const override { return visible_; }
  void SetMonitorVisible(bool visible) override { visible_ = visible; }
  // Client notification keeps the real hub's state class.
  std::string ClientWindowTitle() const override { return clients_.ClientWindowTitle(); }
  void SetClientWindowTitle(const std::string& t) override { clients_.SetClientWindowTitle(t); }
  std::uint32_t ClientWindowHandle() const override { return clients_.ClientWindowHandle(); }
  void SetClientWindowHandle(std::uint32_t h) override { clients_.SetClientWindowHandle(h); }
  bool MessageCountUp() const override { return clients_.MessageCountUp(); }
  void SetMessageCountUp(bool down) override;
  int MessageCount(int msgid) const override;
  void AddMessageCount(int msgid) override;
  void ShowMessageId(int msgid) override { clients_.ShowMessageId(msgid); }
  void SetNotificationFlag(int msgid) override;
  std::weak_ptr<TAutomationObject> EventTarget() const override { return clients_.EventTarget(); }
  void SetEventTarget(std::weak_ptr<TAutomationObject> t) override {
    clients_.SetEventTarget(std::move(t));
  }
  std::weak_ptr<TAutomationObject> IonEventTarget() const override {
    return clients_.IonEventTarget();
  }
  void SetIonEventTarget(std::weak_ptr<TAutomationObject> t) override {
    clients_.SetIonEventTarget(std::move(t));
  }
  base::Status SetAlarm(int alarm) override;
  base::Status ResetAlarm(int alarm) override;
  bool CancelVacMainInterlockAlarm() const override { return cancelInterlock_; }
  void SetCancelVacMainInterlockAlarm(bool on) override { cancelInterlock_ = on; }
  int MaxBeamShift() const override;
  void SetMaxBeamShift(int value) override { maxBeamShift_ = value; }
  int V1CloseState() const override { return v1State_; }
  void StartV1CloseCountdown() override;
  void StopV1CloseCountdown() override;
  base::Status ReopenDataFiles(const std::string& dir) override;
  void AddScanHistory(const std::string& line) override { scanHistory_.push_back(line); }

  // Inspection for tests and status output.
  const std::string& StatusLabel() const { return statusLabel_; }
  int LastMessageId() const { return clients_.LastMessageId(); }
  bool NotificationFlag(int msgid) const;
  bool AlarmFlag(int alarm) const;
  bool AlarmPresent() const { return alarmPresent_; }
  int CurrentAlarm() const { return currentAlarm_; }
  const std::vector<std::string>& ScanHistory() const { return scanHistory_; }
  const std::string& DataFilesDir() const { return dataFilesDir_; }
  std::int64_t V1CloseRemainingMs() const;  // monotonic; 0 when passed
  bool V1CloseLabelIsXxx() const { return v1LabelXxx_; }

 private:
  link::TOrvoComAna& link_;
  hub::THubClients clients_{nullptr};
  TDummy dummy_{[](int) -> base::Result<int> {
    return base::Status::NotFound("no configuration in this test hub");
  }};
  config::TSysInitData& initData_;
  bool debugMode_ = false;
  std::uint8_t machineType_ = 1;
  bool connectWanted_ = false;
  int connectAttempts_ = 0;
  bool connectPressed_ = false;
  bool disconnectPressed_ = false;
  std::string statusLabel_;
  std::string ipText_;
  bool visible_ = false;
  std::array<bool, 32> notificationFlags_{};  // index msgid - 1124
  std::array<bool, kMaxAlarm + 1> alarms_{};
  bool alarmPresent_ = false;
  int currentAlarm_ = 0;
  bool cancelInterlock_ = false;
  std::optional<int> maxBeamShift_;
  int v1State_ = 0;
  QElapsedTimer v1Clock_;
  std::int64_t v1DeadlineMs_ = 0;  // on v1Clock_
  bool v1LabelXxx_ = false;
  std::vector<std::string> scanHistory_;
  std::string dataFilesDir_;
};

}  // namespace tarvel::automation
