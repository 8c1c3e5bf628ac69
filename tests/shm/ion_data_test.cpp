// The ion record's layout against the section's bytes.
#include "shm/ion_data.h"

#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class IonDataTest : public ShmTest {};

TEST_F(IonDataTest, PublishingWritesTheListedOffsets) {
  TOrvoIonData rec(true, Options());
  ASSERT_TRUE(rec.IsOpen());
  ASSERT_EQ(RawBytes(kIonRecord).size(), 172u);
  const std::uint8_t keep[2] = {0xAB, 0xCD};
  PokeRaw(kIonRecord, 74, keep, 2);
  const std::int32_t w13 = 1313;
  PokeRaw(kIonRecord, 96, &w13, 4);

  IonBlock block;
  block.word0 = 42;
  for (int k = 0; k < 7; ++k) block.values[k] = 0.5 * (k + 1);
  for (int k = 0; k < 5; ++k) block.words[k] = 800 + k;
  ASSERT_TRUE(rec.PublishIonBlock(block).ok());
  ASSERT_TRUE(rec.PublishIonPair(16.0, 17.0).ok());
  ASSERT_TRUE(rec.PublishIonWord(-1).ok());
  const double tail[4] = {19.5, 20.5, 21.5, 22.5};
  ASSERT_TRUE(rec.PublishIonTail(tail).ok());

  const auto b = RawBytes(kIonRecord);
  EXPECT_EQ(At<std::int32_t>(b, 0), 42);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(ExtAt(b, 4 + 10 * k), 0.5 * (k + 1)) << k;
  EXPECT_EQ(b[74], 0xAB);  // left as they were
  EXPECT_EQ(b[75], 0xCD);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(At<std::int32_t>(b, 76 + 4 * k), 800 + k) << k;
  EXPECT_EQ(At<std::int32_t>(b, 96), 1313);  // word 13 is not written by the server
  EXPECT_EQ(ExtAt(b, 108), 16.0);
  EXPECT_EQ(ExtAt(b, 118), 17.0);
  EXPECT_EQ(At<std::int16_t>(b, 128), -1);
  EXPECT_EQ(ExtAt(b, 130), 19.5);
  EXPECT_EQ(ExtAt(b, 140), 20.5);
  EXPECT_EQ(ExtAt(b, 150), 21.5);
  EXPECT_EQ(ExtAt(b, 160), 22.5);

  EXPECT_EQ(*rec.GetIonValue(7), 3.5);
  EXPECT_EQ(*rec.GetIonWord(12), 804);
  EXPECT_EQ(*rec.GetIonValue(22), 22.5);
  EXPECT_FALSE(rec.GetIonValue(18).ok());  // a 16-bit field
  EXPECT_FALSE(rec.GetIonWord(1).ok());
}

}  // namespace
}  // namespace tarvel::shm
