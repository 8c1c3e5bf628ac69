// StageUnit: the simulated stage (unit 10). For now it keeps the axis targets that the server's
// motion commands set, so later reports can move the axes toward them; it sends no reports yet.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "controller_sim/sim_unit.h"

namespace tarvel::controller_sim {

class StageUnit : public SimUnit {
 public:
  static constexpr int kAxes = 10;

  std::int32_t unitId() const override { return link::kUnitStage; }
  void receive(link::FrameIds ids, std::span<const std::uint8_t> payload,
               std::vector<OutFrame>& replies) override;
  bool report(std::int32_t, std::vector<OutFrame>&) override { return false; }

  // The target of an axis, once a move named one.
  std::optional<float> target(int axis) const;
  // Called for every target a move sets, and with nullopt when a stop clears one.
  std::function<void(int axis, std::optional<float> target)> onTarget;

 private:
  std::array<std::optional<float>, kAxes> targets_{};
};

}  // namespace tarvel::controller_sim
