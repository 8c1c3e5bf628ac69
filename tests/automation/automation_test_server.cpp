// A server for the automation tests: the real automation host over a real link manager, on a
// bus name of the test's choosing so that tests can run side by side on one bus.
//   automation_test_server --bus-name NAME --data-dir DIR [--port N] [--hub] [/AUTOMATION]
// With --hub the objects act on a real TSocketHub (timers, link phases), as in the program.
// Prints "ready" on stdout once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "automation/automation_host.h"
#include "config/sys_init_data.h"
#include "hub/socket_hub.h"
#include "hub/socket_hub_access.h"
#include "link/orvo_com_ana.h"

int main(int argc, char** argv) {
  using namespace tarvel;
  const auto mode = automation::TRegistration::TakeStartSwitches(&argc, argv);
  if (auto code = automation::TRegistration::RunSwitch(mode)) return *code;
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption nameOpt("bus-name", "Bus name.", "name");
  const QCommandLineOption dataOpt("data-dir", "Data directory.", "dir");
  const QCommandLineOption portOpt("port", "Controller port.", "port", "20000");
  const QCommandLineOption hubOpt("hub", "Serve over a real hub.");
  parser.addOptions({nameOpt, dataOpt, portOpt, hubOpt});
  parser.process(app);
  auto log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  const std::string dataDir = parser.value(dataOpt).toStdString();
  config::TSysInitData initData([dataDir](int) -> base::Result<std::string> { return dataDir; });
  const QString busName = parser.value(nameOpt);
  auto ready = [] {
    std::printf("ready\n");
    std::fflush(stdout);
  };
  if (parser.isSet(hubOpt)) {
    hub::TSocketHub::Options options;
    options.useASEM = false;
    hub::TSocketHub socketHub(&initData, std::move(options));
    socketHub.OnLog = [](const std::string&, const std::string& line) {
      std::fprintf(stderr, "%s\n", line.c_str());
    };
    socketHub.Link().Port = parser.value(portOpt).toStdString();
    hub::TSocketHubAccess access(socketHub, initData);
    automation::TAutomationHost host(mode, access, log);
    if (!host.Start(QDBusConnection::sessionBus(), busName).ok()) return 3;
    socketHub.Seams().UseEventFlag = [&access] { return !access.EventTarget().expired(); };
    socketHub.FormShow();
    ready();
    return app.exec();
  }
  link::TOrvoComAna link;
  link.Port = parser.value(portOpt).toStdString();
  automation::TAutomationHost host(mode, link, initData, log);
  if (!host.Start(QDBusConnection::sessionBus(), busName).ok()) return 3;
  ready();
  return app.exec();
}
