#include "link/output_queue.h"

#include <algorithm>

namespace tarvel::link {

void OutputQueue::push(std::initializer_list<std::span<const std::uint8_t>> parts,
                       std::size_t skipFront) {
  std::vector<std::uint8_t> frame;
  std::size_t total = 0;
  for (const auto& p : parts) total += p.size();
  frame.reserve(total - std::min(skipFront, total));
  for (const auto& p : parts) {
    const std::size_t skip = std::min(skipFront, p.size());
    frame.insert(frame.end(), p.begin() + static_cast<std::ptrdiff_t>(skip), p.end());
    skipFront -= skip;
  }
  if (frame.empty()) return;
  bytes_ += frame.size();
  frames_.push_back(std::move(frame));
}

std::span<const std::uint8_t> OutputQueue::front() const {
  if (frames_.empty()) return {};
  return std::span<const std::uint8_t>(frames_.front()).subspan(frontSent_);
}

void OutputQueue::consume(std::size_t n) {
  while (n > 0 && !frames_.empty()) {
    const std::size_t left = frames_.front().size() - frontSent_;
    const std::size_t take = std::min(n, left);
    frontSent_ += take;
    bytes_ -= take;
    n -= take;
    if (frontSent_ == frames_.front().size()) {
      frames_.pop_front();
      frontSent_ = 0;
    }
  }
}

std::size_t OutputQueue::clear() {
  const std::size_t dropped = frames_.size();
  frames_.clear();
  frontSent_ = 0;
  bytes_ = 0;
  return dropped;
}

}  // namespace tarvel::link
