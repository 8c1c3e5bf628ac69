// The command catalogue on the wire: exact bytes captured by a peer on a real loopback socket.
#include "link/orvo_commands.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>

#include "base/byte_reader.h"
#include "command_test_support.h"
#include "controller_sim/command_names.h"

namespace tarvel::link::test {
namespace {

using Cmd = std::function<base::Status(TOrvoComAna&)>;

struct Golden {
  const char* name;  // the command name the simulator must log for the first frame
  Cmd cmd;
  Bytes wire;
};

std::array<std::int32_t, 32> Gains() {
  std::array<std::int32_t, 32> g{};
  for (int i = 0; i < 32; ++i) g[static_cast<std::size_t>(i)] = i * 3 - 7;
  return g;
}

std::array<double, 15> ApertureValues() {
  std::array<double, 15> v{};
  for (int i = 0; i < 15; ++i) v[static_cast<std::size_t>(i)] = i * 0.5 - 1;
  return v;
}

P GainPayload(std::int32_t mode) {
  P p;
  p.i(mode);
  for (std::int32_t g : Gains()) p.i(g);
  return p;
}

P AperturePayload() {
  P p;
  p.i(3);
  for (double v : ApertureValues()) p.d(v);
  return p;
}

// Every command of the catalogue with default (neutral) state: no blanking, no pre-step.
std::vector<Golden> GoldenTable() {
  const QDateTime noonPlus(QDate(2024, 3, 5), QTime(12, 0, 0, 600));
  const QDateTime lastHalfSecond(QDate(2024, 12, 31), QTime(23, 59, 59, 500));
  return {
      // unit 1
      {"CmdSysInfoRequest", [](auto& l) { return l.CmdSysInfoRequest(); },
       P().hex("3A 49 01 20 00 00 00 0C 00 00 00 01 00 00 00 01 00 00 00 02").b},
      {"CmdSysSetTime", [=](auto& l) { return l.CmdSysSetTime(noonPlus); },
       F(1, 3, 1, P().s("2024/03/05 12:00:01"))},
      {"CmdSysSetTime", [=](auto& l) { return l.CmdSysSetTime(lastHalfSecond); },
       F(1, 3, 1, P().s("2025/01/01 00:00:00"))},
      {"CmdSysDataInitialized", [](auto& l) { return l.CmdSysDataInitialized(true); },
       F(1, 12, 1, P().i(1))},
      {"CmdSysMessageMask", [](auto& l) { return l.CmdSysMessageMask(0xC0000011u); },
       F(1, 13, 1, P().i(0xC0000011u))},
      {"CmdSysSyncRequest", [](auto& l) { return l.CmdSysSyncRequest(77); },
       F(1, 14, 1, P().i(77))},
      {"CmdSysQuit", [](auto& l) { return l.CmdSysQuit(); }, F(1, 100, 1)},
      // unit 2
      {"CmdOpticsSetLens", [](auto& l) { return l.CmdOpticsSetLens(3, 0x1234); },
       F(2, 3, 1, P().w(0x1234))},
      {"CmdOpticsSetLens", [](auto& l) { return l.CmdOpticsSetLens(14, 4095); },
       F(2, 14, 1, P().w(4095))},
      {"CmdOpticsSetMagCode", [](auto& l) { return l.CmdOpticsSetMagCode(17); },
       P().hex("3A 49 01 20 00 00 00 0D 00 00 00 02 00 00 00 0C 00 00 00 01 11").b},
      {"CmdOpticsMagRequest", [](auto& l) { return l.CmdOpticsMagRequest(); }, F(2, 12, 2)},
      {"CmdOpticsWobbler", [](auto& l) { return l.CmdOpticsWobbler(1, -2, 3); },
       F(2, 15, 1, P().i(1).i(-2).i(3))},
      {"CmdOpticsProbePolarity", [](auto& l) { return l.CmdOpticsProbePolarity(true); },
       F(2, 19, 1, P().i(1))},
      {"CmdOpticsForceBlanking", [](auto& l) { return l.CmdOpticsForceBlanking(false); },
       F(2, 20, 1, P().i(0))},
      {"CmdOpticsMagLock", [](auto& l) { return l.CmdOpticsMagLock(true); }, F(2, 21, 1, P().i(1))},
      {"CmdOpticsGamma", [](auto& l) { return l.CmdOpticsGamma(2, 1); },
       F(2, 22, 1, P().w(2).w(1))},
      {"CmdOpticsForceBeamOn", [](auto& l) { return l.CmdOpticsForceBeamOn(true); },
       F(2, 23, 1, P().i(1))},
      {"CmdOpticsShiftX", [](auto& l) { return l.CmdOpticsShiftX(-1); }, F(2, 24, 1, P().i(-1))},
      {"CmdOpticsShiftY", [](auto& l) { return l.CmdOpticsShiftY(2048); },
       F(2, 25, 1, P().i(2048))},
      {"CmdOpticsPixelSize", [](auto& l) { return l.CmdOpticsPixelSize(1.0); },
       F(2, 26, 1, P().hex("3F F0 00 00 00 00 00 00"))},
      {"CmdOpticsDialGain", [](auto& l) { return l.CmdOpticsDialGain(2, Gains()); },
       F(2, 27, 1, GainPayload(2))},
      // unit 6
      {"CmdIonExec", [](auto& l) { return l.CmdIonExec(7); }, F(6, 5, 1, P().w(7))},
      {"CmdIonExec", [](auto& l) { return l.CmdIonExec(4, 1.5, -2.25, 3e3); },
       F(6, 5, 1, P().w(4).d(1.5).d(-2.25).d(3e3).d(3e3))},
      {"CmdIonCurrentMode", [](auto& l) { return l.CmdIonCurrentMode(2); },
       Cat({F(6, 6, 1, P().i(2)), F(6, 6, 2)})},
      {"CmdIonPresetData",
       [](auto& l) {
         return l.CmdIonPresetData({1, 2, 3, 4, 5, 6, 7, 8.5});
       },
       F(6, 7, 1, P().d(1).d(2).d(3).d(4).d(5).d(6).d(7).d(8.5))},
      {"CmdIonPresetRequest", [](auto& l) { return l.CmdIonPresetRequest(); }, F(6, 7, 2)},
      {"CmdIonMonitorStart", [](auto& l) { return l.CmdIonMonitorStart(); }, F(6, 8, 3)},
      {"CmdIonMonitorStop", [](auto& l) { return l.CmdIonMonitorStop(); }, F(6, 8, 4)},
      {"CmdIonDataRequest", [](auto& l) { return l.CmdIonDataRequest(); }, F(6, 10, 2)},
      {"CmdIonOscRecoverMode", [](auto& l) { return l.CmdIonOscRecoverMode(3); },
       F(6, 11, 1, P().i(3))},
      {"CmdIonChange", [](auto& l) { return l.CmdIonChange("Ga-2"); }, F(6, 12, 1, P().s("Ga-2"))},
      // Japanese text travels in CP932: U+30A4 is 83 43.
      {"CmdIonChange",
       [](auto& l) {
         return l.CmdIonChange(
             "\xE3\x82\xA4"
             "A");
       },
       F(6, 12, 1, P().hex("83 43 41 00"))},
      {"CmdIonAccRate", [](auto& l) { return l.CmdIonAccRate(5); }, F(6, 13, 1, P().i(5))},
      {"CmdIonStandby", [](auto& l) { return l.CmdIonStandby(false); },
       F(6, 15, 1, P().d(1.0).d(0.0))},
      {"CmdIonStandby", [](auto& l) { return l.CmdIonStandby(30.0, 1.5, 2.5, 3.5); },
       F(6, 15, 1, P().d(2.0).d(30.0).d(1.5).d(2.5).d(3.5))},
      // unit 8 (the scan condition and bulk frames have their own tests)
      {"CmdScanConditionRequest", [](auto& l) { return l.CmdScanConditionRequest(); }, F(8, 2, 2)},
      {"CmdScanMode", [](auto& l) { return l.CmdScanMode(3); }, F(8, 3, 1, P().w(3))},
      {"CmdScanRotation", [](auto& l) { return l.CmdScanRotation(-45.5); },
       F(8, 5, 1, P().d(-45.5))},
      // units 9, 10
      {"CmdVacRequest", [](auto& l) { return l.CmdVacRequest(3); }, F(9, 3, 2)},
      {"CmdVacCommand", [](auto& l) { return l.CmdVacCommand("DC_BEEP_OFF"); },
       F(9, 4, 1, P().s("DC_BEEP_OFF"))},
      {"CmdStageRequest", [](auto& l) { return l.CmdStageRequest(2); }, F(10, 2, 2)},
      {"CmdStageParam", [](auto& l) { return l.CmdStageParamRequest(); }, F(10, 6, 2, P().i(1))},
      {"CmdStageParam", [](auto& l) { return l.CmdStageParam(1, 2, 300); },
       Cat({F(10, 6, 1, P().i(2).i(1).i(0).i(2).i(300).i(0)), F(10, 6, 2, P().i(1))})},
      {"CmdStageParam", [](auto& l) { return l.CmdStageParamEntry(0, 2, 1000, 3); },
       Cat({F(10, 6, 1, P().i(2).i(0).i(1).i(2).i(1000).i(3)), F(10, 6, 2, P().i(1))})},
      {"CmdStageParam", [](auto& l) { return l.CmdStageParamSave(); },
       Cat({F(10, 6, 1, P().i(3)), F(10, 6, 2, P().i(1))})},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageStop(3); },
       P().hex("3A 49 01 20 00 00 00 18 00 00 00 0A 00 00 00 07 00 00 00 01"
               " 00 00 00 00 00 00 00 01 00 00 00 03")
           .b},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageStop(-5); },
       F(10, 7, 1, P().i(0).i(5).i(0).i(1).i(2).i(3).i(4))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageStop(-1); },
       F(10, 7, 1, P().i(0).i(1).i(0))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageLock(2, 1); },
       F(10, 7, 1, P().i(1).i(1).i(2).i(1))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageInitialize(4); },
       F(10, 7, 1, P().i(2).i(1).i(4))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageGo(2, 1500.0f); },
       F(10, 7, 1, P().i(3).i(1).i(2).i(2).f(1500.0f))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageGoOffset(3, -2.5f); },
       F(10, 7, 1, P().i(3).i(1).i(3).i(1).f(2.5f))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageGoOffset(4, 7.0f); },
       F(10, 7, 1, P().i(3).i(1).i(4).i(0).f(7.0f))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageJog(1, -1); },
       F(10, 7, 1, P().i(4).i(1).i(1).i(-1))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageGoXY(100.0f, -200.0f); },
       F(10, 7, 1, P().i(5).i(2).i(0).i(2).f(100.0f).i(1).i(2).f(-200.0f))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageGoOffsetXY(-1.5f, 2.0f); },
       F(10, 7, 1, P().i(5).i(2).i(0).i(1).f(1.5f).i(1).i(0).f(2.0f))},
      {"CmdStageMotion", [](auto& l) { return l.CmdStageMagnetMode(0, 1); },
       F(10, 7, 1, P().i(6).i(1).i(0).i(1))},
      {"CmdStageTrackBall", [](auto& l) { return l.CmdStageTrackBall(1, -2, 3); },
       F(10, 8, 1, P().i(1).i(-2).i(3))},
      // units 15 to 22
      {"CmdPowerSet", [](auto& l) { return l.CmdPowerSet(4, true); }, F(18, 4, 1, P().i(1))},
      {"CmdPowerRequest", [](auto& l) { return l.CmdPowerRequest(1); }, F(18, 1, 2)},
      {"CmdScan3Request", [](auto& l) { return l.CmdScan3Request(); }, F(19, 4, 2)},
      {"CmdApertureRequest", [](auto& l) { return l.CmdApertureRequest(3); },
       F(20, 3, 2, P().i(0))},
      {"CmdApertureSelect", [](auto& l) { return l.CmdApertureSelect(2); },
       F(20, 4, 1, P().i(0).i(2))},
      {"CmdApertureMove", [](auto& l) { return l.CmdApertureMove(1, -50, 0); },
       F(20, 5, 1, P().i(0).i(1).i(-50).i(0))},
      {"CmdApertureMove", [](auto& l) { return l.CmdApertureMoveXY(10, 20); },
       F(20, 5, 1, P().i(10).i(20).i(3))},
      {"CmdApertureTable", [](auto& l) { return l.CmdApertureTable(3, ApertureValues()); },
       F(20, 12, 1, AperturePayload())},
      {"CmdEShowerSet", [](auto& l) { return l.CmdEShowerSet(4, 2.5); }, F(21, 4, 1, P().d(2.5))},
      {"CmdEShowerScanType", [](auto& l) { return l.CmdEShowerScanType(1); },
       F(21, 8, 1, P().i(1))},
      {"CmdCPDSet", [](auto& l) { return l.CmdCPDSet(3, 1.25); }, F(22, 3, 1, P().d(1.25))},
      {"CmdCPDType", [](auto& l) { return l.CmdCPDType(2); }, F(22, 4, 1, P().i(2))},
      {"CmdEShowerSet", [](auto& l) { return l.CmdSetDouble(21, 7, -0.5); },
       F(21, 7, 1, P().d(-0.5))},
      {"CmdGisSet", [](auto& l) { return l.CmdSetInt(26, 12, 1); }, F(26, 12, 1, P().i(1))},
      // unit 23
      {"CmdHard3Request", [](auto& l) { return l.CmdHard3Request(); }, F(23, 1, 2)},
      {"CmdHard3SetDac", [](auto& l) { return l.CmdHard3SetDac(100, -200); },
       F(23, 3, 1, P().i(100).i(-200))},
      {"CmdHard3Bits", [](auto& l) { return l.CmdHard3Bits(THard3BitOp::kWrite, 768, 16); },
       F(23, 4, 1, P().i(0).i(768).i(16))},
      {"CmdHard3Bits", [](auto& l) { return l.CmdHard3Bits(THard3BitOp::kReset, 1540, 0x4000); },
       F(23, 4, 1, P().i(2).i(1540).i(0x4000))},
      {"CmdHard3Bits", [](auto& l) { return l.CmdHard3Bits(THard3BitOp::kMasked, 1792, 8, 24); },
       F(23, 4, 1, P().i(3).i(1792).i(8).i(24))},
      {"CmdHard3MagK", [](auto& l) { return l.CmdHard3MagK(1, 0.5); },
       F(23, 7, 1, P().i(1).d(0.5))},
      {"CmdHard3RefAccV", [](auto& l) { return l.CmdHard3RefAccV(30.0); },
       F(23, 8, 1, P().d(30.0))},
      {"CmdHard3ShiftK", [](auto& l) { return l.CmdHard3ShiftK(0, -1.0); },
       F(23, 9, 1, P().i(0).d(-1.0))},
      {"CmdHard3OpChannel",
       [](auto& l) {
         return l.CmdHard3OpChannel({1, 2, 3, 4, 5, 6, 7, 8});
       },
       F(23, 10, 1, P().i(1).i(2).i(3).i(4).i(5).i(6).i(7).i(8))},
      {"CmdHard3OpPanelDO", [](auto& l) { return l.CmdHard3OpPanelDO(true, 2, 3, 4); },
       F(23, 11, 1, P().i(1).i(2).i(3).i(4))},
      {"CmdHard3SidDefDac", [](auto& l) { return l.CmdHard3SidDefDac(5, 0xFFFF); },
       F(23, 12, 1, P().w(5).w(0xFFFF))},
      {"CmdHard3MonitorLoop", [](auto& l) { return l.CmdHard3MonitorLoop(250); },
       F(23, 15, 1, P().i(250))},
      {"CmdHard3MonitorLoop", [](auto& l) { return l.CmdHard3PanelLoop(100); },
       F(23, 17, 1, P().i(100))},
      {"CmdHard3OpPanelControlType", [](auto& l) { return l.CmdHard3OpPanelControlType(2); },
       F(23, 16, 1, P().i(2))},
      // Section 6 index 18 writes DAC 1558 with the value truncated toward zero.
      {"CmdHard3MachineData", [](auto& l) { return l.CmdHard3MachineData(6, 18, -12.9); },
       Cat({F(23, 18, 1, P().i(6).i(18).d(-12.9)), F(23, 3, 1, P().i(1558).i(-12))})},
      {"CmdHard3MachineData", [](auto& l) { return l.CmdHard3MachineData(6, 21, 7.5); },
       Cat({F(23, 18, 1, P().i(6).i(21).d(7.5)), F(23, 3, 1, P().i(1573).i(7))})},
      {"CmdHard3MachineData", [](auto& l) { return l.CmdHard3MachineData(6, 22, 7.5); },
       F(23, 18, 1, P().i(6).i(22).d(7.5))},
      {"CmdHard3MachineData", [](auto& l) { return l.CmdHard3MachineData(5, 14, 7.5); },
       F(23, 18, 1, P().i(5).i(14).d(7.5))},
      {"CmdHard3MachineData", [](auto& l) { return l.CmdHard3MachineDataRequest(999, 999); },
       F(23, 18, 2, P().i(999).i(999))},
      {"CmdHard3StatusRequest", [](auto& l) { return l.CmdHard3StatusRequest(); }, F(23, 19, 2)},
      {"CmdHard3Wobbler", [](auto& l) { return l.CmdHard3Wobbler(1, 2, 300, -300, 5, 100); },
       F(23, 20, 1, P().i(1).i(2).i(300).i(-300).i(5).i(100))},
      {"CmdHard3SlowUpParam", [](auto& l) { return l.CmdHard3SlowUpParam(3, 1, 2, 3, 4); },
       F(23, 21, 1, P().d(3.0).d(1).d(2).d(3).d(4))},
      {"CmdHard3SetDac2", [](auto& l) { return l.CmdHard3SetDac2(2564, 10); },
       F(23, 22, 1, P().i(2564).i(10))},
      {"CmdHard3DialGain", [](auto& l) { return l.CmdHard3DialGain(2, true, 1.5, -0.25); },
       F(23, 23, 1, P().i(0).i(2).i(1).d(1.5).d(-0.25))},
      {"CmdHard3MagCodeWithBeamMode", [](auto& l) { return l.CmdHard3MagCodeWithBeamMode(1, 9); },
       F(23, 24, 1, P().i(1).i(9))},
      {"CmdHard3MagLock", [](auto& l) { return l.CmdHard3MagLock(0, 1); },
       F(23, 25, 1, P().i(0).i(1))},
      // units 24 to 27
      {"CmdHard2Write", [](auto& l) { return l.CmdHard2Write(12, 34); },
       F(24, 3, 1, P().i(12).i(34))},
      {"CmdHard2Bits", [](auto& l) { return l.CmdHard2Bits(12, 0x80); },
       F(24, 4, 1, P().i(0).i(12).i(0x80))},
      {"CmdMonSemSetV", [](auto& l) { return l.CmdMonSemSetV(3, 0); }, F(25, 3, 1, P().w(3).w(0))},
      {"CmdMonSemControl", [](auto& l) { return l.CmdMonSemControl(3, 0x41, 0xE1); },
       F(25, 4, 1, P().w(3).w(0x41).w(0xE1))},
      {"CmdMonSemPixelSize", [](auto& l) { return l.CmdMonSemPixelSize(0.125); },
       F(25, 5, 1, P().d(0.125))},
      {"CmdGisRequest", [](auto& l) { return l.CmdGisRequest(34 + 7 - 1); }, F(26, 40, 2)},
      {"CmdGisSet", [](auto& l) { return l.CmdGisSet(3, 1); }, F(26, 3, 1, P().i(1))},
      {"CmdIonVacRequest", [](auto& l) { return l.CmdIonVacRequest(8); }, F(27, 8, 2)},
      {"CmdIonVacResetInterlock", [](auto& l) { return l.CmdIonVacResetInterlock(); }, F(27, 6, 1)},
  };
}

// Splits a byte stream into frames (the captured stream is trusted to be well formed here).
std::vector<std::pair<FrameIds, Bytes>> SplitFrames(const Bytes& stream) {
  std::vector<std::pair<FrameIds, Bytes>> out;
  base::ByteReader r(stream);
  while (!r.atEnd()) {
    std::uint32_t mark = 0, length = 0;
    FrameIds ids;
    if (!r.readU32be(&mark) || !r.readU32be(&length) || length < 12 || !r.readI32be(&ids.unit) ||
        !r.readI32be(&ids.item) || !r.readI32be(&ids.mode)) {
      ADD_FAILURE() << "malformed frame in the captured stream";
      break;
    }
    Bytes payload(length - 12);
    if (!r.readBytes(payload)) {
      ADD_FAILURE() << "truncated frame in the captured stream";
      break;
    }
    out.push_back({ids, std::move(payload)});
  }
  return out;
}

TEST_F(CommandTest, EveryCommandIsSentByteExact) {
  for (const Golden& g : GoldenTable()) {
    SCOPED_TRACE(g.name);
    base::Status s;
    const Bytes got = SentBy([&] { return g.cmd(link); }, &s);
    EXPECT_TRUE(s.ok()) << s.ToString();
    EXPECT_EQ(got, g.wire);
  }
  EXPECT_EQ(link.SendErrorCount(), 0);
}

TEST(CommandNames, EveryGoldenFrameHasItsNameAndDecodesWhole) {
  for (const Golden& g : GoldenTable()) {
    SCOPED_TRACE(g.name);
    const auto frames = SplitFrames(g.wire);
    ASSERT_FALSE(frames.empty());
    const char* first = controller_sim::CommandName(frames[0].first);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, g.name);
    for (const auto& [ids, payload] : frames) {
      EXPECT_NE(controller_sim::CommandName(ids), nullptr) << ids.unit << "/" << ids.item;
      const std::string json = controller_sim::CommandFieldsJson(ids, payload);
      // Every field of every command fits its layout: nothing cut short, nothing left over.
      EXPECT_EQ(json.find("truncated"), std::string::npos) << json;
      EXPECT_EQ(json.find("extra_bytes"), std::string::npos) << json;
      EXPECT_EQ(json.find("malformed"), std::string::npos) << json;
    }
  }
}

}  // namespace
}  // namespace tarvel::link::test
