// Command catalogue: unit 23, the Hard3 I/O boards, with the machine-data follow-up writes.
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "link/frame_format.h"
#include "link/orvo_commands.h"

namespace tarvel::link {

using base::ByteWriter;
using base::Status;

namespace {

constexpr std::int32_t kDacSection = 6;
// Machine-data indexes 14..21 of section 6 mirror these DAC addresses.
constexpr std::array<std::pair<std::int32_t, std::int32_t>, 8> kMachineDataDac{{
    {14, 1549},
    {15, 1550},
    {16, 1551},
    {17, 1552},
    {18, 1558},
    {19, 1557},
    {20, 1574},
    {21, 1573},
}};

std::int32_t FollowUpDac(std::int32_t section, std::int32_t index) {
  if (section != kDacSection) return 0;
  for (const auto& [i, address] : kMachineDataDac) {
    if (i == index) return address;
  }
  return 0;
}

Status CheckXY(std::int32_t axis, const char* what) {
  if (axis == 0 || axis == 1) return {};
  return Status::InvalidArgument(std::string(what) + " axis " + std::to_string(axis) +
                                 " is not 0 (X) or 1 (Y)");
}

}  // namespace

Status TOrvoCommands::CmdHard3Request() {
  return SendFrame(kUnitHard3, 1, kModeRequest, {});
}

Status TOrvoCommands::CmdHard3SetDac(std::int32_t address, std::int32_t value) {
  return Send(kUnitHard3, 3, kModeSet, ByteWriter().i32be(address).i32be(value));
}

Status TOrvoCommands::CmdHard3Bits(THard3BitOp op, std::int32_t address, std::int32_t bits,
                                   std::int32_t width) {
  const auto sub = static_cast<std::int32_t>(op);
  if (sub < 0 || sub > 3) {
    return Status::InvalidArgument("Hard3 bit operation " + std::to_string(sub) + " is not 0..3");
  }
  ByteWriter w;
  w.i32be(sub).i32be(address).i32be(bits);
  if (op == THard3BitOp::kMasked) w.i32be(width);
  return Send(kUnitHard3, 4, kModeSet, w);
}

Status TOrvoCommands::CmdHard3MagK(std::int32_t axis, double value) {
  // 0 and 1 are MagKX and MagKY; the IOS2 window and the automation set constants 2 and 3 too.
  if (axis < 0 || axis > 3) {
    return Status::InvalidArgument("MagK constant " + std::to_string(axis) + " is not 0..3");
  }
  return Send(kUnitHard3, 7, kModeSet, ByteWriter().i32be(axis).f64be(value));
}

Status TOrvoCommands::CmdHard3RefAccV(double value) {
  return CmdSetDouble(kUnitHard3, 8, value);
}

Status TOrvoCommands::CmdHard3ShiftK(std::int32_t axis, double value) {
  if (Status s = CheckXY(axis, "ShiftK"); !s.ok()) return s;
  return Send(kUnitHard3, 9, kModeSet, ByteWriter().i32be(axis).f64be(value));
}

Status TOrvoCommands::CmdHard3OpChannel(const THard3OpChannel& c) {
  ByteWriter w;
  w.i32be(c.chNo).i32be(c.pb).i32be(c.no).i32be(c.min);
  w.i32be(c.max).i32be(c.dir).i32be(c.k).i32be(c.step);
  return Send(kUnitHard3, 10, kModeSet, w);
}

Status TOrvoCommands::CmdHard3OpPanelDO(bool on, std::int32_t chNo, std::int32_t doCh,
                                        std::int32_t doData) {
  return Send(kUnitHard3, 11, kModeSet,
              ByteWriter().boolean(on).i32be(chNo).i32be(doCh).i32be(doData));
}

Status TOrvoCommands::CmdHard3SidDefDac(std::uint16_t channel, std::uint16_t value) {
  return Send(kUnitHard3, 12, kModeSet, ByteWriter().u16be(channel).u16be(value));
}

Status TOrvoCommands::CmdHard3MonitorLoop(std::int32_t loopTime) {
  return CmdSetInt(kUnitHard3, 15, loopTime);
}

Status TOrvoCommands::CmdHard3PanelLoop(std::int32_t loopTime) {
  return CmdSetInt(kUnitHard3, 17, loopTime);
}

Status TOrvoCommands::CmdHard3OpPanelControlType(std::int32_t type) {
  return CmdSetInt(kUnitHard3, 16, type);
}

Status TOrvoCommands::CmdHard3MachineData(std::int32_t section, std::int32_t index, double value) {
  const std::int32_t dac = FollowUpDac(section, index);
  std::int32_t dacValue = 0;
  if (dac != 0) {
    // The DAC takes the value truncated toward zero; a value that has no integer is refused
    // before anything is sent, so the board and its machine data never disagree.
    if (!std::isfinite(value)) {
      return Status::OutOfRange("machine data " + std::to_string(section) + "/" +
                                std::to_string(index) + " is not a finite number");
    }
    const double t = std::trunc(value);
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    dacValue = static_cast<std::int32_t>(t < kMin ? kMin : (t > kMax ? kMax : t));
  }
  Status s = Send(kUnitHard3, 18, kModeSet, ByteWriter().i32be(section).i32be(index).f64be(value));
  if (!s.ok() || dac == 0) return s;
  return CmdHard3SetDac(dac, dacValue);
}

Status TOrvoCommands::CmdHard3MachineDataRequest(std::int32_t section, std::int32_t index) {
  return Send(kUnitHard3, 18, kModeRequest, ByteWriter().i32be(section).i32be(index));
}

Status TOrvoCommands::CmdHard3StatusRequest() {
  return SendFrame(kUnitHard3, 19, kModeRequest, {});
}

Status TOrvoCommands::CmdHard3Wobbler(std::int32_t mode, std::int32_t ch, std::int32_t max,
                                      std::int32_t min, std::int32_t step, std::int32_t interval) {
  ByteWriter w;
  w.i32be(mode).i32be(ch).i32be(max).i32be(min).i32be(step).i32be(interval);
  return Send(kUnitHard3, 20, kModeSet, w);
}

Status TOrvoCommands::CmdHard3SlowUpParam(std::int32_t mode, double cl1, double cl2, double ol1,
                                          double ol2) {
  ByteWriter w;
  w.f64be(static_cast<double>(mode)).f64be(cl1).f64be(cl2).f64be(ol1).f64be(ol2);
  return Send(kUnitHard3, 21, kModeSet, w);
}

Status TOrvoCommands::CmdHard3SetDac2(std::int32_t address, std::int32_t value) {
  return Send(kUnitHard3, 22, kModeSet, ByteWriter().i32be(address).i32be(value));
}

Status TOrvoCommands::CmdHard3DialGain(std::int32_t channel, bool syncOff, double k,
                                       double offset) {
  if (channel < 0 || channel > 3) {
    return Status::InvalidArgument("dial gain channel " + std::to_string(channel) + " is not 0..3");
  }
  return Send(kUnitHard3, 23, kModeSet,
              ByteWriter().i32be(0).i32be(channel).boolean(syncOff).f64be(k).f64be(offset));
}

Status TOrvoCommands::CmdHard3MagCodeWithBeamMode(std::int32_t mode, std::int32_t code) {
  return Send(kUnitHard3, 24, kModeSet, ByteWriter().i32be(mode).i32be(code));
}

Status TOrvoCommands::CmdHard3MagLock(std::int32_t mode, std::int32_t flag) {
  return Send(kUnitHard3, 25, kModeSet, ByteWriter().i32be(mode).i32be(flag));
}

}  // namespace tarvel::link
