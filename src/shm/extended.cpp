#include "shm/extended.h"

#include <bit>
#include <cstring>

namespace tarvel::shm {
namespace {

constexpr int kExtBias = 16383;
constexpr int kDoubleBias = 1023;
constexpr std::uint64_t kIntegerBit = 1ull << 63;
constexpr std::uint64_t kDoubleQuietNaN = 0x7FF8000000000000ull;

void Store(std::uint64_t significand, std::uint16_t signExp,
           std::span<std::uint8_t, kExtendedSize> out) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(significand >> (8 * i));
  out[8] = static_cast<std::uint8_t>(signExp);
  out[9] = static_cast<std::uint8_t>(signExp >> 8);
}

double FromBits(std::uint64_t bits) {
  return std::bit_cast<double>(bits);
}

}  // namespace

void EncodeExtended(double value, std::span<std::uint8_t, kExtendedSize> out) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const std::uint16_t sign = (bits >> 63) ? 0x8000 : 0;
  const int exp = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t frac = bits & ((1ull << 52) - 1);

  if (exp == 0x7FF) {
    // Infinity keeps only the integer bit; a NaN keeps its payload and is made quiet.
    const std::uint64_t sig = frac == 0 ? kIntegerBit : (kIntegerBit | (1ull << 62) | (frac << 11));
    Store(sig, sign | 0x7FFF, out);
    return;
  }
  if (exp == 0) {
    if (frac == 0) {
      Store(0, sign, out);
      return;
    }
    // A double subnormal is frac x 2^-1074; normalise so that its top bit is the integer bit.
    const int top = 63 - std::countl_zero(frac);  // 0..51
    const std::uint64_t sig = frac << (63 - top);
    const int e = top - 1074 + kExtBias;
    Store(sig, sign | static_cast<std::uint16_t>(e), out);
    return;
  }
  const std::uint64_t sig = kIntegerBit | (frac << 11);
  Store(sig, sign | static_cast<std::uint16_t>(exp - kDoubleBias + kExtBias), out);
}

ExtendedBytes EncodeExtended(double value) {
  ExtendedBytes b{};
  EncodeExtended(value, b);
  return b;
}

double DecodeExtended(std::span<const std::uint8_t, kExtendedSize> in) {
  std::uint64_t sig = 0;
  for (int i = 0; i < 8; ++i) sig |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  const std::uint16_t signExp = static_cast<std::uint16_t>(in[8] | (in[9] << 8));
  const std::uint64_t sign = (signExp & 0x8000) ? (1ull << 63) : 0;
  const int exp = signExp & 0x7FFF;

  if (exp == 0x7FFF) {
    if (!(sig & kIntegerBit)) return FromBits(sign | kDoubleQuietNaN);  // pseudo-inf / pseudo-NaN
    const std::uint64_t frac = sig & ~kIntegerBit;
    if (frac == 0) return FromBits(sign | 0x7FF0000000000000ull);
    // Keep the top of the payload; the result is always a quiet NaN.
    return FromBits(sign | kDoubleQuietNaN | ((frac >> 11) & ((1ull << 52) - 1)));
  }
  // An unnormal (integer bit clear under a non-zero exponent) is refused as the hardware load
  // refuses it, a zero significand included; only exponent 0 with significand 0 is a zero.
  if (exp != 0 && !(sig & kIntegerBit)) return FromBits(sign | kDoubleQuietNaN);
  if (sig == 0) return FromBits(sign);

  // value = sig x 2^(e - 63), with e the unbiased exponent of the integer bit. Denormals and
  // pseudo-denormals (exp 0) use the minimum exponent 1 - bias.
  const int lead = std::countl_zero(sig);
  sig <<= lead;
  const int e = (exp == 0 ? 1 : exp) - kExtBias - lead;
  if (e > kDoubleBias) return FromBits(sign | 0x7FF0000000000000ull);

  // The result is m x 2^q with m < 2^53: q = e - 52 for a normal double, at least -1074.
  const int q = e - 52 < -1074 ? -1074 : e - 52;
  const int shift = q - (e - 63);  // >= 11: bits of sig dropped by the rounding
  std::uint64_t m = 0;
  if (shift < 64) {
    m = sig >> shift;
    const std::uint64_t rem = sig & ((1ull << shift) - 1);
    const std::uint64_t half = 1ull << (shift - 1);
    if (rem > half || (rem == half && (m & 1))) ++m;
  } else if (shift == 64) {
    // sig / 2^64 lies in [0.5, 1): rounds to 1 unless exactly one half (ties to even: 0).
    m = sig > kIntegerBit ? 1 : 0;
  }  // shift > 64: below half the smallest subnormal, rounds to zero
  int qq = q;
  if (m == (1ull << 53)) {
    m >>= 1;
    ++qq;
  }
  if (m == 0) return FromBits(sign);
  if (m >= (1ull << 52)) {
    const int biased = qq + 1075;
    if (biased >= 0x7FF) return FromBits(sign | 0x7FF0000000000000ull);
    return FromBits(sign | (static_cast<std::uint64_t>(biased) << 52) | (m - (1ull << 52)));
  }
  return FromBits(sign | m);  // subnormal: qq == -1074
}

}  // namespace tarvel::shm
