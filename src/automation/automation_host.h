// TAutomationHost: the automation server as the program starts it.
//
// Writes the registration again (every start but an unregister start), changes to the
// registered working directory when started by D-Bus activation, puts the server on the
// session bus (or the system bus, when the program is told so) and, when started by COM, quits the
// application after the last object is released. The program passes the hub's THubAccess.
// Main thread only.
#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "automation/automation_server.h"
#include "automation/hub_access.h"
#include "automation/registration.h"

namespace tarvel::automation {

// The bus the server owns its name on. The system bus needs a policy that lets the program's
// user own the name; D-Bus activation is set up for the session bus only.
enum class TBusKind { kSession, kSystem };

class TAutomationHost {
 public:
  using Log = std::function<void(const std::string&)>;

  // Borrows the hub, which must outlive the host.
  TAutomationHost(TStartMode mode, THubAccess& hub, Log log);
  // Before the link manager and the hub exist: the registration and the working directory.
  static void Prepare(TStartMode mode, const Log& log);
  // Creates the server (which listens to the link's notifications) and claims the bus name on
  // the chosen bus. Without a connection to that bus the server still delivers notifications.
  base::Status Start(TBusKind bus = TBusKind::kSession,
                     const QString& serviceName = TAutomationServer::kServiceName);
  // The same on a connection the caller made (tests: a bus of their own).
  base::Status Start(QDBusConnection bus, const QString& serviceName);
  TAutomationServer* Server() { return server_.get(); }
  THubAccess& Hub() { return hub_; }

 private:
  TStartMode mode_;
  THubAccess& hub_;
  Log log_;
  std::unique_ptr<TAutomationServer> server_;
};

}  // namespace tarvel::automation
