// TDispatcher: where the link manager hands every complete frame.
//
// The link manager calls Dispatch once per frame and then PublishChanges, always in that order,
// whatever unit the frame was for. The unit models and the publication pass live behind this
// seam; the base class handles nothing, so a link without models still reads the stream.
#pragma once

#include "link/frame_receiver.h"

namespace tarvel::link {

class TDispatcher {
 public:
  virtual ~TDispatcher() = default;
  // `frame` and its spans are valid only during the call.
  virtual void Dispatch(const ReceivedFrame& frame) { (void)frame; }
  virtual void PublishChanges() {}
};

}  // namespace tarvel::link
