// Frame building, header acceptance and the byte-order swaps used by every encoder and decoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "link/frame_format.h"

namespace tarvel::link {

// Reverse the bytes of one value in place and return it.
std::uint32_t& SwapLong(std::uint32_t& v);
std::int32_t& SwapLong(std::int32_t& v);
float& SwapLong(float& v);
std::uint16_t& SwapWord(std::uint16_t& v);
std::int16_t& SwapWord(std::int16_t& v);
double& SwapDouble(double& v);

// The acceptance rule for the first four bytes of a received frame: ':' then 'M', 'I' or 'N',
// then a header number 1..3; the filler is not examined.
bool AcceptHeader(std::span<const std::uint8_t, kMarkSize> mark);

// The ids of a frame in host order.
struct FrameIds {
  std::int32_t unit = 0;
  std::int32_t item = 0;
  std::int32_t mode = 0;
  bool operator==(const FrameIds&) const = default;
};

// Builds a whole frame: ':' 'I' 1 0x20, frame length = payload + 12, the ids, then the payload
// copied as given (its values are already in wire order).
std::vector<std::uint8_t> BuildFrame(FrameIds ids, std::span<const std::uint8_t> payload);

// Writes the 20-byte header for a frame whose payload is `payloadLength` bytes long into `out`.
// Used by bulk frames, whose data follows in a second write. The frame length must fit the signed
// 32-bit field; the caller checks (see FrameLengthFits).
void WriteHeader(FrameIds ids, std::uint32_t payloadLength,
                 std::span<std::uint8_t, kHeaderSize> out);

// Whether a payload of this size gives a frame length that fits the signed 32-bit field.
constexpr bool FrameLengthFits(std::uint64_t payloadLength) {
  return payloadLength <= static_cast<std::uint64_t>(INT32_MAX) - kIdsSize;
}

}  // namespace tarvel::link
