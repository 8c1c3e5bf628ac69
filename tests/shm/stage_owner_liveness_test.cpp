// A client that dies owning the stage no longer keeps it owned until the server restarts: the
// next acquire through the library finds its liveness lock gone and takes the slot over. Owners
// the library cannot judge keep the stage.
#include "shm/stage_data.h"
#include "tarvel_shm.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class StageOwnerLivenessTest : public ShmTest {};

// Acquires through the library in this process: the ID (-1: owned by someone) or the error code.
std::int32_t AcquireHere(const char* name) {
  tarvel_shm* h = nullptr;
  if (tarvel_shm_open("OrvoStageData", Suffix().c_str(), 0, &h) != TARVEL_SHM_OK) return -100;
  std::int32_t id = 0;
  const int rc = tarvel_shm_acquire_stage_owner(h, name, &id);
  tarvel_shm_close(h);
  return rc == TARVEL_SHM_OK ? id : rc;
}

TEST_F(StageOwnerLivenessTest, AnOwnerWhoseProcessEndedIsReleasedOnTheNextAcquire) {
  TOrvoStageData server(true, Options());
  ASSERT_TRUE(server.IsOpen());

  Child owner(Helper({"own", Suffix(), "Holder"}));
  const int ownerId = std::stoi(owner.ReadLine());
  ASSERT_GE(ownerId, 1);
  // Alive: nobody takes the stage.
  EXPECT_EQ(AcquireHere("Second"), -1);
  EXPECT_EQ(*server.GetStageOwnerID(), ownerId);
  EXPECT_EQ(*server.GetStageOwnerName(), "Holder");

  owner.Kill();
  tarvel_shm* h = nullptr;
  ASSERT_EQ(tarvel_shm_open("OrvoStageData", Suffix().c_str(), 0, &h), TARVEL_SHM_OK);
  std::int32_t id = 0;
  ASSERT_EQ(tarvel_shm_acquire_stage_owner(h, "Second", &id), TARVEL_SHM_OK);
  EXPECT_GE(id, 1);
  EXPECT_EQ(*server.GetStageOwnerID(), id);
  EXPECT_EQ(*server.GetStageOwnerName(), "Second");
  // The new owner is covered in turn: a third client is refused while this handle lives.
  Ran third = RunToEnd(Helper({"acquire", Suffix(), "Third"}));
  EXPECT_EQ(third.out, "-1\n");
  ASSERT_EQ(tarvel_shm_release_stage_owner(h, id), TARVEL_SHM_OK);
  EXPECT_EQ(*server.GetStageOwnerID(), kStageOwnerFree);
  tarvel_shm_close(h);
}

TEST_F(StageOwnerLivenessTest, AnOwnerTheLibraryDidNotCoverIsNeverTakenAway) {
  TOrvoStageData server(true, Options());
  // The server itself (or a raw client) owns the stage; the library cannot tell if it lives.
  const auto id = server.AcquireStageOwner("Server");
  ASSERT_TRUE(id.ok());
  ASSERT_GE(*id, 1);
  EXPECT_EQ(AcquireHere("Client"), -1);
  // Even after a library owner once covered another ID and died.
  ASSERT_TRUE(server.ReleaseStageOwner(*id).ok());
  {
    Child owner(Helper({"own", Suffix(), "Holder"}));
    ASSERT_GE(std::stoi(owner.ReadLine()), 1);
    owner.Kill();
  }
  const auto dead = server.GetStageOwnerID();
  ASSERT_TRUE(dead.ok());
  PokeRaw(kStageRecord, kStageOwnerIdOffset, &*id, 4);  // someone else's ID now stands there
  EXPECT_EQ(AcquireHere("Client"), -1);
  EXPECT_EQ(*server.GetStageOwnerID(), *id);
}

}  // namespace
}  // namespace tarvel::shm
