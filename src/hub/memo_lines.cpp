#include "hub/memo_lines.h"

#include <algorithm>

namespace tarvel::hub {

TMemoLines::TMemoLines(std::string name, std::size_t limit)
    : name_(std::move(name)), limit_(limit) {}

void TMemoLines::Add(std::string line) {
  if (OnLog) OnLog(name_, line);
  lines_.push_back(std::move(line));
  if (OnAdded) OnAdded(lines_.back());
  if (limit_ != 0 && lines_.size() > limit_) RemoveFirst(lines_.size() - limit_);
}

void TMemoLines::RemoveFirst(std::size_t n) {
  n = std::min(n, lines_.size());
  if (n == 0) return;
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(n));
  if (OnRemovedFront) OnRemovedFront(n);
}

void TMemoLines::Clear() {
  lines_.clear();
  if (OnCleared) OnCleared();
}

void TMemoLines::TrimLong() {
  if (lines_.size() > kTrimAbove) RemoveFirst(kTrimBy);
}

}  // namespace tarvel::hub
