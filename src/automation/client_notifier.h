// TClientNotifier: delivers notification ids to the client (SendMessageAppli, NotifyClients).
//
// A notification goes out as the registered message "OLEMESSAGE" posted to the client window
// (while "Msg Count Up" is down) or as OnMyEvent on the automation event target; its flag is
// set in the monitor record and a few ids trigger hub actions. Before posting, the stored
// window handle is checked and, when it no longer names a window, looked up again by the
// client's title, so a restarted client is found and a dead handle is never used. Ids outside
// 1127..1151 are delivered but touch no counter or flag. Main thread only; never waits.
#pragma once

#include <cstdint>

class QObject;

namespace tarvel::link {
class TOrvoComAna;
}

namespace tarvel::automation {

class THubAccess;
class TMessageWindows;

class TClientNotifier {
 public:
  static constexpr int kFirstId = 1127;
  static constexpr int kLastId = 1151;
  static constexpr int kScanParamError = 1140;  // recorded, never delivered
  static constexpr int kScanStarted = 1134;
  static constexpr int kScanStopped = 1135;
  static constexpr int kHard3BoardWords = 1149;
  static constexpr const char* kMessageName = "OLEMESSAGE";

  TClientNotifier(THubAccess& hub, TMessageWindows& windows);

  // The number of "OLEMESSAGE".
  std::uint32_t MessageId() const { return messageId_; }
  void SendMessageAppli(int msgid);
  // The automation event path: OnMyEvent(msgid) on the event target, if any.
  void NotifyClients(int msgid);
  // The link manager's OnDataChanged goes to SendMessageAppli, OnSendMessage to NotifyClients,
  // for as long as `context` lives (the other listeners of those events stay).
  void Bind(link::TOrvoComAna& link, QObject* context);
  // The stored client window, checked and looked up again by title when it is gone.
  std::uint32_t ClientWindow();

 private:
  THubAccess& hub_;
  TMessageWindows& windows_;
  std::uint32_t messageId_ = 0;
};

}  // namespace tarvel::automation
