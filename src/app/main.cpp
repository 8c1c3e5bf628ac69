// tarvel: the communication server.
//
// Checks its options, builds the production graph (records, models, dispatcher, link manager,
// hub, automation; the monitor window and the hidden System Initial Data window unless
// --no-window is given, when no widget exists at all), and with --connect presses Connect as
// the operator would. Every memo line also goes to the log
// (stderr, or the file given by --log).
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/production_graph.h"
#include "hub/hub_texts.h"
#include "model/fib_sys_info.h"
#include "ui/form_socket.h"
#include "ui/form_sys_init_data.h"

namespace {

std::FILE* g_log = stderr;
volatile std::sig_atomic_t g_stop = 0;  // set by SIGINT/SIGTERM, acted on by the main tick

void RawLine(const std::string& line) {
  std::fprintf(g_log, "%s\n", line.c_str());
  std::fflush(g_log);
}

// A line of the program's own, stamped as the memos stamp theirs.
void LogLine(const std::string& text) {
  RawLine(tarvel::hub::StampedLine(text, QDateTime::currentDateTime()));
}

}  // namespace

int main(int argc, char** argv) {
  const auto startMode = tarvel::automation::TRegistration::TakeStartSwitches(&argc, argv);
  if (auto code = tarvel::automation::TRegistration::RunSwitch(startMode)) return *code;
  // Without a window no widget (and no display connection) is ever created.
  bool windowless = false;
  for (int i = 1; i < argc; ++i) windowless |= std::string(argv[i]) == "--no-window";
  if (!windowless && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  std::unique_ptr<QCoreApplication> appHolder(windowless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));
  QCoreApplication& app = *appHolder;
  QCoreApplication::setApplicationName("tarvel");
  QCommandLineParser parser;
  parser.setApplicationDescription("Communication server of the FIB instrument");
  parser.addHelpOption();
  const QCommandLineOption connectOpt("connect", "Connect to the controller at start.");
  const QCommandLineOption noWindowOpt("no-window", "Run without any window.");
  const QCommandLineOption logOpt("log", "Write the log to <file> instead of stderr.", "file");
  const QCommandLineOption exitAfterOpt("exit-after", "Quit after <seconds> (for scripted runs).",
                                        "seconds");
  const QCommandLineOption initDataOpt("sys-init-data", "Show the System Initial Data window.");
  const QCommandLineOption screenshotOpt(
      "screenshot", "Write the shown window to <file> (PNG) once it is drawn.", "file");
  const QCommandLineOption machineOpt("machine-type", "1 ORVO line (default), 2 PADO line.", "type",
                                      "1");
  const QCommandLineOption showOpt("show", "Show the monitor window at start (it starts hidden).");
  const QCommandLineOption pageOpt(
      "page", "Page on top for --screenshot: sys, cmd, net, data, service.", "page", "sys");
  const QCommandLineOption screenshotAfterOpt(
      "screenshot-after", "Milliseconds before the monitor window is captured.", "ms", "1500");
  const QCommandLineOption canLogOpt("can-log", "Log every frame sent to the operation panel.");
  const QCommandLineOption systemBusOpt(
      "system-bus", "Serve the automation objects on the system bus instead of the session bus.");
  parser.addOptions({connectOpt, noWindowOpt, logOpt, exitAfterOpt, initDataOpt, screenshotOpt,
                     machineOpt, showOpt, pageOpt, screenshotAfterOpt, canLogOpt, systemBusOpt});
  parser.process(app);

  // Options are checked before anything starts: a typo must not run a different server.
  const auto fail = [](const std::string& text) {
    std::fprintf(stderr, "tarvel: %s\n", text.c_str());
    return 2;
  };
  bool ok = false;
  const int machineType = parser.value(machineOpt).toInt(&ok);
  if (!ok || (machineType != 1 && machineType != 2)) {
    return fail("--machine-type must be 1 (ORVO line) or 2 (PADO line), not \"" +
                parser.value(machineOpt).toStdString() + "\"");
  }
  std::optional<int> exitAfterMs;
  if (parser.isSet(exitAfterOpt)) {
    const double seconds = parser.value(exitAfterOpt).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 2000000) {
      return fail("--exit-after needs a number of seconds above 0, not \"" +
                  parser.value(exitAfterOpt).toStdString() + "\"");
    }
    exitAfterMs = static_cast<int>(seconds * 1000);
  }
  const int screenshotAfterMs = parser.value(screenshotAfterOpt).toInt(&ok);
  if (!ok || screenshotAfterMs < 0) {
    return fail("--screenshot-after needs milliseconds, not \"" +
                parser.value(screenshotAfterOpt).toStdString() + "\"");
  }
  static const QStringList kPages = {"sys",  "version", "error",    "cmd",    "net",
                                     "data", "serial",  "hardware", "service"};
  if (!kPages.contains(parser.value(pageOpt))) {
    return fail("--page must be one of " + kPages.join(", ").toStdString());
  }

  if (parser.isSet(logOpt)) {
    g_log = std::fopen(parser.value(logOpt).toLocal8Bit().constData(), "a");
    if (!g_log) {
      std::fprintf(stderr, "tarvel: cannot open log file %s\n",
                   parser.value(logOpt).toLocal8Bit().constData());
      return 2;
    }
  }

  tarvel::automation::TAutomationHost::Prepare(startMode, LogLine);
  tarvel::app::TGraphOptions options;
  options.startMode = startMode;
  options.window = !windowless;
  options.machineType = machineType;
  options.findDataDir = &tarvel::model::FindDataDir;
  options.systemBus = parser.isSet(systemBusOpt);
  options.log = LogLine;
  options.hub.log = [](const std::string&, const std::string& line) { RawLine(line); };
  tarvel::app::TProductionGraph graph(std::move(options));
  tarvel::hub::TSocketHub& hub = graph.Hub();
  tarvel::link::TOrvoComAna& link = graph.Link();
  LogLine("controller address " + link.IPAddr + ":" + link.Port);
  if (hub.Dial()) hub.Dial()->CanLogging = parser.isSet(canLogOpt);
  if (!graph.Start().ok() && startMode == tarvel::automation::TStartMode::kAutomation) return 3;

  if (tarvel::ui::TFormSocket* window = graph.Window()) {
    tarvel::ui::TFormSysInitData* initWindow = graph.InitWindow();
    if (parser.isSet(initDataOpt)) {
      initWindow->show();
      if (parser.isSet(screenshotOpt)) {
        const QString file = parser.value(screenshotOpt);
        QTimer::singleShot(300, initWindow, [initWindow, file] {
          LogLine(initWindow->grab().save(file) ? "screenshot written to " + file.toStdString()
                                                : "screenshot failed: " + file.toStdString());
        });
      }
    }
    if (parser.isSet(showOpt) || (parser.isSet(screenshotOpt) && !parser.isSet(initDataOpt))) {
      window->showNormal();
    }
    if (parser.isSet(screenshotOpt) && !parser.isSet(initDataOpt)) {
      const QString file = parser.value(screenshotOpt);
      const QString page = parser.value(pageOpt);
      // Long enough for the phases to have filled the pages when connected.
      QTimer::singleShot(screenshotAfterMs, window, [window, file, page] {
        window->SelectPage(page.toStdString());
        window->RefreshPages();
        // Let the layouts take the refreshed texts before the capture.
        QCoreApplication::processEvents();
        LogLine(window->grab().save(file) ? "screenshot written to " + file.toStdString()
                                          : "screenshot failed: " + file.toStdString());
      });
    }
  }

  // A stop request is served from the event loop, never inside the signal handler.
  QTimer stopPoll;
  QObject::connect(&stopPoll, &QTimer::timeout, [] {
    if (g_stop) QCoreApplication::quit();
  });
  stopPoll.start(100);
  // Identity and a status line once a second while frames arrive, so a headless run is
  // observable beside the memo lines.
  QTimer status;
  std::int64_t lastFrames = -1;
  std::string lastIdentity = link.SystemInfo().IdentitySummary();
  QObject::connect(&status, &QTimer::timeout, [&] {
    const std::string identity = link.SystemInfo().IdentitySummary();
    if (identity != lastIdentity) {
      lastIdentity = identity;
      LogLine("controller: " + identity);
    }
    if (link.FramesReceived() == lastFrames) return;
    lastFrames = link.FramesReceived();
    LogLine("link " + std::string(link.IsConnected() != 0 ? "up" : "down") + ", phase " +
            std::to_string(hub.LinkPhase()) + ", frames received " +
            std::to_string(link.FramesReceived()) + ", sent " + std::to_string(link.SendCount()) +
            ", receive errors " + std::to_string(link.RecvErrorCount()) + ", send errors " +
            std::to_string(link.SendErrorCount()) + ", status \"" + link.StatusText() + "\"");
  });
  status.start(1000);
  // The connected moment, as the README's run shows it.
  QObject::connect(&link, &tarvel::link::TOrvoComAna::OnConnected, &app,
                   [&link] { LogLine("Connected to " + link.IPAddr + ":" + link.Port); });

  if (parser.isSet(connectOpt)) hub.PressConnect();
  if (exitAfterMs) QTimer::singleShot(*exitAfterMs, &app, &QCoreApplication::quit);
  std::signal(SIGINT, [](int) { g_stop = 1; });
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  return app.exec();
}
