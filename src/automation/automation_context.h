// TAutomationContext: what every automation object reaches, borrowed for the server's life.
//
// The hub (through THubAccess), the offline simulator, the synchronisation exchange, the
// client windows and the notification path. `owner` is a QObject that lives as long as the
// server; members that wait use it as the context of their timers.
#pragma once

class QObject;

namespace tarvel::automation {

class THubAccess;
class TDummy;
class TSyncExchange;
class TMessageWindows;
class TClientNotifier;

struct TAutomationContext {
  THubAccess& hub;
  TDummy& dummy;
  TSyncExchange& sync;
  TMessageWindows& windows;
  TClientNotifier& notifier;
  QObject& owner;
};

}  // namespace tarvel::automation
