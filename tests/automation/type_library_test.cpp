// The type library table: identifiers, slots and ids as clients rely on them.
#include <gtest/gtest.h>

#include <set>

#include "automation/type_library.h"

namespace tarvel::automation {
namespace {

TEST(TypeLibraryTest, TwelveCoclassesWithDistinctIdentifiersAndContiguousSlots) {
  const auto& all = TTypeLibrary::Coclasses();
  ASSERT_EQ(all.size(), 12u);
  std::set<std::string> ids;
  for (const TCoclassInfo& c : all) {
    SCOPED_TRACE(c.name);
    ids.insert(c.clsid);
    ids.insert(c.dispatch.iid);
    ids.insert(c.events.iid);
    EXPECT_EQ(TTypeLibrary::Find(c.ProgID()), &c);
    EXPECT_EQ(TTypeLibrary::Find(c.clsid), &c);
    int slot = TTypeLibrary::kFirstSlot;
    std::set<std::pair<int, TMemberKind>> dispids;
    for (const TMemberInfo& m : c.dispatch.members) {
      EXPECT_EQ(m.slot, slot++) << m.name;
      // One id per member and kind: a getter and a setter share an id, nothing else does.
      EXPECT_TRUE(dispids.insert({m.dispid, m.kind}).second) << m.name;
    }
  }
  EXPECT_EQ(ids.size(), 36u);
  EXPECT_EQ(TTypeLibrary::Find("projecttarvel.sockstage")->name, "SockStage");
  EXPECT_EQ(TTypeLibrary::Find("{015031b4-9942-11d2-8618-00c04fcb7fa4}")->name, "SockStage");
  EXPECT_EQ(TTypeLibrary::Find("ProjectTarvel.Nothing"), nullptr);
}

TEST(TypeLibraryTest, MemberCountsIdsAndSlotsWhereTheyDoNotRiseTogether) {
  struct Case {
    const char* coclass;
    std::size_t members;
    const char* member;
    TMemberKind kind;
    int dispid;
    int slot;
  } cases[] = {
      {"SockSystem", 50, "VMESyncroRequest", TMemberKind::kGet, 32, 7 + 48},
      {"SockSystem", 50, "SocketStatus", TMemberKind::kPut, 1, 8},
      {"SockIon", 25, "UseEventFlag", TMemberKind::kPut, 19, 7 + 22},
      {"SockIon", 25, "IonStandbyMode", TMemberKind::kPut, 18, 7 + 23},
      {"SockAperture", 11, "SetApCtrlData", TMemberKind::kMethod, 3, 7 + 6},
      {"SockHard3", 43, "GetAdcDbl", TMemberKind::kMethod, 25, 7 + 23},
      {"SockScan", 30, "StartPadoBitMapScan2Type4", TMemberKind::kMethod, 28, 7 + 29},
      {"SockStage", 29, "SpeedRatioSlow", TMemberKind::kPut, 22, 7 + 28},
      {"SockOptics", 28, "SEID_SetHV", TMemberKind::kMethod, 26, 7 + 27},
      {"SockMonitoringSEM", 15, "InitializeTFE", TMemberKind::kMethod, 14, 7 + 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.coclass) + "." + c.member);
    const TCoclassInfo* info = TTypeLibrary::FindByName(c.coclass);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->dispatch.members.size(), c.members);
    const TMemberInfo* m = info->dispatch.FindByDispId(c.dispid, c.kind);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->name, c.member);
    EXPECT_EQ(m->slot, c.slot);
  }
}

TEST(TypeLibraryTest, SignaturesFollowTheArgumentTypes) {
  const TCoclassInfo* ion = TTypeLibrary::FindByName("SockIon");
  const TMemberInfo* status = ion->dispatch.FindByName("IonMonitStatus");
  EXPECT_EQ(status->InSignature(), "nnn");  // in/out I2 are inputs and outputs
  EXPECT_EQ(status->OutSignature(), "nnn");
  const TMemberInfo* hard3 = TTypeLibrary::FindByName("SockHard3")->dispatch.FindByName("GetAdc");
  EXPECT_EQ(hard3->InSignature(), "i");
  EXPECT_EQ(hard3->OutSignature(), "q");
  const std::string xml = TTypeLibrary::TypeLibraryXml();
  EXPECT_NE(xml.find("{ABA90EE8-900A-11D2-8608-00C04FCB7FA4}"), std::string::npos);
  EXPECT_NE(xml.find("SockMonitoringSEM オブジェクト のイベント インターフェース"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvel::automation
