#include "model/orvo_stage_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/byte_reader.h"

namespace tarvel::model {
namespace {
constexpr std::int32_t kItemFullReport = 1;
constexpr std::int32_t kModeReport = 2;
}  // namespace

void TOrvoStageInfo::Receive(const link::FrameIds& ids, std::span<const std::uint8_t> payload) {
  Receive(ids, payload, Clock::now());
}

void TOrvoStageInfo::Receive(const link::FrameIds& ids, std::span<const std::uint8_t> payload,
                             Clock::time_point now) {
  if (ids.mode != kModeReport || ids.item != kItemFullReport) return;
  base::ByteReader r(payload);
  std::int32_t count = 0;
  if (!r.readI32be(&count)) return;
  // The stage status words are not kept yet; a report cut short here has no axes either.
  for (int i = 0; i < kStageStatusWords; ++i) {
    std::int32_t word = 0;
    if (!r.readI32be(&word)) break;
  }
  // A report may claim more axes than the stage has, or more than it carries.
  const int axes = std::clamp<std::int32_t>(count, 0, kAxes);
  for (int i = 0; i < axes; ++i) {
    std::int32_t v[5];
    bool whole = true;
    for (std::int32_t& x : v) whole = whole && r.readI32be(&x);
    if (!whole) break;
    AxisInformation& a = axes_[static_cast<std::size_t>(i)];
    a.status = v[0];
    a.status2 = v[1];
    a.status3 = v[2];
    a.position = v[3];
    a.rawPosition = static_cast<std::uint32_t>(v[4]);
    if (a.status & 0x8) pending_[static_cast<std::size_t>(i)] = false;
    if (!a.moveRequested) continue;
    if (a.reportCount == 0) moveStart_[static_cast<std::size_t>(i)] = now;
    ++a.reportCount;
    if ((a.status & 0x1) == 0) {
      const double off = std::fabs(static_cast<double>(a.position) - a.target);
      const bool arrived =
          off < kArrivedDistance || (i == kAxisR && kFullTurn - off < kArrivedDistance);
      if (arrived || now - moveStart_[static_cast<std::size_t>(i)] >= kMoveGiveUp) {
        a.moveRequested = false;
      }
    }
    // Until it arrives or gives up, the axis keeps reporting "moving".
    if (a.moveRequested) a.status |= 0x1;
  }
  changed_ = true;
}

bool TOrvoStageInfo::TakeChanged() {
  const bool was = changed_;
  changed_ = false;
  return was;
}

bool TOrvoStageInfo::IsMoveDone(int axis) const {
  if (!Valid(axis)) return true;
  const AxisInformation& a = axes_[static_cast<std::size_t>(axis)];
  return !a.moveRequested && (a.status & 0x1) == 0;
}

bool TOrvoStageInfo::SetTarget(int axis, double value) {
  if (!Valid(axis) || !std::isfinite(value)) return false;
  AxisInformation& a = axes_[static_cast<std::size_t>(axis)];
  if (axis == kAxisR) {
    // Bounded even for absurd inputs: fmod instead of a subtraction loop.
    if (value >= kFullTurn) value = std::fmod(value, kFullTurn);
  }
  a.target = static_cast<float>(value);
  if (std::fabs(static_cast<double>(a.position) - static_cast<double>(a.target)) > kMoveThreshold) {
    a.moveRequested = true;
    a.reportCount = 0;
  }
  const bool inRange = InRange(axis);
  if (!inRange) a.moveRequested = false;
  return inRange;
}

bool TOrvoStageInfo::InRange(int axis) const {
  if (!Valid(axis)) return false;
  return CheckLimit(axis, axes_[static_cast<std::size_t>(axis)].target);
}

bool TOrvoStageInfo::CheckLimit(int axis, double value) const {
  if (!Valid(axis) || std::isnan(value)) return false;
  const AxisInformation& a = axes_[static_cast<std::size_t>(axis)];
  const double lower = a.parameters[4];
  const double upper = a.parameters[5];
  if (axis == kAxisR && upper < lower) return value >= lower || value <= upper;
  return lower <= value && value <= upper;
}

void TOrvoStageInfo::CancelMove(int axis) {
  if (!Valid(axis)) return;
  AxisInformation& a = axes_[static_cast<std::size_t>(axis)];
  a.target = static_cast<float>(a.position);
  a.moveRequested = false;
}

void TOrvoStageInfo::MarkCommandSent(int axis, Clock::time_point now) {
  if (!Valid(axis)) return;
  pending_[static_cast<std::size_t>(axis)] = true;
  pendingDeadline_[static_cast<std::size_t>(axis)] = now + kPendingTime;
}

bool TOrvoStageInfo::IsPending(int axis) const {
  return Valid(axis) && pending_[static_cast<std::size_t>(axis)];
}

TOrvoStageInfo::Clock::time_point TOrvoStageInfo::PendingDeadline(int axis) const {
  return Valid(axis) ? pendingDeadline_[static_cast<std::size_t>(axis)] : Clock::time_point{};
}

void TOrvoStageInfo::ClearPending(int axis) {
  if (Valid(axis)) pending_[static_cast<std::size_t>(axis)] = false;
}

void TOrvoStageInfo::SetAxisRaw(int axis, float value) {
  if (!Valid(axis) || !std::isfinite(value)) return;
  AxisInformation& a = axes_[static_cast<std::size_t>(axis)];
  std::memcpy(&a.rawPosition, &value, sizeof value);
  // Saturate: a real beyond the 32-bit range must not become an undefined conversion.
  const double r = std::round(static_cast<double>(value));
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  a.position = static_cast<std::int32_t>(r < kMin ? kMin : (r > kMax ? kMax : r));
}

void TOrvoStageInfo::SetAxisParameter(int axis, int index, std::int32_t value) {
  if (!Valid(axis) || index < 0 || index >= 13) return;
  axes_[static_cast<std::size_t>(axis)].parameters[static_cast<std::size_t>(index)] = value;
}

AxisInformation TOrvoStageInfo::Axis(int axis) const {
  return Valid(axis) ? axes_[static_cast<std::size_t>(axis)] : AxisInformation{};
}

}  // namespace tarvel::model
