// THubAccess: what the automation objects need of the application hub.
//
// The objects hold almost no state: connection wanted, debug mode, machine type, the client
// window, the delivery switch and its counters, the event targets and the V1 close countdown
// live in the hub and outlive any object. This interface is the whole of that contract; the
// running hub's adapter (hub::TSocketHubAccess) implements it. Main thread only; every call
// returns at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"

namespace tarvel::config {
class TSysInitData;
}
namespace tarvel::link {
class TOrvoComAna;
}

namespace tarvel::automation {

class TAutomationObject;
class TDummy;

class THubAccess {
 public:
  virtual ~THubAccess() = default;

  virtual link::TOrvoComAna& Link() = 0;
  // The offline simulator; the hub owns it.
  virtual TDummy& Dummy() = 0;
  virtual config::TSysInitData& InitData() = 0;

  // Debug mode: the machine is simulated (TDummy). Setting it also shows the debug label and
  // the error-message panel.
  virtual bool DebugMode() const = 0;
  virtual void SetDebugMode(bool on) = 0;
  // 1 the ORVO line, 2 the PADO line.
  virtual std::uint8_t MachineType() const = 0;
  virtual void SetMachineType(std::uint8_t type) = 0;

  // Link ready: the link manager is connected and the Disconnect button is not down.
  virtual bool LinkReady() const = 0;
  virtual bool ConnectWanted() const = 0;
  virtual void SetConnectWanted(bool wanted) = 0;
  virtual void ResetConnectAttempts() = 0;
  virtual bool ConnectPressed() const = 0;
  // The Connect button's click: the IP address text becomes the link's address, then connect.
  virtual void PressConnect() = 0;
  // The Disconnect button's click: the link is closed.
  virtual void PressDisconnect() = 0;
  virtual void ShowSocketStatus(bool on) = 0;  // the status label, "TRUE"/"FALSE"
  virtual std::string IPAddressText() const = 0;
  virtual void SetIPAddressText(const std::string& text) = 0;  // the field and the label

  virtual bool MonitorVisible() const = 0;
  virtual void SetMonitorVisible(bool visible) = 0;

  // Client notification (LblMsgHdl, LblHdlNo, BtnMsgCntUp, GridMsgCnt, LblMsgErr).
  virtual std::string ClientWindowTitle() const = 0;
  virtual void SetClientWindowTitle(const std::string& title) = 0;
  virtual std::uint32_t ClientWindowHandle() const = 0;
  virtual void SetClientWindowHandle(std::uint32_t handle) = 0;
  virtual bool MessageCountUp() const = 0;
  // The button's click action: going down clears every count to 0.
  virtual void SetMessageCountUp(bool down) = 0;
  virtual int MessageCount(int msgid) const = 0;  // 0 outside 1127..1145
  virtual void AddMessageCount(int msgid) = 0;
  virtual void ShowMessageId(int msgid) = 0;
  // The monitor record's notification flag of msgid (field code 11, index msgid - 1124).
  virtual void SetNotificationFlag(int msgid) = 0;

  // The automation event targets; they never keep an object alive.
  virtual std::weak_ptr<TAutomationObject> EventTarget() const = 0;
  virtual void SetEventTarget(std::weak_ptr<TAutomationObject> target) = 0;
  virtual std::weak_ptr<TAutomationObject> IonEventTarget() const = 0;
  virtual void SetIonEventTarget(std::weak_ptr<TAutomationObject> target) = 0;

  // Monitor record alarms, numbers 0..150 (the caller checks the range).
  virtual base::Status SetAlarm(int alarm) = 0;
  virtual base::Status ResetAlarm(int alarm) = 0;
  virtual bool CancelVacMainInterlockAlarm() const = 0;
  virtual void SetCancelVacMainInterlockAlarm(bool on) = 0;
  // The cached MaxBeamShift; a put replaces it in memory only.
  virtual int MaxBeamShift() const = 0;
  virtual void SetMaxBeamShift(int value) = 0;

  // V1 close countdown: state 0 stopped, 1 running, 2 valve closing; deadline now + 300 s.
  virtual int V1CloseState() const = 0;
  virtual void StartV1CloseCountdown() = 0;
  virtual void StopV1CloseCountdown() = 0;  // also shows "xxx" as the seconds left

  // CurDir: re-open the monitor and monitoring-SEM data files in the new data directory.
  virtual base::Status ReopenDataFiles(const std::string& dir) = 0;
  virtual void AddScanHistory(const std::string& line) = 0;
};

}  // namespace tarvel::automation
