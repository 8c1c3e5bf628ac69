// TAutomationHost: the automation server as the program starts it.
//
// Writes the registration again (every start but an unregister start), changes to the
// registered working directory when started by D-Bus activation, puts the server on the
// session bus and, when started by COM, quits the application after the last object is
// released. Until the hub exists it stands in with a TMemoryHub over the program's link
// manager and configuration; the hub replaces that by passing its own THubAccess.
// Main thread only.
#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "automation/automation_server.h"
#include "automation/memory_hub.h"
#include "automation/registration.h"

namespace tarvel::automation {

class TAutomationHost {
 public:
  using Log = std::function<void(const std::string&)>;

  // Borrows link and configuration; both must outlive the host.
  TAutomationHost(TStartMode mode, link::TOrvoComAna& link, config::TSysInitData& initData,
                  Log log);
  // Before the link manager and the hub exist: the registration and the working directory.
  static void Prepare(TStartMode mode, const Log& log);
  // Binds the link manager's notification hooks and claims the bus name.
  base::Status Start(QDBusConnection bus = QDBusConnection::sessionBus(),
                     const QString& serviceName = TAutomationServer::kServiceName);
  TAutomationServer* Server() { return server_.get(); }
  TMemoryHub& Hub() { return hub_; }

 private:
  TStartMode mode_;
  link::TOrvoComAna& link_;
  TMemoryHub hub_;
  Log log_;
  std::unique_ptr<TAutomationServer> server_;
};

}  // namespace tarvel::automation
