// Command catalogue: units 6 (ion source) and 8 (scan), with the bulk frames and the scan
// condition's Hard3 pre-step.
#include <array>
#include <string>

#include "link/frame.h"
#include "link/orvo_commands.h"

namespace tarvel::link {

using base::ByteWriter;
using base::Status;

// ---- unit 6, ion source

Status TOrvoCommands::CmdIonExec(std::uint16_t code, double a, double b, double c) {
  ByteWriter w;
  w.u16be(code);
  // Code 4 is the only action with values; the controller expects the third one twice.
  if (code == 4) w.f64be(a).f64be(b).f64be(c).f64be(c);
  return Send(kUnitIon, 5, kModeSet, w);
}

Status TOrvoCommands::CmdIonCurrentMode(std::int32_t mode) {
  Status s = CmdSetInt(kUnitIon, 6, mode);
  if (!s.ok()) return s;
  return SendFrame(kUnitIon, 6, kModeRequest, {});
}

Status TOrvoCommands::CmdIonPresetData(const TIonPreset& p) {
  ByteWriter w;
  w.f64be(p.accV).f64be(p.lCur).f64be(p.hCur).f64be(p.nFilW);
  w.f64be(p.hFilW).f64be(p.cndHi).f64be(p.cndLo).f64be(p.cndExt);
  return Send(kUnitIon, 7, kModeSet, w);
}

Status TOrvoCommands::CmdIonPresetRequest() {
  return SendFrame(kUnitIon, 7, kModeRequest, {});
}

Status TOrvoCommands::CmdIonMonitorStart() {
  return SendFrame(kUnitIon, 8, kModeIonMonStart, {});
}

Status TOrvoCommands::CmdIonMonitorStop() {
  return SendFrame(kUnitIon, 8, kModeIonMonStop, {});
}

Status TOrvoCommands::CmdIonOscRecoverMode(std::int32_t mode) {
  return CmdSetInt(kUnitIon, 11, mode);
}

Status TOrvoCommands::CmdIonChange(std::string_view nameUtf8) {
  return SendString(kUnitIon, 12, nameUtf8, "ion source name");
}

Status TOrvoCommands::CmdIonAccRate(std::int32_t rate) {
  // The ion model is to store the rate before it is sent; it joins TUnitModels with the ion
  // unit, and this is where it is written.
  return CmdSetInt(kUnitIon, 13, rate);
}

Status TOrvoCommands::CmdIonStandby(bool standby) {
  return Send(kUnitIon, 15, kModeSet, ByteWriter().f64be(1.0).f64be(standby ? 1.0 : 0.0));
}

Status TOrvoCommands::CmdIonStandby(double accV, double ibm, double filW, double filI) {
  return Send(kUnitIon, 15, kModeSet,
              ByteWriter().f64be(2.0).f64be(accV).f64be(ibm).f64be(filW).f64be(filI));
}

// ---- unit 8, scan

Status TOrvoCommands::ScanConditionPreStep(const TScanCondition& c) {
  if (c.words[TScanCondition::kState] != 1 || state_.SysHardType() != "HARD3") return {};
  const bool extraBoard = state_.Hard3HasExtraOutputBoard();
  Status s;
  if (c.words[TScanCondition::kBeamSelect] == 1 && beamMode_) {
    s = CmdHard3Bits(THard3BitOp::kSet, 770, 2);
    if (s.ok() && extraBoard) s = CmdHard3Bits(THard3BitOp::kMasked, 1792, 8, 24);
  } else {
    s = CmdHard3Bits(THard3BitOp::kReset, 770, 2);
    if (s.ok() && extraBoard) s = CmdHard3Bits(THard3BitOp::kMasked, 1792, 0, 24);
  }
  return s;
}

Status TOrvoCommands::CmdScanCondition() {
  const TScanCondition c = state_.ScanCondition();
  Status pre = ScanConditionPreStep(c);
  if (!pre.ok()) return pre;  // the link is down: the condition would not get through either
  ByteWriter w;
  for (std::uint16_t v : c.words) w.u16be(v);
  for (std::int32_t v : c.ints) w.i32be(v);
  return Send(kUnitScan, 2, kModeSet, w);
}

Status TOrvoCommands::CmdScanConditionRequest() {
  return SendFrame(kUnitScan, 2, kModeRequest, {});
}

Status TOrvoCommands::CmdScanMode(std::uint16_t mode) {
  return Send(kUnitScan, 3, kModeSet, ByteWriter().u16be(mode));
}

Status TOrvoCommands::CmdScanBitmapData(TBitmapForm form) {
  const TScanCondition c = state_.ScanCondition();
  return CmdScanBitmapData(form, c.words[TScanCondition::kWidth], c.words[TScanCondition::kHeight]);
}

Status TOrvoCommands::CmdScanBitmapData(TBitmapForm form, std::uint16_t width,
                                        std::uint16_t height) {
  std::uint64_t size = 0;
  std::uint32_t widthWord = width;
  if (form == TBitmapForm::kPlain) {
    size = static_cast<std::uint64_t>(width) * height / 8;
  } else {
    // Rows of 32-bit words; the width word says how many bits a row holds.
    widthWord = width == 0 ? 32u : (static_cast<std::uint32_t>(width) + 31u) / 32u * 32u;
    if (widthWord > 0xFFFF) {
      NotifyDataChanged(kNotifyScanParamError);
      return Status::OutOfRange("bitmap width " + std::to_string(width) +
                                " rounds up beyond a 16-bit width");
    }
    size = (static_cast<std::uint64_t>(width) + 31u) / 32u * height * 4u;
  }
  ByteWriter head;
  head.u16be(static_cast<std::uint16_t>(widthWord)).u16be(height);
  return SendBulk(kUnitScan, 4, head, size, "bitmap");
}

Status TOrvoCommands::CmdScanRotation(double rotation) {
  return CmdSetDouble(kUnitScan, 5, rotation);
}

Status TOrvoCommands::CmdScanVectorData(std::int32_t count) {
  if (count < 0) {
    NotifyDataChanged(kNotifyScanParamError);
    return Status::InvalidArgument("vector count " + std::to_string(count) + " is negative");
  }
  ByteWriter head;
  head.i32be(count);
  return SendBulk(kUnitScan, 6, head, static_cast<std::uint64_t>(count) * 4u, "vector");
}

Status TOrvoCommands::SendBulk(std::int32_t unit, std::int32_t item, const ByteWriter& head,
                               std::uint64_t bulkSize, const char* what) {
  const std::span<const std::uint8_t> held = state_.ScanBulkData();
  const std::uint64_t payload = head.size() + bulkSize;
  Status refused;
  if (!FrameLengthFits(payload)) {
    refused = Status::OutOfRange(std::string(what) + " frame of " + std::to_string(payload) +
                                 " payload bytes overflows the 32-bit frame length");
  } else if (bulkSize > held.size()) {
    // Sending past the held block would leak other memory to the controller or stall it
    // waiting for bytes that never come.
    refused =
        Status::OutOfRange(std::string(what) + " data of " + std::to_string(bulkSize) +
                           " bytes exceeds the " + std::to_string(held.size()) + " bytes held");
  }
  if (!refused.ok()) {
    NotifyDataChanged(kNotifyScanParamError);
    return refused;
  }
  std::array<std::uint8_t, kHeaderSize + 8> first{};
  WriteHeader({unit, item, kModeSet}, static_cast<std::uint32_t>(payload),
              std::span<std::uint8_t, kHeaderSize>(first.data(), kHeaderSize));
  std::copy(head.bytes().begin(), head.bytes().end(), first.begin() + kHeaderSize);
  // One frame in two pieces, written all or nothing: the data never follows a partial header.
  return WriteFrames({std::span<const std::uint8_t>(first.data(), kHeaderSize + head.size()),
                      held.first(static_cast<std::size_t>(bulkSize))});
}

}  // namespace tarvel::link
