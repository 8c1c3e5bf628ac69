#include "model/orvo_system_info.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/byte_writer.h"
#include "link/frame.h"
#include "link/frame_format.h"

namespace tarvel::model {
namespace {

using base::ByteWriter;
using link::FrameIds;

constexpr std::int32_t kReport = link::kModeRequest;

// Receives a frame as the dispatcher would: built whole, then cut after the header.
void Feed(TOrvoSystemInfo& model, FrameIds ids, const std::vector<std::uint8_t>& payload) {
  const std::vector<std::uint8_t> frame = link::BuildFrame(ids, payload);
  ASSERT_EQ(frame.size(), link::kHeaderSize + payload.size());
  model.Receive(ids, std::span(frame).subspan(link::kHeaderSize));
}

std::vector<std::uint8_t> FullReport() {
  ByteWriter w;
  w.cstring("V2.1").cstring("24/05/01 10:00:00").cstring("ORVO450SEC").cstring("1.23");
  w.cstring("HARD3");
  w.i32be(1).i32be(3).i32be(2).i32be(1).i32be(1).i32be(1);
  return w.take();
}

TEST(TOrvoSystemInfoTest, FreshRecordIsEmptyWithNoSyncReply) {
  TOrvoSystemInfo model;
  struct SysInformation expected;
  expected.SyncReturnID = -1;
  EXPECT_EQ(model.SysInformation(), expected);
  EXPECT_FALSE(model.ReturnSyncRequest());
  EXPECT_EQ(model.IdentitySummary(), "system -, version -, -");
}

TEST(TOrvoSystemInfoTest, FullReportFillsEveryField) {
  TOrvoSystemInfo model;
  Feed(model, {link::kUnitSystem, kSysItemAll, kReport}, FullReport());
  const auto info = model.SysInformation();
  EXPECT_EQ(info.SysProtocol, "V2.1");
  EXPECT_EQ(info.SysTime, "24/05/01 10:00:00");
  EXPECT_EQ(info.SysName, "ORVO450SEC");
  EXPECT_EQ(info.SysVersion, "1.23");
  EXPECT_EQ(info.SysHardType, "HARD3");
  EXPECT_TRUE(info.SysModifyFlag);
  EXPECT_EQ(info.SysVacGaugeType, 3);
  EXPECT_EQ(info.SysApertureType, 2);
  EXPECT_EQ(info.DetectorType, 1);
  EXPECT_EQ(info.EGunType, 1);
  EXPECT_TRUE(info.SysDataInitialized);
  EXPECT_FALSE(info.SyncReceived);
  EXPECT_EQ(model.IdentitySummary(), "system ORVO450SEC, version 1.23, HARD3");
}

TEST(TOrvoSystemInfoTest, EmptyStringsPutIntegersAtOffsetFive) {
  TOrvoSystemInfo model;
  ByteWriter w;
  for (int i = 0; i < 5; ++i) w.cstring("");
  w.i32be(1).i32be(7).i32be(4).i32be(0).i32be(1).i32be(-5);
  ASSERT_EQ(w.size(), 5u + 24u);
  Feed(model, {link::kUnitSystem, kSysItemAll, kReport}, w.bytes());
  const auto info = model.SysInformation();
  EXPECT_TRUE(info.SysModifyFlag);
  EXPECT_EQ(info.SysVacGaugeType, 7);
  EXPECT_EQ(info.SysApertureType, 4);
  EXPECT_EQ(info.DetectorType, 0);
  EXPECT_EQ(info.EGunType, 1);
  EXPECT_TRUE(info.SysDataInitialized);
}

// A report cut at any byte fills the fields wholly inside it and keeps the others; a last text
// without its terminator ends at the payload's end and nothing beyond it is read.
TEST(TOrvoSystemInfoTest, FullReportCutAtEveryOffset) {
  const std::vector<std::uint8_t> full = FullReport();
  TOrvoSystemInfo reference;
  Feed(reference, {link::kUnitSystem, kSysItemAll, kReport}, full);

  for (std::size_t len = 0; len <= full.size(); ++len) {
    SCOPED_TRACE("payload length " + std::to_string(len));
    TOrvoSystemInfo model;
    model.SetHardType("OLD");
    // The cut payload sits in a buffer that continues with bytes a careless reader would take.
    std::vector<std::uint8_t> buffer(full.begin(), full.begin() + static_cast<long>(len));
    buffer.insert(buffer.end(), {'X', 'Y', 'Z', 0, 0, 0, 0, 9});
    model.Receive({link::kUnitSystem, kSysItemAll, kReport}, std::span(buffer).first(len));
    const auto info = model.SysInformation();
    const auto ref = reference.SysInformation();

    // Texts: each is a prefix of the full one (cut inside it) or the full one.
    for (auto [got, want] :
         {std::pair{info.SysProtocol, ref.SysProtocol}, std::pair{info.SysTime, ref.SysTime},
          std::pair{info.SysName, ref.SysName}, std::pair{info.SysVersion, ref.SysVersion}}) {
      EXPECT_EQ(want.substr(0, got.size()), got);
      EXPECT_EQ(got.find('X'), std::string::npos);
    }
    const std::size_t textEnd = full.size() - 24;
    if (len <= textEnd - 6) {
      EXPECT_EQ(info.SysHardType, "OLD");
    } else {
      EXPECT_EQ(ref.SysHardType.substr(0, info.SysHardType.size()), info.SysHardType);
    }
    // Integers: the k-th is stored exactly when its 4 bytes are inside.
    const std::size_t intsInside = len >= textEnd ? (len - textEnd) / 4 : 0;
    EXPECT_EQ(info.SysModifyFlag, intsInside >= 1 && ref.SysModifyFlag);
    EXPECT_EQ(info.SysVacGaugeType, intsInside >= 2 ? ref.SysVacGaugeType : 0);
    EXPECT_EQ(info.SysApertureType, intsInside >= 3 ? ref.SysApertureType : 0);
    EXPECT_EQ(info.DetectorType, intsInside >= 4 ? ref.DetectorType : 0);
    EXPECT_EQ(info.EGunType, intsInside >= 5 ? ref.EGunType : 0);
    EXPECT_EQ(info.SysDataInitialized, intsInside >= 6);
  }
}

TEST(TOrvoSystemInfoTest, SingleTextItemWithoutTerminatorStopsAtPayloadEnd) {
  TOrvoSystemInfo model;
  const std::vector<std::uint8_t> buffer = {'P', 'A', 'D', 'O', '5', 'Z', 'Z', 0};
  model.Receive({link::kUnitSystem, kSysItemName, kReport}, std::span(buffer).first(5));
  EXPECT_EQ(model.SysInformation().SysName, "PADO5");
  // An empty payload carries no text: the name stays.
  model.Receive({link::kUnitSystem, kSysItemName, kReport}, {});
  EXPECT_EQ(model.SysInformation().SysName, "PADO5");
}

TEST(TOrvoSystemInfoTest, SingleIntegerItems) {
  const struct {
    const char* name;
    std::int32_t item;
    std::int32_t value;
    void (*check)(const struct SysInformation&);
  } cases[] = {
      {"modify flag 1 is true", kSysItemModifyFlag, 1,
       [](const struct SysInformation& i) { EXPECT_TRUE(i.SysModifyFlag); }},
      {"modify flag 2 is false", kSysItemModifyFlag, 2,
       [](const struct SysInformation& i) { EXPECT_FALSE(i.SysModifyFlag); }},
      {"gauge type", kSysItemVacGaugeType, -3,
       [](const struct SysInformation& i) { EXPECT_EQ(i.SysVacGaugeType, -3); }},
      {"aperture type keeps all bits", kSysItemApertureType, 0x85,
       [](const struct SysInformation& i) { EXPECT_EQ(i.SysApertureType, 133); }},
      {"detector low byte", kSysItemDetectorType, 0x1234,
       [](const struct SysInformation& i) { EXPECT_EQ(i.DetectorType, 0x34); }},
      {"e-gun low byte", kSysItemEGunType, 0x0101,
       [](const struct SysInformation& i) { EXPECT_EQ(i.EGunType, 1); }},
      {"initialised by a negative value", kSysItemDataInitialized, -7,
       [](const struct SysInformation& i) { EXPECT_TRUE(i.SysDataInitialized); }},
      {"sync reply", kSysItemSync, 4711,
       [](const struct SysInformation& i) {
         EXPECT_EQ(i.SyncReturnID, 4711);
         EXPECT_TRUE(i.SyncReceived);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TOrvoSystemInfo model;
    Feed(model, {link::kUnitSystem, c.item, kReport}, ByteWriter().i32be(c.value).take());
    c.check(model.SysInformation());

    // The same value one byte short changes nothing.
    TOrvoSystemInfo cut;
    std::vector<std::uint8_t> p = ByteWriter().i32be(c.value).take();
    p.pop_back();
    Feed(cut, {link::kUnitSystem, c.item, kReport}, p);
    struct SysInformation fresh;
    EXPECT_EQ(cut.SysInformation(), fresh);
  }
}

TEST(TOrvoSystemInfoTest, FramesThatAreNotReportsChangeNothing) {
  const struct {
    const char* name;
    FrameIds ids;
  } cases[] = {
      {"mode 1 sync", {link::kUnitSystem, kSysItemSync, link::kModeSet}},
      {"mode 3", {link::kUnitSystem, kSysItemAll, 3}},
      {"item 13", {link::kUnitSystem, 13, kReport}},
      {"item 0", {link::kUnitSystem, 0, kReport}},
      {"item 99", {link::kUnitSystem, 99, kReport}},
      {"another unit", {link::kUnitStage, kSysItemSync, kReport}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TOrvoSystemInfo model;
    Feed(model, c.ids, FullReport());
    Feed(model, c.ids, ByteWriter().i32be(5).take());
    struct SysInformation fresh;
    EXPECT_EQ(model.SysInformation(), fresh);
    EXPECT_FALSE(model.ReturnSyncRequest());
  }
}

TEST(TOrvoSystemInfoTest, SyncRoundTrip) {
  TOrvoSystemInfo model;
  const std::int32_t seq = model.NextSyncSequence();
  EXPECT_EQ(seq, 1);
  Feed(model, {link::kUnitSystem, kSysItemSync, kReport}, ByteWriter().i32be(seq).take());
  EXPECT_TRUE(model.ReturnSyncRequest());
  EXPECT_FALSE(model.ReturnSyncRequest());  // true once per reply
  EXPECT_EQ(model.SyncReturnID(), 1);

  model.SetSyncReply(42);
  EXPECT_EQ(model.SysInformation().SyncReturnID, 42);
  EXPECT_TRUE(model.ReturnSyncRequest());
  EXPECT_FALSE(model.ReturnSyncRequest());
}

TEST(TOrvoSystemInfoTest, SyncSequenceCyclesWithoutZero) {
  TOrvoSystemInfo model;
  std::int32_t last = 0;
  for (std::int32_t i = 1; i <= kMaxSyncSequence; ++i) {
    last = model.NextSyncSequence();
    if (last != i) {
      ADD_FAILURE() << "call " << i << " returned " << last;
      break;
    }
  }
  EXPECT_EQ(last, 999998);
  EXPECT_EQ(model.NextSyncSequence(), 1);
  EXPECT_EQ(model.NextSyncSequence(), 2);
}

TEST(TOrvoSystemInfoTest, SettersAndCheckedIndexes) {
  TOrvoSystemInfo model;
  model.SetApertureType(0x85);
  EXPECT_EQ(model.SysInformation().SysApertureType, 5);
  model.SetHardType("HARD2");
  EXPECT_EQ(model.SysInformation().SysHardType, "HARD2");
  model.SetCLType(5);
  EXPECT_STREQ(CLTypeText(model.SysInformation().CLType), "Type-Theta");
  EXPECT_STREQ(CLTypeText(0), "Type-98");
  EXPECT_STREQ(CLTypeText(200), "Type-22");

  EXPECT_EQ(CheckedIndex(4, 5), std::optional<std::size_t>(4));
  EXPECT_EQ(CheckedIndex(5, 5), std::nullopt);
  EXPECT_EQ(CheckedIndex(-1, 5), std::nullopt);
  EXPECT_EQ(CheckedIndex(133, 5), std::nullopt);
}

TEST(TOrvoSystemInfoTest, SummaryConvertsCodePageText) {
  TOrvoSystemInfo model;
  // "装置" in CP932.
  Feed(model, {link::kUnitSystem, kSysItemName, kReport},
       ByteWriter().cstring("\x91\x95\x92\x75").take());
  EXPECT_EQ(model.IdentitySummary(), "system 装置, version -, -");
}

}  // namespace
}  // namespace tarvel::model
