// TSharedRecords: the five shared records the server publishes, opened as their master.
//
// The composition root owns the one instance of a run; the dispatcher's publication pass, the
// hub, the command state and the window borrow it. Opening never fails: a record that could not
// be opened reports through its OpenStatus() and its accesses fail, so the server still runs.
// Records are opened in a fixed order (monitor, ion, stage, monitoring SEM, dial) and the
// monitor record borrows the stage record for its alarm-87 log line. Main thread only.
#pragma once

#include "shm/can_dial_data.h"
#include "shm/ion_data.h"
#include "shm/monit_data.h"
#include "shm/monitoring_sem_data.h"
#include "shm/stage_data.h"

namespace tarvel::shm {

struct TSharedRecords {
  explicit TSharedRecords(const RecordOptions& options = {})
      : Monitor(true, options),
        Ion(true, options),
        Stage(true, options),
        MonitoringSEM(true, options),
        CanDial(true, options) {
    Monitor.SetStageRecord(&Stage);
  }
  ~TSharedRecords() { Monitor.SetStageRecord(nullptr); }
  TSharedRecords(const TSharedRecords&) = delete;
  TSharedRecords& operator=(const TSharedRecords&) = delete;

  TOrvoMonitData Monitor;
  TOrvoIonData Ion;
  TOrvoStageData Stage;
  TMonitoringSEMData MonitoringSEM;
  TOrvoCanDialData CanDial;
};

}  // namespace tarvel::shm
