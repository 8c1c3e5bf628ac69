// Commands built from client values: refusals send nothing; bulk frames and the scan condition.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "command_test_support.h"

namespace tarvel::link::test {
namespace {

using Cmd = std::function<base::Status(TOrvoComAna&)>;

// U+30A4, three bytes in UTF-8 and two in CP932.
std::string Katakana(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += "\xE3\x82\xA4";
  return s;
}

TEST_F(CommandTest, StringsUpToTheFrameBufferAreSentWhole) {
  struct Case {
    const char* name;
    Cmd cmd;
    std::size_t payload;  // text bytes in CP932 plus the zero
  };
  const Case cases[] = {
      {"235 ASCII bytes", [](auto& l) { return l.CmdIonChange(std::string(235, 'A')); }, 236},
      {"117 two-byte characters and one ASCII",
       [](auto& l) { return l.CmdVacCommand(Katakana(117) + "B"); }, 236},
      {"empty keyword", [](auto& l) { return l.CmdVacCommand(""); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::Status s;
    const Bytes got = SentBy([&] { return c.cmd(link); }, &s);
    EXPECT_TRUE(s.ok()) << s.ToString();
    ASSERT_EQ(got.size(), 20 + c.payload);
    EXPECT_EQ(got.back(), 0);
  }
}

TEST_F(CommandTest, RefusedCommandsSendNothingAndSayWhy) {
  struct Case {
    const char* name;
    Cmd cmd;
    const char* message;  // part of the error text
  };
  const Case cases[] = {
      {"ion name one byte too long", [](auto& l) { return l.CmdIonChange(std::string(236, 'A')); },
       "236 bytes exceeds"},
      // 118 characters are 354 bytes of UTF-8 but 236 of CP932: the limit counts CP932.
      {"keyword too long once converted", [](auto& l) { return l.CmdVacCommand(Katakana(118)); },
       "236 bytes exceeds"},
      {"very long keyword", [](auto& l) { return l.CmdVacCommand(std::string(100000, 'K')); },
       "exceeds"},
      {"keyword with a zero byte",
       [](auto& l) { return l.CmdVacCommand(std::string("VENT\0MC", 7)); }, "zero byte"},
      {"stop count -6", [](auto& l) { return l.CmdStageStop(-6); }, "-5..-1"},
      {"stop count INT_MIN",
       [](auto& l) { return l.CmdStageStop(std::numeric_limits<std::int32_t>::min()); }, "-5..-1"},
      {"stop axis 10", [](auto& l) { return l.CmdStageStop(10); }, "axis 10"},
      {"move axis -1", [](auto& l) { return l.CmdStageGo(-1, 5.0f); }, "axis -1"},
      {"move to NaN",
       [](auto& l) { return l.CmdStageGo(0, std::numeric_limits<float>::quiet_NaN()); }, "finite"},
      {"XY offset infinite",
       [](auto& l) { return l.CmdStageGoOffsetXY(1.0f, std::numeric_limits<float>::infinity()); },
       "finite"},
      {"dial gains 31",
       [](auto& l) { return l.CmdOpticsDialGain(0, std::vector<std::int32_t>(31)); }, "31 entries"},
      {"dial mode 4", [](auto& l) { return l.CmdOpticsDialGain(4, std::vector<std::int32_t>(32)); },
       "dial mode 4"},
      {"aperture table 14 values",
       [](auto& l) { return l.CmdApertureTable(1, std::vector<double>(14)); }, "14 values"},
      {"lens item 12 (the magnification code)", [](auto& l) { return l.CmdOpticsSetLens(12, 1); },
       "lens item 12"},
      {"power unit 7", [](auto& l) { return l.CmdPowerSet(7, true); }, "power unit 7"},
      {"MagK constant 4", [](auto& l) { return l.CmdHard3MagK(4, 1.0); }, "constant 4"},
      {"machine data DAC value NaN",
       [](auto& l) {
         return l.CmdHard3MachineData(6, 14, std::numeric_limits<double>::quiet_NaN());
       },
       "finite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::Status s;
    EXPECT_EQ(SentBy([&] { return c.cmd(link); }, &s), Bytes{});
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find(c.message), std::string::npos) << s.message();
  }
  // A refused keyword was never issued: nothing announces it.
  EXPECT_TRUE(notified.empty());
  EXPECT_EQ(link.SendErrorCount(), 0);
}

TEST_F(CommandTest, VacuumKeywordIsAnnouncedAfterSending) {
  EXPECT_EQ(SentBy([&] { return link.CmdVacCommand("VCLOSE_IG"); }),
            F(9, 4, 1, P().s("VCLOSE_IG")));
  EXPECT_EQ(notified, std::vector<int>{1148});
}

// ---- scan condition and its Hard3 pre-step

TScanCondition Condition(std::uint16_t state, std::uint16_t beamSelect) {
  TScanCondition c;
  for (std::size_t i = 0; i < c.words.size(); ++i) c.words[i] = static_cast<std::uint16_t>(i * 3);
  c.words[0] = state;
  c.words[54] = beamSelect;
  c.ints = {1, -2, 70000, 4, 5};
  return c;
}

Bytes ConditionFrame(const TScanCondition& c) {
  P p;
  for (std::uint16_t w : c.words) p.w(w);
  for (std::int32_t i : c.ints) p.i(i);
  EXPECT_EQ(p.b.size(), 152u);
  return F(8, 2, 1, p);
}

TEST_F(CommandTest, ScanConditionPreStepSelectsTheBeamOutputs) {
  const Bytes set = F(23, 4, 1, P().i(1).i(770).i(2));
  const Bytes reset = F(23, 4, 1, P().i(2).i(770).i(2));
  const Bytes maskOn = F(23, 4, 1, P().i(3).i(1792).i(8).i(24));
  const Bytes maskOff = F(23, 4, 1, P().i(3).i(1792).i(0).i(24));
  struct Case {
    const char* name;
    const char* hardType;
    std::uint16_t state, beamSelect;
    bool beamMode, extraBoard;
    Bytes before;
  };
  const Case cases[] = {
      {"beam mode, extra board", "HARD3", 1, 1, true, true, Cat({set, maskOn})},
      {"beam mode, no board", "HARD3", 1, 1, true, false, set},
      {"word 54 is 0", "HARD3", 1, 0, true, true, Cat({reset, maskOff})},
      {"beam-mode flag off", "HARD3", 1, 1, false, false, reset},
      {"stop request (state 2)", "HARD3", 2, 1, true, true, {}},
      {"Hard2 system", "HARD2", 1, 1, true, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state.hardType = c.hardType;
    state.extraBoard = c.extraBoard;
    state.condition = Condition(c.state, c.beamSelect);
    link.SetBeamMode(c.beamMode);
    EXPECT_EQ(SentBy([&] { return link.CmdScanCondition(); }),
              Cat({c.before, ConditionFrame(state.condition)}));
  }
}

// ---- bulk frames

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return b;
}

TEST_F(CommandTest, BulkFramesArriveAsOneFrameCoveringBothWrites) {
  struct Case {
    const char* name;
    Cmd cmd;
    P head;
    std::size_t dataSize;
    std::int32_t item;
  };
  state.bulk = Pattern(300000);
  state.condition.words[36] = 800;
  state.condition.words[37] = 600;
  const Case cases[] = {
      {"plain bitmap from the scan condition",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kPlain); }, P().w(800).w(600),
       800 * 600 / 8, 4},
      {"four-type bitmap rounds the width to 32",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kFourType, 100, 10); },
       P().w(128).w(10), 4 * 10 * 4, 4},
      {"four-type bitmap of width 0",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kFourType, 0, 10); }, P().w(32).w(10),
       0, 4},
      {"vectors", [](auto& l) { return l.CmdScanVectorData(3); }, P().i(3), 12, 6},
      // Larger than the peer's socket buffer: the rest is queued and follows in order.
      {"large vector list", [](auto& l) { return l.CmdScanVectorData(75000); }, P().i(75000),
       300000, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::Status s;
    const Bytes got = SentBy([&] { return c.cmd(link); }, &s);
    EXPECT_TRUE(s.ok()) << s.ToString();
    P payload = c.head;
    payload.b.insert(payload.b.end(), state.bulk.begin(),
                     state.bulk.begin() + static_cast<std::ptrdiff_t>(c.dataSize));
    EXPECT_TRUE(got == F(8, c.item, 1, payload)) << "got " << got.size() << " bytes";
  }
  EXPECT_TRUE(notified.empty());
}

TEST_F(CommandTest, BulkBeyondTheHeldDataIsRefusedAndFlagged) {
  state.bulk = Pattern(1000);
  struct Case {
    const char* name;
    Cmd cmd;
  };
  const Case cases[] = {
      {"bitmap one byte past the data",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kPlain, 1001 * 8, 1); }},
      {"four-type bitmap past the data",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kFourType, 33, 126); }},
      {"four-type width beyond 16 bits",
       [](auto& l) { return l.CmdScanBitmapData(TBitmapForm::kFourType, 65535, 0); }},
      {"vector count past the data", [](auto& l) { return l.CmdScanVectorData(251); }},
      {"vector count overflowing the frame length",
       [](auto& l) { return l.CmdScanVectorData(std::numeric_limits<std::int32_t>::max()); }},
      {"negative vector count", [](auto& l) { return l.CmdScanVectorData(-1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notified.clear();
    base::Status s;
    EXPECT_EQ(SentBy([&] { return c.cmd(link); }, &s), Bytes{});
    EXPECT_FALSE(s.ok());
    EXPECT_FALSE(s.message().empty());
    EXPECT_EQ(notified, std::vector<int>{1140});
  }
  // Exactly the data held is still fine.
  EXPECT_EQ(SentBy([&] { return link.CmdScanVectorData(250); }).size(), 20u + 4 + 1000);
}

TEST_F(CommandTest, BulkFrameOnAClosedLinkIsNotHalfSent) {
  state.bulk = Pattern(64);
  link.Disconnect();
  const base::Status s = link.CmdScanVectorData(16);
  EXPECT_EQ(s.code(), base::Status::Code::kUnavailable);
  EXPECT_TRUE(peer.readAvailable().empty());
}

}  // namespace
}  // namespace tarvel::link::test
