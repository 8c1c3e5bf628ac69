// TSockIon: the SockIon automation object (interface ISockIon).
//
// Only UseEventFlag is built so far: it registers or clears this object as the ion event
// target (ignored in debug mode). The other members answer E_NOTIMPL. Main thread only.
#pragma once

#include "automation/automation_object.h"

namespace tarvel::automation {

class TSockIon : public TAutomationObject {
 public:
  static constexpr std::int32_t kUseEventFlag = 19;

  TSockIon(const TCoclassInfo& coclass, TAutomationContext& context);
  void Call(const TMemberInfo& member, const std::vector<QVariant>& in, TReply reply) override;
};

}  // namespace tarvel::automation
