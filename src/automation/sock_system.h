// TSockSystem: the SockSystem automation object (interface ISockSystem).
//
// Controls the server as a whole: the link, the client window, debug mode, machine type,
// identity getters, alarms, the V1 close countdown and the synchronisation exchange. Holds no
// state of its own beyond the connection point; everything it changes lives in the hub. Its
// members are routed by name (Routes()); commands go through the base's common member pattern.
// VMESyncroRequest and QuitORVO answer later, from a timer; every other member answers at once.
// Main thread only.
#pragma once

#include "automation/automation_object.h"

namespace tarvel::automation {

class TSockSystem : public TAutomationObject {
 public:
  static constexpr int kMaxCycleCode = 25;
  static constexpr int kMaxAlarm = 150;
  static constexpr int kQuitDelayMs = 1000;
  static constexpr int kAlarmShown = 1145;

  explicit TSockSystem(TAutomationContext& context);
  static const TMemberRoutes& Routes();

 private:
  TCallResult PutSocketStatus(bool on);
  TCallResult PutCurDir(const QString& dir);
  TCallResult PutDebugMode(bool on);
  TCallResult SetAlarm(std::int32_t alarm);
  TCallResult SetMessageHandle(const QString& title);
  TCallResult CmdCycleRequest(std::int32_t code, bool infoMode);
  void QuitORVO(TReply reply);
};

}  // namespace tarvel::automation
