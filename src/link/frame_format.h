// The controller frame: the one wire format between the server and the machine controller.
//
// Every number is big-endian, in the header as in the payload. Layout (offsets in bytes):
//   0  1  start mark      ':' (0x3A)
//   1  1  header letter   sent 'I'; accepted 'M', 'I' or 'N'
//   2  1  header number   sent 1; accepted 1..3
//   3  1  filler          sent 0x20; not checked
//   4  4  frame length    signed; the bytes after this field (three id words + payload)
//   8  4  unit id         selects the unit model
//  12  4  item id         message number within the unit
//  16  4  mode id         1 set, 2 request/report, 3/4 ion-monitor start/stop
//  20  n  payload         n = frame length - 12
// The parser, the builder, the simulator in tools/ and the tests all take these numbers from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::link {

inline constexpr std::uint8_t kStartMark = 0x3A;   // ':'
inline constexpr std::uint8_t kSentLetter = 0x49;  // 'I'
inline constexpr std::uint8_t kSentNumber = 1;
inline constexpr std::uint8_t kFiller = 0x20;
inline constexpr std::uint8_t kLetterM = 0x4D;
inline constexpr std::uint8_t kLetterI = 0x49;
inline constexpr std::uint8_t kLetterN = 0x4E;
inline constexpr std::uint8_t kMinHeaderNumber = 1;
inline constexpr std::uint8_t kMaxHeaderNumber = 3;

inline constexpr std::size_t kMarkSize = 4;  // start mark, letter, number, filler
inline constexpr std::size_t kLengthOffset = 4;
inline constexpr std::size_t kPrefixSize = 8;  // mark + frame length: not counted by it
inline constexpr std::size_t kUnitOffset = 8;
inline constexpr std::size_t kItemOffset = 12;
inline constexpr std::size_t kModeOffset = 16;
inline constexpr std::size_t kHeaderSize = 20;  // everything before the payload
inline constexpr std::size_t kIdsSize = 12;     // the three id words, counted by the length

// A frame the server builds in one piece uses a 256-byte buffer, so at most 236 payload bytes.
inline constexpr std::size_t kFrameBufferSize = 256;
inline constexpr std::size_t kMaxSinglePayload = kFrameBufferSize - kHeaderSize;

// Received frames up to this frame length are accepted. The controller's largest reports (ADC
// blocks, board tables, bulk image data) stay well below it; a larger value can only be a
// corrupted or hostile length and is treated as a bad header. 16 MiB.
inline constexpr std::int64_t kMaxFrameLength = 16 * 1024 * 1024;
// A frame length below this leaves no room for the three ids.
inline constexpr std::int64_t kMinFrameLength = static_cast<std::int64_t>(kIdsSize);

enum Mode : std::int32_t {
  kModeSet = 1,
  kModeRequest = 2,
  kModeIonMonStart = 3,
  kModeIonMonStop = 4
};

// Unit ids, the same in both directions.
enum Unit : std::int32_t {
  kUnitSystem = 1,
  kUnitOptics = 2,
  kUnitOpticsMonitor = 3,
  kUnitIon = 6,
  kUnitScan = 8,
  kUnitVacuum = 9,
  kUnitStage = 10,
  kUnitAdc64 = 15,
  kUnitPower = 18,
  kUnitScan3 = 19,
  kUnitAperture = 20,
  kUnitEShower = 21,
  kUnitCpd = 22,
  kUnitHard3 = 23,
  kUnitHard2 = 24,
  kUnitMonitoringSem = 25,
  kUnitGis = 26,
  kUnitIonVacuum = 27,
};

}  // namespace tarvel::link
