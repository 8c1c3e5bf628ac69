#include "automation/sock_system.h"

#include <QDir>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "automation/automation_context.h"
#include "automation/client_notifier.h"
#include "automation/dummy.h"
#include "automation/hub_access.h"
#include "automation/message_windows.h"
#include "automation/sync_exchange.h"
#include "base/code_page.h"
#include "config/sys_init_data.h"
#include "link/orvo_com_ana.h"

namespace tarvel::automation {

namespace {

TCallResult Out(bool v) {
  return TCallResult::Ok({QVariant(v)});
}
TCallResult Out(std::int32_t v) {
  return TCallResult::Ok({QVariant::fromValue<qint32>(v)});
}
TCallResult Out(const std::string& utf8) {
  return TCallResult::Ok({QVariant(QString::fromStdString(utf8))});
}
// Model texts are the controller's CP932 bytes.
TCallResult OutCp932(const std::string& cp932) {
  return Out(base::Cp932ToUtf8(cp932));
}
TCallResult Accepted(const QVariant&) {
  return TCallResult::Ok();
}

TCallResult OutOfRange(const char* what, int lo, int hi, std::int64_t got) {
  return TCallResult::Fail(kE_UNEXPECTED, std::string(what) + " must lie in " + std::to_string(lo) +
                                              ".." + std::to_string(hi) + ", not " +
                                              std::to_string(got));
}

}  // namespace

TSockSystem::TSockSystem(TAutomationContext& context) : TAutomationObject(Routes(), context) {}

const TMemberRoutes& TSockSystem::Routes() {
  static const TMemberRoutes routes = [] {
    using S = TSockSystem;
    TMemberRoutes r(*TTypeLibrary::FindByName("SockSystem"));
    TRoutesOf<S> on(r);
    auto hub = [](S& s) -> THubAccess& { return s.context_.hub; };
    auto info = [](S& s) { return s.context_.hub.Link().SysInformation(); };
    auto init = [](S& s) -> config::TSysInitData& { return s.context_.hub.InitData(); };

    on.Get("SocketStatus", [hub](S& s) {
      return Out(hub(s).DebugMode() ? s.context_.dummy.SocketStatus()
                                    : hub(s).Link().IsConnected() != 0);
    });
    on.Put("SocketStatus", [](S& s, const QVariant& v) { return s.PutSocketStatus(v.toBool()); });
    on.Get("IPAdrs", [hub](S& s) { return Out(hub(s).IPAddressText()); });
    on.Put("IPAdrs", [hub](S& s, const QVariant& v) {
      hub(s).SetIPAddressText(v.toString().toStdString());
      return TCallResult::Ok();
    });
    on.Method("SetMessageHandle",
              [](S& s, const TArgs& in) { return s.SetMessageHandle(in[0].toString()); });
    on.Get("Visible", [hub](S& s) { return Out(hub(s).MonitorVisible()); });
    on.Put("Visible", [hub](S& s, const QVariant& v) {
      hub(s).SetMonitorVisible(v.toBool());
      return TCallResult::Ok();
    });
    on.Get("CurDir", [hub](S& s) { return Out(hub(s).Link().Path); });
    on.Put("CurDir", [](S& s, const QVariant& v) { return s.PutCurDir(v.toString()); });
    on.Get("DebugMode", [hub](S& s) { return Out(hub(s).DebugMode()); });
    on.Put("DebugMode", [](S& s, const QVariant& v) { return s.PutDebugMode(v.toBool()); });
    on.Method("CmdCycleRequest", [](S& s, const TArgs& in) {
      return s.CmdCycleRequest(in[0].value<qint32>(), in[1].toBool());
    });
    on.Get("SysProtocol", [info](S& s) { return OutCp932(info(s).SysProtocol); });
    on.Get("SysTime", [info](S& s) { return OutCp932(info(s).SysTime); });
    on.Put("SysTime", [](S&, const QVariant& v) { return Accepted(v); });
    // The identity answers from the simulator unless the controller's model is live.
    on.Get("SysName", [info](S& s) {
      return s.Ready() ? OutCp932(info(s).SysName) : Out(s.context_.dummy.SysName());
    });
    on.Get("SysVersion", [info](S& s) {
      return s.Ready() ? OutCp932(info(s).SysVersion) : Out(s.context_.dummy.SysVersion());
    });
    on.Get("SysHardType", [info](S& s) {
      return s.Ready() ? OutCp932(info(s).SysHardType) : Out(s.context_.dummy.SysHardType());
    });
    on.Put("SysHardType", [hub](S& s, const QVariant& v) {
      if (!s.Ready()) {
        hub(s).Link().SystemInfo().SetHardType(base::Utf8ToCp932(v.toString().toStdString()));
      }
      return TCallResult::Ok();
    });
    on.Get("SysModifyFlag", [info](S& s) { return Out(info(s).SysModifyFlag); });
    on.Put("SysModifyFlag", [](S&, const QVariant& v) { return Accepted(v); });
    on.Get("SysVacGaugeType", [info](S& s) {
      return Out(s.Ready() ? info(s).SysVacGaugeType : s.context_.dummy.SysVacGaugeType());
    });
    on.Put("SysVacGaugeType", [](S&, const QVariant& v) { return Accepted(v); });
    on.Get("SysApertureType", [info](S& s) {
      return Out(s.Ready() ? info(s).SysApertureType : s.context_.dummy.SysApertureType());
    });
    on.Put("SysApertureType", [](S&, const QVariant& v) { return Accepted(v); });
    on.Later(TMemberKind::kMethod, "QuitORVO",
             [](S& s, const TArgs&, TReply reply) { s.QuitORVO(std::move(reply)); });
    on.Put("UseEventFlag", [hub](S& s, const QVariant& v) {
      hub(s).SetEventTarget(v.toBool() ? s.weak_from_this() : std::weak_ptr<TAutomationObject>());
      return TCallResult::Ok();
    });
    on.Put("SetAlarm", [](S& s, const QVariant& v) { return s.SetAlarm(v.value<qint32>()); });
    on.Put("ResetAlarm", [hub](S& s, const QVariant& v) {
      const std::int32_t n = v.value<qint32>();
      if (n < 0 || n > kMaxAlarm) return OutOfRange("alarm number", 0, kMaxAlarm, n);
      return TCallResult::From(hub(s).ResetAlarm(n));
    });
    on.Get("SysDataInitialized",
           [info](S& s) { return Out(s.Ready() ? info(s).SysDataInitialized : true); });
    on.Put("SysDataInitialized", [](S& s, const QVariant& v) {
      const bool flag = v.toBool();
      return s.Command([flag](link::TOrvoCommands& c) { return c.CmdSysDataInitialized(flag); });
    });
    on.Get("SysStageType",
           [init](S& s) { return Out(static_cast<std::int32_t>(init(s).StageType())); });
    on.Put("SysStageType", [](S&, const QVariant& v) { return Accepted(v); });
    on.Get("SysMachineType",
           [hub](S& s) { return Out(static_cast<std::int32_t>(hub(s).MachineType())); });
    on.Put("SysMachineType", [hub](S& s, const QVariant& v) {
      const std::int32_t raw = v.value<qint32>();
      const auto type = static_cast<std::uint8_t>(raw & 0xFF);
      // Only the two machine lines have a data directory; anything else would leave the
      // configuration unloadable.
      if (type != 1 && type != 2) return OutOfRange("machine type", 1, 2, raw);
      // The hub's machine-type event reaches the link manager and the simulator.
      hub(s).SetMachineType(type);
      return TCallResult::Ok();
    });
    on.Get("CancelVacMainInterlockAlarm",
           [hub](S& s) { return Out(hub(s).CancelVacMainInterlockAlarm()); });
    on.Put("CancelVacMainInterlockAlarm", [hub](S& s, const QVariant& v) {
      hub(s).SetCancelVacMainInterlockAlarm(v.toBool());
      return TCallResult::Ok();
    });
    on.Get("SysMessageTypeIsMassage", [hub](S& s) { return Out(hub(s).MessageCountUp()); });
    on.Put("SysMessageTypeIsMassage", [hub](S& s, const QVariant& v) {
      if (v.toBool() != hub(s).MessageCountUp()) hub(s).SetMessageCountUp(v.toBool());
      return TCallResult::Ok();
    });
    // The Hard3 model's optics-unit presence joins with that model; until then the cached
    // type answers in every mode.
    on.Get("SysOpticsType",
           [init](S& s) { return Out(static_cast<std::int32_t>(init(s).OpticsType() & 0x7F)); });
    on.Get("SysMaxBeamShift",
           [hub](S& s) { return Out(static_cast<std::int32_t>(hub(s).MaxBeamShift())); });
    on.Put("SysMaxBeamShift", [hub](S& s, const QVariant& v) {
      hub(s).SetMaxBeamShift(v.value<qint32>());
      return TCallResult::Ok();
    });
    on.Get("V1CloseTimerEnabled", [init](S& s) { return Out(init(s).V1CloseEnabled()); });
    on.Put("V1CloseTimerEnabled", [init](S& s, const QVariant& v) {
      return TCallResult::From(init(s).SetV1CloseUse(v.toBool()));
    });
    on.Method("StartV1CloseTimer", [hub](S& s, const TArgs&) {
      hub(s).StartV1CloseCountdown();
      return TCallResult::Ok();
    });
    on.Method("StopV1CloseTimer", [hub](S& s, const TArgs&) {
      hub(s).StopV1CloseCountdown();
      return TCallResult::Ok();
    });
    on.Get("CurAlarmNo",
           [hub](S& s) { return Out(static_cast<std::int32_t>(hub(s).Link().CurrentAlarm())); });
    on.Get("SystemType",
           [init](S& s) { return Out(static_cast<std::int32_t>(init(s).SystemType())); });
    on.Later(TMemberKind::kGet, "VMESyncroRequest",
             [](S& s, const TArgs&, TReply reply) { s.context_.sync.Request(std::move(reply)); });
    on.Get("SyncReturnID", [hub](S& s) { return Out(hub(s).Link().SystemInfo().SyncReturnID()); });
    return r;
  }();
  return routes;
}

TCallResult TSockSystem::PutSocketStatus(bool on) {
  THubAccess& hub = context_.hub;
  hub.ShowSocketStatus(on);
  // Loads once; a missing data directory leaves the cached values at 0 and is tried again on
  // the next put, as the initial-data window does.
  (void)hub.InitData().LoadInitData(hub.MachineType());
  if (hub.DebugMode()) {
    context_.dummy.SetSocketStatus(on);
    return TCallResult::Ok();
  }
  hub.SetConnectWanted(on);
  hub.ResetConnectAttempts();
  if (!on) {
    hub.PressDisconnect();
  } else if (!hub.ConnectPressed()) {
    hub.PressConnect();
  }
  return TCallResult::Ok();
}

TCallResult TSockSystem::PutCurDir(const QString& dir) {
  const QByteArray path = QFile::encodeName(dir);
  if (path.isEmpty()) return TCallResult::Fail(kE_UNEXPECTED, "CurDir: the path is empty");
  if (::chdir(path.constData()) != 0) {
    const int err = errno;
    return TCallResult::Fail(
        kE_UNEXPECTED, "CurDir: cannot enter " + dir.toStdString() + ": " + std::strerror(err));
  }
  THubAccess& hub = context_.hub;
  link::TOrvoComAna& link = hub.Link();
  link.Path = dir.toStdString();
  link.LoadNetInfo();
  const base::Status reopened = hub.ReopenDataFiles(link.Path);
  hub.SetIPAddressText(link.IPAddr);
  return TCallResult::From(reopened);
}

TCallResult TSockSystem::PutDebugMode(bool on) {
  THubAccess& hub = context_.hub;
  hub.SetDebugMode(on);
  if (on) hub.Link().SystemInfo().SetHardType("HARD3");
  return TCallResult::Ok();
}

TCallResult TSockSystem::SetAlarm(std::int32_t n) {
  if (n < 0 || n > kMaxAlarm) return OutOfRange("alarm number", 0, kMaxAlarm, n);
  // The record logs the alarm and sets its flag unless it is set already. Clients are told in
  // every case, also when the record could not take it: they re-read the record, and the
  // caller still learns of the failure.
  const base::Status recorded = context_.hub.SetAlarm(n);
  context_.notifier.SendMessageAppli(kAlarmShown);
  return TCallResult::From(recorded);
}

TCallResult TSockSystem::SetMessageHandle(const QString& title) {
  THubAccess& hub = context_.hub;
  hub.SetClientWindowTitle(title.toStdString());
  hub.SetClientWindowHandle(context_.windows.FindWindow(title.toStdString()));
  return TCallResult::Ok();
}

TCallResult TSockSystem::CmdCycleRequest(std::int32_t code, bool infoMode) {
  if (code < 1 || code > kMaxCycleCode) return OutOfRange("code", 1, kMaxCycleCode, code);
  if (!Ready()) return TCallResult::Ok();
  const bool hard3 = context_.hub.Link().SysInformation().SysHardType == "HARD3";
  if (hard3 && code != 9 && code != 10) return TCallResult::Ok();
  context_.hub.Link().CycleRequest(code, infoMode);
  return TCallResult::Ok();
}

void TSockSystem::QuitORVO(TReply reply) {
  bool sent = false;
  TCallResult r = Command([](link::TOrvoCommands& c) { return c.CmdSysQuit(); }, nullptr, &sent);
  if (!sent) {
    reply(std::move(r));
    return;
  }
  // The controller gets a second to act on the quit before the link is closed. The timer holds
  // this object, so a client that releases it meanwhile still gets its answer.
  auto self = std::static_pointer_cast<TSockSystem>(shared_from_this());
  QTimer::singleShot(kQuitDelayMs, &context_.owner,
                     [self, reply = std::move(reply)] { reply(self->PutSocketStatus(false)); });
}

}  // namespace tarvel::automation
