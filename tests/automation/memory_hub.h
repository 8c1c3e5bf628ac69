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

namespace tarvel::automation {

class TMemoryHub : public THubAccess {
 public:
  static constexpr int kFirstCountedId = 1127;
  static constexpr int kLastCountedId = 1145;  // the grid's rows 1..19
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
  std::string ClientWindowTitle() const override { return clientTitle_; }
  void SetClientWindowTitle(const std::string& title) override { clientTitle_ = title; }
  std::uint32_t ClientWindowHandle() const override { return clientHandle_; }
  void SetClientWindowHandle(std::uint32_t handle) override { clientHandle_ = handle; }
  bool MessageCountUp() const override { return msgCountUp_; }
  void SetMessageCountUp(bool down) override;
  int MessageCount(int msgid) const override;
  void AddMessageCount(int msgid) override;
  void ShowMessageId(int msgid) override { lastMessageId_ = msgid; }
  void SetNotificationFlag(int msgid) override;
  std::weak_ptr<TAutomationObject> EventTarget() const override { return eventTarget_; }
  void SetEventTarget(std::weak_ptr<TAutomationObject> t) override { eventTarget_ = std::move(t); }
  std::weak_ptr<TAutomationObject> IonEventTarget() const override { return ionTarget_; }
  void SetIonEventTarget(std::weak_ptr<TAutomationObject> t) override { ionTarget_ = std::move(t); }
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
  int LastMessageId() const { return lastMessageId_; }
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
  std::string clientTitle_;
  std::uint32_t clientHandle_ = 0;
  bool msgCountUp_ = false;
  std::array<int, kLastCountedId - kFirstCountedId + 1> counts_{};
  int lastMessageId_ = 0;
  std::array<bool, 32> notificationFlags_{};  // index msgid - 1124
  std::weak_ptr<TAutomationObject> eventTarget_;
  std::weak_ptr<TAutomationObject> ionTarget_;
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
