#include "automation/client_notifier.h"

#include <cstdio>

#include "automation/automation_object.h"
#include "automation/hub_access.h"
#include "automation/message_windows.h"
#include "link/orvo_com_ana.h"

namespace tarvel::automation {

TClientNotifier::TClientNotifier(THubAccess& hub, TMessageWindows& windows)
    : hub_(hub), windows_(windows) {
  auto id = windows_.RegisterWindowMessage(kMessageName);
  messageId_ = id.ok() ? *id : 0;
}

std::uint32_t TClientNotifier::ClientWindow() {
  std::uint32_t handle = hub_.ClientWindowHandle();
  if (handle != 0 && windows_.IsWindow(handle)) return handle;
  handle = windows_.FindWindow(hub_.ClientWindowTitle());
  if (handle != hub_.ClientWindowHandle()) hub_.SetClientWindowHandle(handle);
  return handle;
}

void TClientNotifier::SendMessageAppli(int msgid) {
  const bool known = msgid >= kFirstId && msgid <= kLastId;
  const std::uint32_t handle = ClientWindow();
  hub_.ShowMessageId(msgid);
  if (msgid != kScanParamError) {
    if (hub_.MessageCountUp()) {
      if (handle != 0) {
        windows_.PostMessage(handle, messageId_, static_cast<std::uint32_t>(msgid), 0);
      }
      if (known) hub_.AddMessageCount(msgid);
    } else {
      NotifyClients(msgid);
    }
  }
  if (known) hub_.SetNotificationFlag(msgid);

  if (msgid == kScanStarted) {
    hub_.StopV1CloseCountdown();
    hub_.AddScanHistory("Scan Start From OS-9");
    // The Hard3 output check and the start timer line join with the Hard3 model and the scan
    // object.
  } else if (msgid == kScanStopped) {
    hub_.AddScanHistory("Scan Stop  From OS-9");
    if (hub_.MachineType() != 2) hub_.StartV1CloseCountdown();
  }
  // kHard3BoardWords switches the hardware definitions' channel names; they are not built yet.
}

void TClientNotifier::NotifyClients(int msgid) {
  if (auto target = hub_.EventTarget().lock()) target->FireOnMyEvent(msgid);
}

void TClientNotifier::Bind(link::TOrvoComAna& link, QObject* context) {
  QObject::connect(&link, &link::TOrvoComAna::OnDataChanged, context,
                   [this](int msgid) { SendMessageAppli(msgid); });
  QObject::connect(&link, &link::TOrvoComAna::OnSendMessage, context,
                   [this](int msgid) { NotifyClients(msgid); });
}

}  // namespace tarvel::automation
