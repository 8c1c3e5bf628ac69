#include "shm/seek_position.h"

#include "shm/record_layout.h"

namespace tarvel::shm {
namespace {

using Off = std::optional<std::uint32_t>;

// An array of `count` elements of `width` bytes from `start`; out of range gives `fallback`.
Off Array(std::int32_t i, int count, std::uint32_t start, std::uint32_t width, Off fallback) {
  if (i < 0 || i >= count) return fallback;
  return start + static_cast<std::uint32_t>(i) * width;
}

Off Aperture(int k) {
  switch (k) {
    case 0:
      return 436;
    case 2:
      return 444;
    case 3:
      return 448;
    case 4:
      return 452;
    case 5:
      return 456;
    default:
      return 440;  // index 1, the default
  }
}

Off Stage(int k) {
  if (k == 1) return 4;
  if (k >= 2 && k <= 6) return 8 + 4 * (k - 2);
  if (k >= 7 && k <= 11) return 28 + 10 * (k - 7);
  if (k >= 12 && k <= 21) return 80 + 4 * (k - 12);
  if (k == 22) return kStageOwnerNameOffset;
  if (k == 23) return kStageOwnerIdOffset;
  if (k == 24) return 224;
  return 0;  // index 0, the default
}

Off Vacuum(int k) {
  switch (k) {
    case 1:
      return 511;
    case 2:
      return 564;
    case 7:
      return 568;
    case 3:
      return 572;
    case 4:
      return 576;
    case 5:
      return 580;
    case 6:
      return 584;
    case 8:
      return 588;
    default:
      return 460;  // index 0
  }
}

Off Ion(int k) {
  if (k >= 1 && k <= 7) return 4 + 10 * (k - 1);
  if (k >= 8 && k <= 15) return 76 + 4 * (k - 8);
  if (k == 16) return 108;
  if (k == 17) return 118;
  if (k == 18) return 128;
  if (k >= 19 && k <= 22) return 130 + 10 * (k - 19);
  return 0;
}

Off Optics(int k) {
  if (k >= 0 && k <= 9) return 3008 + 10 * k;
  if (k == 10) return 3108;
  if (k == 11) return 3112;
  if (k == 12) return 3122;
  if (k == 13) return 3132;
  if (k >= 14 && k <= 19) return 3134 + 10 * (k - 14);
  if (k == 20) return 3194;
  if (k == 21) return 3196;
  if (k == 22) return 3206;
  return 3008;
}

Off MonitorWords(int k) {
  switch (k) {
    case 0:
      return 3208;
    case 2:
      return 3212;
    case 3:
      return 3222;
    case 4:
      return 3224;
    default:
      return 3210;  // index 1
  }
}

Off Reserved13(int k) {
  switch (k) {
    case 1:
      return 3492;
    case 2:
      return 3500;
    case 3:
      return 3504;
    default:
      return 3484;
  }
}

Off Scan(int k) {
  switch (k) {
    case 1:
      return 3512;
    case 2:
      return 3516;
    default:
      return 3508;
  }
}

Off MonitSem(std::int32_t i) {
  if (i >= 0 && i < kMonitSemValueCount) return 8 * static_cast<std::uint32_t>(i);
  if (i == 23) return 240;
  if (i == 24) return 244;
  if (i == 25) return 272;
  return 0;
}

}  // namespace

std::optional<std::uint32_t> TSeekPosition::Offset(std::uint8_t c, std::int32_t index) {
  const int low = static_cast<int>(static_cast<std::uint32_t>(index) & 0xFF);
  switch (c) {
    case code::kPowerMode:
      return Array(index, kPowerModeCount, 400, 4, std::nullopt);
    case code::kStageConstant:
      return Array(index, kStageConstantCount, 0, 10, 0);
    case code::kAperture:
      return Aperture(low);
    case code::kStage:
      return Stage(low);
    case code::kVacuum:
      return Vacuum(low);
    case code::kDeviceState:
      return Array(index, kDeviceStateCount, 592, 2, std::nullopt);
    case code::kValveState:
      return Array(index, kDeviceStateCount, 994, 2, std::nullopt);
    case code::kIon:
      return Ion(low);
    case code::kOptics:
      return Optics(low);
    case code::kMonitorWords:
      return MonitorWords(low);
    case code::kNotifyFlag:
      return Array(index, kNotifyFlagCount, 3228, 2, std::nullopt);
    case code::kUnitReport:
      return Array(low, 7, 3432, 8, 3432);
    case code::kReserved13:
      return Reserved13(low);
    case code::kScan:
      return Scan(low);
    case code::kHard3Const:
      return Array(index, kHard3ConstCount, 3520, 8, std::nullopt);
    case code::kTrackBallX:
      return Array(index, kTrackBallCount, 232, 4, std::nullopt);
    case code::kTrackBallY:
      return Array(index, kTrackBallCount, 316, 4, std::nullopt);
    case code::kAlarmSummary:
      return low == 1 ? 3564u : 3560u;
    case code::kAlarmFlag:
      return Array(index, kAlarmCount, 3568, 2, std::nullopt);
    case code::kMonitSem:
      return MonitSem(index);
    case code::kMonitSemCoeff:
      return Array(index, kMonitSemCoeffCount, 288, 8, 320);
    case code::kDeviceChanged:
      return Array(index, kDeviceStateCount, 1798, 2, std::nullopt);
    case code::kValveChanged:
      return Array(index, kDeviceStateCount, 2200, 2, std::nullopt);
    case code::kDeviceState3:
      return Array(index, kDeviceStateCount, 1396, 2, std::nullopt);
    case code::kDevice3Changed:
      return Array(index, kDeviceStateCount, 2602, 2, std::nullopt);
    case code::kCanDial:
      return Array(index, kCanDialWordCount, 0, 4, 4);
    default:
      return std::nullopt;
  }
}

}  // namespace tarvel::shm
