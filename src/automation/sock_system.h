// TSockSystem: the SockSystem automation object (interface ISockSystem).
//
// Controls the server as a whole: the link, the client window, debug mode, machine type,
// identity getters, alarms, the V1 close countdown and the synchronisation exchange. Holds no
// state of its own beyond the connection point; everything it changes lives in the hub.
// "Ready" is debug mode off and link ready. VMESyncroRequest and QuitORVO answer later, from
// a timer; every other member answers at once. Main thread only.
#pragma once

#include "automation/automation_object.h"

namespace tarvel::automation {

class TSockSystem : public TAutomationObject {
 public:
  static constexpr int kMaxCycleCode = 25;
  static constexpr int kMaxAlarm = 150;
  static constexpr int kQuitDelayMs = 1000;
  static constexpr int kAlarmShown = 1145;

  TSockSystem(const TCoclassInfo& coclass, TAutomationContext& context);

  void Call(const TMemberInfo& member, const std::vector<QVariant>& in, TReply reply) override;

 private:
  bool Ready() const;
  TCallResult Get(std::int32_t dispid);
  TCallResult Put(std::int32_t dispid, const QVariant& value);
  TCallResult PutSocketStatus(bool on);
  TCallResult PutCurDir(const QString& dir);
  TCallResult PutDebugMode(bool on);
  TCallResult SetMessageHandle(const QString& title);
  TCallResult CmdCycleRequest(std::int32_t code, bool infoMode);
  void QuitORVO(TReply reply);
};

}  // namespace tarvel::automation
