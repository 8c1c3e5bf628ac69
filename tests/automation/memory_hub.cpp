#include "memory_hub.h"

#include "config/sys_init_data.h"
#include "link/orvo_com_ana.h"

namespace tarvel::automation {

namespace {
constexpr std::int64_t kV1CloseDelayMs = 300 * 1000;
constexpr int kFirstFlagId = 1124;
}  // namespace

TMemoryHub::TMemoryHub(link::TOrvoComAna& link, config::TSysInitData& initData)
    : link_(link), initData_(initData), ipText_(link.IPAddr) {
  v1Clock_.start();
}

bool TMemoryHub::LinkReady() const {
  return link_.IsConnected() != 0 && !disconnectPressed_;
}

void TMemoryHub::PressConnect() {
  connectPressed_ = true;
  disconnectPressed_ = false;
  ++connectAttempts_;
  if (link_.IPAddr != ipText_) link_.IPAddr = ipText_;
  link_.Connect();
}

void TMemoryHub::PressDisconnect() {
  disconnectPressed_ = true;
  connectPressed_ = false;
  link_.Disconnect();
}

void TMemoryHub::SetMessageCountUp(bool down) {
  clients_.SetMessageCountUp(down);
}

int TMemoryHub::MessageCount(int msgid) const {
  return clients_.MessageCount(msgid);
}

void TMemoryHub::AddMessageCount(int msgid) {
  clients_.AddMessageCount(msgid);
}

void TMemoryHub::SetNotificationFlag(int msgid) {
  const int i = msgid - kFirstFlagId;
  if (i < 0 || i >= static_cast<int>(notificationFlags_.size())) return;
  notificationFlags_[static_cast<std::size_t>(i)] = true;
}

bool TMemoryHub::NotificationFlag(int msgid) const {
  const int i = msgid - kFirstFlagId;
  return i >= 0 && i < static_cast<int>(notificationFlags_.size()) &&
         notificationFlags_[static_cast<std::size_t>(i)];
}

base::Status TMemoryHub::SetAlarm(int alarm) {
  if (alarm < 0 || alarm > kMaxAlarm) return base::Status::OutOfRange("alarm number");
  if (!alarms_[static_cast<std::size_t>(alarm)]) {
    alarms_[static_cast<std::size_t>(alarm)] = true;
    alarmPresent_ = true;
  }
  return base::Status::Ok();
}

base::Status TMemoryHub::ResetAlarm(int alarm) {
  if (alarm < 0 || alarm > kMaxAlarm) return base::Status::OutOfRange("alarm number");
  alarms_[static_cast<std::size_t>(alarm)] = false;
  currentAlarm_ = 0;
  alarmPresent_ = false;
  for (int i = 0; i <= kMaxAlarm; ++i) {
    if (alarms_[static_cast<std::size_t>(i)]) {
      currentAlarm_ = i;
      alarmPresent_ = true;
      break;
    }
  }
  return base::Status::Ok();
}

bool TMemoryHub::AlarmFlag(int alarm) const {
  return alarm >= 0 && alarm <= kMaxAlarm && alarms_[static_cast<std::size_t>(alarm)];
}

int TMemoryHub::MaxBeamShift() const {
  return maxBeamShift_ ? *maxBeamShift_ : initData_.MaxBeamShift();
}

void TMemoryHub::StartV1CloseCountdown() {
  v1DeadlineMs_ = v1Clock_.elapsed() + kV1CloseDelayMs;
  v1State_ = 1;
  v1LabelXxx_ = false;
}

void TMemoryHub::StopV1CloseCountdown() {
  v1DeadlineMs_ = v1Clock_.elapsed() + kV1CloseDelayMs;
  v1State_ = 0;
  v1LabelXxx_ = true;
}

std::int64_t TMemoryHub::V1CloseRemainingMs() const {
  const std::int64_t left = v1DeadlineMs_ - v1Clock_.elapsed();
  return left > 0 ? left : 0;
}

base::Status TMemoryHub::ReopenDataFiles(const std::string& dir) {
  // The shared records are not built yet; remember where they would be opened.
  dataFilesDir_ = dir;
  return base::Status::Ok();
}

}  // namespace tarvel::automation
