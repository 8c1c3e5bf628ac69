#include "automation/sync_exchange.h"

#include "automation/hub_access.h"
#include "link/orvo_com_ana.h"

namespace tarvel::automation {

TSyncExchange::TSyncExchange(THubAccess& hub, QObject* parent) : QObject(parent), hub_(hub) {
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &TSyncExchange::Check);
}

void TSyncExchange::Request(TReply reply) {
  if (queue_.size() >= kMaxQueued) {
    reply(TCallResult::Fail(kE_UNEXPECTED, "VMESyncroRequest: " + std::to_string(kMaxQueued) +
                                               " requests are already waiting"));
    return;
  }
  queue_.push_back(std::move(reply));
  if (!active_) StartNext();
}

void TSyncExchange::StartNext() {
  if (queue_.empty()) return;
  current_ = std::move(queue_.front());
  queue_.pop_front();
  active_ = true;
  model::TOrvoSystemInfo& model = hub_.Link().SystemInfo();
  id_ = model.NextSyncSequence();
  // A reply flag left from an earlier exchange must not end this one.
  (void)model.ReturnSyncRequest();
  if (!hub_.DebugMode() && hub_.LinkReady()) {
    const base::Status sent = hub_.Link().CmdSysSyncRequest(id_);
    if (!sent.ok()) {
      // A request that never left cannot be answered; say so instead of waiting for nothing.
      Fail("VMESyncroRequest: " + sent.message());
      return;
    }
  } else {
    model.SetSyncReply(id_);
  }
  deadline_ = QDeadlineTimer(kWaitMs);
  Check();
  if (active_) poll_.start();
}

void TSyncExchange::Check() {
  model::TOrvoSystemInfo& model = hub_.Link().SystemInfo();
  if (model.ReturnSyncRequest() && model.SyncReturnID() == id_) {
    Finish();
    return;
  }
  if (deadline_.hasExpired()) Finish();
}

void TSyncExchange::Fail(const std::string& description) {
  active_ = false;
  TReply reply = std::move(current_);
  current_ = nullptr;
  QTimer::singleShot(0, this, &TSyncExchange::StartNext);
  reply(TCallResult::Fail(kE_UNEXPECTED, description));
}

void TSyncExchange::Finish() {
  poll_.stop();
  active_ = false;
  TReply reply = std::move(current_);
  current_ = nullptr;
  const std::int32_t returned = hub_.Link().SystemInfo().SyncReturnID();
  // Start the next one first: the reply may run a nested event loop in a test client.
  QTimer::singleShot(0, this, &TSyncExchange::StartNext);
  reply(TCallResult::Ok({QVariant::fromValue<qint32>(returned)}));
}

}  // namespace tarvel::automation
