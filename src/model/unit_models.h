// TUnitModels: every unit model of the machine, owned in one place.
//
// The composition root owns one instance for the whole run; the dispatcher routes frames to
// its members through its unit table, the command catalogue and the hub read them. A model
// joins by becoming a member here and one row of the dispatcher's table. Main thread only.
#pragma once

#include "model/orvo_stage_info.h"
#include "model/orvo_system_info.h"

namespace tarvel::model {

struct TUnitModels {
  TOrvoSystemInfo System;  // unit 1
  TOrvoStageInfo Stage;    // unit 10
};

}  // namespace tarvel::model
