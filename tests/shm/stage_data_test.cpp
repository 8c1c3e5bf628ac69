// The stage record: layout against the section's bytes, and stage ownership between processes.
#include "shm/stage_data.h"

#include <set>

#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class StageDataTest : public ShmTest {
 protected:
  void SetUp() override {
    ShmTest::SetUp();
    rec_ = std::make_unique<TOrvoStageData>(true, Options());
    ASSERT_TRUE(rec_->IsOpen()) << rec_->OpenStatus().message();
  }
  void TearDown() override {
    rec_.reset();
    ShmTest::TearDown();
  }
  std::vector<std::uint8_t> Raw() { return RawBytes(kStageRecord); }
  std::unique_ptr<TOrvoStageData> rec_;
};

TEST_F(StageDataTest, SizeAndCreation) {
  const auto b = Raw();
  ASSERT_EQ(b.size(), 228u);
  EXPECT_EQ(At<std::int32_t>(b, 220), -2);
}

TEST_F(StageDataTest, PublishStageWritesItsFields) {
  const std::int32_t detail[10] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  ASSERT_TRUE(rec_->SetAxisPosition(0, 1111).ok());
  ASSERT_TRUE(rec_->SetAxisPosition(0x81, 2222).ok());  // low seven bits: axis 1, Y
  ASSERT_TRUE(rec_->PublishStage(5, 0x55, 1.5f, -2.25f, 300, -400, 500, detail).ok());
  const auto b = Raw();
  EXPECT_EQ(At<std::int16_t>(b, 0), -1);  // non-zero moving publishes -1
  EXPECT_EQ(At<std::int32_t>(b, 4), 0x55);
  EXPECT_EQ(At<std::int32_t>(b, 8), 1111);   // X word: not written by PublishStage
  EXPECT_EQ(At<std::int32_t>(b, 12), 2222);  // Y word from SetAxisPosition(0x81)
  EXPECT_EQ(At<std::int32_t>(b, 16), 300);
  EXPECT_EQ(At<std::int32_t>(b, 20), -400);
  EXPECT_EQ(At<std::int32_t>(b, 24), 500);
  EXPECT_EQ(ExtAt(b, 28), 1.5);
  EXPECT_EQ(ExtAt(b, 38), -2.25);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(At<std::int32_t>(b, 80 + 4 * k), 10 + k);
  EXPECT_EQ(At<std::int32_t>(b, 220), -2);

  auto p = rec_->GetStagePosition();
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p->x, 1.5);
  EXPECT_EQ(p->y, -2.25);
  EXPECT_EQ(p->z, 300);
  EXPECT_EQ(p->t, -400);
  EXPECT_EQ(p->r, 500);
  EXPECT_EQ(*rec_->GetStageAxis(0), 1.5);
  EXPECT_EQ(*rec_->GetStageAxis(1), -2.25);
  EXPECT_EQ(*rec_->GetStageAxis(2), 300);
  EXPECT_EQ(*rec_->GetStageAxis(3), -400);
  EXPECT_EQ(*rec_->GetStageAxis(4), 500);
  EXPECT_EQ(*rec_->GetStageAxis(9), 300);
  EXPECT_EQ(*rec_->GetStageMoving(), -1);

  ASSERT_TRUE(rec_->PublishStage(0, 0, 0, 0, 0, 0, 0, detail).ok());
  EXPECT_EQ(At<std::int16_t>(Raw(), 0), 0);
}

TEST_F(StageDataTest, AxisPositionsAndDetail) {
  const struct {
    std::int32_t axis;
    std::size_t offset;
  } cases[] = {{1, 12}, {2, 16}, {3, 20}, {4, 24}, {0, 8}, {5, 8}, {0x81, 12}, {0x84, 24}, {-1, 8}};
  std::int32_t v = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.axis);
    ASSERT_TRUE(rec_->SetAxisPosition(c.axis, ++v).ok());
    EXPECT_EQ(At<std::int32_t>(Raw(), c.offset), v);
  }
  const std::int32_t w[10] = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10};
  ASSERT_TRUE(rec_->SetStageDetail(w).ok());
  ASSERT_TRUE(rec_->SetStageXYReal(0.125, 1e6).ok());
  const auto b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 80), -1);
  EXPECT_EQ(At<std::int32_t>(b, 116), -10);
  EXPECT_EQ(ExtAt(b, 28), 0.125);
  EXPECT_EQ(ExtAt(b, 38), 1e6);
  auto all = rec_->GetAxisPositions();
  ASSERT_TRUE(all.ok());
  EXPECT_EQ((*all)[1], 107);  // Y: the last write to offset 12 (axis 0x81)
}

TEST_F(StageDataTest, JogStateAndCodeOfAnotherRecord) {
  const std::int16_t jog = 3;
  PokeRaw(kStageRecord, 224, &jog, 2);
  EXPECT_EQ(*rec_->GetJogState(), 3);
  EXPECT_EQ(rec_->WriteI32(code::kOptics, 0, 1).code(), base::Status::Code::kOutOfRange);
}

// Acquiring while the ID is 37 returns -1 and keeps name and ID; releasing 12 then
// changes nothing.
TEST_F(StageDataTest, OwnedStageIsNotTaken) {
  const std::int32_t id = 37;
  PokeRaw(kStageRecord, 220, &id, 4);
  PokeRaw(kStageRecord, 120, "Other\0", 6);
  EXPECT_EQ(*rec_->AcquireStageOwner("OLE Server"), -1);
  ASSERT_TRUE(rec_->ReleaseStageOwner(12).ok());
  const auto b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 220), 37);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 120)), "Other");
  EXPECT_EQ(*rec_->GetStageOwnerName(), "Other");
  EXPECT_EQ(*rec_->GetStageOwnerID(), 37);
}

TEST_F(StageDataTest, AcquireAndRelease) {
  auto id = rec_->AcquireStageOwner("OLE Server");
  ASSERT_TRUE(id.ok());
  EXPECT_GE(*id, 1);
  EXPECT_LE(*id, 999);
  auto b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 220), *id);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 120)), "OLE Server");
  EXPECT_EQ(*rec_->AcquireStageOwner("Second"), -1);
  ASSERT_TRUE(rec_->ReleaseStageOwner(*id).ok());
  b = Raw();
  EXPECT_EQ(At<std::int32_t>(b, 220), -2);
  EXPECT_EQ(b[120], 0);
  EXPECT_EQ(*rec_->GetStageOwnerName(), "");
}

TEST_F(StageDataTest, LongNamesAreCutTo99Bytes) {
  ASSERT_TRUE(rec_->AcquireStageOwner(std::string(150, 'n')).ok());
  auto b = Raw();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 120)), std::string(99, 'n'));
  EXPECT_EQ(b[219], 0);
  ASSERT_TRUE(rec_->ReleaseStageOwner(*rec_->GetStageOwnerID()).ok());
  // A double-byte character is never split: 98 'a' then a two-byte one leaves 98 bytes.
  ASSERT_TRUE(rec_->AcquireStageOwner(std::string(98, 'a') + "\x82\xa0" + "b").ok());
  EXPECT_EQ(rec_->GetStageOwnerName()->size(), 98u);
}

// Another process left no terminator: the name is read within its 100 bytes.
TEST_F(StageDataTest, UnterminatedOwnerNameStaysInsideItsField) {
  const std::string full(100, 'z');
  PokeRaw(kStageRecord, 120, full.data(), 100);
  EXPECT_EQ(*rec_->GetStageOwnerName(), full);
  Ran r = RunToEnd(Helper({"owner", Suffix()}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "-2 " + full + "\n");
}

TEST_F(StageDataTest, OwnershipBetweenTwoProcesses) {
  auto mine = rec_->AcquireStageOwner("OLE Server");
  ASSERT_TRUE(mine.ok());
  Ran other = RunToEnd(Helper({"acquire", Suffix(), "Client"}));
  EXPECT_EQ(other.out, "-1\n");
  Ran wrong = RunToEnd(Helper({"release", Suffix(), std::to_string(*mine == 999 ? 1 : *mine + 1)}));
  EXPECT_EQ(wrong.status, 0);
  EXPECT_EQ(*rec_->GetStageOwnerID(), *mine);
  Ran owner = RunToEnd(Helper({"owner", Suffix()}));
  EXPECT_EQ(owner.out, std::to_string(*mine) + " OLE Server\n");

  ASSERT_TRUE(rec_->ReleaseStageOwner(*mine).ok());
  Ran taken = RunToEnd(Helper({"acquire", Suffix(), "Client"}));
  const int theirs = std::stoi(taken.out);
  EXPECT_GE(theirs, 1);
  EXPECT_EQ(*rec_->GetStageOwnerID(), theirs);
  EXPECT_EQ(*rec_->GetStageOwnerName(), "Client");
  EXPECT_EQ(*rec_->AcquireStageOwner("OLE Server"), -1);
  Ran released = RunToEnd(Helper({"release", Suffix(), std::to_string(theirs)}));
  EXPECT_EQ(released.status, 0);
  EXPECT_EQ(*rec_->GetStageOwnerID(), -2);
}

// Many processes released at once: exactly one of them owns the stage. They stay alive while
// the others try, since an owner whose process ended is released by the next acquire.
TEST_F(StageDataTest, RacingProcessesGetOneOwner) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::unique_ptr<Child>> racers;
    for (int k = 0; k < 6; ++k)
      racers.push_back(
          std::make_unique<Child>(Helper({"race", Suffix(), "racer" + std::to_string(k)})));
    // Give them time to open the record, then let them go together.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    for (auto& r : racers) r->CloseStdin();
    int winners = 0, winner = -1;
    for (auto& r : racers) {
      const std::string line = r->ReadLine();
      ASSERT_FALSE(line.empty());
      const int id = std::stoi(line);
      if (id > 0) {
        ++winners;
        winner = id;
      }
    }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(*rec_->GetStageOwnerID(), winner);
    ASSERT_TRUE(rec_->ReleaseStageOwner(winner).ok());
  }
}

}  // namespace
}  // namespace tarvel::shm
