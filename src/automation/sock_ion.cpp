#include "automation/sock_ion.h"

#include "automation/automation_context.h"
#include "automation/hub_access.h"

namespace tarvel::automation {

TSockIon::TSockIon(TAutomationContext& context) : TAutomationObject(Routes(), context) {}

const TMemberRoutes& TSockIon::Routes() {
  static const TMemberRoutes routes = [] {
    TMemberRoutes r(*TTypeLibrary::FindByName("SockIon"));
    TRoutesOf<TSockIon> on(r);
    on.Put("UseEventFlag", [](TSockIon& self, const QVariant& v) {
      if (!self.context_.hub.DebugMode()) {
        self.context_.hub.SetIonEventTarget(v.toBool() ? self.weak_from_this()
                                                       : std::weak_ptr<TAutomationObject>());
      }
      return TCallResult::Ok();
    });
    on.NotBuilt({"IonNo", "IonType", "SetIonData", "GetIonData", "IonExec", "IonCurrentMode",
                 "IonPresetData", "IonMonitData", "IonMonitStatus", "IonOscRecoverMode",
                 "IonChange", "IonAccRate", "IonCycleData", "IonStartTime", "IonStopTime",
                 "IonLiveTime", "IonStartMonitor", "IonStandbyMode", "IonStandbyData"});
    return r;
  }();
  return routes;
}

}  // namespace tarvel::automation
