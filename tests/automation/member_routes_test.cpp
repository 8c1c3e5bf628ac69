// Member routes: every member of the table reaches its own handler or says it is not built, and
// a registration that names a member wrongly is caught here rather than at a client.
#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/automation_context.h"
#include "automation/automation_object.h"
#include "automation/client_notifier.h"
#include "automation/dummy.h"
#include "automation/member_routes.h"
#include "automation/message_windows.h"
#include "automation/object_catalogue.h"
#include "automation/sync_exchange.h"
#include "config/sys_init_data.h"
#include "link/orvo_com_ana.h"
#include "link/test_link.h"
#include "memory_hub.h"

namespace tarvel::automation {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// What an object needs around it, without a bus: a link manager that never connects and a hub
// of plain members.
struct TObjectWorld {
  link::test::TTestLink link;
  config::TSysInitData initData{[](int) -> base::Result<std::string> {
    return base::Status::NotFound("no data directory in this test");
  }};
  TMemoryHub hub{link, initData};
  TDummy dummy{[](int) -> base::Result<int> { return base::Status::NotFound("no configuration"); }};
  TMessageWindows windows;
  TClientNotifier notifier{hub, windows};
  TSyncExchange sync{hub};
  QObject owner;
  TAutomationContext context{hub, dummy, sync, windows, notifier, owner};
};

TEST(MemberRoutesTest, EveryMemberOfEveryCoclassHasAHandlerOrANotBuiltMark) {
  const std::vector<std::string> problems = TObjectCatalogue::Problems();
  EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST(MemberRoutesTest, AForgottenMisspeltOrDoubleRegistrationIsReported) {
  const TCoclassInfo& system = *TTypeLibrary::FindByName("SockSystem");
  const TMemberRoutes::THandler handler = [](TAutomationObject&, const TArgs&, TReply reply) {
    reply(TCallResult::Ok());
  };
  struct Case {
    const char* what;
    // Applied after every member but get SocketStatus has been routed.
    std::function<void(TMemberRoutes&)> mistake;
    const char* problem;
  } cases[] = {
      {"forgotten", [](TMemberRoutes&) {},
       "ISockSystem get SocketStatus has neither a handler nor a not-built mark"},
      {"misspelt",
       [&](TMemberRoutes& r) {
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
         r.Route(TMemberKind::kGet, "SockedStatus", handler);
       },
       "ISockSystem has no get SockedStatus"},
      {"wrong kind",
       [&](TMemberRoutes& r) {
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
         r.Route(TMemberKind::kPut, "SysOpticsType", handler);
       },
       "ISockSystem has no put SysOpticsType"},
      {"twice",
       [&](TMemberRoutes& r) {
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
       },
       "ISockSystem get SocketStatus is routed twice"},
      {"built and not built",
       [&](TMemberRoutes& r) {
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
         r.NotBuilt({"SetMessageHandle"});
       },
       "ISockSystem method SetMessageHandle has a handler and a not-built mark"},
      {"not built, unknown name",
       [&](TMemberRoutes& r) {
         r.Route(TMemberKind::kGet, "SocketStatus", handler);
         r.NotBuilt({"Nothing"});
       },
       "ISockSystem has no member Nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemberRoutes routes(system);
    for (const TMemberInfo& m : system.dispatch.members) {
      if (m.kind != TMemberKind::kGet || m.name != "SocketStatus")
        routes.Route(m.kind, m.name, handler);
    }
    c.mistake(routes);
    const std::vector<std::string> problems = routes.Problems();
    ASSERT_EQ(problems.size(), 1u) << Joined(problems);
    EXPECT_EQ(problems[0], c.problem);
  }
}

// The ion interface's ids do not rise with its slots; a route keyed by the table still reaches
// the handler registered under the member's own name and kind.
TEST(MemberRoutesTest, EachMemberReachesTheHandlerRegisteredUnderItsName) {
  TObjectWorld world;
  for (const char* name : {"SockIon", "SockSystem", "SockHard3"}) {
    SCOPED_TRACE(name);
    const TCoclassInfo& c = *TTypeLibrary::FindByName(name);
    TMemberRoutes routes(c);
    for (const TMemberInfo& m : c.dispatch.members) {
      const std::string label = std::string(KindName(m.kind)) + " " + m.name;
      routes.Route(m.kind, m.name, [label](TAutomationObject&, const TArgs&, TReply reply) {
        reply(TCallResult::Ok({QVariant(QString::fromStdString(label))}));
      });
    }
    ASSERT_TRUE(routes.Problems().empty()) << Joined(routes.Problems());
    TAutomationObject object(routes, world.context);
    for (const TMemberInfo& m : c.dispatch.members) {
      TArgs in;
      for (const TArgInfo& a : m.args) {
        if (a.dir != TArgDir::kOut) in.emplace_back(0);
      }
      std::string reached;
      object.Call(m, in,
                  [&](TCallResult r) { reached = r.outputs.at(0).toString().toStdString(); });
      EXPECT_EQ(reached, std::string(KindName(m.kind)) + " " + m.name) << "dispid " << m.dispid;
    }
  }
}

TEST(MemberRoutesTest, NotBuiltUnroutedAndMiscountedCallsAnswerWithAnErrorNamingTheMember) {
  TObjectWorld world;
  const TCoclassInfo& ion = *TTypeLibrary::FindByName("SockIon");
  TMemberRoutes routes(ion);
  routes.NotBuilt({"IonExec"});
  routes.Route(TMemberKind::kMethod, "SetIonData",
               [](TAutomationObject&, const TArgs&, TReply reply) { reply(TCallResult::Ok()); });
  const TMemberRoutes stage =
      TMemberRoutes::NotBuiltCoclass(*TTypeLibrary::FindByName("SockStage"));
  EXPECT_TRUE(stage.Problems().empty());
  TAutomationObject object(routes, world.context);
  TAutomationObject stageObject(stage, world.context);
  struct Case {
    TAutomationObject* object;
    const char* member;
    std::size_t args;
    std::int32_t hresult;
    const char* text;
  } cases[] = {
      {&object, "IonExec", 1, kE_NOTIMPL, "ISockIon.IonExec is not implemented yet"},
      {&object, "IonChange", 1, kE_NOTIMPL, "ISockIon.IonChange is not implemented yet"},
      {&object, "SetIonData", 2, kE_INVALIDARG, "takes 3 arguments, not 2"},
      {&object, "SetIonData", 3, kS_OK, ""},
      {&stageObject, "StageGo", 2, kE_NOTIMPL, "ISockStage.StageGo is not implemented yet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    const TMemberInfo* m = c.object->Coclass().dispatch.FindByName(c.member);
    ASSERT_NE(m, nullptr);
    TCallResult got = TCallResult::Fail(kE_UNEXPECTED, "no answer");
    c.object->Call(*m, TArgs(c.args, QVariant(0.0)), [&](TCallResult r) { got = std::move(r); });
    EXPECT_EQ(got.hresult, c.hresult);
    EXPECT_NE(got.description.find(c.text), std::string::npos) << got.description;
  }
  // A member of another interface is not run by these routes.
  const TMemberInfo& foreign = TTypeLibrary::FindByName("SockSystem")->dispatch.members[0];
  TCallResult got;
  object.Call(foreign, {}, [&](TCallResult r) { got = std::move(r); });
  EXPECT_EQ(got.hresult, kDISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace tarvel::automation
