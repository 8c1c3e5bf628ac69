// A server for the automation tests: the real automation host over a real link manager, on a
// bus name of the test's choosing so that tests can run side by side on one bus.
//   automation_test_server --bus-name NAME --data-dir DIR [--port N] [/AUTOMATION]
// Prints "ready" on stdout once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "automation/automation_host.h"
#include "config/sys_init_data.h"
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
  parser.addOptions({nameOpt, dataOpt, portOpt});
  parser.process(app);
  auto log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  const std::string dataDir = parser.value(dataOpt).toStdString();
  config::TSysInitData initData([dataDir](int) -> base::Result<std::string> { return dataDir; });
  link::TOrvoComAna link;
  link.Port = parser.value(portOpt).toStdString();
  automation::TAutomationHost host(mode, link, initData, log);
  if (!host.Start(QDBusConnection::sessionBus(), parser.value(nameOpt)).ok()) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}
