// tarvel: the communication server.
//
// Creates the hub (link manager, timers, link phases, dial link), the monitor window and the
// hidden System Initial Data window unless --no-window is given (then no widget exists at all),
// and with --connect presses Connect as the operator would. Every memo line also goes to the log
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
#include <string>

#include "automation/automation_host.h"
#include "config/fib_system_ini.h"
#include "config/sys_init_data.h"
#include "hub/hub_texts.h"
#include "hub/socket_hub.h"
#include "hub/socket_hub_access.h"
#include "link/orvo_com_ana.h"
#include "model/fib_sys_info.h"
#include "shm/can_dial_data.h"
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
  // The dial record is opened only where the panel link is configured.
  std::unique_ptr<tarvel::shm::TOrvoCanDialData> dialRecord;
  tarvel::hub::TSocketHub::Options options;
  if (tarvel::config::TFIBSystemINI::FixedUseASEM()) {
    dialRecord = std::make_unique<tarvel::shm::TOrvoCanDialData>(true);
    options.dialRecord.get = [&dialRecord](int i) { return dialRecord->GetDialWord(i); };
    options.dialRecord.set = [&dialRecord](int i, std::int32_t v) {
      return dialRecord->SetDialWord(i, v);
    };
  }
  tarvel::hub::TSocketHub hub(&initData, std::move(options));
  hub.OnLog = [](const std::string&, const std::string& line) { RawLine(line); };
  hub.SetMachineType(machineType);
  tarvel::link::TOrvoComAna& link = hub.Link();
  LogLine("controller address " + link.IPAddr + ":" + link.Port);
  if (hub.Dial()) hub.Dial()->CanLogging = parser.isSet(canLogOpt);

  // The automation objects act on this hub: a client's put_SocketStatus presses the same
  // Connect button and walks the same link phases as the operator.
  tarvel::hub::TSocketHubAccess hubAccess(hub, initData);
  tarvel::automation::TAutomationHost automation(startMode, hubAccess, LogLine);
  const auto automationBus = parser.isSet(systemBusOpt) ? tarvel::automation::TBusKind::kSystem
                                                        : tarvel::automation::TBusKind::kSession;
  if (!automation.Start(automationBus).ok() &&
      startMode == tarvel::automation::TStartMode::kAutomation) {
    return 3;
  }
  hub.Seams().UseEventFlag = [&hubAccess] { return !hubAccess.EventTarget().expired(); };
  std::unique_ptr<tarvel::ui::TFormSocket> window;
  // Created after the monitor window, destroyed before it; hidden until "Show Init Data" or
  // --sys-init-data shows it.
  std::unique_ptr<tarvel::ui::TFormSysInitData> initWindow;
  if (!windowless) {
    window = std::make_unique<tarvel::ui::TFormSocket>(hub, initData);
    hubAccess.WindowVisible = [&window] { return window && window->isVisible(); };
    hubAccess.ShowWindow = [&window](bool visible) {
      if (!window) return;
      if (visible) {
        window->showNormal();
        window->raise();
      } else {
        window->hide();
      }
    };
    initWindow = std::make_unique<tarvel::ui::TFormSysInitData>(initData);
    initWindow->Refresh();
    window->SetInitDataWindow(initWindow.get());
    window->InstallDeactivationHandler();

    if (parser.isSet(initDataOpt)) {
      initWindow->show();
      if (parser.isSet(screenshotOpt)) {
        const QString file = parser.value(screenshotOpt);
        QTimer::singleShot(300, initWindow.get(), [&initWindow, file] {
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
      QTimer::singleShot(
          parser.value(screenshotAfterOpt).toInt(), window.get(), [&window, file, page] {
            window->SelectPage(page.toStdString());
            window->RefreshPages();
            // Let the layouts take the refreshed texts before the capture.
            QCoreApplication::processEvents();
            LogLine(window->grab().save(file) ? "screenshot written to " + file.toStdString()
                                              : "screenshot failed: " + file.toStdString());
          });
    }
  } else {
    hub.FormShow();  // the hub part of showing: the scan timer by hardware type
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
  link.OnSessionConnected = [&link, prev = link.OnSessionConnected](QObject* s, int sock) {
    if (prev) prev(s, sock);
    LogLine("Connected to " + link.IPAddr + ":" + link.Port);
  };

  if (parser.isSet(connectOpt)) hub.PressConnect();
  if (parser.isSet(exitAfterOpt)) {
    QTimer::singleShot(static_cast<int>(parser.value(exitAfterOpt).toDouble() * 1000), &app,
                       &QCoreApplication::quit);
  }
  std::signal(SIGINT, [](int) { g_stop = 1; });
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  return app.exec();
}
