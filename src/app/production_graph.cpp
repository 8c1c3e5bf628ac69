#include "app/production_graph.h"

#include <system_error>

#include <QDateTime>

#include "config/paths.h"
#include "hub/hub_texts.h"
#include "ui/form_socket.h"
#include "ui/form_sys_init_data.h"

namespace tarvel::app {

TProductionGraph::TProductionGraph(TGraphOptions options)
    : options_(std::move(options)),
      records_(RecordOptionsOf(this, options_.records)),
      machineState_(records_, models_),
      dispatcher_(models_),
      link_(dispatcher_, models_, machineState_),
      initData_(options_.findDataDir),
      hub_(link_, models_, records_, initData_, options_.hub),
      hubAccess_(hub_),
      automation_(options_.startMode, hubAccess_, [this](const std::string& l) { Log(l); }) {
  hubReady_ = true;
  QObject::connect(&hub_, &hub::TSocketHub::MachineTypeChanged, &link_,
                   [this](int type) { link_.SetMachineType(type); });
  hub_.SetMachineType(options_.machineType == 2 ? 2 : 1);
  if (options_.port) link_.Port = *options_.port;
  if (!options_.window) return;
  window_ = std::make_unique<ui::TFormSocket>(hub_, initData_);
  // The window starts hidden and minimised, so "can't connect" can bring it up.
  window_->setWindowState(window_->windowState() | Qt::WindowMinimized);
  initWindow_ = std::make_unique<ui::TFormSysInitData>(initData_);
  initWindow_->Refresh();
  window_->SetInitDataWindow(initWindow_.get());
  window_->InstallDeactivationHandler();
}

shm::RecordOptions TProductionGraph::RecordOptionsOf(TProductionGraph* graph,
                                                     shm::RecordOptions o) {
  if (!o.log) o.log = [graph](const std::string& line) { graph->RecordFailure(line); };
  return o;
}

void TProductionGraph::RecordFailure(const std::string& line) {
  if (hubReady_) {
    hub_.MemoSocket().Add(
        hub::StampedLine("Shared records: " + line, QDateTime::currentDateTime()));
  } else {
    Log("Shared records: " + line);
  }
}

TProductionGraph::~TProductionGraph() {
  hubReady_ = false;
  initWindow_.reset();
  window_.reset();
}

void TProductionGraph::ReadInitialDataAtStart() {
  // The CL type and the stage constants follow the initial-data file; without this the System
  // page shows "Type-98" and "Save CL Type" fails until a client sets CurDir.
  std::error_code ec;
  const std::filesystem::path file =
      config::ResolveCaseInsensitive(config::NativePath(link_.Path) / "ORVOInitData.INI");
  if (!std::filesystem::exists(file, ec)) return;
  if (base::Status s = hub_.ReopenDataFiles(link_.Path); !s.ok()) {
    Log("initial data: " + s.message());
  }
}

base::Status TProductionGraph::Start() {
  // Scan state words start cleared for every client that opens the monitor record. A record
  // that could not be opened has already said why; the server runs without it.
  (void)records_.Monitor.SetScanState(0);
  (void)records_.Monitor.SetScanRunning(0);
  (void)records_.Monitor.SetScanState2(0);
  ReadInitialDataAtStart();
  if (!window_) hub_.FormShow();  // the hub part of showing: the scan timer by hardware type
  return automation_.Start(
      options_.systemBus ? automation::TBusKind::kSystem : automation::TBusKind::kSession,
      options_.busName);
}

}  // namespace tarvel::app
