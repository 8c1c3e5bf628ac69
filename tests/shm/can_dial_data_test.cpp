// The dial record's layout against the section's bytes.
#include "shm/can_dial_data.h"

#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class CanDialDataTest : public ShmTest {};

TEST_F(CanDialDataTest, WordsAtFourI) {
  TOrvoCanDialData rec(true, Options());
  ASSERT_TRUE(rec.IsOpen());
  ASSERT_EQ(RawBytes(kCanDialRecord).size(), 44u);
  for (int i = 2; i <= 7; ++i) ASSERT_TRUE(rec.SetDialWord(i, 100 * i).ok());
  const std::int32_t extra = 7;
  PokeRaw(kCanDialRecord, 40, &extra, 4);
  const auto b = RawBytes(kCanDialRecord);
  for (int i = 2; i <= 7; ++i) EXPECT_EQ(At<std::int32_t>(b, 4 * i), 100 * i);
  EXPECT_EQ(At<std::int32_t>(b, 0), 0);
  EXPECT_EQ(*rec.GetDialWord(10), 7);
  EXPECT_EQ(rec.SetDialWord(10, 1).code(), base::Status::Code::kOutOfRange);
  EXPECT_EQ(rec.SetDialWord(1, 1).code(), base::Status::Code::kOutOfRange);
  EXPECT_FALSE(rec.GetDialWord(8).ok());
  // The generic access takes the layout's default (index 1) for an index outside the area.
  ASSERT_TRUE(rec.WriteI32(code::kCanDial, 11, 55).ok());
  EXPECT_EQ(At<std::int32_t>(RawBytes(kCanDialRecord), 4), 55);
}

}  // namespace
}  // namespace tarvel::shm
