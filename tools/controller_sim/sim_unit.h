// SimUnit: one machine unit of the simulated controller.
//
// The server hands every received frame of a unit to that unit's SimUnit and sends back what it
// appends. Units run on the server's single thread and own their state.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "link/frame.h"

namespace tarvel::controller_sim {

// One frame the controller sends: ids and a payload already in wire order.
struct OutFrame {
  link::FrameIds ids;
  std::vector<std::uint8_t> payload;
};

class SimUnit {
 public:
  virtual ~SimUnit() = default;
  virtual std::int32_t unitId() const = 0;
  // A received frame of this unit; appends the frames the controller answers with (maybe none).
  virtual void receive(link::FrameIds ids, std::span<const std::uint8_t> payload,
                       std::vector<OutFrame>& replies) = 0;
  // Report `item` as the controller sends it unasked; false when the unit has no such report.
  virtual bool report(std::int32_t item, std::vector<OutFrame>& out) = 0;
};

}  // namespace tarvel::controller_sim
