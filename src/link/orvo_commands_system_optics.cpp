// Command catalogue: the generic forms, the string helper, units 1 (system) and 2 (FIB optics).
#include <cstdio>
#include <string>

#include "base/code_page.h"
#include "link/frame_format.h"
#include "link/orvo_commands.h"

namespace tarvel::link {

using base::ByteWriter;
using base::Status;

Status TOrvoCommands::CmdSetDouble(std::int32_t unit, std::int32_t item, double value) {
  return Send(unit, item, kModeSet, ByteWriter().f64be(value));
}

Status TOrvoCommands::CmdSetInt(std::int32_t unit, std::int32_t item, std::int32_t value) {
  return Send(unit, item, kModeSet, ByteWriter().i32be(value));
}

Status TOrvoCommands::SendString(std::int32_t unit, std::int32_t item, std::string_view utf8,
                                 const char* what) {
  // A zero byte would end the text early on the controller's side: refuse rather than cut.
  if (utf8.find('\0') != std::string_view::npos) {
    return Status::InvalidArgument(std::string(what) + " contains a zero byte");
  }
  const std::string cp = base::Utf8ToCp932(utf8);
  // The text and its terminating zero must fit the single-frame payload.
  if (cp.size() + 1 > kMaxSinglePayload) {
    return Status::OutOfRange(std::string(what) + " of " + std::to_string(cp.size()) +
                              " bytes exceeds the " + std::to_string(kMaxSinglePayload - 1) +
                              " bytes a command can carry");
  }
  return Send(unit, item, kModeSet, ByteWriter().cstring(cp));
}

// ---- unit 1, system

Status TOrvoCommands::CmdSysSetTime(const QDateTime& now) {
  // Half a second ahead, so that the controller's clock is within 0.5 s after truncation.
  const QDateTime t = now.addMSecs(500);
  const QDate d = t.date();
  const QTime h = t.time();
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                h.hour(), h.minute(), h.second());
  return Send(kUnitSystem, 3, kModeSet, ByteWriter().cstring(text));
}

Status TOrvoCommands::CmdSysDataInitialized(bool flag) {
  return Send(kUnitSystem, 12, kModeSet, ByteWriter().boolean(flag));
}

Status TOrvoCommands::CmdSysMessageMask(std::uint32_t mask) {
  return Send(kUnitSystem, 13, kModeSet, ByteWriter().u32be(mask));
}

Status TOrvoCommands::CmdSysSyncRequest(std::int32_t id) {
  return CmdSetInt(kUnitSystem, 14, id);
}

Status TOrvoCommands::CmdSysQuit() {
  return SendFrame(kUnitSystem, 100, kModeSet, {});
}

// ---- unit 2, FIB optics

Status TOrvoCommands::CmdOpticsSetLens(std::int32_t item, std::uint16_t value) {
  // Item 12 is the magnification code (one byte); the others are not lens values.
  if (item < 2 || item > 14 || item == 12) {
    return Status::InvalidArgument("lens item " + std::to_string(item) +
                                   " is not one of 2..11, 13, 14");
  }
  return Send(kUnitOptics, item, kModeSet, ByteWriter().u16be(value));
}

Status TOrvoCommands::CmdOpticsSetMagCode(std::uint8_t code) {
  return Send(kUnitOptics, 12, kModeSet, ByteWriter().u8(code));
}

Status TOrvoCommands::CmdOpticsMagRequest() {
  return SendFrame(kUnitOptics, 12, kModeRequest, {});
}

Status TOrvoCommands::CmdOpticsWobbler(std::int32_t mode, std::int32_t amplitude,
                                       std::int32_t speed) {
  return Send(kUnitOptics, 15, kModeSet, ByteWriter().i32be(mode).i32be(amplitude).i32be(speed));
}

Status TOrvoCommands::CmdOpticsProbePolarity(bool flag) {
  return Send(kUnitOptics, 19, kModeSet, ByteWriter().boolean(flag));
}

Status TOrvoCommands::CmdOpticsForceBlanking(bool on) {
  return Send(kUnitOptics, 20, kModeSet, ByteWriter().boolean(on));
}

Status TOrvoCommands::CmdOpticsMagLock(bool flag) {
  return Send(kUnitOptics, 21, kModeSet, ByteWriter().boolean(flag));
}

Status TOrvoCommands::CmdOpticsGamma(std::uint16_t selector, std::uint16_t value) {
  return Send(kUnitOptics, 22, kModeSet, ByteWriter().u16be(selector).u16be(value));
}

Status TOrvoCommands::CmdOpticsForceBeamOn(bool flag) {
  return Send(kUnitOptics, 23, kModeSet, ByteWriter().boolean(flag));
}

Status TOrvoCommands::CmdOpticsShiftX(std::int32_t value) {
  return CmdSetInt(kUnitOptics, 24, value);
}

Status TOrvoCommands::CmdOpticsShiftY(std::int32_t value) {
  return CmdSetInt(kUnitOptics, 25, value);
}

Status TOrvoCommands::CmdOpticsPixelSize(double size) {
  return CmdSetDouble(kUnitOptics, 26, size);
}

Status TOrvoCommands::CmdOpticsDialGain(std::int32_t mode, std::span<const std::int32_t> gains) {
  if (mode < 0 || mode > 3) {
    return Status::InvalidArgument("dial mode " + std::to_string(mode) + " is not 0..3");
  }
  if (gains.size() != kDialGainEntries) {
    return Status::InvalidArgument("dial gain table has " + std::to_string(gains.size()) +
                                   " entries, not " + std::to_string(kDialGainEntries));
  }
  ByteWriter w;
  w.i32be(mode);
  for (std::int32_t g : gains) w.i32be(g);
  return Send(kUnitOptics, 27, kModeSet, w);
}

}  // namespace tarvel::link
