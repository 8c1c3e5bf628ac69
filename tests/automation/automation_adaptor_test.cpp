// The D-Bus adaptor over a real session bus, with the server in this process on a connection of
// its own, so that objects of the test's own can drive members whose objects are not built yet
// (VARIANT outputs, R4 inputs) and the hub can be made to fail where the simulator cannot.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <optional>

#include "automation/automation_object.h"
#include "automation/automation_server.h"
#include "automation/member_routes.h"
#include "automation/object_catalogue.h"
#include "config/sys_init_data.h"
#include "link/loopback_peer.h"
#include "link/orvo_com_ana.h"
#include "link/test_link.h"
#include "memory_hub.h"

namespace tarvel::automation {
namespace {

using tarvel::testing::WaitUntil;

// A hub whose monitor record can be made to refuse alarms.
class TRecordFailingHub : public TMemoryHub {
 public:
  using TMemoryHub::TMemoryHub;
  bool failRecord = false;
  base::Status SetAlarm(int alarm) override {
    if (failRecord) return base::Status::Unavailable("the monitor record is not open");
    return TMemoryHub::SetAlarm(alarm);
  }
};

// Routes `name` of `coclass` to `handler` and marks every other member not built.
TMemberRoutes OneMember(const char* coclass, TMemberKind kind, const char* name,
                        TMemberRoutes::THandler handler) {
  const TCoclassInfo& c = *TTypeLibrary::FindByName(coclass);
  TMemberRoutes r(c);
  r.Route(kind, name, std::move(handler));
  for (const TMemberInfo& m : c.dispatch.members) {
    if (m.name != name) r.NotBuilt({m.name});
  }
  return r;
}

QVariant Unwrapped(QVariant v) {
  while (v.metaType() == QMetaType::fromType<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
  return v;
}

class AutomationAdaptorTest : public ::testing::Test {
 protected:
  AutomationAdaptorTest()
      : hard3_(OneMember("SockHard3", TMemberKind::kMethod, "GetOpPanelDialGain",
                         [this](TAutomationObject&, const TArgs&, TReply reply) {
                           reply(TCallResult::Ok(dialGainOutputs_));
                         })),
        stage_(OneMember("SockStage", TMemberKind::kMethod, "StageGo",
                         [this](TAutomationObject&, const TArgs& in, TReply reply) {
                           received_ = in;
                           reply(TCallResult::Ok());
                         })),
        ion_(OneMember("SockIon", TMemberKind::kMethod, "GetIonData",
                       [](TAutomationObject&, const TArgs& in, TReply reply) {
                         std::vector<QVariant> out;
                         for (const QVariant& v : in) out.emplace_back(v.toDouble() * 2);
                         reply(TCallResult::Ok(out));
                       })) {}

  void SetUp() override {
    static std::atomic<int> counter{0};
    const int n = ++counter;
    name_ = QString("ProjectTarvel.AdaptorTest.p%1_%2").arg(::getpid()).arg(n);
    connection_ = QString("adaptor-server-%1").arg(n);
    ASSERT_TRUE(hard3_.Problems().empty());
    ASSERT_TRUE(stage_.Problems().empty());
    ASSERT_TRUE(ion_.Problems().empty());
    server_ = std::make_unique<TAutomationServer>(
        hub_, QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection_));
    server_->SetObjectMaker([this](const TCoclassInfo& c,
                                   TAutomationContext& ctx) -> std::unique_ptr<TAutomationObject> {
      if (c.name == "SockHard3") return std::make_unique<TAutomationObject>(hard3_, ctx);
      if (c.name == "SockStage") return std::make_unique<TAutomationObject>(stage_, ctx);
      if (c.name == "SockIon") return std::make_unique<TAutomationObject>(ion_, ctx);
      return TObjectCatalogue::Make(c, ctx);
    });
    const base::Status s = server_->Start(name_);
    ASSERT_TRUE(s.ok()) << s.message();
  }
  void TearDown() override {
    server_.reset();
    QDBusConnection::disconnectFromBus(connection_);
  }

  // The server answers from this thread's event loop, so the call must not block it.
  QDBusMessage Call(const QString& path, const QString& iface, const QString& member,
                    const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(name_, path, iface, member);
    m.setArguments(args);
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(m, 5000);
    EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }, 6000)) << member.toStdString();
    return pending.reply();
  }
  QString Create(const QString& progid) {
    const QDBusMessage r =
        Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "CreateObject", {progid});
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    return r.arguments().value(0).value<QDBusObjectPath>().path();
  }
  QDBusMessage Invoke(const QString& path, std::int32_t dispid, const char* kind,
                      const QVariantList& args) {
    QVariantList wrapped;
    for (const QVariant& a : args) wrapped << QVariant::fromValue(QDBusVariant(a));
    return Call(path, "ProjectTarvel.Dispatch", "Invoke", {dispid, kind, wrapped});
  }

  link::test::TTestLink link_;
  config::TSysInitData initData_{[](int) -> base::Result<std::string> {
    return base::Status::NotFound("no data directory in this test");
  }};
  TRecordFailingHub hub_{link_, initData_};
  std::vector<QVariant> dialGainOutputs_;
  TArgs received_;
  TMemberRoutes hard3_;
  TMemberRoutes stage_;
  TMemberRoutes ion_;
  QString name_;
  QString connection_;
  std::unique_ptr<TAutomationServer> server_;
};

TEST_F(AutomationAdaptorTest, AVariantOutputAlwaysReachesTheCallerAsAValidValue) {
  const QString hard3 = Create("ProjectTarvel.SockHard3");
  struct Case {
    const char* what;
    std::vector<QVariant> outputs;
    QVariant expected;  // the VARIANT's contents as the client reads them
    const char* error;  // or the error the call answers with
  } cases[] = {
      {"never set", {}, QVariant::fromValue<qint32>(0), nullptr},
      {"set to nothing", {QVariant()}, QVariant::fromValue<qint32>(0), nullptr},
      {"a float", {QVariant::fromValue<float>(0.5f)}, QVariant(0.5), nullptr},
      {"a string", {QVariant(QString("gain"))}, QVariant(QString("gain")), nullptr},
      {"a value D-Bus cannot carry",
       {QVariant(QUrl("file:///gain"))},
       QVariant(),
       "GetOpPanelDialGain: output DialGain holds a QUrl"},
  };
  for (const Case& c : cases) {
    dialGainOutputs_ = c.outputs;
    for (bool late : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (late ? ", through Invoke" : ""));
      const QDBusMessage r = late ? Invoke(hard3, 32, "method", {qint32(1), qint32(7)})
                                  : Call(hard3, "ProjectTarvel.ISockHard3", "GetOpPanelDialGain",
                                         {qint32(1), QVariant::fromValue(QDBusVariant(qint32(7)))});
      if (c.error) {
        EXPECT_EQ(r.errorName(), "ProjectTarvel.Error.E_UNEXPECTED");
        EXPECT_TRUE(r.errorMessage().contains(c.error)) << r.errorMessage().toStdString();
        continue;
      }
      ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
      ASSERT_EQ(r.arguments().size(), 1);
      EXPECT_EQ(Unwrapped(r.arguments()[0]), c.expected);
    }
  }
}

// In/out arguments come back in order: as the method's out arguments, or through Invoke as one
// variant holding an array with one variant per output.
TEST_F(AutomationAdaptorTest, SeveralOutputsComeBackInOrderDirectlyAndThroughInvoke) {
  const QString ion = Create("ProjectTarvel.SockIon");
  const QDBusMessage direct = Call(ion, "ProjectTarvel.ISockIon", "GetIonData", {1.0, 2.5, -3.0});
  ASSERT_EQ(direct.type(), QDBusMessage::ReplyMessage) << direct.errorMessage().toStdString();
  EXPECT_EQ(direct.arguments(), (QVariantList{2.0, 5.0, -6.0}));

  const QDBusMessage late = Invoke(ion, 4, "method", {1.0, 2.5, -3.0});
  ASSERT_EQ(late.type(), QDBusMessage::ReplyMessage) << late.errorMessage().toStdString();
  ASSERT_EQ(late.arguments().size(), 1);
  const QVariant result = late.arguments()[0].value<QDBusVariant>().variant();
  ASSERT_EQ(result.metaType(), QMetaType::fromType<QDBusArgument>());
  const QDBusArgument array = result.value<QDBusArgument>();
  EXPECT_EQ(array.currentSignature(), "av");
  QVariantList items;
  array >> items;
  ASSERT_EQ(items.size(), 3);
  // One variant per output, each holding the double itself.
  EXPECT_EQ(items[0], QVariant(2.0));
  EXPECT_EQ(items[1], QVariant(5.0));
  EXPECT_EQ(items[2], QVariant(-6.0));
}

TEST_F(AutomationAdaptorTest, AnR4ArgumentReachesTheMemberAsAFloat) {
  const QString stage = Create("ProjectTarvel.SockStage");
  struct Case {
    const char* what;
    QVariant given;
    bool late;
    std::optional<float> stored;  // nullopt: refused as InvalidArgs
  } cases[] = {
      {"a double", QVariant(0.1), false, 0.1f},
      {"a double, through Invoke", QVariant(0.1), true, 0.1f},
      {"an integer, through Invoke", QVariant::fromValue<qint32>(3), true, 3.0f},
      {"the largest float", QVariant(3.4e38), false, 3.4e38f},
      {"beyond a float", QVariant(1e39), false, std::nullopt},
      {"beyond a float, negative, through Invoke", QVariant(-1e39), true, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    const QDBusMessage r =
        c.late ? Invoke(stage, 3, "method", {qint32(1), c.given})
               : Call(stage, "ProjectTarvel.ISockStage", "StageGo", {qint32(1), c.given});
    if (!c.stored) {
      EXPECT_EQ(r.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
      EXPECT_TRUE(received_.empty());
      continue;
    }
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[1].metaType(), QMetaType::fromType<float>());
    EXPECT_EQ(received_[1].value<float>(), *c.stored);
  }
  // The precision really is a float's: 0.1 arrives as the float nearest to it.
  received_.clear();
  Call(stage, "ProjectTarvel.ISockStage", "StageGo", {qint32(1), 0.1});
  ASSERT_EQ(received_.size(), 2u);
  EXPECT_NE(received_[1].toDouble(), 0.1);
  EXPECT_EQ(received_[1].toDouble(), static_cast<double>(0.1f));
}

TEST_F(AutomationAdaptorTest, ConnectionPointAndErrorInfoRefuseArguments) {
  const QString sys = Create("ProjectTarvel.SockSystem");
  const QDBusMessage failed = Call(sys, "ProjectTarvel.ISockSystem", "put_SetAlarm", {qint32(151)});
  EXPECT_EQ(failed.errorName(), "ProjectTarvel.Error.E_UNEXPECTED");
  struct Case {
    const char* member;
    const char* iface;
    QVariantList args;
  } cases[] = {
      {"Advise", "ProjectTarvel.ConnectionPoint", {qint32(1)}},
      {"Advise", "ProjectTarvel.ConnectionPoint", {QString("sink"), true}},
      {"GetErrorInfo", "ProjectTarvel.Dispatch", {QString("ProjectTarvel.SockSystem")}},
      {"GetErrorInfo", "ProjectTarvel.Dispatch", {qint32(0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    const QDBusMessage r = Call(sys, c.iface, c.member, c.args);
    EXPECT_EQ(r.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_TRUE(r.errorMessage().contains("takes no arguments")) << r.errorMessage().toStdString();
  }
  // The refused Advise connected nothing, and the refused calls left the error info alone.
  const QDBusMessage advised = Call(sys, "ProjectTarvel.ConnectionPoint", "Advise");
  EXPECT_EQ(advised.type(), QDBusMessage::ReplyMessage) << advised.errorMessage().toStdString();
  const QDBusMessage info = Call(sys, "ProjectTarvel.Dispatch", "GetErrorInfo");
  ASSERT_EQ(info.arguments().size(), 3);
  EXPECT_TRUE(info.arguments()[0].toString().contains("alarm number"));
  EXPECT_EQ(info.arguments()[2].toInt(), static_cast<int>(0x8000FFFF));
}

// Clients learn of every SetAlarm, whether the flag was new, already set, or the record could
// not take it (the caller is told of that failure too); only a number out of range changes
// nothing.
TEST_F(AutomationAdaptorTest, SetAlarmAnnouncesTheAlarmInEveryCase) {
  const QString sys = Create("ProjectTarvel.SockSystem");
  // With "Msg Count Up" down each notification counts, window or not.
  ASSERT_EQ(Call(sys, "ProjectTarvel.ISockSystem", "put_SysMessageTypeIsMassage", {true}).type(),
            QDBusMessage::ReplyMessage);
  struct Case {
    const char* what;
    std::int32_t alarm;
    bool recordFails;
    const char* error;  // nullptr: success
    int announced;      // notifications 1145 so far
  } cases[] = {
      {"a new alarm", 5, false, nullptr, 1},
      {"the same alarm again", 5, false, nullptr, 2},
      {"the record refuses it", 6, true, "the monitor record is not open", 3},
      {"out of range", 151, false, "alarm number must lie in 0..150", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hub_.failRecord = c.recordFails;
    const QDBusMessage r = Call(sys, "ProjectTarvel.ISockSystem", "put_SetAlarm", {c.alarm});
    if (c.error) {
      EXPECT_EQ(r.errorName(), "ProjectTarvel.Error.E_UNEXPECTED");
      EXPECT_TRUE(r.errorMessage().contains(c.error)) << r.errorMessage().toStdString();
    } else {
      EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    }
    EXPECT_EQ(hub_.MessageCount(1145), c.announced);
  }
  EXPECT_TRUE(hub_.AlarmFlag(5));
  EXPECT_FALSE(hub_.AlarmFlag(6));
  EXPECT_TRUE(hub_.NotificationFlag(1145));
}

}  // namespace
}  // namespace tarvel::automation
