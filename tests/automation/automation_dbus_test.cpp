// The automation server through a real session bus: a server process per test, under its own
// bus name, and this process as the client (plus gdbus as a client we did not write).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <atomic>

#include "automation/type_library.h"
#include "link/frame.h"
#include "link/loopback_peer.h"
#include "shm/monit_data.h"
#include "support/controller_sim.h"

namespace tarvel::automation {
namespace {

using tarvel::testing::WaitUntil;

class Recorder : public QObject {
  Q_OBJECT
 public:
  std::vector<int> events;
  std::vector<std::array<quint32, 3>> posts;  // handle, msg, wparam
 public slots:
  void onEvent(int msg) { events.push_back(msg); }
  void onPost(uint handle, uint msg, uint wparam, int) { posts.push_back({handle, msg, wparam}); }
};

class AutomationServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    name_ = QString("ProjectTarvel.Test.p%1_%2").arg(::getpid()).arg(++counter);
    ASSERT_TRUE(dir_.isValid());
  }
  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }
  void StartServer(QStringList extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dir_.path() + "/xdg");
    server_.setProcessEnvironment(env);
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.start(TARVEL_TEST_SERVER,
                  QStringList{"--bus-name", name_, "--data-dir", dir_.path()} + extra);
    ASSERT_TRUE(WaitUntil(
        [&] { return server_.canReadLine() || server_.state() == QProcess::NotRunning; }, 10000));
    ASSERT_EQ(server_.readLine().trimmed(), "ready");
  }
  QDBusMessage Call(const QString& path, const QString& iface, const QString& member,
                    const QVariantList& args = {},
                    QDBusConnection bus = QDBusConnection::sessionBus()) {
    QDBusMessage m = QDBusMessage::createMethodCall(name_, path, iface, member);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, 10000);
  }
  QString Create(const QString& key, QDBusConnection bus = QDBusConnection::sessionBus()) {
    QDBusMessage r =
        Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "CreateObject", {key}, bus);
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    return r.arguments().value(0).value<QDBusObjectPath>().path();
  }
  QDBusMessage Sys(const QString& path, const QString& member, const QVariantList& args = {}) {
    return Call(path, "ProjectTarvel.ISockSystem", member, args);
  }
  QVariant Value(const QDBusMessage& r) {
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage)
        << r.errorName().toStdString() << ": " << r.errorMessage().toStdString();
    return r.arguments().value(0);
  }

  QString name_;
  QTemporaryDir dir_;
  QProcess server_;
};

TEST_F(AutomationServerTest, EveryCoclassIsCreatedByProgIdAndByClassIdentifier) {
  StartServer();
  for (const TCoclassInfo& c : TTypeLibrary::Coclasses()) {
    SCOPED_TRACE(c.name);
    for (const std::string& key : {c.ProgID(), c.clsid}) {
      const QString path = Create(QString::fromStdString(key));
      EXPECT_TRUE(
          path.startsWith(QString("/ProjectTarvel/%1/").arg(QString::fromStdString(c.name))));
      QDBusMessage xml = Call(path, "org.freedesktop.DBus.Introspectable", "Introspect");
      EXPECT_TRUE(Value(xml).toString().contains(QString::fromStdString(c.dispatch.DBusName())));
      EXPECT_EQ(Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "ReleaseObject",
                     {QVariant::fromValue(QDBusObjectPath(path))})
                    .type(),
                QDBusMessage::ReplyMessage);
    }
  }
  QDBusMessage bad = Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "CreateObject",
                          {"ProjectTarvel.SockNothing"});
  EXPECT_EQ(bad.errorName(), "ProjectTarvel.Error.REGDB_E_CLASSNOTREG");
}

TEST_F(AutomationServerTest, ObjectsShareHubStateAndInvokeReachesTheNamedMember) {
  StartServer();
  const QString a = Create("ProjectTarvel.SockSystem");
  const QString b = Create("{ABA90EED-900A-11D2-8608-00C04FCB7FA4}");
  Value(Sys(a, "put_SysMachineType", {qint32(2)}));
  EXPECT_EQ(Value(Sys(b, "get_SysMachineType")).toInt(), 2);

  const QDBusMessage id = Call(b, "ProjectTarvel.Dispatch", "GetIDsOfNames", {"sysmachinetype"});
  EXPECT_EQ(Value(id).toInt(), 22);
  Value(Call(b, "ProjectTarvel.Dispatch", "Invoke",
             {qint32(22), "put", QVariantList{QVariant::fromValue(QDBusVariant(qint32(1)))}}));
  EXPECT_EQ(Value(Sys(a, "get_SysMachineType")).toInt(), 1);
  const QDBusMessage viaInvoke =
      Call(a, "ProjectTarvel.Dispatch", "Invoke", {qint32(10), "get", QVariantList{}});
  EXPECT_EQ(Value(viaInvoke).value<QDBusVariant>().variant().toString(), "ORVO410");

  // The ion object's slot and id differ in order; late binding finds the member by id.
  const QString ion = Create("ProjectTarvel.SockIon");
  EXPECT_EQ(Value(Call(ion, "ProjectTarvel.Dispatch", "GetIDsOfNames", {"UseEventFlag"})).toInt(),
            19);
  Value(Call(ion, "ProjectTarvel.Dispatch", "Invoke",
             {qint32(19), "put", QVariantList{QVariant::fromValue(QDBusVariant(true))}}));
  Value(Call(ion, "ProjectTarvel.ISockIon", "put_UseEventFlag", {true}));
}

TEST_F(AutomationServerTest, PadoClientGetsThePadoConfigurationWhenItChoosesTheLineFirst) {
  // Each machine line has its own installation file; the PADO one names a PADO system.
  const QString pado = dir_.path() + "/pado";
  ASSERT_TRUE(QDir().mkpath(pado));
  const auto write = [](const QString& folder, const char* type) {
    QFile f(folder + "/FIBSystem.INI");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("[SYSTEM]\r\nTYPE=") + type + "\r\n");
  };
  write(dir_.path(), "ORVO420");
  write(pado, "PADO530");
  // No controller listens on port 1: the connect is refused, the configuration still loads.
  StartServer({"--pado-data-dir", pado, "--port", "1"});
  const QString sys = Create("ProjectTarvel.SockSystem");
  EXPECT_EQ(Value(Sys(sys, "get_SystemType")).toInt(), 0) << "read before any SocketStatus put";
  Value(Sys(sys, "put_SysMachineType", {qint32(2)}));
  Value(Sys(sys, "put_SocketStatus", {true}));
  EXPECT_EQ(Value(Sys(sys, "get_SystemType")).toInt(), 5) << "not the PADO line's PADO530";
  Value(Sys(sys, "put_SocketStatus", {false}));
}

TEST_F(AutomationServerTest, FailuresReachTheCallerAsNamedErrorsWithErrorInfo) {
  StartServer();
  const QString sys = Create("ProjectTarvel.SockSystem");
  struct Case {
    const char* member;
    QVariantList args;
    const char* error;
    const char* text;
  } cases[] = {
      {"put_SetAlarm", {qint32(151)}, "ProjectTarvel.Error.E_UNEXPECTED", "alarm number"},
      {"put_ResetAlarm", {qint32(-1)}, "ProjectTarvel.Error.E_UNEXPECTED", "0..150"},
      {"CmdCycleRequest", {qint32(26), true}, "ProjectTarvel.Error.E_UNEXPECTED", "1..25"},
      {"put_SysMachineType", {qint32(7)}, "ProjectTarvel.Error.E_UNEXPECTED", "machine type"},
      {"put_CurDir",
       {dir_.path() + "/missing"},
       "ProjectTarvel.Error.E_UNEXPECTED",
       "cannot enter"},
      {"put_SetAlarm", {"five"}, "org.freedesktop.DBus.Error.InvalidArgs", "takes (i)"},
      {"put_SocketStatus", {}, "org.freedesktop.DBus.Error.InvalidArgs", "takes (b)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    QDBusMessage r = Sys(sys, c.member, c.args);
    EXPECT_EQ(r.errorName(), c.error);
    EXPECT_TRUE(r.errorMessage().contains(c.text)) << r.errorMessage().toStdString();
  }
  QDBusMessage info = Call(sys, "ProjectTarvel.Dispatch", "GetErrorInfo");
  ASSERT_EQ(info.arguments().size(), 3);
  EXPECT_TRUE(info.arguments()[0].toString().contains("cannot enter"));
  EXPECT_EQ(info.arguments()[1].toString(), "ProjectTarvel.SockSystem");
  EXPECT_EQ(info.arguments()[2].toInt(), static_cast<int>(0x8000FFFF));
  // Nothing changed: the data path is the start value and the machine type too.
  EXPECT_EQ(Value(Sys(sys, "get_CurDir")).toString(), "../Data");
  EXPECT_EQ(Value(Sys(sys, "get_SysMachineType")).toInt(), 1);

  const QString stage = Create("ProjectTarvel.SockStage");
  QDBusMessage r = Call(stage, "ProjectTarvel.ISockStage", "StageGo", {qint32(0), 1.5});
  EXPECT_EQ(r.errorName(), "ProjectTarvel.Error.E_NOTIMPL");
  EXPECT_TRUE(r.errorMessage().contains("ISockStage.StageGo"));
}

TEST_F(AutomationServerTest, OnMyEventGoesOnlyToTheLatestTargetWithASink) {
  StartServer();
  const QString a = Create("ProjectTarvel.SockSystem");
  const QString b = Create("ProjectTarvel.SockSystem");
  Recorder ra, rb;
  QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.connect(name_, a, "ProjectTarvel.ISockSystemEvents", "OnMyEvent", &ra,
                          SLOT(onEvent(int))));
  ASSERT_TRUE(bus.connect(name_, b, "ProjectTarvel.ISockSystemEvents", "OnMyEvent", &rb,
                          SLOT(onEvent(int))));
  Value(Call(a, "ProjectTarvel.ConnectionPoint", "Advise"));
  const QDBusMessage cookieB = Call(b, "ProjectTarvel.ConnectionPoint", "Advise");
  Value(cookieB);
  EXPECT_EQ(Call(b, "ProjectTarvel.ConnectionPoint", "Advise").errorName(),
            "ProjectTarvel.Error.CONNECT_E_ADVISELIMIT");

  Value(Sys(a, "put_UseEventFlag", {true}));
  Value(Sys(a, "put_SetAlarm", {qint32(5)}));
  ASSERT_TRUE(WaitUntil([&] { return !ra.events.empty(); }));
  EXPECT_EQ(ra.events, std::vector<int>{1145});

  Value(Sys(b, "put_UseEventFlag", {true}));
  Value(Sys(a, "put_SetAlarm", {qint32(6)}));
  ASSERT_TRUE(WaitUntil([&] { return !rb.events.empty(); }));
  EXPECT_EQ(rb.events, std::vector<int>{1145});
  // The target b without its sink gets nothing, and a is no longer the target.
  Value(Call(b, "ProjectTarvel.ConnectionPoint", "Unadvise", {cookieB.arguments()[0]}));
  Value(Sys(a, "put_SetAlarm", {qint32(7)}));
  // The released target is cleared: a later event reaches nobody and nothing breaks.
  Value(Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "ReleaseObject",
             {QVariant::fromValue(QDBusObjectPath(b))}));
  Value(Sys(a, "put_SetAlarm", {qint32(8)}));
  Value(Sys(a, "put_UseEventFlag", {true}));
  Value(Sys(a, "put_SetAlarm", {qint32(9)}));
  ASSERT_TRUE(WaitUntil([&] { return ra.events.size() == 2; }));
  EXPECT_EQ(rb.events.size(), 1u);
}

TEST_F(AutomationServerTest, WindowMessagesReachAClientWindowCreatedAfterSetMessageHandle) {
  StartServer();
  const QString sys = Create("ProjectTarvel.SockSystem");
  Value(Sys(sys, "put_SysMessageTypeIsMassage", {true}));
  Value(Sys(sys, "SetMessageHandle", {"Client Main"}));
  Recorder r;
  QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.connect(name_, "/ProjectTarvel", "ProjectTarvel.MessageWindows", "PostMessage",
                          &r, SLOT(onPost(uint, uint, uint, int))));
  const quint32 msgId = Value(Call("/ProjectTarvel", "ProjectTarvel.MessageWindows",
                                   "RegisterWindowMessage", {"olemessage"}))
                            .toUInt();
  EXPECT_GE(msgId, 0xC000u);
  const quint32 other =
      Value(Call("/ProjectTarvel", "ProjectTarvel.MessageWindows", "CreateWindow", {"Other"}))
          .toUInt();
  const quint32 first =
      Value(Call("/ProjectTarvel", "ProjectTarvel.MessageWindows", "CreateWindow", {"Client Main"}))
          .toUInt();
  Value(Sys(sys, "put_SetAlarm", {qint32(3)}));
  ASSERT_TRUE(WaitUntil([&] { return !r.posts.empty(); }));
  EXPECT_EQ(r.posts[0], (std::array<quint32, 3>{first, msgId, 1145}));

  // The client restarts its window: the stale handle is not used, the new one is found.
  Value(Call("/ProjectTarvel", "ProjectTarvel.MessageWindows", "DestroyWindow", {first}));
  const quint32 second =
      Value(Call("/ProjectTarvel", "ProjectTarvel.MessageWindows", "CreateWindow", {"Client Main"}))
          .toUInt();
  EXPECT_NE(second, first);
  EXPECT_NE(second, other);
  Value(Sys(sys, "put_SetAlarm", {qint32(4)}));
  ASSERT_TRUE(WaitUntil([&] { return r.posts.size() == 2; }));
  EXPECT_EQ(r.posts[1], (std::array<quint32, 3>{second, msgId, 1145}));
}

TEST_F(AutomationServerTest, SyncRequestOfflineAnswersItsOwnIdAndCounts) {
  StartServer();
  const QString sys = Create("ProjectTarvel.SockSystem");
  const int first = Value(Sys(sys, "get_VMESyncroRequest")).toInt();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(Value(Sys(sys, "get_VMESyncroRequest")).toInt(), 2);
  EXPECT_EQ(Value(Sys(sys, "get_SyncReturnID")).toInt(), 2);
  EXPECT_EQ(Value(Sys(sys, "get_SysName")).toString(), "ORVO410");
  EXPECT_TRUE(Value(Sys(sys, "get_SysDataInitialized")).toBool());
}

TEST_F(AutomationServerTest, WithTheLinkUpSyncWaitsForItsOwnIdAndQuitClosesTheLink) {
  tarvel::testing::LoopbackPeer peer;
  StartServer({"--port", QString::number(peer.port())});
  const QString sys = Create("ProjectTarvel.SockSystem");
  // A command member with the link down answers success and sends nothing, not even later.
  Value(Sys(sys, "put_SysDataInitialized", {false}));
  Value(Sys(sys, "put_IPAdrs", {"127.0.0.1"}));
  Value(Sys(sys, "put_SocketStatus", {true}));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(WaitUntil([&] { return Value(Sys(sys, "get_SocketStatus")).toBool(); }));
  // Ready: the identity comes from the (still empty) model, not from the simulator.
  EXPECT_EQ(Value(Sys(sys, "get_SysName")).toString(), "");

  auto frameOf = [](std::int32_t item, std::int32_t mode, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint8_t payload[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16),
                                     std::uint8_t(v >> 8), std::uint8_t(v)};
    return link::BuildFrame({1, item, mode}, payload);
  };
  // In debug mode nothing goes to the controller either; once ready the command goes out.
  Value(Sys(sys, "put_DebugMode", {true}));
  Value(Sys(sys, "put_SysDataInitialized", {false}));
  Value(Sys(sys, "put_DebugMode", {false}));
  Value(Sys(sys, "put_SysDataInitialized", {true}));
  const std::vector<std::uint8_t> initialized = frameOf(12, 1, 1);
  std::vector<std::uint8_t> first;
  ASSERT_TRUE(peer.readExactly(initialized.size(), &first));
  EXPECT_EQ(first, initialized);
  const std::size_t requestSize = frameOf(14, 1, 0).size();
  QDBusMessage call = QDBusMessage::createMethodCall(name_, sys, "ProjectTarvel.ISockSystem",
                                                     "get_VMESyncroRequest");
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 10000);
  std::vector<std::uint8_t> request;
  ASSERT_TRUE(peer.readExactly(requestSize, &request));
  ASSERT_EQ(request.size(), requestSize);
  const std::int32_t id = (request[requestSize - 4] << 24) | (request[requestSize - 3] << 16) |
                          (request[requestSize - 2] << 8) | request[requestSize - 1];
  EXPECT_EQ(id, 1);
  // A late answer to some earlier request does not end this one.
  ASSERT_TRUE(peer.write(frameOf(14, 2, 777)));
  ASSERT_TRUE(WaitUntil([&] { return Value(Sys(sys, "get_SyncReturnID")).toInt() == 777; }));
  Value(Sys(sys, "get_SysName"));
  EXPECT_FALSE(pending.isFinished());
  ASSERT_TRUE(peer.write(frameOf(14, 2, id)));
  pending.waitForFinished();
  EXPECT_EQ(Value(pending.reply()).toInt(), id);

  // QuitORVO sends the quit command and answers after the link is closed.
  QDBusPendingCall quit = QDBusConnection::sessionBus().asyncCall(
      QDBusMessage::createMethodCall(name_, sys, "ProjectTarvel.ISockSystem", "QuitORVO"), 10000);
  const std::vector<std::uint8_t> quitFrame = link::BuildFrame({1, 100, 1}, {});
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(peer.readExactly(quitFrame.size(), &got));
  EXPECT_EQ(got, quitFrame);
  quit.waitForFinished();
  EXPECT_EQ(quit.reply().type(), QDBusMessage::ReplyMessage);
  EXPECT_FALSE(Value(Sys(sys, "get_SocketStatus")).toBool());
}

// The client path over the real hub: put_SocketStatus presses Connect, the hub's start-up
// phases fill the identity from the simulator, phase 1's vacuum command reaches the advised
// sink as OnMyEvent, and the sync request is answered by the simulator.
TEST_F(AutomationServerTest, OverTheHubAClientConnectsReadsTheIdentityAndGetsEvents) {
  tarvel::testing::ControllerSim sim({"--sys-name", "ORVO-CLIENT"});
  ASSERT_TRUE(sim.start());
  StartServer({"--port", QString::number(sim.port())});
  const QString sys = Create("ProjectTarvel.SockSystem");
  Recorder events;
  ASSERT_TRUE(QDBusConnection::sessionBus().connect(name_, sys, "ProjectTarvel.ISockSystemEvents",
                                                    "OnMyEvent", &events, SLOT(onEvent(int))));
  Value(Call(sys, "ProjectTarvel.ConnectionPoint", "Advise"));
  Value(Sys(sys, "put_UseEventFlag", {true}));
  Value(Sys(sys, "put_IPAdrs", {"127.0.0.1"}));
  EXPECT_EQ(Value(Sys(sys, "get_IPAdrs")).toString(), "127.0.0.1");
  Value(Sys(sys, "put_SocketStatus", {true}));
  ASSERT_TRUE(WaitUntil([&] { return Value(Sys(sys, "get_SocketStatus")).toBool(); }, 10000));
  ASSERT_TRUE(
      WaitUntil([&] { return Value(Sys(sys, "get_SysName")).toString() == "ORVO-CLIENT"; }, 10000));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return std::find(events.events.begin(), events.events.end(), 1148) != events.events.end();
      },
      10000));

  const QDBusMessage sync = Sys(sys, "get_VMESyncroRequest");
  const int id = Value(sync).toInt();
  EXPECT_GT(id, 0);
  EXPECT_EQ(Value(Sys(sys, "get_SyncReturnID")).toInt(), id);

  // Alarms and notification flags land in the server's monitor record, where the monitor
  // window and every other process read them.
  shm::TOrvoMonitData record(false);
  ASSERT_TRUE(record.OpenStatus().ok()) << record.OpenStatus().message();
  Value(Sys(sys, "put_SetAlarm", {qint32(42)}));
  EXPECT_EQ(record.GetAlarm(42).value(), -1);  // a set flag is true, -1
  EXPECT_EQ(record.GetAlarmPresent().value(), 1);
  EXPECT_EQ(record.GetNotified(1145).value(), 1);
  Value(Sys(sys, "put_ResetAlarm", {qint32(42)}));
  EXPECT_EQ(record.GetAlarm(42).value(), 0);
  EXPECT_EQ(record.GetAlarmPresent().value(), 0);

  // Disconnecting through the client releases the hub's Connect: no phases, link down.
  Value(Sys(sys, "put_SocketStatus", {false}));
  ASSERT_TRUE(WaitUntil([&] { return !Value(Sys(sys, "get_SocketStatus")).toBool(); }, 10000));
}

TEST_F(AutomationServerTest, StartedByAutomationEndsWithTheLastObjectOrItsClient) {
  StartServer({"/AUTOMATION"});
  const QString a = Create("ProjectTarvel.SockSystem");
  const QString b = Create("ProjectTarvel.SockScan");
  Value(Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "ReleaseObject",
             {QVariant::fromValue(QDBusObjectPath(a))}));
  EXPECT_EQ(server_.state(), QProcess::Running);
  Value(Call("/ProjectTarvel", "ProjectTarvel.ClassFactory", "ReleaseObject",
             {QVariant::fromValue(QDBusObjectPath(b))}));
  EXPECT_TRUE(server_.waitForFinished(10000));
  EXPECT_EQ(server_.exitCode(), 0);
}

TEST_F(AutomationServerTest, AClientLeavingTheBusReleasesItsObjects) {
  struct Case {
    bool automation;
  } cases[] = {{true}, {false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.automation);
    StartServer(c.automation ? QStringList{"-embedding"} : QStringList{});
    {
      QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "peer");
      Create("ProjectTarvel.SockSystem", peer);
      QDBusConnection::disconnectFromBus("peer");
    }
    if (c.automation) {
      EXPECT_TRUE(server_.waitForFinished(10000));
    } else {
      // Started by the user it keeps serving.
      const QString sys = Create("ProjectTarvel.SockSystem");
      EXPECT_EQ(Value(Sys(sys, "get_SysName")).toString(), "ORVO410");
      server_.kill();
      server_.waitForFinished(5000);
    }
  }
}

TEST_F(AutomationServerTest, RegserverAndUnregserverWriteAndRemoveTheFilesAndEnd) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString xdg = dir_.path() + "/xdg";
  env.insert("XDG_DATA_HOME", xdg);
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(TARVEL_TEST_SERVER, {"/RegServer"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  QFile service(xdg + "/dbus-1/services/ProjectTarvel.Server.service");
  ASSERT_TRUE(service.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(service.readAll());
  EXPECT_TRUE(text.contains("Name=ProjectTarvel.Server"));
  EXPECT_TRUE(text.contains("automation_test_server /AUTOMATION"));
  QFile registry(xdg + "/ProjectTarvel/registry.ini");
  ASSERT_TRUE(registry.open(QIODevice::ReadOnly));
  const QString reg = QString::fromUtf8(registry.readAll());
  EXPECT_TRUE(reg.contains("CLSID={68029DF4-2D59-11D5-88E7-00C04FCB7FA4}"));
  EXPECT_TRUE(reg.contains("Description=SockSystem オブジェクト"));
  EXPECT_TRUE(QFile::exists(xdg + "/ProjectTarvel/ProjectTarvel.xml"));

  p.start(TARVEL_TEST_SERVER, {"-UNREGSERVER"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(service.fileName()));
  EXPECT_FALSE(QFile::exists(registry.fileName()));
}

TEST_F(AutomationServerTest, GdbusCallsAnObjectAndSeesTheNamedError) {
  StartServer();
  QProcess gdbus;
  // An object made by gdbus goes when gdbus leaves the bus, as every client's objects do.
  gdbus.start("gdbus",
              {"call", "--session", "--dest", name_, "--object-path", "/ProjectTarvel", "--method",
               "ProjectTarvel.ClassFactory.CreateObject", "ProjectTarvel.SockSystem"});
  ASSERT_TRUE(gdbus.waitForFinished(10000));
  ASSERT_TRUE(
      QString::fromUtf8(gdbus.readAllStandardOutput()).contains("/ProjectTarvel/SockSystem/1"));
  // An object of this client, called by gdbus.
  const QString sys = Create("ProjectTarvel.SockSystem");
  gdbus.start("gdbus", {"call", "--session", "--dest", name_, "--object-path", sys, "--method",
                        "ProjectTarvel.ISockSystem.get_SysName"});
  ASSERT_TRUE(gdbus.waitForFinished(10000));
  EXPECT_TRUE(QString::fromUtf8(gdbus.readAllStandardOutput()).contains("'ORVO410'"));
  gdbus.start("gdbus", {"call", "--session", "--dest", name_, "--object-path", sys, "--method",
                        "ProjectTarvel.ISockSystem.put_CurDir", "/no/such/dir"});
  ASSERT_TRUE(gdbus.waitForFinished(10000));
  const QString err = QString::fromUtf8(gdbus.readAllStandardError());
  EXPECT_TRUE(err.contains("ProjectTarvel.Error.E_UNEXPECTED")) << err.toStdString();
  EXPECT_TRUE(err.contains("cannot enter /no/such/dir")) << err.toStdString();
}

}  // namespace
}  // namespace tarvel::automation

#include "automation_dbus_test.moc"
