// Command catalogue: units 9 (vacuum) and 10 (stage), with the blanking check before moves.
#include <cmath>
#include <numbers>
#include <string>

#include "link/field_width_table.h"
#include "link/frame_format.h"
#include "link/orvo_commands.h"

namespace tarvel::link {

using base::ByteWriter;
using base::Status;

namespace {

enum MotionSub : std::int32_t {
  kSubStop = 0,
  kSubLock = 1,
  kSubInit = 2,
  kSubGo = 3,
  kSubJog = 4,
  kSubGoXY = 5,
  kSubMagnet = 6
};
enum MoveMode : std::int32_t { kRelPlus = 0, kRelMinus = 1, kAbsolute = 2 };

constexpr int kAxisX = 0;
constexpr int kAxisY = 1;
constexpr int kAxisT = 3;

Status CheckAxis(std::int32_t axis) {
  if (axis >= 0 && axis < model::TOrvoStageInfo::kAxes) return {};
  return Status::InvalidArgument("stage axis " + std::to_string(axis) + " is not 0..9");
}

Status CheckPosition(float v, const char* what) {
  if (std::isfinite(v)) return {};
  return Status::OutOfRange(std::string(what) + " is not a finite number");
}

// Relative moves carry the direction in the mode and the magnitude as the value.
MoveMode RelativeMode(float offset) {
  return offset < 0 ? kRelMinus : kRelPlus;
}

}  // namespace

// ---- unit 9, vacuum

Status TOrvoCommands::CmdVacCommand(std::string_view keywordUtf8) {
  Status s = SendString(kUnitVacuum, 4, keywordUtf8, "vacuum keyword");
  // A refused keyword was never issued, so nothing is announced for it.
  if (s.code() == Status::Code::kInvalidArgument || s.code() == Status::Code::kOutOfRange) {
    return s;
  }
  NotifyDataChanged(kNotifyVacCommand);
  return s;
}

// ---- unit 10, stage parameters

Status TOrvoCommands::CmdStageParamRequest() {
  return Send(kUnitStage, 6, kModeRequest, ByteWriter().i32be(1));
}

Status TOrvoCommands::CmdStageParam(std::int32_t axis, std::int32_t number, std::int32_t value) {
  ByteWriter w;
  w.i32be(2).i32be(axis).i32be(0).i32be(number).i32be(value).i32be(0);
  Status s = Send(kUnitStage, 6, kModeSet, w);
  if (!s.ok()) return s;
  return CmdStageParamRequest();
}

Status TOrvoCommands::CmdStageParamEntry(std::int32_t axis, std::int32_t number, std::int32_t value,
                                         std::int32_t entry) {
  ByteWriter w;
  w.i32be(2).i32be(axis).i32be(1).i32be(number).i32be(value).i32be(entry);
  Status s = Send(kUnitStage, 6, kModeSet, w);
  if (!s.ok()) return s;
  return CmdStageParamRequest();
}

Status TOrvoCommands::CmdStageParamSave() {
  Status s = Send(kUnitStage, 6, kModeSet, ByteWriter().i32be(3));
  if (!s.ok()) return s;
  return CmdStageParamRequest();
}

// ---- unit 10, CmdStageMotion

Status TOrvoCommands::CmdStageStop(std::int32_t ax) {
  ByteWriter w;
  w.i32be(kSubStop);
  if (ax >= 0) {
    if (Status s = CheckAxis(ax); !s.ok()) return s;
    w.i32be(1).i32be(ax);
  } else {
    // -k stops the first k axes; only the five motion axes can be named this way.
    if (ax < -kMaxStopCount) {
      return Status::InvalidArgument("stop count " + std::to_string(ax) + " is not -5..-1");
    }
    const std::int32_t k = -ax;
    w.i32be(k);
    for (std::int32_t i = 0; i < k; ++i) w.i32be(i);
  }
  return SendMotion(w);
}

Status TOrvoCommands::CmdStageLock(std::int32_t axis, std::int32_t mode) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  return SendMotion(ByteWriter().i32be(kSubLock).i32be(1).i32be(axis).i32be(mode));
}

Status TOrvoCommands::CmdStageInitialize(std::int32_t axis) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  stage_.MarkCommandSent(axis);
  return SendMotion(ByteWriter().i32be(kSubInit).i32be(1).i32be(axis));
}

bool TOrvoCommands::BlankingNeeded(std::int32_t axis, double distance) const {
  if (axis != kAxisX && axis != kAxisY) return false;
  if (state_.SwitchFlagB() || state_.GetMonitorWord() == 0 || !stage_.InRange(axis)) {
    return false;
  }
  // The index comes from a shared record any process may write: outside the table there is
  // no field width to compare with, so the check is skipped.
  const int mag = state_.GetMagIndex();
  if (mag < 0 || mag >= kMagTableSize) return false;
  double h = kFieldWidthTable[static_cast<std::size_t>(mag)] / 2.0 * 10.0 / 8.0;
  const double tilt = state_.GetStageAxis(kAxisT);  // millidegrees
  if (!std::isfinite(tilt)) return true;            // unknown tilt: blank to be safe
  if (tilt > 0) {
    const double c = std::cos(tilt / 1000.0 * std::numbers::pi / 180.0);
    // At 90 degrees or beyond the projected field has no finite width; dividing would give an
    // infinite or negative half-width. Blanking is the safe side for the specimen.
    if (!(c > 0)) return true;
    h = (h + 20.0) / c;
  }
  // A current position that could not be read leaves the distance unknown: blank to be safe.
  if (!std::isfinite(distance)) return true;
  return distance > 2.0 * h;
}

void TOrvoCommands::PrepareMove(std::int32_t axis, double distance) {
  if (!BlankingNeeded(axis, distance)) return;
  // Blank first so that the beam is off before the stage starts; the hub unblanks and clears
  // the flag once every axis is idle.
  (void)CmdOpticsForceBlanking(true);
  stage_.SetSpareFlag(1);
}

Status TOrvoCommands::CmdStageGo(std::int32_t axis, float position) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  if (Status s = CheckPosition(position, "stage target"); !s.ok()) return s;
  stage_.SetTarget(axis, position);
  PrepareMove(axis, std::fabs(position - state_.GetStageAxis(axis)));
  return SendMotion(
      ByteWriter().i32be(kSubGo).i32be(1).i32be(axis).i32be(kAbsolute).f32be(position));
}

Status TOrvoCommands::CmdStageGoOffset(std::int32_t axis, float offset) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  if (Status s = CheckPosition(offset, "stage offset"); !s.ok()) return s;
  const double target = stage_.Axis(axis).position + static_cast<double>(offset);
  stage_.SetTarget(axis, target);
  PrepareMove(axis, std::fabs(offset));
  return SendMotion(ByteWriter()
                        .i32be(kSubGo)
                        .i32be(1)
                        .i32be(axis)
                        .i32be(RelativeMode(offset))
                        .f32be(std::fabs(offset)));
}

Status TOrvoCommands::CmdStageJog(std::int32_t axis, std::int32_t direction) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  return SendMotion(ByteWriter().i32be(kSubJog).i32be(1).i32be(axis).i32be(direction));
}

Status TOrvoCommands::CmdStageGoXY(float x, float y) {
  if (Status s = CheckPosition(x, "stage X target"); !s.ok()) return s;
  if (Status s = CheckPosition(y, "stage Y target"); !s.ok()) return s;
  // Both targets first, then each axis's blanking check on its own.
  stage_.SetTarget(kAxisX, x);
  stage_.SetTarget(kAxisY, y);
  PrepareMove(kAxisX, std::fabs(x - state_.GetStageAxis(kAxisX)));
  PrepareMove(kAxisY, std::fabs(y - state_.GetStageAxis(kAxisY)));
  ByteWriter w;
  w.i32be(kSubGoXY).i32be(2);
  w.i32be(kAxisX).i32be(kAbsolute).f32be(x);
  w.i32be(kAxisY).i32be(kAbsolute).f32be(y);
  return SendMotion(w);
}

Status TOrvoCommands::CmdStageGoOffsetXY(float dx, float dy) {
  if (Status s = CheckPosition(dx, "stage X offset"); !s.ok()) return s;
  if (Status s = CheckPosition(dy, "stage Y offset"); !s.ok()) return s;
  const double tx = stage_.Axis(kAxisX).position + static_cast<double>(dx);
  const double ty = stage_.Axis(kAxisY).position + static_cast<double>(dy);
  stage_.SetTarget(kAxisX, tx);
  stage_.SetTarget(kAxisY, ty);
  PrepareMove(kAxisX, std::fabs(dx));
  PrepareMove(kAxisY, std::fabs(dy));
  ByteWriter w;
  w.i32be(kSubGoXY).i32be(2);
  w.i32be(kAxisX).i32be(RelativeMode(dx)).f32be(std::fabs(dx));
  w.i32be(kAxisY).i32be(RelativeMode(dy)).f32be(std::fabs(dy));
  return SendMotion(w);
}

Status TOrvoCommands::CmdStageMagnetMode(std::int32_t axis, std::int32_t mode) {
  if (Status s = CheckAxis(axis); !s.ok()) return s;
  return SendMotion(ByteWriter().i32be(kSubMagnet).i32be(1).i32be(axis).i32be(mode));
}

Status TOrvoCommands::CmdStageTrackBall(std::int32_t a, std::int32_t b, std::int32_t c) {
  return Send(kUnitStage, 8, kModeSet, ByteWriter().i32be(a).i32be(b).i32be(c));
}

}  // namespace tarvel::link
