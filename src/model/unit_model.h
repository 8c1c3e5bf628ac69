// TUnitModel: what the dispatcher asks of every unit model.
//
// A model decodes the frames of its unit and raises change flags; the publication pass reads
// them through test-and-clear queries that each model offers by name, so every change is
// published once. Models decode only: they never write a shared record (the publication pass
// does), never send and never wait. `Receive` is given the ids in host order and the payload
// bytes after the header; the span is valid only during the call. Main thread only.
#pragma once

#include <cstdint>
#include <span>

#include "link/frame.h"

namespace tarvel::model {

class TUnitModel {
 public:
  virtual ~TUnitModel() = default;
  // One frame of this model's unit. Items the model does not act on change nothing; a field
  // not wholly inside the payload keeps its value.
  virtual void Receive(const link::FrameIds& ids, std::span<const std::uint8_t> payload) = 0;
};

}  // namespace tarvel::model
