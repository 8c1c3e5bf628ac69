// The byte strings of the simulator's fault commands and scenarios. Tests rely on them exactly.
//
//   bad-header       3A 49 00 20  00 00 00 0C  00 00 00 01  00 00 00 01  00 00 00 02
//                    (a system report request whose header number 0 must be rejected)
//   length N         3A 49 01 20  N as 32 bits big-endian  then 16 bytes of EE
//   pattern payload  byte i is i % 256; a burst frame k (from 0) holds k big-endian in its
//                    first 4 bytes when the payload has room for them
//   stall U I L      the 20-byte header of (U, I, 2) with frame length 12 + L, then the first
//                    L / 2 bytes of the pattern payload
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "link/frame.h"

namespace tarvel::controller_sim {

inline constexpr std::uint8_t kFaultFiller = 0xEE;
inline constexpr std::size_t kFaultFillerCount = 16;

std::vector<std::uint8_t> BadHeaderBytes();
std::vector<std::uint8_t> LengthFaultBytes(std::uint32_t frameLength);
std::vector<std::uint8_t> PatternPayload(std::size_t length);
// n frames (unit, item, mode 2) with pattern payloads of `payloadLength` bytes, back to back.
std::vector<std::uint8_t> BurstBytes(std::size_t n, link::FrameIds ids, std::size_t payloadLength);
std::vector<std::uint8_t> StallBytes(link::FrameIds ids, std::size_t payloadLength);

// What the simulator does once, right after the first full system report it sends.
enum class Scenario { kNone, kBadHeader, kLen0, kLen11, kLenMax, kStall, kClose };

std::optional<Scenario> ParseScenario(std::string_view name);
// The stall scenario sends the bytes of "stall 1 1 64" and then nothing more unasked.
inline constexpr std::size_t kStallScenarioPayload = 64;

}  // namespace tarvel::controller_sim
