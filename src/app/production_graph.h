// TProductionGraph: the whole running server, built in one place.
//
// `tarvel`'s main parses its options and builds this; the production-graph test builds the
// same graph headless. Members are declared in construction order: the shared records, the
// unit models, the command state over both, the dispatcher, the link manager, the
// configuration, the hub, the automation objects' access to it and the automation host; then,
// when a window is wanted, the monitor window and the initial-data window. Every collaborator
// is a required reference of the part that uses it; nothing falls back to a stand-in.
//
// Record-layer failures (a record that cannot be opened or adopted, a skipped access, a mutex
// taken over) go to the socket memo, whose lines reach the log; before the hub exists, to the
// log. Start-up steps run in Start(): the scan state words of the monitor record are cleared, the
// CL type is read from the initial-data file when the data folder has one, the automation
// server claims its bus name. Main thread only.
#pragma once

#include <QDBusConnection>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/machine_state.h"
#include "automation/automation_host.h"
#include "config/sys_init_data.h"
#include "hub/socket_hub.h"
#include "hub/socket_hub_access.h"
#include "link/dispatcher.h"
#include "link/orvo_com_ana.h"
#include "model/unit_models.h"
#include "shm/shared_records.h"

namespace tarvel::ui {
class TFormSocket;
class TFormSysInitData;
}  // namespace tarvel::ui

namespace tarvel::app {

struct TGraphOptions {
  automation::TStartMode startMode = automation::TStartMode::kUser;
  bool window = false;              // build the monitor and initial-data windows
  int machineType = 1;              // the hub's machine type at start
  std::optional<std::string> port;  // overrides the controller port (tests)
  hub::TSocketHub::Options hub;
  shm::RecordOptions records;
  // Finds the data folder of FIBSystem.INI for a machine type.
  std::function<base::Result<std::string>(int machineType)> findDataDir;
  bool systemBus = false;  // serve the automation objects on the system bus
  QString busName = automation::TAutomationServer::kServiceName;
  // A line of the program's own, to be stamped. Memo lines (stamped already) go to hub.log.
  std::function<void(const std::string&)> log;
};

class TProductionGraph {
 public:
  explicit TProductionGraph(TGraphOptions options);
  ~TProductionGraph();
  TProductionGraph(const TProductionGraph&) = delete;
  TProductionGraph& operator=(const TProductionGraph&) = delete;

  // The start-up steps and the automation server. Fails only when the bus name cannot be
  // claimed; the caller decides whether that ends the program.
  base::Status Start();

  shm::TSharedRecords& Records() { return records_; }
  model::TUnitModels& Models() { return models_; }
  TMachineState& MachineState() { return machineState_; }
  link::TDispatcher& Dispatcher() { return dispatcher_; }
  link::TOrvoComAna& Link() { return link_; }
  config::TSysInitData& InitData() { return initData_; }
  hub::TSocketHub& Hub() { return hub_; }
  hub::TSocketHubAccess& HubAccess() { return hubAccess_; }
  automation::TAutomationHost& Automation() { return automation_; }
  ui::TFormSocket* Window() { return window_.get(); }
  ui::TFormSysInitData* InitWindow() { return initWindow_.get(); }

 private:
  void Log(const std::string& line) const {
    if (options_.log) options_.log(line);
  }
  void ReadInitialDataAtStart();
  // A failure of the record layer: the socket memo (and so the log) once the hub exists, the
  // log before.
  void RecordFailure(const std::string& line);
  static shm::RecordOptions RecordOptionsOf(TProductionGraph* graph, shm::RecordOptions o);

  TGraphOptions options_;
  bool hubReady_ = false;
  shm::TSharedRecords records_;
  model::TUnitModels models_;
  TMachineState machineState_;
  link::TDispatcher dispatcher_;
  link::TOrvoComAna link_;
  config::TSysInitData initData_;
  hub::TSocketHub hub_;
  hub::TSocketHubAccess hubAccess_;
  automation::TAutomationHost automation_;
  std::unique_ptr<ui::TFormSocket> window_;
  // Created after the monitor window, destroyed before it.
  std::unique_ptr<ui::TFormSysInitData> initWindow_;
};

}  // namespace tarvel::app
