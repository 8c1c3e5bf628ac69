// Memo texts of the hub: the command log of sent frames and the controller clock check.
#include "hub/hub_texts.h"

#include <gtest/gtest.h>

#include "base/byte_writer.h"
#include "hub/memo_lines.h"

namespace tarvel::hub {
namespace {

const QDateTime kAt(QDate(2024, 5, 1), QTime(10, 0, 0));

link::TOrvoComAna::SentFrame Frame(int unit, int item, int mode, std::vector<std::int32_t> ints) {
  base::ByteWriter w;
  for (std::int32_t v : ints) w.i32be(v);
  return {{unit, item, mode}, w.take()};
}

TEST(CommandLogLine, FormatsIdsAndHard3Details) {
  struct Case {
    const char* what;
    link::TOrvoComAna::SentFrame frame;
    const char* line;
  };
  const Case cases[] = {
      {"plain", Frame(10, 1, 2, {}), "<24/05/01 10:00:00>: Cmd[10,  1,  2]"},
      {"dac", Frame(23, 3, 1, {2584, 0x8000}),
       "<24/05/01 10:00:00>: Cmd[23,  3,  1] DAC[a18] 8000"},
      {"do bit set, 16 bytes", Frame(23, 4, 1, {1, 768, 16, 24}),
       "<24/05/01 10:00:00>: Cmd[23,  4,  1] DOBitSet  [300] 0010 : 0018(Mode:1)"},
      // Sub-commands 0..2 carry 12 bytes: the fourth field is absent, not read past the end.
      {"do bit reset, 12 bytes", Frame(23, 4, 1, {2, 1540, 0x4000}),
       "<24/05/01 10:00:00>: Cmd[23,  4,  1] DOBitReset[604] 4000 : ----(Mode:2)"},
      {"masked write", Frame(23, 4, 1, {3, 1792, 8, 24}),
       "<24/05/01 10:00:00>: Cmd[23,  4,  1] DOBit2    [700] 0008 : 0018(Mode:3)"},
      {"empty Hard3 write", Frame(23, 3, 1, {}),
       "<24/05/01 10:00:00>: Cmd[23,  3,  1] DAC[----] ----"},
      {"Hard3 request has no details", Frame(23, 18, 2, {999, 999}),
       "<24/05/01 10:00:00>: Cmd[23, 18,  2]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CommandLogLine(c.frame, kAt), c.line);
  }
}

TEST(ControllerClock, FormatDateAndFiveSecondRule) {
  const QDateTime ctl(QDate(2001, 1, 1), QTime(10, 0, 0));
  struct Case {
    const char* text;
    QDateTime pc;
    ClockCheck expect;
  };
  const Case cases[] = {
      {"2001/01/01 10:00:00", ctl.addSecs(6), ClockCheck::kOff},
      {"2001/01/01 10:00:00", ctl.addSecs(4), ClockCheck::kInStep},
      {"2001/01/01 10:00:00", ctl.addSecs(-6), ClockCheck::kOff},
      {"2001/01/01 10:00:0a", ctl, ClockCheck::kInvalid},  // a letter
      {"2001/01/01 10:00:0", ctl, ClockCheck::kInvalid},   // 18 characters
      {"2001-01-01 10:00:00", ctl, ClockCheck::kInvalid},  // separators
      {"2001/13/01 10:00:00", ctl, ClockCheck::kInvalid},  // passes the format, no real date
      {"2001/02/30 10:00:00", ctl, ClockCheck::kInvalid},
      {"2001/01/01 25:00:00", ctl, ClockCheck::kInvalid},
      {"", ctl, ClockCheck::kInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CheckControllerClock(c.text, c.pc), c.expect);
  }
}

TEST(MemoLines, LimitsAndPeriodicTrim) {
  TMemoLines list("Message", 99);
  std::size_t removed = 0;
  list.OnRemovedFront = [&](std::size_t n) { removed += n; };
  for (int i = 0; i < 150; ++i) list.Add(std::to_string(i));
  EXPECT_EQ(list.Count(), 99u);  // 100 or more after an append loses the first
  EXPECT_EQ(list.Lines().front(), "51");
  EXPECT_EQ(removed, 51u);

  TMemoLines memo("Socket");
  for (int i = 0; i < 1011; ++i) memo.Add("x");
  memo.TrimLong();
  EXPECT_EQ(memo.Count(), 1001u);
  memo.TrimLong();  // 1001 is not above the mark
  EXPECT_EQ(memo.Count(), 1001u);
}

}  // namespace
}  // namespace tarvel::hub
