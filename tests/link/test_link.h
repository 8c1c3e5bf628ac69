// A link manager with the parts it is built from, for tests that run the link on its own.
//
// The parts (unit models, a scripted command state, the real dispatcher) are constructed
// before the link and outlive it, as in the production graph. TScriptedState answers what a
// test sets; by default the blanking check is off (monitor word 0), which is what a link with
// no machine state would read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/command_state.h"
#include "link/dispatcher.h"
#include "link/orvo_com_ana.h"
#include "model/unit_models.h"

namespace tarvel::link::test {

struct TScriptedState : TCommandState {
  int magIndex = -1;
  std::int16_t monitorWord = 0;
  double axes[10] = {};
  bool flagB = false;
  std::string hardType;
  bool extraBoard = false;
  TScanCondition condition;
  std::vector<std::uint8_t> bulk;

  int GetMagIndex() const override { return magIndex; }
  std::int16_t GetMonitorWord() const override { return monitorWord; }
  double GetStageAxis(int axis) const override { return axis >= 0 && axis < 10 ? axes[axis] : 0.0; }
  bool SwitchFlagB() const override { return flagB; }
  std::string SysHardType() const override { return hardType; }
  bool Hard3HasExtraOutputBoard() const override { return extraBoard; }
  TScanCondition ScanCondition() const override { return condition; }
  std::span<const std::uint8_t> ScanBulkData() const override { return bulk; }
};

template <typename State>
struct TLinkPartsWith {
  model::TUnitModels partModels;
  State partState;
  TDispatcher partDispatcher{partModels};
};

class TTestLink : public TLinkPartsWith<TScriptedState>, public TOrvoComAna {
 public:
  TTestLink() : TOrvoComAna(partDispatcher, partModels, partState) {}
  TScriptedState& State() { return partState; }
  model::TUnitModels& Models() { return partModels; }
};

}  // namespace tarvel::link::test
