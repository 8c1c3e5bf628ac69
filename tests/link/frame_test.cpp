#include "link/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "base/byte_writer.h"

namespace tarvel::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameBuild, ExactBytesOnTheWire) {
  struct Case {
    const char* name;
    FrameIds ids;
    Bytes payload;
    Bytes expected;
  };
  const Case cases[] = {
      {"no payload", {10, 1, 2}, {}, {0x3A, 0x49, 0x01, 0x20, 0, 0,    0, 0x0C, 0, 0,
                                      0,    0x0A, 0,    0,    0, 0x01, 0, 0,    0, 0x02}},
      {"one int",
       {1, 2, 1},
       base::ByteWriter().i32be(1).take(),
       {0x3A, 0x49, 0x01, 0x20, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1}},
      {"string AB",
       {9, 2, 1},
       base::ByteWriter().cstring("AB").take(),
       {0x3A, 0x49, 0x01, 0x20, 0, 0, 0, 0x0F, 0, 0, 0, 9, 0, 0, 0, 2, 0, 0, 0, 1, 0x41, 0x42, 0}},
      {"double 1.0",
       {2, 5, 1},
       base::ByteWriter().f64be(1.0).take(),
       {0x3A, 0x49, 0x01, 0x20, 0, 0, 0,    0x14, 0, 0, 0, 2, 0, 0,
        0,    5,    0,    0,    0, 1, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"single byte", {2, 20, 1}, {0x07}, {0x3A, 0x49, 0x01, 0x20, 0,  0, 0, 0x0D, 0, 0,   0,
                                           2,    0,    0,    0,    20, 0, 0, 0,    1, 0x07}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildFrame(c.ids, c.payload), c.expected);
  }
}

TEST(FrameHeader, AcceptanceRule) {
  struct Case {
    std::array<std::uint8_t, 4> mark;
    bool accepted;
  };
  const Case cases[] = {
      {{0x3A, 0x4E, 0x03, 0xFF}, true},  {{0x3A, 0x4D, 0x01, 0x00}, true},
      {{0x3A, 0x49, 0x02, 0x20}, true},  {{0x3A, 0x49, 0x00, 0x20}, false},
      {{0x3A, 0x49, 0x04, 0x20}, false}, {{0x3B, 0x49, 0x01, 0x20}, false},
      {{0x3A, 0x4A, 0x01, 0x20}, false}, {{0x3A, 0x69, 0x01, 0x20}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.mark));
    EXPECT_EQ(AcceptHeader(std::span<const std::uint8_t, 4>(c.mark)), c.accepted);
  }
}

TEST(FrameSwap, ReversesInPlaceAndReturnsTheValue) {
  std::uint32_t l = 0x11223344;
  EXPECT_EQ(SwapLong(l), 0x44332211u);
  EXPECT_EQ(l, 0x44332211u);
  std::uint16_t w = 0xA1B2;
  EXPECT_EQ(SwapWord(w), 0xB2A1);
  double d = 1.0;
  SwapDouble(d);
  std::uint8_t raw[8];
  std::memcpy(raw, &d, 8);
  EXPECT_EQ(raw[0], 0x3F);
  EXPECT_EQ(raw[1], 0xF0);
  EXPECT_EQ(SwapDouble(d), 1.0);
  float f = 1.5f;
  EXPECT_EQ(SwapLong(SwapLong(f)), 1.5f);
}

TEST(FrameLength, LimitOfTheSignedField) {
  EXPECT_TRUE(FrameLengthFits(INT32_MAX - 12));
  EXPECT_FALSE(FrameLengthFits(static_cast<std::uint64_t>(INT32_MAX) - 11));
}

}  // namespace
}  // namespace tarvel::link
