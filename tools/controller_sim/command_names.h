// The names of the commands the server sends, for the "cmd" field of the simulator's log.
//
// One table, keyed by (unit, item, mode); units are added to it as the simulator learns them.
#pragma once

#include "link/frame.h"

namespace tarvel::controller_sim {

// The command's name ("CmdSysInfoRequest"), or nullptr when the table does not know the ids.
const char* CommandName(link::FrameIds ids);

}  // namespace tarvel::controller_sim
