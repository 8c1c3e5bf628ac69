#include "controller_sim/stage_unit.h"

#include "controller_sim/command_names.h"

namespace tarvel::controller_sim {
namespace {

constexpr std::int32_t kMotionItem = 7;
constexpr std::int32_t kSubStop = 0;
constexpr std::int32_t kSubMove = 3;
constexpr std::int32_t kSubMoveXY = 5;

}  // namespace

void StageUnit::receive(link::FrameIds ids, std::span<const std::uint8_t> payload,
                        std::vector<OutFrame>&) {
  if (ids.item != kMotionItem || ids.mode != link::kModeSet) return;
  const auto motion = DecodeStageMotion(payload);
  if (!motion) return;  // logged as received; a malformed command moves nothing
  for (const StageMotionEntry& e : motion->axes) {
    if (e.axis < 0 || e.axis >= kAxes) continue;
    auto& slot = targets_[static_cast<std::size_t>(e.axis)];
    if (motion->sub == kSubStop) {
      slot.reset();
    } else if ((motion->sub == kSubMove || motion->sub == kSubMoveXY) && e.value) {
      slot = *e.value;
    } else {
      continue;
    }
    if (onTarget) onTarget(e.axis, slot);
  }
}

std::optional<float> StageUnit::target(int axis) const {
  if (axis < 0 || axis >= kAxes) return std::nullopt;
  return targets_[static_cast<std::size_t>(axis)];
}

}  // namespace tarvel::controller_sim
