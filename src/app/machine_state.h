// TMachineState: the state the command catalogue reads, over the real records and models.
//
// The blanking check before a stage move reads the monitor record's magnification index and
// monitor word and the stage record's positions; the scan pre-step reads the system model's
// hardware type. Models that are not built yet (optics switch flag B, the Hard3 boards, the
// scan condition and its pattern block) answer as a machine without them: flag B clear, no
// extra board, an empty condition, no block. A record access that fails answers so that the
// check errs on the safe side (monitor word -1 keeps the blanking check on; an unknown tilt
// blanks). Borrows the records and models, which must outlive it. Main thread only.
#pragma once

#include "link/command_state.h"
#include "model/unit_models.h"
#include "shm/shared_records.h"

namespace tarvel::app {

class TMachineState : public link::TCommandState {
 public:
  TMachineState(shm::TSharedRecords& records, model::TUnitModels& models)
      : records_(records), models_(models) {}

  int GetMagIndex() const override;
  std::int16_t GetMonitorWord() const override;
  double GetStageAxis(int axis) const override;
  bool SwitchFlagB() const override { return false; }
  std::string SysHardType() const override { return models_.System.SysInformation().SysHardType; }
  bool Hard3HasExtraOutputBoard() const override { return false; }
  link::TScanCondition ScanCondition() const override { return {}; }
  std::span<const std::uint8_t> ScanBulkData() const override { return {}; }

 private:
  shm::TSharedRecords& records_;
  model::TUnitModels& models_;
};

}  // namespace tarvel::app
