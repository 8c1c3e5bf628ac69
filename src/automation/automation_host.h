// TAutomationHost: the automation server as the program starts it.
//
// Writes the registration again (every start but an unregister start), changes to the
// registered working directory when started by D-Bus activation, puts the server on the
// session bus and, when started by COM, quits the application after the last object is
// released. The program passes the hub's THubAccess.
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

class TAutomationHost {
 public:
  using Log = std::function<void(const std::string&)>;

  // Borrows the hub, which must outlive the host.
  TAutomationHost(TStartMode mode, THubAccess& hub, Log log);
  // Before the link manager and the hub exist: the registration and the working directory.
  static void Prepare(TStartMode mode, const Log& log);
  // Binds the link manager's notification hooks and claims the bus name.
  base::Status Start(QDBusConnection bus = QDBusConnection::sessionBus(),
                     const QString& serviceName = TAutomationServer::kServiceName);
  TAutomationServer* Server() { return server_.get(); }
  THubAccess& Hub() { return hub_; }

 private:
  TStartMode mode_;
  THubAccess& hub_;
  Log log_;
  std::unique_ptr<TAutomationServer> server_;
};

}  // namespace tarvel::automation
