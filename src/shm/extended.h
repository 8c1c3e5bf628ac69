// The 10-byte x87 extended real of the shared records, converted by explicit code.
//
// Layout (little-endian): bytes 0..7 the 64-bit significand with its explicit integer bit (bit
// 63), bytes 8..9 the 15-bit exponent biased by 16383 and the sign in bit 15. Nothing here relies
// on `long double`, so the conversion is the same on every host and compiler.
//
// Encoding a double is exact. Decoding rounds to the nearest double (ties to even); values beyond
// the double range become infinities, values below it zero or a subnormal. Encodings that an x87
// unit refuses as operands (unnormals, pseudo-infinities, pseudo-NaNs) decode to a quiet NaN, as
// the hardware load would.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarvel::shm {

inline constexpr std::size_t kExtendedSize = 10;
using ExtendedBytes = std::array<std::uint8_t, kExtendedSize>;

void EncodeExtended(double value, std::span<std::uint8_t, kExtendedSize> out);
ExtendedBytes EncodeExtended(double value);
double DecodeExtended(std::span<const std::uint8_t, kExtendedSize> in);

}  // namespace tarvel::shm
