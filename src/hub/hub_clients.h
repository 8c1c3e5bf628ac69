// THubClients: the hub's state of client notification.
//
// The client window a client registered (title and handle), the delivery switch that
// "Msg Count Up" is with its per-id counts, the last id delivered and the automation event
// targets. The automation server's notifier delivers through this state; the monitor window
// shows it. Event targets are held weakly, so a released object is never called. Every change
// runs `changed` (the hub's view refresh). Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarvel::automation {
class TAutomationObject;
}

namespace tarvel::hub {

class THubClients {
 public:
  static constexpr int kFirstCountedId = 1127;
  static constexpr int kLastCountedId = 1145;  // the grid's rows 1..19

  explicit THubClients(std::function<void()> changed) : changed_(std::move(changed)) {}

  const std::string& ClientWindowTitle() const { return clientTitle_; }
  void SetClientWindowTitle(const std::string& title);
  std::uint32_t ClientWindowHandle() const { return clientHandle_; }
  void SetClientWindowHandle(std::uint32_t handle);

  // BtnMsgCntUp: down delivers by window message and counts; going down clears every count.
  bool MessageCountUp() const { return msgCountUp_; }
  void SetMessageCountUp(bool down);
  int MessageCount(int msgid) const;  // 0 outside 1127..1145
  void AddMessageCount(int msgid);    // ids outside 1127..1145 are not counted
  int LastMessageId() const { return lastMessageId_; }
  void ShowMessageId(int msgid);

  std::weak_ptr<automation::TAutomationObject> EventTarget() const { return eventTarget_; }
  void SetEventTarget(std::weak_ptr<automation::TAutomationObject> target);
  std::weak_ptr<automation::TAutomationObject> IonEventTarget() const { return ionTarget_; }
  void SetIonEventTarget(std::weak_ptr<automation::TAutomationObject> target);
  // A client's event sink is registered (LblMessage "Assigned").
  bool UseEventFlag() const { return !eventTarget_.expired(); }

 private:
  void Changed() const {
    if (changed_) changed_();
  }

  std::function<void()> changed_;
  std::string clientTitle_;
  std::uint32_t clientHandle_ = 0;
  bool msgCountUp_ = false;
  std::array<int, kLastCountedId - kFirstCountedId + 1> counts_{};
  int lastMessageId_ = 0;
  std::weak_ptr<automation::TAutomationObject> eventTarget_;
  std::weak_ptr<automation::TAutomationObject> ionTarget_;
};

}  // namespace tarvel::hub
