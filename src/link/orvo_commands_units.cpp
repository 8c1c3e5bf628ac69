// Command catalogue: units 18 to 22 (power, aperture, electron shower, CPD) and 24 to 27
// (Hard2, monitoring SEM, GIS, ion-column vacuum).
#include <string>

#include "link/frame_format.h"
#include "link/orvo_commands.h"

namespace tarvel::link {

using base::ByteWriter;
using base::Status;

namespace {

Status CheckItem(std::int32_t item, std::int32_t lo, std::int32_t hi, const char* what) {
  if (item >= lo && item <= hi) return {};
  return Status::InvalidArgument(std::string(what) + " " + std::to_string(item) + " is not " +
                                 std::to_string(lo) + ".." + std::to_string(hi));
}

}  // namespace

// ---- unit 18, power units

Status TOrvoCommands::CmdPowerSet(std::int32_t item, bool on) {
  if (Status s = CheckItem(item, 3, 6, "power unit"); !s.ok()) return s;
  return Send(kUnitPower, item, kModeSet, ByteWriter().boolean(on));
}

Status TOrvoCommands::CmdPowerRequest(std::int32_t item) {
  return SendFrame(kUnitPower, item, kModeRequest, {});
}

// ---- unit 20, aperture

Status TOrvoCommands::CmdApertureSelect(std::int32_t number) {
  return Send(kUnitAperture, 4, kModeSet, ByteWriter().i32be(0).i32be(number));
}

Status TOrvoCommands::CmdApertureMove(std::int32_t axis, std::int32_t value, std::int32_t mode) {
  if (Status s = CheckItem(axis, 0, 1, "aperture axis"); !s.ok()) return s;
  return Send(kUnitAperture, 5, kModeSet,
              ByteWriter().i32be(0).i32be(axis).i32be(value).i32be(mode));
}

Status TOrvoCommands::CmdApertureMoveXY(std::int32_t x, std::int32_t y) {
  return Send(kUnitAperture, 5, kModeSet, ByteWriter().i32be(x).i32be(y).i32be(3));
}

Status TOrvoCommands::CmdApertureTable(std::int32_t number, std::span<const double> values) {
  if (values.size() != kApertureTableValues) {
    return Status::InvalidArgument("aperture table has " + std::to_string(values.size()) +
                                   " values, not " + std::to_string(kApertureTableValues));
  }
  ByteWriter w;
  w.i32be(number);
  for (double v : values) w.f64be(v);
  return Send(kUnitAperture, 12, kModeSet, w);
}

// ---- units 21 and 22, electron shower and CPD

Status TOrvoCommands::CmdEShowerSet(std::int32_t item, double value) {
  if (Status s = CheckItem(item, 2, 7, "electron shower item"); !s.ok()) return s;
  return CmdSetDouble(kUnitEShower, item, value);
}

Status TOrvoCommands::CmdEShowerScanType(std::int32_t type) {
  return CmdSetInt(kUnitEShower, 8, type);
}

Status TOrvoCommands::CmdCPDSet(std::int32_t item, double value) {
  if (Status s = CheckItem(item, 2, 3, "CPD item"); !s.ok()) return s;
  return CmdSetDouble(kUnitCpd, item, value);
}

Status TOrvoCommands::CmdCPDType(std::int32_t type) {
  return CmdSetInt(kUnitCpd, 4, type);
}

// ---- unit 24, Hard2

Status TOrvoCommands::CmdHard2Write(std::int32_t address, std::int32_t value) {
  return Send(kUnitHard2, 3, kModeSet, ByteWriter().i32be(address).i32be(value));
}

Status TOrvoCommands::CmdHard2Bits(std::int32_t address, std::int32_t value) {
  return Send(kUnitHard2, 4, kModeSet, ByteWriter().i32be(0).i32be(address).i32be(value));
}

// ---- unit 25, monitoring SEM

Status TOrvoCommands::CmdMonSemSetV(std::uint16_t channel, std::uint16_t value) {
  if (channel > 3) {
    return Status::InvalidArgument("monitoring-SEM channel " + std::to_string(channel) +
                                   " is not 0..3");
  }
  return Send(kUnitMonitoringSem, 3, kModeSet, ByteWriter().u16be(channel).u16be(value));
}

Status TOrvoCommands::CmdMonSemControl(std::uint16_t selector, std::uint16_t value,
                                       std::uint16_t mask) {
  return Send(kUnitMonitoringSem, 4, kModeSet,
              ByteWriter().u16be(selector).u16be(value).u16be(mask));
}

Status TOrvoCommands::CmdMonSemPixelSize(double size) {
  return CmdSetDouble(kUnitMonitoringSem, 5, size);
}

// ---- units 26 and 27, GIS and ion-column vacuum

Status TOrvoCommands::CmdGisRequest(std::int32_t item) {
  return SendFrame(kUnitGis, item, kModeRequest, {});
}

Status TOrvoCommands::CmdGisSet(std::int32_t item, std::int32_t value) {
  if (Status s = CheckItem(item, 3, 33, "GIS item"); !s.ok()) return s;
  return CmdSetInt(kUnitGis, item, value);
}

Status TOrvoCommands::CmdIonVacRequest(std::int32_t item) {
  return SendFrame(kUnitIonVacuum, item, kModeRequest, {});
}

Status TOrvoCommands::CmdIonVacResetInterlock() {
  return SendFrame(kUnitIonVacuum, 6, kModeSet, {});
}

}  // namespace tarvel::link
