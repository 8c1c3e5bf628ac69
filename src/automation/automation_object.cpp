#include "automation/automation_object.h"

#include "automation/automation_context.h"
#include "automation/hub_access.h"
#include "link/orvo_com_ana.h"

namespace tarvel::automation {

std::uint32_t TAutomationObject::nextCookie_ = 0;

TAutomationObject::TAutomationObject(const TMemberRoutes& routes, TAutomationContext& context)
    : context_(context), routes_(routes) {}

TAutomationObject::~TAutomationObject() {
  // The hub's targets are weak: once this object is going, a target that no longer locks is
  // this one (or one already gone); clearing it keeps the hub's state honest.
  if (context_.hub.EventTarget().expired()) context_.hub.SetEventTarget({});
  if (context_.hub.IonEventTarget().expired()) context_.hub.SetIonEventTarget({});
}

void TAutomationObject::Call(const TMemberInfo& member, const TArgs& in, TReply reply) {
  routes_.Call(*this, member, in, std::move(reply));
}

bool TAutomationObject::Ready() const {
  return !context_.hub.DebugMode() && context_.hub.LinkReady();
}

TCallResult TAutomationObject::Command(
    const std::function<base::Status(link::TOrvoCommands&)>& send,
    const std::function<void(TDummy&)>& simulate, bool* sent) {
  if (sent) *sent = false;
  if (context_.hub.DebugMode()) {
    if (simulate) simulate(context_.dummy);
    return TCallResult::Ok();
  }
  if (!context_.hub.LinkReady()) return TCallResult::Ok();
  link::TOrvoCommands& catalogue = context_.hub.Link();
  const base::Status s = send(catalogue);
  if (sent) *sent = s.ok();
  return TCallResult::From(s);
}

TCallResult TAutomationObject::Advise(TEventSink sink, std::uint32_t* cookie) {
  if (sink_) {
    return TCallResult::Fail(kCONNECT_E_ADVISELIMIT,
                             Coclass().ProgID() + " accepts one event sink, and one is connected");
  }
  sink_ = std::move(sink);
  // Cookies never repeat in a run, so a stale cookie cannot disconnect a later sink.
  if (++nextCookie_ == 0) ++nextCookie_;
  cookie_ = nextCookie_;
  *cookie = cookie_;
  return TCallResult::Ok();
}

TCallResult TAutomationObject::Unadvise(std::uint32_t cookie) {
  if (!sink_ || cookie != cookie_) {
    return TCallResult::Fail(kCONNECT_E_NOCONNECTION,
                             "no event sink with cookie " + std::to_string(cookie));
  }
  sink_ = nullptr;
  cookie_ = 0;
  return TCallResult::Ok();
}

void TAutomationObject::FireOnMyEvent(std::int32_t msg) {
  if (!Coclass().HasOnMyEvent() || !sink_) return;
  // The sink may unadvise from inside; call a copy.
  const TEventSink sink = sink_;
  sink(msg);
}

}  // namespace tarvel::automation
