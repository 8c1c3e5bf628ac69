#include "app/machine_state.h"

#include <limits>

namespace tarvel::app {

int TMachineState::GetMagIndex() const {
  const auto mag = records_.Monitor.GetMagIndex();
  return mag.ok() ? *mag : -1;  // outside the table: the catalogue skips the width check
}

std::int16_t TMachineState::GetMonitorWord() const {
  const auto word = records_.Monitor.GetMonitorWord();
  // 0 would switch the check off; a record that cannot be read must not do that.
  return word.ok() ? *word : std::int16_t{-1};
}

double TMachineState::GetStageAxis(int axis) const {
  const auto v = records_.Stage.GetStageAxis(axis);
  return v.ok() ? *v : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace tarvel::app
