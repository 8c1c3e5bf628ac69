// A server for the automation tests: the production graph without a window, on a bus name of
// the test's choosing so that tests can run side by side on one bus.
//   automation_test_server --bus-name NAME --data-dir DIR [--pado-data-dir DIR] [--port N]
//                          [/AUTOMATION]
// Prints "ready" on stdout once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "app/production_graph.h"

int main(int argc, char** argv) {
  using namespace tarvel;
  const auto mode = automation::TRegistration::TakeStartSwitches(&argc, argv);
  if (auto code = automation::TRegistration::RunSwitch(mode)) return *code;
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption nameOpt("bus-name", "Bus name.", "name");
  const QCommandLineOption dataOpt("data-dir", "Data directory.", "dir");
  const QCommandLineOption portOpt("port", "Controller port.", "port", "20000");
  const QCommandLineOption padoOpt("pado-data-dir", "Data directory of the PADO line.", "dir");
  parser.addOptions({nameOpt, dataOpt, portOpt, padoOpt});
  parser.process(app);
  auto log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  const std::string dataDir = parser.value(dataOpt).toStdString();
  // Without --pado-data-dir both machine lines share one folder.
  const std::string padoDir = parser.isSet(padoOpt) ? parser.value(padoOpt).toStdString() : dataDir;
  const QString busName = parser.value(nameOpt);
  auto ready = [] {
    std::printf("ready\n");
    std::fflush(stdout);
  };
  // The objects act on the production graph, as in the program.
  app::TGraphOptions options;
  options.startMode = mode;
  options.hub.useASEM = false;
  options.port = parser.value(portOpt).toStdString();
  options.findDataDir = [dataDir, padoDir](int machineType) -> base::Result<std::string> {
    return machineType == 2 ? padoDir : dataDir;
  };
  options.busName = busName;
  options.log = log;
  options.hub.log = [log](const std::string&, const std::string& line) { log(line); };
  app::TProductionGraph graph(std::move(options));
  if (!graph.Start().ok()) return 3;
  ready();
  return app.exec();
}
