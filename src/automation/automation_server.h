// TAutomationServer: the automation objects on D-Bus (class factory, dispatch, connection
// points, client windows) over plain objects that know nothing of D-Bus.
//
// Everything lives under /ProjectTarvel: the factory and the client windows on the root, each
// object at /ProjectTarvel/<Coclass>/<n>. Every call is checked against the type library
// (member, signature, value ranges) before an object sees it; a failure becomes the D-Bus error
// "ProjectTarvel.Error.<HRESULT symbol>" with the description as its one string, and is kept
// for that peer's GetErrorInfo. Objects, sinks and windows belong to the peer that made them
// and go when it leaves the bus. Start() claims the bus name last, so no call arrives before
// the hub and the objects' context exist. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "automation/automation_context.h"
#include "automation/call_result.h"
#include "automation/client_notifier.h"
#include "automation/dummy.h"
#include "automation/message_windows.h"
#include "automation/sync_exchange.h"
#include "base/status.h"

namespace tarvel::automation {

class TAutomationObject;
class THubAccess;
struct TCoclassInfo;

class TAutomationServer : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kServiceName = "ProjectTarvel.Server";
  static constexpr const char* kRootPath = "/ProjectTarvel";
  static constexpr std::size_t kMaxObjectsPerPeer = 4096;

  TAutomationServer(THubAccess& hub, QDBusConnection bus, QObject* parent = nullptr);
  ~TAutomationServer() override;

  // Registers /ProjectTarvel and then claims `serviceName`.
  base::Status Start(const QString& serviceName = kServiceName);
  // Started by COM: OnLastObjectReleased runs (once, from the event loop) when the last object
  // has been released and no call is still waiting for its answer.
  void SetEndWithLastObject(bool on) { endWithLastObject_ = on; }
  std::function<void()> OnLastObjectReleased;

  std::size_t ObjectCount() const { return objects_.size(); }
  TClientNotifier& Notifier() { return notifier_; }
  TMessageWindows& Windows() { return windows_; }

  // Creates an object as the factory does, for a caller inside the process (tests, the hub).
  base::Result<QString> CreateObject(const QString& owner, const QString& progidOrClsid);

  // How the factory makes an object of a coclass: TObjectCatalogue::Make unless replaced (a
  // test's own object classes, to drive the adaptor through members not built yet).
  using TObjectMaker =
      std::function<std::unique_ptr<TAutomationObject>(const TCoclassInfo&, TAutomationContext&)>;
  void SetObjectMaker(TObjectMaker make) { makeObject_ = std::move(make); }

 private:
  class Bridge;
  friend class Bridge;

  struct Entry {
    std::shared_ptr<TAutomationObject> object;
    QString owner;
    QString sinkPeer;  // the advised peer, empty without a sink
  };

  bool Handle(const QDBusMessage& msg);
  void HandleRoot(const QDBusMessage& msg);
  void HandleObject(const QDBusMessage& msg, const QString& path, Entry& entry);
  void CallMember(const QDBusMessage& msg, const QString& path, Entry& entry,
                  const struct TMemberInfo& member, std::vector<QVariant> in, bool invoke);
  QString Introspect(const QString& path) const;
  void ReplyError(const QDBusMessage& msg, const QString& path, const TCallResult& r);
  void ReplyInvalidArgs(const QDBusMessage& msg, const QString& text);
  void WatchPeer(const QString& peer);
  void PeerGone(const QString& peer);
  void Release(const QString& path);
  void CheckLifetime();

  QDBusConnection bus_;
  THubAccess& hub_;
  TMessageWindows windows_;
  TClientNotifier notifier_;
  TSyncExchange sync_;
  TAutomationContext context_;
  TObjectMaker makeObject_;
  std::unique_ptr<Bridge> bridge_;
  QDBusServiceWatcher watcher_;
  std::map<QString, Entry> objects_;
  std::map<QString, int> nextNumber_;  // per coclass
  struct ErrorInfo {
    std::string description;
    std::string source;
    std::int32_t hresult = 0;
  };
  std::map<std::pair<QString, QString>, ErrorInfo> errors_;  // (path, peer)
  int pendingReplies_ = 0;
  bool endWithLastObject_ = false;
  bool ended_ = false;
  bool hadObject_ = false;
};

}  // namespace tarvel::automation
