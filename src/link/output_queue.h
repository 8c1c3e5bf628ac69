// OutputQueue: frames accepted for sending that the socket could not take yet.
//
// Whole frames are queued in order; the front one may be partly sent. The queue is bounded in
// bytes: a frame that does not fit is refused whole, so nothing ever leaves half a frame behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace tarvel::link {

class OutputQueue {
 public:
  // Room for the largest bulk frames (image data) with some frames behind them. 64 MiB.
  static constexpr std::size_t kMaxBytes = 64u * 1024 * 1024;

  bool empty() const { return frames_.empty(); }
  std::size_t bytes() const { return bytes_; }
  std::size_t frames() const { return frames_.size(); }
  bool fits(std::size_t n) const { return n <= kMaxBytes - bytes_; }

  // Queues one frame made of `parts` (concatenated). The caller checked fits().
  void push(std::initializer_list<std::span<const std::uint8_t>> parts, std::size_t skipFront = 0);
  // The unsent bytes of the front frame.
  std::span<const std::uint8_t> front() const;
  // `n` bytes of the front frame were sent.
  void consume(std::size_t n);
  // Drops everything; returns the number of frames that were not (completely) sent.
  std::size_t clear();

 private:
  std::deque<std::vector<std::uint8_t>> frames_;
  std::size_t frontSent_ = 0;  // bytes of frames_.front() already on the wire
  std::size_t bytes_ = 0;      // unsent bytes in all
};

}  // namespace tarvel::link
