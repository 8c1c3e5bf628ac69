// The simulator's view of a command: its name and decoded fields.
#include "controller_sim/command_names.h"

#include <gtest/gtest.h>

#include "command_test_support.h"

namespace tarvel::link::test {
namespace {

using controller_sim::CommandFieldsJson;
using controller_sim::CommandName;
using controller_sim::DecodeStageMotion;

TEST(CommandNames, FieldsAreDecodedBounded) {
  struct Case {
    const char* name;
    FrameIds ids;
    Bytes payload;
    const char* json;
  };
  const Case cases[] = {
      {"move",
       {10, 7, 1},
       P().i(3).i(1).i(2).i(2).f(1500.0f).b,
       ",\"sub\":3,\"axes\":[{\"axis\":2,\"mode\":2,\"value\":1500}]"},
      {"stop two axes",
       {10, 7, 1},
       P().i(0).i(2).i(0).i(1).b,
       ",\"sub\":0,\"axes\":[{\"axis\":0},{\"axis\":1}]"},
      {"motion with a huge count",
       {10, 7, 1},
       P().i(0).i(0x7FFFFFFF).b,
       ",\"malformed\":true,\"bytes\":8"},
      {"keyword", {9, 4, 1}, P().s("VENT\"MC").b, ",\"keyword\":\"VENT\\\"MC\""},
      {"masked bits",
       {23, 4, 1},
       P().i(3).i(1792).i(8).i(24).b,
       ",\"sub\":3,\"address\":1792,\"bits\":8,\"width\":24"},
      {"plain bits", {23, 4, 1}, P().i(1).i(770).i(2).b, ",\"sub\":1,\"address\":770,\"bits\":2"},
      {"truncated", {23, 3, 1}, P().i(100).w(1).b, ",\"address\":100,\"truncated\":true"},
      {"bulk data after the description",
       {8, 6, 1},
       P().i(2).i(0).i(0).b,
       ",\"count\":2,\"extra_bytes\":8"},
      {"unknown ids", {99, 1, 1}, Bytes(5), ",\"bytes\":5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CommandFieldsJson(c.ids, c.payload), c.json);
  }
  EXPECT_EQ(CommandName({99, 1, 1}), nullptr);
  EXPECT_STREQ(CommandName({2, 12, 1}), "CmdOpticsSetMagCode");
  EXPECT_STREQ(CommandName({2, 12, 2}), "CmdOpticsMagRequest");
}

TEST(CommandNames, StageMotionKeepsTargets) {
  const auto m = DecodeStageMotion(P().i(5).i(2).i(0).i(1).f(1.5f).i(1).i(0).f(2.0f).b);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->sub, 5);
  ASSERT_EQ(m->axes.size(), 2u);
  EXPECT_EQ(m->axes[0].mode, 1);
  EXPECT_EQ(m->axes[1].value, 2.0f);
  // A field cut short or left over makes the whole command malformed.
  EXPECT_FALSE(DecodeStageMotion(P().i(3).i(1).i(0).i(2).b).has_value());
  EXPECT_FALSE(DecodeStageMotion(P().i(2).i(1).i(0).i(9).b).has_value());
  EXPECT_FALSE(DecodeStageMotion(P().i(7).i(0).b).has_value());
}

}  // namespace
}  // namespace tarvel::link::test
