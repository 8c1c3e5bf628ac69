// TSeekPosition against the published offsets, written out independently of the code.
#include "shm/seek_position.h"

#include <gtest/gtest.h>

namespace tarvel::shm {
namespace {

struct Expect {
  int code;
  int index;
  long offset;  // -1: refused
};

// Every row of the layout tables, the first and last element of every array, and the defaults.
constexpr Expect kCases[] = {
    // monitor: stage constants, default 0
    {1, 0, 0},
    {1, 1, 10},
    {1, 22, 220},
    {1, 23, 0},
    {1, -1, 0},
    // track ball X / Y, 0..15, no default
    {16, 0, 232},
    {16, 15, 292},
    {16, 16, -1},
    {16, -1, -1},
    {17, 0, 316},
    {17, 15, 376},
    {17, 16, -1},
    // power modes 0..8, no default
    {0, 0, 400},
    {0, 8, 432},
    {0, 9, -1},
    {0, -1, -1},
    // aperture, default index 1
    {3, 0, 436},
    {3, 1, 440},
    {3, 2, 444},
    {3, 3, 448},
    {3, 4, 452},
    {3, 5, 456},
    {3, 6, 440},
    {3, 0x100, 436},
    // vacuum area, default 0
    {5, 0, 460},
    {5, 1, 511},
    {5, 2, 564},
    {5, 7, 568},
    {5, 3, 572},
    {5, 4, 576},
    {5, 5, 580},
    {5, 6, 584},
    {5, 8, 588},
    {5, 9, 460},
    // device states and change flags, 0..200, no default
    {6, 0, 592},
    {6, 200, 992},
    {6, 201, -1},
    {7, 0, 994},
    {7, 200, 1394},
    {7, 201, -1},
    {24, 0, 1396},
    {24, 200, 1796},
    {24, -1, -1},
    {22, 0, 1798},
    {22, 200, 2198},
    {22, 201, -1},
    {23, 0, 2200},
    {23, 200, 2600},
    {25, 0, 2602},
    {25, 200, 3002},
    {25, 201, -1},
    // optics, default 0
    {9, 0, 3008},
    {9, 1, 3018},
    {9, 2, 3028},
    {9, 3, 3038},
    {9, 4, 3048},
    {9, 5, 3058},
    {9, 6, 3068},
    {9, 7, 3078},
    {9, 8, 3088},
    {9, 9, 3098},
    {9, 10, 3108},
    {9, 11, 3112},
    {9, 12, 3122},
    {9, 13, 3132},
    {9, 14, 3134},
    {9, 15, 3144},
    {9, 16, 3154},
    {9, 17, 3164},
    {9, 18, 3174},
    {9, 19, 3184},
    {9, 20, 3194},
    {9, 21, 3196},
    {9, 22, 3206},
    {9, 23, 3008},
    // monitor words, default 1
    {10, 0, 3208},
    {10, 1, 3210},
    {10, 2, 3212},
    {10, 3, 3222},
    {10, 4, 3224},
    {10, 5, 3210},
    // notification flags 0..101, no default
    {11, 0, 3228},
    {11, 101, 3430},
    {11, 102, -1},
    {11, -1, -1},
    // unit report 0..6 at 8k, default 3432
    {12, 0, 3432},
    {12, 1, 3440},
    {12, 6, 3480},
    {12, 7, 3432},
    // reserved words, default 3484
    {13, 0, 3484},
    {13, 1, 3492},
    {13, 2, 3500},
    {13, 3, 3504},
    {13, 4, 3484},
    // scan, default 0
    {14, 0, 3508},
    {14, 1, 3512},
    {14, 2, 3516},
    {14, 3, 3508},
    // Hard3 constants 0..4, no default
    {15, 0, 3520},
    {15, 4, 3552},
    {15, 5, -1},
    // alarm summary, default 0; alarm flags 0..150, no default
    {18, 0, 3560},
    {18, 1, 3564},
    {18, 2, 3560},
    {19, 0, 3568},
    {19, 150, 3868},
    {19, 151, -1},
    {19, -1, -1},
    // stage record, default 0
    {4, 0, 0},
    {4, 1, 4},
    {4, 2, 8},
    {4, 3, 12},
    {4, 4, 16},
    {4, 5, 20},
    {4, 6, 24},
    {4, 7, 28},
    {4, 8, 38},
    {4, 9, 48},
    {4, 10, 58},
    {4, 11, 68},
    {4, 12, 80},
    {4, 21, 116},
    {4, 22, 120},
    {4, 23, 220},
    {4, 24, 224},
    {4, 25, 0},
    // ion record, default 0
    {8, 0, 0},
    {8, 1, 4},
    {8, 7, 64},
    {8, 8, 76},
    {8, 15, 104},
    {8, 16, 108},
    {8, 17, 118},
    {8, 18, 128},
    {8, 19, 130},
    {8, 20, 140},
    {8, 21, 150},
    {8, 22, 160},
    {8, 23, 0},
    // monitoring SEM: values 0..22 default 0, coefficients 0..38 default index 4
    {20, 0, 0},
    {20, 22, 176},
    {20, 23, 240},
    {20, 24, 244},
    {20, 25, 272},
    {20, 26, 0},
    {21, 0, 288},
    {21, 28, 512},
    {21, 29, 520},
    {21, 38, 592},
    {21, 39, 320},
    {21, -1, 320},
    // dial record: 0..10, default index 1
    {26, 0, 0},
    {26, 2, 8},
    {26, 10, 40},
    {26, 11, 4},
    // codes no area belongs to
    {2, 0, -1},
    {27, 0, -1},
    {255, 0, -1},
};

TEST(SeekPositionTest, OffsetsOfPart32) {
  for (const Expect& e : kCases) {
    SCOPED_TRACE("code " + std::to_string(e.code) + " index " + std::to_string(e.index));
    const auto off = TSeekPosition::Offset(static_cast<std::uint8_t>(e.code), e.index);
    if (e.offset < 0) {
      EXPECT_FALSE(off.has_value());
    } else {
      ASSERT_TRUE(off.has_value());
      EXPECT_EQ(*off, static_cast<std::uint32_t>(e.offset));
    }
  }
}

// A known edge case: a 2-byte field between two extended values.
TEST(SeekPositionTest, OpticsWord13SitsBetweenExtendedValues) {
  EXPECT_EQ(TSeekPosition::Offset(9, 13).value(), 3132u);
  EXPECT_EQ(TSeekPosition::Offset(9, 14).value(), 3134u);
}

}  // namespace
}  // namespace tarvel::shm
