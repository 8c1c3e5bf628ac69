// TCommandState: the state held elsewhere that the command catalogue reads.
//
// The production graph implements it over the shared records (monitor and stage) and the unit
// models; the link manager only borrows it. There is no default: a link is always built with the
// state it reads, so the blanking check before a stage move can never be silently off.
//
// Values may come from shared memory that other processes write, so callers check them before
// use (a magnification index outside the table, a tilt that is not a number).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tarvel::link {

// The part of the scan condition record that travels in CmdScanCondition: 66 words, then five
// 32-bit integers, host order.
struct TScanCondition {
  static constexpr std::size_t kWords = 66;
  static constexpr std::size_t kInts = 5;
  static constexpr std::size_t kWireSize = kWords * 2 + kInts * 4;  // 152
  // Word indexes the commands read.
  static constexpr std::size_t kState = 0;        // 1 = composed and started
  static constexpr std::size_t kWidth = 36;       // X points
  static constexpr std::size_t kHeight = 37;      // Y lines
  static constexpr std::size_t kBeamSelect = 54;  // 1 selects the beam-mode outputs at start

  std::array<std::uint16_t, kWords> words{};
  std::array<std::int32_t, kInts> ints{};
};

class TCommandState {
 public:
  virtual ~TCommandState() = default;

  // Monitor record: byte 0 of the magnification code (any value another process wrote).
  virtual int GetMagIndex() const = 0;
  // Monitor record: the monitor word; 0 switches the blanking check off.
  virtual std::int16_t GetMonitorWord() const = 0;
  // Stage record: the current position of an axis as a real (X and Y from the real fields,
  // the others from the integer positions), controller units.
  virtual double GetStageAxis(int axis) const = 0;
  // Optics model: switch flag B; while set the blanking check is skipped.
  virtual bool SwitchFlagB() const = 0;
  // System model: "HARD2" or "HARD3".
  virtual std::string SysHardType() const = 0;
  // Hard3 model: whether the extra output board is present.
  virtual bool Hard3HasExtraOutputBoard() const = 0;
  // Scan model: the current (composed) scan condition.
  virtual TScanCondition ScanCondition() const = 0;
  // Scan model: the bitmap or vector data copied from the client's block. Valid until the scan
  // model changes; the link copies what it sends before returning.
  virtual std::span<const std::uint8_t> ScanBulkData() const = 0;
};

}  // namespace tarvel::link
