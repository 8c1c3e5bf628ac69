#include "automation/automation_host.h"

#include <QCoreApplication>
#include <QDBusError>

#include <cstdlib>
#include <filesystem>

namespace tarvel::automation {

TAutomationHost::TAutomationHost(TStartMode mode, THubAccess& hub, Log log)
    : mode_(mode), hub_(hub), log_(std::move(log)) {}

void TAutomationHost::Prepare(TStartMode mode, const Log& log) {
  if (mode == TStartMode::kAutomation && std::getenv("DBUS_STARTER_ADDRESS")) {
    if (auto dir = TRegistration::RegisteredWorkDir()) {
      std::error_code ec;
      std::filesystem::current_path(*dir, ec);
      if (ec) log("automation: cannot enter the registered folder " + *dir + ": " + ec.message());
    }
  }
  const base::Status s =
      TRegistration::Write(TRegistration::ProgramPath(), std::filesystem::current_path().string());
  if (!s.ok()) log("automation: registration not written: " + s.message());
}

base::Status TAutomationHost::Start(TBusKind kind, const QString& serviceName) {
  const bool system = kind == TBusKind::kSystem;
  QDBusConnection bus = system ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    const std::string why = "no connection to the " + std::string(system ? "system" : "session") +
                            " bus: " + bus.lastError().message().toStdString();
    log_("automation: " + why);
    // Client notification (window messages, notification flags, counts) still runs without a
    // bus; only the objects cannot be reached.
    server_ = std::make_unique<TAutomationServer>(hub_, std::move(bus));
    return base::Status::Unavailable(why);
  }
  return Start(std::move(bus), serviceName);
}

base::Status TAutomationHost::Start(QDBusConnection bus, const QString& serviceName) {
  server_ = std::make_unique<TAutomationServer>(hub_, std::move(bus));
  if (mode_ == TStartMode::kAutomation) {
    server_->SetEndWithLastObject(true);
    server_->OnLastObjectReleased = [this] {
      log_("automation: last object released, ending");
      QCoreApplication::quit();
    };
  }
  const base::Status s = server_->Start(serviceName);
  log_(s.ok() ? "automation: serving " + serviceName.toStdString() : "automation: " + s.message());
  return s;
}

}  // namespace tarvel::automation
