#include "hub/hub_clients.h"

namespace tarvel::hub {

void THubClients::SetClientWindowTitle(const std::string& title) {
  clientTitle_ = title;
  Changed();
}

void THubClients::SetClientWindowHandle(std::uint32_t handle) {
  clientHandle_ = handle;
  Changed();
}

void THubClients::SetMessageCountUp(bool down) {
  msgCountUp_ = down;
  if (down) counts_.fill(0);
  Changed();
}

int THubClients::MessageCount(int msgid) const {
  if (msgid < kFirstCountedId || msgid > kLastCountedId) return 0;
  return counts_[static_cast<std::size_t>(msgid - kFirstCountedId)];
}

void THubClients::AddMessageCount(int msgid) {
  if (msgid < kFirstCountedId || msgid > kLastCountedId) return;
  ++counts_[static_cast<std::size_t>(msgid - kFirstCountedId)];
  Changed();
}

void THubClients::ShowMessageId(int msgid) {
  lastMessageId_ = msgid;
  Changed();
}

void THubClients::SetEventTarget(std::weak_ptr<automation::TAutomationObject> target) {
  eventTarget_ = std::move(target);
  Changed();
}

void THubClients::SetIonEventTarget(std::weak_ptr<automation::TAutomationObject> target) {
  ionTarget_ = std::move(target);
}

}  // namespace tarvel::hub
