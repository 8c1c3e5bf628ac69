// TOrvoStageInfo: the stage model, the server's view of the specimen stage.
//
// Holds, per axis, the position the controller reported, the limits from its parameters and the
// move the server itself requested (target, move-requested flag), plus the pending mark of an
// axis command and the spare flag the link manager sets when it blanked the beam for a move.
//
// It decodes the full stage report (unit 10 item 1: statuses, positions, move tracking); the
// other unit-10 reports join it in the same class.
//
// Axis numbers: 0 X, 1 Y, 2 Z, 3 T, 4 R, 5 and 6 aperture axes, 7..9 spare. Operations given an
// axis outside 0..9 change nothing and answer false (or 0).
//
// Main thread only.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "model/unit_model.h"

namespace tarvel::model {

// One axis of StageInformation (only the fields in use so far).
struct AxisInformation {
  std::int32_t status = 0;  // bit 0 moving, bit 2 initialised, bit 3 command acknowledged
  std::int32_t status2 = 0;
  std::int32_t status3 = 0;
  std::array<std::int32_t, 13> parameters{};  // 2 travel range, 4 lower limit, 5 upper limit
  std::int32_t position = 0;                  // controller units
  std::uint32_t rawPosition = 0;              // bits of a single-precision real
  float target = 0.0f;
  bool moveRequested = false;
  std::int32_t reportCount = 0;  // reports since the move was requested
};

class TOrvoStageInfo : public TUnitModel {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr int kAxes = 10;
  static constexpr int kAxisR = 4;
  // A target this far from the position (or less) requests no move.
  static constexpr double kMoveThreshold = 50.0;
  static constexpr double kFullTurn = 360000.0;  // R axis, millidegrees
  static constexpr std::chrono::seconds kPendingTime{5};
  // A stopped axis this close to its target has finished its move.
  static constexpr double kArrivedDistance = 10.0;
  // A move the controller reports stopped is given up this long after it started (monotonic).
  static constexpr std::chrono::milliseconds kMoveGiveUp{10000};
  static constexpr int kStageStatusWords = 4;  // item 1: between the axis count and the axes

  // Unit-10 frames; only mode 2 reports are read. Item 1 is the full report; other items are
  // not decoded yet and change nothing.
  void Receive(const link::FrameIds& ids, std::span<const std::uint8_t> payload) override;
  void Receive(const link::FrameIds& ids, std::span<const std::uint8_t> payload,
               Clock::time_point now);
  // Test-and-clear: every full report counts as a change.
  bool TakeChanged();
  // No move this server requested is still open and the controller does not report moving.
  bool IsMoveDone(int axis) const;

  // Records `value` as the target of `axis` (R wrapped below one turn); requests a move when it
  // is more than kMoveThreshold from the position. Returns InRange(axis); an out-of-range target
  // leaves no move requested.
  bool SetTarget(int axis, double value);
  // Whether the stored target lies within the axis limits.
  bool InRange(int axis) const;
  // Whether `value` lies within the axis limits. For R, an upper limit below the lower one is a
  // range across 0.
  bool CheckLimit(int axis, double value) const;
  void CancelMove(int axis);

  // An axis command (move or initialise) was sent: the axis is pending for kPendingTime or until
  // a report acknowledges it.
  void MarkCommandSent(int axis, Clock::time_point now = Clock::now());
  bool IsPending(int axis) const;
  Clock::time_point PendingDeadline(int axis) const;
  void ClearPending(int axis);

  // Offline and test use: position := value rounded, raw word := its bits.
  void SetAxisRaw(int axis, float value);
  void SetAxisParameter(int axis, int index, std::int32_t value);

  void SetSpareFlag(std::uint8_t v) { spareFlag_ = v; }
  std::uint8_t SpareFlag() const { return spareFlag_; }

  // A copy of one axis record; a default record for an axis outside 0..9.
  AxisInformation Axis(int axis) const;

 private:
  static bool Valid(int axis) { return axis >= 0 && axis < kAxes; }

  std::array<AxisInformation, kAxes> axes_{};
  std::array<bool, kAxes> pending_{};
  std::array<Clock::time_point, kAxes> pendingDeadline_{};
  std::array<Clock::time_point, kAxes> moveStart_{};
  bool changed_ = false;
  std::uint8_t spareFlag_ = 0;  // set while the beam is blanked for a move
};

}  // namespace tarvel::model
