// The 10-byte extended conversion against hand-made encodings and, on x86, the x87 unit itself.
#include "shm/extended.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace tarvel::shm {
namespace {

ExtendedBytes Bytes(std::uint64_t sig, std::uint16_t signExp) {
  ExtendedBytes b{};
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(sig >> (8 * i));
  b[8] = static_cast<std::uint8_t>(signExp);
  b[9] = static_cast<std::uint8_t>(signExp >> 8);
  return b;
}

struct Case {
  double value;
  std::uint64_t sig;
  std::uint16_t signExp;
};

TEST(ExtendedTest, EncodesKnownValues) {
  const Case cases[] = {
      {1.0, 0x8000000000000000ull, 0x3FFF},
      {-2.0, 0x8000000000000000ull, 0xC000},
      {0.5, 0x8000000000000000ull, 0x3FFE},
      {1.5, 0xC000000000000000ull, 0x3FFF},
      {1500.0, 0xBB80000000000000ull, 0x4009},
      {0.0, 0, 0},
      {-0.0, 0, 0x8000},
      {std::numeric_limits<double>::infinity(), 0x8000000000000000ull, 0x7FFF},
      {-std::numeric_limits<double>::infinity(), 0x8000000000000000ull, 0xFFFF},
      {std::numeric_limits<double>::denorm_min(), 0x8000000000000000ull, 0x3BCD},
      {std::numeric_limits<double>::max(), 0xFFFFFFFFFFFFF800ull, 0x43FE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(EncodeExtended(c.value), Bytes(c.sig, c.signExp));
    const double back = DecodeExtended(Bytes(c.sig, c.signExp));
    EXPECT_EQ(std::memcmp(&back, &c.value, sizeof back), 0);
  }
}

TEST(ExtendedTest, NaNStaysNaN) {
  const ExtendedBytes b = EncodeExtended(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(b[9] & 0x7F, 0x7F);
  EXPECT_EQ(b[8], 0xFF);
  EXPECT_TRUE(std::isnan(DecodeExtended(b)));
}

TEST(ExtendedTest, DecodingRoundsToNearestEven) {
  struct R {
    std::uint64_t sig;
    std::uint16_t signExp;
    double expected;
  };
  const R cases[] = {
      {0x8000000000000400ull, 0x3FFF, 1.0},                       // exactly half an ulp: even stays
      {0x8000000000000401ull, 0x3FFF, 1.0 + std::ldexp(1, -52)},  // just above half
      {0x8000000000000C00ull, 0x3FFF, 1.0 + std::ldexp(1, -51)},  // half, odd: up
      {0xFFFFFFFFFFFFFC00ull, 0x3FFF, 2.0},                       // carries into the exponent
      {0x8000000000000000ull, 0x7FFE, std::numeric_limits<double>::infinity()},  // beyond double
      {0x8000000000000000ull, 0x0001, 0.0},                   // far below the smallest subnormal
      {0x8000000000000000ull, 0x0000, 0.0},                   // pseudo-denormal 2^-16382
      {0xC000000000000000ull, 0x3BCC, std::ldexp(1, -1074)},  // 0.75 x 2^-1074: up to the minimum
      {0x8000000000000000ull, 0x3BCC, 0.0},                   // 0.5 x 2^-1074: tie to even zero
      {0x8000000000000000ull, 0x3C00, std::ldexp(1, -1023)},  // a subnormal, exact
  };
  for (const R& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(DecodeExtended(Bytes(c.sig, c.signExp)), c.expected);
  }
}

TEST(ExtendedTest, InvalidEncodingsDecodeToNaN) {
  EXPECT_TRUE(std::isnan(DecodeExtended(Bytes(0x4000000000000000ull, 0x3FFF))));  // unnormal
  EXPECT_TRUE(std::isnan(DecodeExtended(Bytes(0x0000000000000000ull, 0x7FFF))));  // pseudo-infinity
  // A zero significand under a non-zero exponent is an unnormal too: the x87 load refuses it.
  EXPECT_TRUE(std::isnan(DecodeExtended(Bytes(0, 0x3FFF))));
  EXPECT_TRUE(std::isnan(DecodeExtended(Bytes(0, 0xBFFF))));
  EXPECT_EQ(DecodeExtended(Bytes(0, 0x0000)), 0.0);  // the zero
  EXPECT_TRUE(std::signbit(DecodeExtended(Bytes(0, 0x8000))));  // the negative zero
}

#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
// The x87 unit is the reference: long double is the 80-bit format on these hosts (tests only;
// the conversion itself never uses it).
TEST(ExtendedTest, MatchesTheX87Unit) {
  std::mt19937_64 gen(12345);
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t bits = gen();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isnan(d)) continue;
    const long double ld = d;
    ExtendedBytes want{};
    std::memcpy(want.data(), &ld, 10);
    ASSERT_EQ(EncodeExtended(d), want) << std::hexfloat << d;

    ExtendedBytes raw{};
    const std::uint64_t sig = gen();
    const std::uint16_t se = static_cast<std::uint16_t>(gen());
    raw = Bytes(sig, se);
    long double x;
    std::memset(&x, 0, sizeof x);
    std::memcpy(&x, raw.data(), 10);
    const double hw = static_cast<double>(x);
    const double mine = DecodeExtended(raw);
    if (std::isnan(hw)) {
      ASSERT_TRUE(std::isnan(mine)) << std::hex << sig << " " << se;
    } else {
      ASSERT_EQ(std::memcmp(&hw, &mine, 8), 0)
          << std::hex << sig << " " << se << " " << std::hexfloat << hw << " " << mine;
    }
  }
}

TEST(ExtendedTest, ZeroSignificandsDecodeAsTheX87UnitLoadsThem) {
  for (std::uint16_t se : {0x0000, 0x8000, 0x0001, 0x3FFF, 0x7FFE, 0x8001, 0xBFFF}) {
    SCOPED_TRACE(se);
    const ExtendedBytes raw = Bytes(0, se);
    long double x;
    std::memset(&x, 0, sizeof x);
    std::memcpy(&x, raw.data(), 10);
    const double hw = static_cast<double>(x);
    const double mine = DecodeExtended(raw);
    EXPECT_EQ(std::isnan(hw), std::isnan(mine));
    if (!std::isnan(hw)) {
      EXPECT_EQ(std::memcmp(&hw, &mine, 8), 0);
    }
  }
}

TEST(ExtendedTest, MatchesTheX87UnitNearTheDoubleLimits) {
  std::mt19937_64 gen(777);
  for (int e = 0x3BC0 - 0x3F; e <= 0x3C01 + 0x40; ++e) {
    for (int i = 0; i < 200; ++i) {
      const ExtendedBytes raw = Bytes(gen() | 0x8000000000000000ull,
                                      static_cast<std::uint16_t>(e | (i & 1 ? 0x8000 : 0)));
      long double x;
      std::memset(&x, 0, sizeof x);
      std::memcpy(&x, raw.data(), 10);
      const double hw = static_cast<double>(x);
      const double mine = DecodeExtended(raw);
      ASSERT_EQ(std::memcmp(&hw, &mine, 8), 0) << e;
    }
  }
  for (int e = 0x43F0; e <= 0x4400; ++e) {
    const ExtendedBytes raw = Bytes(gen() | 0x8000000000000000ull, static_cast<std::uint16_t>(e));
    long double x;
    std::memset(&x, 0, sizeof x);
    std::memcpy(&x, raw.data(), 10);
    const double hw = static_cast<double>(x);
    const double mine = DecodeExtended(raw);
    ASSERT_EQ(std::memcmp(&hw, &mine, 8), 0) << e;
  }
}
#endif

}  // namespace
}  // namespace tarvel::shm
