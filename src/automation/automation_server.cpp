#include "automation/automation_server.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QPointer>
#include <QTimer>

#include "automation/automation_object.h"
#include "automation/dbus_values.h"
#include "automation/hub_access.h"
#include "automation/object_catalogue.h"
#include "automation/type_library.h"

namespace tarvel::automation {

namespace {

constexpr const char* kFactoryIface = "ProjectTarvel.ClassFactory";
constexpr const char* kWindowsIface = "ProjectTarvel.MessageWindows";
constexpr const char* kDispatchIface = "ProjectTarvel.Dispatch";
constexpr const char* kConnectionIface = "ProjectTarvel.ConnectionPoint";
constexpr const char* kIntrospectIface = "org.freedesktop.DBus.Introspectable";

const char kRootXml[] = R"(  <interface name="ProjectTarvel.ClassFactory">
    <method name="CreateObject"><arg name="progid_or_clsid" type="s" direction="in"/><arg name="path" type="o" direction="out"/></method>
    <method name="ReleaseObject"><arg name="path" type="o" direction="in"/></method>
  </interface>
  <interface name="ProjectTarvel.MessageWindows">
    <method name="RegisterWindowMessage"><arg name="name" type="s" direction="in"/><arg name="msg" type="u" direction="out"/></method>
    <method name="CreateWindow"><arg name="title" type="s" direction="in"/><arg name="handle" type="u" direction="out"/></method>
    <method name="DestroyWindow"><arg name="handle" type="u" direction="in"/></method>
    <signal name="PostMessage"><arg name="handle" type="u"/><arg name="msg" type="u"/><arg name="wparam" type="u"/><arg name="lparam" type="i"/></signal>
  </interface>
)";

const char kObjectXml[] = R"(  <interface name="ProjectTarvel.Dispatch">
    <method name="GetIDsOfNames"><arg name="name" type="s" direction="in"/><arg name="dispid" type="i" direction="out"/></method>
    <method name="Invoke"><arg name="dispid" type="i" direction="in"/><arg name="kind" type="s" direction="in"/><arg name="args" type="av" direction="in"/><arg name="result" type="v" direction="out"/></method>
    <method name="GetErrorInfo"><arg name="description" type="s" direction="out"/><arg name="source" type="s" direction="out"/><arg name="hresult" type="i" direction="out"/></method>
  </interface>
  <interface name="ProjectTarvel.ConnectionPoint">
    <method name="Advise"><arg name="cookie" type="u" direction="out"/></method>
    <method name="Unadvise"><arg name="cookie" type="u" direction="in"/></method>
  </interface>
)";

const char kIntrospectXml[] = R"(  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml_data" type="s" direction="out"/></method>
  </interface>
)";

}  // namespace

class TAutomationServer::Bridge : public QDBusVirtualObject {
 public:
  explicit Bridge(TAutomationServer& server) : server_(server) {}
  QString introspect(const QString& path) const override { return server_.Introspect(path); }
  bool handleMessage(const QDBusMessage& msg, const QDBusConnection&) override {
    return server_.Handle(msg);
  }

 private:
  TAutomationServer& server_;
};

TAutomationServer::TAutomationServer(THubAccess& hub, QDBusConnection bus, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      hub_(hub),
      notifier_(hub, windows_),
      sync_(hub, this),
      context_{hub, hub.Dummy(), sync_, windows_, notifier_, *this},
      makeObject_(&TObjectCatalogue::Make),
      bridge_(std::make_unique<Bridge>(*this)),
      watcher_(QString(), bus_, QDBusServiceWatcher::WatchForUnregistration) {
  connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &TAutomationServer::PeerGone);
  // Notifications reach clients for as long as the server lives, with or without a bus.
  notifier_.Bind(hub.Link(), this);
  windows_.OnPost = [this](const std::string& owner, std::uint32_t handle, std::uint32_t msg,
                           std::uint32_t wparam, std::int32_t lparam) {
    QDBusMessage s = QDBusMessage::createTargetedSignal(QString::fromStdString(owner), kRootPath,
                                                        kWindowsIface, "PostMessage");
    s << handle << msg << wparam << lparam;
    bus_.send(s);  // queued; never waits for the client
  };
}

TAutomationServer::~TAutomationServer() {
  bus_.unregisterObject(kRootPath, QDBusConnection::UnregisterTree);
  objects_.clear();
}

base::Status TAutomationServer::Start(const QString& serviceName) {
  if (!bus_.isConnected()) return base::Status::Unavailable("no D-Bus connection");
  if (!bus_.registerVirtualObject(kRootPath, bridge_.get(), QDBusConnection::SubPath)) {
    return base::Status::Busy("cannot register " + std::string(kRootPath) + ": " +
                              bus_.lastError().message().toStdString());
  }
  if (!bus_.registerService(serviceName)) {
    return base::Status::Busy("cannot own the bus name " + serviceName.toStdString() + ": " +
                              bus_.lastError().message().toStdString());
  }
  return base::Status::Ok();
}

base::Result<QString> TAutomationServer::CreateObject(const QString& owner, const QString& key) {
  const TCoclassInfo* c = TTypeLibrary::Find(key.toStdString());
  if (!c) return base::Status::NotFound("no class registered as \"" + key.toStdString() + "\"");
  const auto owned = std::count_if(objects_.begin(), objects_.end(),
                                   [&](const auto& e) { return e.second.owner == owner; });
  if (static_cast<std::size_t>(owned) >= kMaxObjectsPerPeer) {
    return base::Status::OutOfRange("a client may hold at most " +
                                    std::to_string(kMaxObjectsPerPeer) + " objects");
  }
  const int n = ++nextNumber_[QString::fromStdString(c->name)];
  const QString path = QString("%1/%2/%3").arg(kRootPath, QString::fromStdString(c->name)).arg(n);
  objects_[path] = Entry{std::shared_ptr<TAutomationObject>(makeObject_(*c, context_)), owner, {}};
  hadObject_ = true;
  return path;
}

void TAutomationServer::WatchPeer(const QString& peer) {
  if (peer.isEmpty() || watcher_.watchedServices().contains(peer)) return;
  watcher_.addWatchedService(peer);
  // A peer that left before the watch began would never be reported: ask once.
  auto* w = new QDBusPendingCallWatcher(bus_.interface()->asyncCall("NameHasOwner", peer), this);
  connect(w, &QDBusPendingCallWatcher::finished, this, [this, peer](QDBusPendingCallWatcher* c) {
    QDBusPendingReply<bool> r = *c;
    if (r.isValid() && !r.value()) PeerGone(peer);
    c->deleteLater();
  });
}

void TAutomationServer::PeerGone(const QString& peer) {
  watcher_.removeWatchedService(peer);
  windows_.RemoveOwner(peer.toStdString());
  std::erase_if(errors_, [&](const auto& e) { return e.first.second == peer; });
  std::vector<QString> owned;
  for (auto& [path, e] : objects_) {
    if (e.owner == peer) owned.push_back(path);
    if (e.sinkPeer == peer) {
      (void)e.object->Unadvise(e.object->Cookie());
      e.sinkPeer.clear();
    }
  }
  for (const QString& p : owned) Release(p);
}

void TAutomationServer::Release(const QString& path) {
  auto it = objects_.find(path);
  if (it == objects_.end()) return;
  // Destroy outside the map: the destructor clears the hub's targets and may reach back.
  std::shared_ptr<TAutomationObject> gone = std::move(it->second.object);
  objects_.erase(it);
  std::erase_if(errors_, [&](const auto& e) { return e.first.first == path; });
  gone.reset();
  CheckLifetime();
}

void TAutomationServer::CheckLifetime() {
  if (!endWithLastObject_ || ended_ || !hadObject_ || !objects_.empty() || pendingReplies_ > 0) {
    return;
  }
  ended_ = true;
  QTimer::singleShot(0, this, [this] {
    if (OnLastObjectReleased) OnLastObjectReleased();
  });
}

QString TAutomationServer::Introspect(const QString& path) const {
  QString xml;
  if (path == kRootPath) {
    xml += kRootXml;
    for (const TCoclassInfo& c : TTypeLibrary::Coclasses()) {
      xml += QString("  <node name=\"%1\"/>\n").arg(QString::fromStdString(c.name));
    }
    return xml;
  }
  if (auto it = objects_.find(path); it != objects_.end()) {
    return QString::fromStdString(TTypeLibrary::InterfaceXml(it->second.object->Coclass())) +
           kObjectXml;
  }
  const QString prefix = path + "/";
  for (const auto& [p, e] : objects_) {
    if (p.startsWith(prefix)) xml += QString("  <node name=\"%1\"/>\n").arg(p.mid(prefix.size()));
  }
  return xml;
}

bool TAutomationServer::Handle(const QDBusMessage& msg) {
  if (msg.type() != QDBusMessage::MethodCallMessage) return false;
  const QString path = msg.path();
  if (msg.interface() == kIntrospectIface ||
      (msg.interface().isEmpty() && msg.member() == "Introspect")) {
    if (msg.member() != "Introspect") return false;
    const QString xml =
        QString(
            "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n") +
        kIntrospectXml + Introspect(path) + "</node>\n";
    bus_.send(msg.createReply(xml));
    return true;
  }
  if (path == kRootPath) {
    HandleRoot(msg);
    return true;
  }
  auto it = objects_.find(path);
  if (it == objects_.end()) {
    bus_.send(msg.createErrorReply(QDBusError::UnknownObject, "no object at " + path));
    return true;
  }
  HandleObject(msg, path, it->second);
  return true;
}

void TAutomationServer::ReplyInvalidArgs(const QDBusMessage& msg, const QString& text) {
  bus_.send(msg.createErrorReply(QDBusError::InvalidArgs, text));
}

void TAutomationServer::ReplyError(const QDBusMessage& msg, const QString& path,
                                   const TCallResult& r) {
  std::string source;
  if (auto it = objects_.find(path); it != objects_.end()) {
    source = it->second.object->Coclass().ProgID();
  } else {
    source = std::string(TTypeLibrary::kName) + ".Server";
  }
  errors_[{path, msg.service()}] = ErrorInfo{r.description, source, r.hresult};
  bus_.send(msg.createErrorReply(
      "ProjectTarvel.Error." + QString::fromStdString(HResultSymbol(r.hresult)),
      QString::fromStdString(r.description)));
}

void TAutomationServer::HandleRoot(const QDBusMessage& msg) {
  const QString iface = msg.interface();
  const QString member = msg.member();
  const QString sig = msg.signature();
  const QVariantList args = msg.arguments();
  const QString peer = msg.service();
  if ((iface.isEmpty() || iface == kFactoryIface) && member == "CreateObject") {
    if (sig != "s") return ReplyInvalidArgs(msg, "CreateObject takes (s)");
    auto path = CreateObject(peer, args[0].toString());
    if (!path.ok()) {
      const bool unknown = path.status().code() == base::Status::Code::kNotFound;
      return ReplyError(msg, kRootPath,
                        TCallResult::Fail(unknown ? kREGDB_E_CLASSNOTREG : kE_UNEXPECTED,
                                          path.status().message()));
    }
    WatchPeer(peer);
    bus_.send(msg.createReply(QVariant::fromValue(QDBusObjectPath(*path))));
    return;
  }
  if ((iface.isEmpty() || iface == kFactoryIface) && member == "ReleaseObject") {
    if (sig != "o") return ReplyInvalidArgs(msg, "ReleaseObject takes (o)");
    const QString path = args[0].value<QDBusObjectPath>().path();
    auto it = objects_.find(path);
    if (it == objects_.end() || it->second.owner != peer) {
      return ReplyError(
          msg, kRootPath,
          TCallResult::Fail(kE_INVALIDARG, "no object of this client at " + path.toStdString()));
    }
    bus_.send(msg.createReply());
    Release(path);
    return;
  }
  if (iface.isEmpty() || iface == kWindowsIface) {
    if (member == "RegisterWindowMessage" && sig == "s") {
      auto id = windows_.RegisterWindowMessage(args[0].toString().toStdString());
      if (!id.ok()) return ReplyError(msg, kRootPath, TCallResult::From(id.status()));
      bus_.send(msg.createReply(QVariant::fromValue<quint32>(*id)));
      return;
    }
    if (member == "CreateWindow" && sig == "s") {
      auto h = windows_.CreateWindow(peer.toStdString(), args[0].toString().toStdString());
      if (!h.ok()) return ReplyError(msg, kRootPath, TCallResult::From(h.status()));
      WatchPeer(peer);
      bus_.send(msg.createReply(QVariant::fromValue<quint32>(*h)));
      return;
    }
    if (member == "DestroyWindow" && sig == "u") {
      const auto s = windows_.DestroyWindow(peer.toStdString(), args[0].toUInt());
      if (!s.ok()) return ReplyError(msg, kRootPath, TCallResult::Fail(kE_INVALIDARG, s.message()));
      bus_.send(msg.createReply());
      return;
    }
    if (member == "RegisterWindowMessage" || member == "CreateWindow" ||
        member == "DestroyWindow") {
      return ReplyInvalidArgs(msg, member + ": wrong arguments (" + sig + ")");
    }
  }
  bus_.send(
      msg.createErrorReply(QDBusError::UnknownMethod, "no method " + member + " on " + kRootPath));
}

void TAutomationServer::HandleObject(const QDBusMessage& msg, const QString& path, Entry& entry) {
  const TCoclassInfo& c = entry.object->Coclass();
  const QString iface = msg.interface();
  const QString member = msg.member();
  const QString sig = msg.signature();
  const QVariantList args = msg.arguments();
  const QString peer = msg.service();
  const QString dispatchIface = QString::fromStdString(c.dispatch.DBusName());

  if (iface.isEmpty() || iface == dispatchIface) {
    if (const TMemberInfo* m = c.dispatch.FindByDBusName(member.toStdString())) {
      if (sig != QString::fromStdString(m->InSignature())) {
        return ReplyInvalidArgs(msg, member + " takes (" +
                                         QString::fromStdString(m->InSignature()) + "), not (" +
                                         sig + ")");
      }
      std::vector<QVariant> in;
      std::size_t i = 0;
      for (const TArgInfo& a : m->args) {
        if (a.dir == TArgDir::kOut) continue;
        QVariant v;
        if (!CoerceArgument(a.type, args[static_cast<int>(i)], &v)) {
          return ReplyInvalidArgs(
              msg, member + ": argument " + QString::fromStdString(a.name) + " is not " +
                       QString::fromStdString(std::string(VarTypeName(a.type))));
        }
        in.push_back(std::move(v));
        ++i;
      }
      return CallMember(msg, path, entry, *m, std::move(in), false);
    }
    if (!iface.isEmpty()) {
      return (void)bus_.send(
          msg.createErrorReply(QDBusError::UnknownMethod, "no member " + member));
    }
  }
  if ((iface.isEmpty() || iface == kDispatchIface) && member == "GetIDsOfNames") {
    if (sig != "s") return ReplyInvalidArgs(msg, "GetIDsOfNames takes (s)");
    const TMemberInfo* m = c.dispatch.FindByName(args[0].toString().toStdString());
    if (!m) {
      return ReplyError(msg, path,
                        TCallResult::Fail(kDISP_E_UNKNOWNNAME,
                                          "unknown name " + args[0].toString().toStdString()));
    }
    bus_.send(msg.createReply(QVariant::fromValue<qint32>(m->dispid)));
    return;
  }
  if ((iface.isEmpty() || iface == kDispatchIface) && member == "Invoke") {
    if (sig != "isav") return ReplyInvalidArgs(msg, "Invoke takes (isav)");
    const QString kind = args[1].toString();
    TMemberKind k;
    if (kind == "method")
      k = TMemberKind::kMethod;
    else if (kind == "get")
      k = TMemberKind::kGet;
    else if (kind == "put")
      k = TMemberKind::kPut;
    else
      return ReplyInvalidArgs(msg, "kind must be \"method\", \"get\" or \"put\"");
    const TMemberInfo* m = c.dispatch.FindByDispId(args[0].toInt(), k);
    if (!m) {
      return ReplyError(msg, path,
                        TCallResult::Fail(kDISP_E_MEMBERNOTFOUND,
                                          "no " + kind.toStdString() + " member with id " +
                                              std::to_string(args[0].toInt())));
    }
    QVariantList given;
    if (args[2].canConvert<QVariantList>() &&
        args[2].metaType() == QMetaType::fromType<QVariantList>()) {
      given = args[2].toList();
    } else {
      const QDBusArgument arg = args[2].value<QDBusArgument>();
      arg >> given;
    }
    std::vector<QVariant> in;
    std::size_t wanted = 0;
    for (const TArgInfo& a : m->args) wanted += a.dir != TArgDir::kOut;
    if (static_cast<std::size_t>(given.size()) != wanted) {
      return ReplyInvalidArgs(msg, QString("%1 takes %2 arguments, not %3")
                                       .arg(QString::fromStdString(m->name))
                                       .arg(wanted)
                                       .arg(given.size()));
    }
    int i = 0;
    for (const TArgInfo& a : m->args) {
      if (a.dir == TArgDir::kOut) continue;
      QVariant v;
      if (!CoerceArgument(a.type, given[i], &v)) {
        return ReplyInvalidArgs(msg, QString::fromStdString(m->name) + ": argument " +
                                         QString::fromStdString(a.name) + " cannot be " +
                                         QString::fromStdString(std::string(VarTypeName(a.type))));
      }
      in.push_back(std::move(v));
      ++i;
    }
    return CallMember(msg, path, entry, *m, std::move(in), true);
  }
  if ((iface.isEmpty() || iface == kDispatchIface) && member == "GetErrorInfo") {
    if (!sig.isEmpty()) return ReplyInvalidArgs(msg, "GetErrorInfo takes no arguments");
    ErrorInfo e;
    if (auto it = errors_.find({path, peer}); it != errors_.end()) e = it->second;
    QDBusMessage r = msg.createReply();
    r << QString::fromStdString(e.description) << QString::fromStdString(e.source)
      << qint32(e.hresult);
    bus_.send(r);
    return;
  }
  if ((iface.isEmpty() || iface == kConnectionIface) && member == "Advise") {
    if (!sig.isEmpty()) return ReplyInvalidArgs(msg, "Advise takes no arguments");
    const std::string eventsIface = c.events.DBusName();
    std::uint32_t cookie = 0;
    const QString p = path;
    auto sink = [this, peer, p, eventsIface](std::int32_t m) {
      QDBusMessage s = QDBusMessage::createTargetedSignal(
          peer, p, QString::fromStdString(eventsIface), "OnMyEvent");
      s << qint32(m);
      bus_.send(s);
    };
    const TCallResult r = entry.object->Advise(sink, &cookie);
    if (!r.ok()) return ReplyError(msg, path, r);
    entry.sinkPeer = peer;
    WatchPeer(peer);
    bus_.send(msg.createReply(QVariant::fromValue<quint32>(cookie)));
    return;
  }
  if ((iface.isEmpty() || iface == kConnectionIface) && member == "Unadvise") {
    if (sig != "u") return ReplyInvalidArgs(msg, "Unadvise takes (u)");
    const TCallResult r = entry.object->Unadvise(args[0].toUInt());
    if (!r.ok()) return ReplyError(msg, path, r);
    entry.sinkPeer.clear();
    bus_.send(msg.createReply());
    return;
  }
  bus_.send(msg.createErrorReply(QDBusError::UnknownMethod, "no method " + member + " on " + path));
}

void TAutomationServer::CallMember(const QDBusMessage& msg, const QString& path, Entry& entry,
                                   const TMemberInfo& member, std::vector<QVariant> in,
                                   bool invoke) {
  ++pendingReplies_;
  // The call keeps its object alive until it answers, even if it is released meanwhile.
  std::shared_ptr<TAutomationObject> object = entry.object;
  QPointer<TAutomationServer> self(this);
  const TMemberInfo* m = &member;  // the table lives for the whole process
  auto reply = [self, msg, path, m, invoke, object](TCallResult r) {
    if (!self) return;
    --self->pendingReplies_;
    if (!r.ok()) {
      self->ReplyError(msg, path, r);
    } else {
      std::vector<const TArgInfo*> outs;
      for (const TArgInfo& a : m->args) {
        if (a.dir != TArgDir::kIn) outs.push_back(&a);
      }
      QVariantList values;
      for (std::size_t i = 0; i < outs.size(); ++i) {
        // An output the member did not set is its type's empty value (VT_EMPTY for a VARIANT).
        const QVariant v = i < r.outputs.size() ? r.outputs[i] : QVariant();
        std::optional<QVariant> d = OutputToDBus(outs[i]->type, v);
        if (!d) {
          self->ReplyError(
              msg, path,
              TCallResult::Fail(kE_UNEXPECTED, m->name + ": output " + outs[i]->name + " holds a " +
                                                   v.typeName() + ", which D-Bus cannot carry"));
          self->CheckLifetime();
          return;
        }
        values << *d;
      }
      QDBusMessage out = msg.createReply();
      if (invoke) {
        // One output is the result itself; several are an array with one variant per output
        // ("av"), which D-Bus wraps for us, so a VARIANT output is unwrapped in both cases.
        auto contents = [](const QVariant& v) {
          return v.metaType() == QMetaType::fromType<QDBusVariant>()
                     ? v.value<QDBusVariant>().variant()
                     : v;
        };
        QVariant result;
        if (values.size() == 1) {
          result = contents(values[0]);
        } else {
          QVariantList list;
          for (const QVariant& v : values) list << contents(v);
          result = QVariant::fromValue(list);
        }
        out << QVariant::fromValue(QDBusVariant(result));
      } else {
        out.setArguments(values);
      }
      // A reply that cannot be sent must not leave the caller waiting for nothing.
      if (!self->bus_.send(out)) {
        self->ReplyError(
            msg, path,
            TCallResult::Fail(kE_UNEXPECTED, m->name + ": the reply could not be sent: " +
                                                 self->bus_.lastError().message().toStdString()));
      }
    }
    self->CheckLifetime();
  };
  entry.object->Call(member, in, std::move(reply));
}

}  // namespace tarvel::automation
