// FrameCutter: cuts the byte stream the server sends into whole frames, whatever the splits.
//
// feed() appends what a read returned; next() yields one frame, NeedMore, or Error. The declared
// length is checked as soon as the first 8 bytes are in, so nothing is buffered for a length
// outside 12..kMaxFrameLength. On Error the buffered bytes are dropped: after a broken header
// nothing in the buffer can be trusted to start a frame, and the server never sends one, so the
// event only needs to be visible in the log. Single-threaded; the returned frame is a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"

namespace tarvel::controller_sim {

class FrameCutter {
 public:
  struct Frame {
    link::FrameIds ids;
    std::int32_t frameLength = 0;  // as on the wire: 12 + payload size
    std::vector<std::uint8_t> payload;
  };
  enum class Next { kFrame, kNeedMore, kError };

  void feed(std::span<const std::uint8_t> bytes);
  // On kFrame fills *frame; on kError fills *error with the reason and at most 64 bytes of hex.
  Next next(Frame* frame, std::string* error);
  std::size_t buffered() const { return buffer_.size() - pos_; }

 private:
  void compact();

  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;  // start of the first unconsumed byte in buffer_
};

}  // namespace tarvel::controller_sim
