#include "automation/sock_ion.h"

#include "automation/automation_context.h"
#include "automation/hub_access.h"

namespace tarvel::automation {

TSockIon::TSockIon(const TCoclassInfo& coclass, TAutomationContext& context)
    : TAutomationObject(coclass, context) {}

void TSockIon::Call(const TMemberInfo& m, const std::vector<QVariant>& in, TReply reply) {
  if (m.kind == TMemberKind::kPut && m.dispid == kUseEventFlag && in.size() == 1) {
    if (!context_.hub.DebugMode()) {
      context_.hub.SetIonEventTarget(in[0].toBool() ? weak_from_this()
                                                    : std::weak_ptr<TAutomationObject>());
    }
    reply(TCallResult::Ok());
    return;
  }
  TAutomationObject::Call(m, in, std::move(reply));
}

}  // namespace tarvel::automation
