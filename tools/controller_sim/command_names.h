// The names of the commands the server sends, and their payload fields, for the simulator's
// JSON-lines log ("cmd":"CmdStageMotion","sub":3,...).
//
// One table, keyed by (unit, item, mode); some rows cover a range of items (lens values, power
// units, GIS valves). Payloads are decoded through a bounded reader: a field that is not wholly
// inside the payload is not read and the fields say "truncated":true.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"

namespace tarvel::controller_sim {

// The command's name ("CmdSysInfoRequest"), or nullptr when the table does not know the ids.
const char* CommandName(link::FrameIds ids);

// The payload's fields as JSON object members, each with a leading comma, ready to append to a
// log line after "cmd" (for example ,"sub":3,"axis":0,"mode":2,"value":1500). Unknown ids give
// ,"bytes":<n>. Strings are converted from CP932 to UTF-8.
std::string CommandFieldsJson(link::FrameIds ids, std::span<const std::uint8_t> payload);

// A decoded CmdStageMotion (10,7,1), for keeping axis targets.
struct StageMotionEntry {
  std::int32_t axis = 0;
  std::optional<std::int32_t> mode;  // lock, move, jog (direction), magnet mode
  std::optional<float> value;        // moves: the position or the offset's magnitude
};
struct StageMotion {
  std::int32_t sub = 0;  // 0 stop, 1 lock, 2 initialise, 3 move, 4 jog, 5 move XY, 6 magnet
  std::vector<StageMotionEntry> axes;
};
// nullopt when the payload is not a whole, well-formed motion command.
std::optional<StageMotion> DecodeStageMotion(std::span<const std::uint8_t> payload);

}  // namespace tarvel::controller_sim
