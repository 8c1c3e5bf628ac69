// tarvel: the communication server.
//
// For now it creates the link manager, reads the connection file ("../Data/NetInfo.INI"), and
// with --connect connects to the controller as the Connect button does, then reports what the
// link does on the log (stderr, or the file given by --log).
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "automation/automation_host.h"
#include "config/sys_init_data.h"
#include "link/orvo_com_ana.h"
#include "link/socket_errors.h"
#include "model/fib_sys_info.h"
#include "ui/form_sys_init_data.h"

namespace {

std::FILE* g_log = stderr;
volatile std::sig_atomic_t g_stop = 0;  // set by SIGINT/SIGTERM, acted on by the main tick

void LogLine(const std::string& text) {
  const QString stamp = QDateTime::currentDateTime().toString("yy/MM/dd hh:mm:ss");
  std::fprintf(g_log, "%s: %s\n", stamp.toUtf8().constData(), text.c_str());
  std::fflush(g_log);
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
  parser.addOptions(
      {connectOpt, noWindowOpt, logOpt, exitAfterOpt, initDataOpt, screenshotOpt, machineOpt});
  parser.process(app);

  if (parser.isSet(logOpt)) {
    g_log = std::fopen(parser.value(logOpt).toLocal8Bit().constData(), "a");
    if (!g_log) {
      std::fprintf(stderr, "tarvel: cannot open log file %s\n",
                   parser.value(logOpt).toLocal8Bit().constData());
      return 2;
    }
  }

  tarvel::automation::TAutomationHost::Prepare(startMode, LogLine);
  // The installation's configuration: FIBSystem.INI is created with defaults when missing.
  const int machineType = parser.value(machineOpt).toInt() == 2 ? 2 : 1;
  tarvel::config::TSysInitData initData(&tarvel::model::FindDataDir);
  if (initData.LoadInitData(machineType).ok()) {
    LogLine("configuration loaded");
  } else {
    LogLine("configuration: " + initData.StatusText());
  }
  std::unique_ptr<tarvel::ui::TFormSysInitData> initWindow;
  if (!windowless && parser.isSet(initDataOpt)) {
    initWindow = std::make_unique<tarvel::ui::TFormSysInitData>(initData);
    initWindow->Refresh();
    initWindow->show();
    if (parser.isSet(screenshotOpt)) {
      const QString file = parser.value(screenshotOpt);
      QTimer::singleShot(300, initWindow.get(), [&initWindow, file] {
        LogLine(initWindow->grab().save(file) ? "screenshot written to " + file.toStdString()
                                              : "screenshot failed: " + file.toStdString());
      });
    }
  }

  tarvel::link::TOrvoComAna link;
  link.IniFileName = "NetInfo.INI";
  link.LoadNetInfo();
  LogLine("controller address " + link.IPAddr + ":" + link.Port);

  link.OnTimer = [&link](QObject*) { LogLine(link.StatusText()); };
  link.OnMessage = [](const std::string& title, const std::string& text) {
    LogLine(title + ": " + text);
  };
  link.OnErrOccurred = [](QObject*, int, int error, const std::string& msg) {
    LogLine("Socket Error " + std::to_string(error) + ": " + msg);
  };
  tarvel::automation::TAutomationHost automation(startMode, link, initData, LogLine);
  if (!automation.Start().ok() && startMode == tarvel::automation::TStartMode::kAutomation)
    return 3;
  // The main tick: notices the connection and a stop request, and logs a status line once a
  // second while frames arrive.
  QTimer tick;
  std::int16_t wasConnected = 0;
  int ticks = 0;
  std::int64_t lastFrames = -1;
  std::string lastIdentity = link.SystemInfo().IdentitySummary();
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (g_stop) {
      QCoreApplication::quit();
      return;
    }
    if (link.IsConnected() != wasConnected) {
      wasConnected = link.IsConnected();
      if (wasConnected) {
        LogLine("Connected to " + link.IPAddr + ":" + link.Port);
        (void)link.CmdSysInfoRequest();
        link.CycleRequest(1, true);
      } else {
        LogLine("Disconnected");
      }
    }
    const std::string identity = link.SystemInfo().IdentitySummary();
    if (identity != lastIdentity) {
      lastIdentity = identity;
      LogLine("controller: " + identity);
    }
    if (++ticks % 10 != 0 || link.FramesReceived() == lastFrames) return;
    lastFrames = link.FramesReceived();
    LogLine("link " + std::string(link.Socket() != -1 && !link.Closed() ? "up" : "down") +
            ", frames received " + std::to_string(link.FramesReceived()) + ", receive errors " +
            std::to_string(link.RecvErrorCount()) + ", send errors " +
            std::to_string(link.SendErrorCount()) + ", status \"" + link.StatusText() + "\"");
  });
  tick.start(100);

  if (parser.isSet(connectOpt)) link.Connect();
  if (parser.isSet(exitAfterOpt)) {
    QTimer::singleShot(static_cast<int>(parser.value(exitAfterOpt).toDouble() * 1000), &app,
                       &QCoreApplication::quit);
  }
  std::signal(SIGINT, [](int) { g_stop = 1; });
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  return app.exec();
}
