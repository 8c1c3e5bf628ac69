// TSockIon: the SockIon automation object (interface ISockIon).
//
// Only UseEventFlag is built so far: it registers or clears this object as the ion event
// target (ignored in debug mode). The other members carry the not-built mark and answer
// E_NOTIMPL. Main thread only.
#pragma once

#include "automation/automation_object.h"

namespace tarvel::automation {

class TSockIon : public TAutomationObject {
 public:
  explicit TSockIon(TAutomationContext& context);
  static const TMemberRoutes& Routes();
};

}  // namespace tarvel::automation
