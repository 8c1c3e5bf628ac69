// Stage moves: targets recorded in the stage model and the blanking check before large moves.
#include <gtest/gtest.h>

#include <functional>

#include "command_test_support.h"
#include "model/orvo_stage_info.h"

namespace tarvel::link::test {
namespace {

using Cmd = std::function<base::Status(TOrvoComAna&)>;

class StageMoveTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    // Magnification code 3 is an 800 um field: half-width 500, so moves beyond 1000 blank.
    state.magIndex = 3;
    state.monitorWord = -1;
    state.axes[0] = 10000;
    state.axes[1] = 20000;
    for (int axis = 0; axis < 5; ++axis) link.StageInfo().SetAxisParameter(axis, 5, 300000);
    link.StageInfo().SetAxisRaw(0, 10000);
    link.StageInfo().SetAxisRaw(1, 20000);
  }
};

Bytes Go(std::int32_t axis, std::int32_t mode, float v) {
  return F(10, 7, 1, P().i(3).i(1).i(axis).i(mode).f(v));
}
const Bytes kBlank = F(2, 20, 1, P().i(1));

TEST_F(StageMoveTest, LargeMovesBlankTheBeamFirst) {
  struct Case {
    const char* name;
    std::function<void(FakeState&)> setup;
    Cmd cmd;
    Bytes wire;
  };
  const auto none = [](FakeState&) {};
  const auto tilt = [](double t) { return [t](FakeState& s) { s.axes[3] = t; }; };
  const Case cases[] = {
      {"absolute move of exactly twice the half-width", none,
       [](auto& l) { return l.CmdStageGo(0, 11000.0f); }, Go(0, 2, 11000.0f)},
      {"absolute move just beyond", none, [](auto& l) { return l.CmdStageGo(0, 11001.0f); },
       Cat({kBlank, Go(0, 2, 11001.0f)})},
      {"relative move beyond", none, [](auto& l) { return l.CmdStageGoOffset(1, -1000.5f); },
       Cat({kBlank, Go(1, 1, 1000.5f)})},
      {"relative move within", none, [](auto& l) { return l.CmdStageGoOffset(1, 999.0f); },
       Go(1, 0, 999.0f)},
      {"Z is never checked", none, [](auto& l) { return l.CmdStageGo(2, 200000.0f); },
       Go(2, 2, 200000.0f)},
      // Tilt 60 degrees: (500 + 20) / cos 60 = 1040, so 2h = 2080.
      {"tilted, within", tilt(60000), [](auto& l) { return l.CmdStageGoOffset(0, 2070.0f); },
       Go(0, 0, 2070.0f)},
      {"tilted, beyond", tilt(60000), [](auto& l) { return l.CmdStageGoOffset(0, 2090.0f); },
       Cat({kBlank, Go(0, 0, 2090.0f)})},
      {"negative tilt is not corrected", tilt(-3000),
       [](auto& l) { return l.CmdStageGoOffset(0, 1001.0f); }, Cat({kBlank, Go(0, 0, 1001.0f)})},
      // Beyond 90 degrees the cosine is negative: the half-width must not turn negative (which
      // would blank every move) nor infinite; the move blanks, the safe side.
      {"tilt beyond 90 degrees blanks", tilt(120000),
       [](auto& l) { return l.CmdStageGoOffset(0, 10.0f); }, Cat({kBlank, Go(0, 0, 10.0f)})},
      {"tilt of exactly 270 degrees blanks", tilt(270000),
       [](auto& l) { return l.CmdStageGoOffset(0, 10.0f); }, Cat({kBlank, Go(0, 0, 10.0f)})},
      {"magnification index 24 skips the check", [](FakeState& s) { s.magIndex = 24; },
       [](auto& l) { return l.CmdStageGoOffset(0, 100000.0f); }, Go(0, 0, 100000.0f)},
      {"magnification index 255 skips the check", [](FakeState& s) { s.magIndex = 255; },
       [](auto& l) { return l.CmdStageGoOffset(0, 100000.0f); }, Go(0, 0, 100000.0f)},
      {"negative magnification index skips the check", [](FakeState& s) { s.magIndex = -1; },
       [](auto& l) { return l.CmdStageGoOffset(0, 100000.0f); }, Go(0, 0, 100000.0f)},
      {"highest magnification", [](FakeState& s) { s.magIndex = 23; },
       [](auto& l) { return l.CmdStageGoOffset(0, 0.6f); }, Cat({kBlank, Go(0, 0, 0.6f)})},
      {"switch flag B skips the check", [](FakeState& s) { s.flagB = true; },
       [](auto& l) { return l.CmdStageGoOffset(0, 5000.0f); }, Go(0, 0, 5000.0f)},
      {"monitor word 0 skips the check", [](FakeState& s) { s.monitorWord = 0; },
       [](auto& l) { return l.CmdStageGoOffset(0, 5000.0f); }, Go(0, 0, 5000.0f)},
      {"target outside the limits skips the check", none,
       [](auto& l) { return l.CmdStageGo(0, 400000.0f); }, Go(0, 2, 400000.0f)},
      {"XY: only Y beyond", none, [](auto& l) { return l.CmdStageGoXY(10500.0f, 25000.0f); },
       Cat({kBlank, F(10, 7, 1, P().i(5).i(2).i(0).i(2).f(10500.0f).i(1).i(2).f(25000.0f))})},
      {"XY relative: both beyond, each checked on its own", none,
       [](auto& l) { return l.CmdStageGoOffsetXY(-1500.0f, 2000.0f); },
       Cat({kBlank, kBlank, F(10, 7, 1, P().i(5).i(2).i(0).i(1).f(1500.0f).i(1).i(0).f(2000.0f))})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeState saved = state;
    c.setup(state);
    link.StageInfo().SetSpareFlag(0);
    base::Status s;
    EXPECT_EQ(SentBy([&] { return c.cmd(link); }, &s), c.wire);
    EXPECT_TRUE(s.ok()) << s.ToString();
    const bool blanked = c.wire.size() > 20 && c.wire[11] == 2;  // first frame is unit 2
    EXPECT_EQ(link.StageInfo().SpareFlag(), blanked ? 1 : 0);
    state = saved;
  }
}

TEST_F(StageMoveTest, MovesRecordTheirTargets) {
  ASSERT_TRUE(link.CmdStageGo(0, 10040.0f).ok());  // 40 away: no move requested
  EXPECT_FLOAT_EQ(link.StageInfo().Axis(0).target, 10040.0f);
  EXPECT_FALSE(link.StageInfo().Axis(0).moveRequested);
  ASSERT_TRUE(link.CmdStageGoOffset(0, -51.0f).ok());
  EXPECT_FLOAT_EQ(link.StageInfo().Axis(0).target, 9949.0f);
  EXPECT_TRUE(link.StageInfo().Axis(0).moveRequested);
  ASSERT_TRUE(link.CmdStageGoOffsetXY(100.0f, -100.0f).ok());
  EXPECT_FLOAT_EQ(link.StageInfo().Axis(1).target, 19900.0f);
  // Out of the limits: recorded, but no move is requested.
  ASSERT_TRUE(link.CmdStageGo(1, -5.0f).ok());
  EXPECT_FALSE(link.StageInfo().Axis(1).moveRequested);
  EXPECT_FALSE(link.StageInfo().IsPending(2));
  ASSERT_TRUE(link.CmdStageInitialize(2).ok());
  EXPECT_TRUE(link.StageInfo().IsPending(2));
}

TEST(StageModel, TargetsAndLimits) {
  model::TOrvoStageInfo m;
  m.SetAxisParameter(4, 4, 350000);  // R: a range across 0
  m.SetAxisParameter(4, 5, 10000);
  m.SetAxisParameter(0, 5, 300000);
  m.SetAxisRaw(0, 1000.0f);
  struct Case {
    int axis;
    double value;
    bool inRange;
    bool requested;
    float stored;
  };
  const Case cases[] = {
      {0, 1050, true, false, 1050},      {0, 1051, true, true, 1051},
      {0, 300001, false, false, 300001}, {4, 360100, true, true, 100},
      {4, 355000, true, true, 355000},   {4, 100000, false, false, 100000},
      {4, 1e12, false, false, 280000},   {10, 5, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    m.CancelMove(c.axis);
    EXPECT_EQ(m.SetTarget(c.axis, c.value), c.inRange);
    EXPECT_EQ(m.Axis(c.axis).moveRequested, c.requested);
    EXPECT_FLOAT_EQ(m.Axis(c.axis).target, c.stored);
  }
  EXPECT_TRUE(m.CheckLimit(4, 5000));
  EXPECT_FALSE(m.CheckLimit(0, -1));
}

}  // namespace
}  // namespace tarvel::link::test
