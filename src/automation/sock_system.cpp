#include "automation/sock_system.h"

#include <QDir>
#include <QTimer>

#include <array>
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

enum : std::int32_t {
  kSocketStatus = 1,
  kIPAdrs = 2,
  kSetMessageHandle = 3,
  kVisible = 4,
  kCurDir = 5,
  kDebugMode = 6,
  kCmdCycleRequest = 7,
  kSysProtocol = 8,
  kSysTime = 9,
  kSysName = 10,
  kSysVersion = 11,
  kSysHardType = 12,
  kSysModifyFlag = 13,
  kSysVacGaugeType = 14,
  kSysApertureType = 15,
  kQuitORVO = 16,
  kUseEventFlag = 17,
  kSetAlarm = 18,
  kResetAlarm = 19,
  kSysDataInitialized = 20,
  kSysStageType = 21,
  kSysMachineType = 22,
  kCancelVacMainInterlockAlarm = 23,
  kSysMessageTypeIsMassage = 24,
  kSysOpticsType = 25,
  kSysMaxBeamShift = 26,
  kV1CloseTimerEnabled = 27,
  kStartV1CloseTimer = 28,
  kStopV1CloseTimer = 29,
  kCurAlarmNo = 30,
  kSystemType = 31,
  kVMESyncroRequest = 32,
  kSyncReturnID = 33,
};

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

TCallResult OutOfRange(const char* what, int lo, int hi, std::int64_t got) {
  return TCallResult::Fail(kE_UNEXPECTED, std::string(what) + " must lie in " + std::to_string(lo) +
                                              ".." + std::to_string(hi) + ", not " +
                                              std::to_string(got));
}

}  // namespace

TSockSystem::TSockSystem(const TCoclassInfo& coclass, TAutomationContext& context)
    : TAutomationObject(coclass, context) {}

bool TSockSystem::Ready() const {
  return !context_.hub.DebugMode() && context_.hub.LinkReady();
}

void TSockSystem::Call(const TMemberInfo& m, const std::vector<QVariant>& in, TReply reply) {
  switch (m.kind) {
    case TMemberKind::kGet:
      if (m.dispid == kVMESyncroRequest) {
        context_.sync.Request(std::move(reply));
        return;
      }
      reply(Get(m.dispid));
      return;
    case TMemberKind::kPut:
      reply(in.size() == 1 ? Put(m.dispid, in[0])
                           : TCallResult::Fail(kE_INVALIDARG, "one value expected"));
      return;
    case TMemberKind::kMethod:
      break;
  }
  switch (m.dispid) {
    case kSetMessageHandle:
      reply(SetMessageHandle(in.at(0).toString()));
      return;
    case kCmdCycleRequest:
      reply(CmdCycleRequest(in.at(0).value<qint32>(), in.at(1).toBool()));
      return;
    case kQuitORVO:
      QuitORVO(std::move(reply));
      return;
    case kStartV1CloseTimer:
      context_.hub.StartV1CloseCountdown();
      reply(TCallResult::Ok());
      return;
    case kStopV1CloseTimer:
      context_.hub.StopV1CloseCountdown();
      reply(TCallResult::Ok());
      return;
    default:
      break;
  }
  TAutomationObject::Call(m, in, std::move(reply));
}

TCallResult TSockSystem::Get(std::int32_t dispid) {
  THubAccess& hub = context_.hub;
  const TDummy& dummy = context_.dummy;
  link::TOrvoComAna& link = hub.Link();
  const model::SysInformation info = link.SysInformation();
  config::TSysInitData& init = hub.InitData();
  switch (dispid) {
    case kSocketStatus:
      return Out(hub.DebugMode() ? dummy.SocketStatus() : link.IsConnected() != 0);
    case kIPAdrs:
      return Out(hub.IPAddressText());
    case kVisible:
      return Out(hub.MonitorVisible());
    case kCurDir:
      return Out(link.Path);
    case kDebugMode:
      return Out(hub.DebugMode());
    case kSysProtocol:
      return OutCp932(info.SysProtocol);
    case kSysTime:
      return OutCp932(info.SysTime);
    case kSysName:
      return Ready() ? OutCp932(info.SysName) : Out(dummy.SysName());
    case kSysVersion:
      return Ready() ? OutCp932(info.SysVersion) : Out(dummy.SysVersion());
    case kSysHardType:
      return Ready() ? OutCp932(info.SysHardType) : Out(dummy.SysHardType());
    case kSysModifyFlag:
      return Out(info.SysModifyFlag);
    case kSysVacGaugeType:
      return Out(Ready() ? info.SysVacGaugeType : dummy.SysVacGaugeType());
    case kSysApertureType:
      return Out(Ready() ? info.SysApertureType : dummy.SysApertureType());
    case kSysDataInitialized:
      return Out(Ready() ? info.SysDataInitialized : true);
    case kSysStageType:
      return Out(static_cast<std::int32_t>(init.StageType()));
    case kSysMachineType:
      return Out(static_cast<std::int32_t>(hub.MachineType()));
    case kCancelVacMainInterlockAlarm:
      return Out(hub.CancelVacMainInterlockAlarm());
    case kSysMessageTypeIsMassage:
      return Out(hub.MessageCountUp());
    // The Hard3 model's optics-unit presence joins with that model; until then the cached
    // type answers in every mode.
    case kSysOpticsType:
      return Out(static_cast<std::int32_t>(init.OpticsType() & 0x7F));
    case kSysMaxBeamShift:
      return Out(static_cast<std::int32_t>(hub.MaxBeamShift()));
    case kV1CloseTimerEnabled:
      return Out(init.V1CloseEnabled());
    case kCurAlarmNo:
      return Out(static_cast<std::int32_t>(link.CurrentAlarm()));
    case kSystemType:
      return Out(static_cast<std::int32_t>(init.SystemType()));
    case kSyncReturnID:
      return Out(link.SystemInfo().SyncReturnID());
    default:
      break;
  }
  return TCallResult::Fail(kE_NOTIMPL, "ISockSystem get " + std::to_string(dispid));
}

TCallResult TSockSystem::Put(std::int32_t dispid, const QVariant& v) {
  THubAccess& hub = context_.hub;
  link::TOrvoComAna& link = hub.Link();
  switch (dispid) {
    case kSocketStatus:
      return PutSocketStatus(v.toBool());
    case kIPAdrs:
      hub.SetIPAddressText(v.toString().toStdString());
      return TCallResult::Ok();
    case kVisible:
      hub.SetMonitorVisible(v.toBool());
      return TCallResult::Ok();
    case kCurDir:
      return PutCurDir(v.toString());
    case kDebugMode:
      return PutDebugMode(v.toBool());
    case kSysTime:
    case kSysModifyFlag:
    case kSysVacGaugeType:
    case kSysApertureType:
    case kSysStageType:
      return TCallResult::Ok();  // accepted and ignored
    case kSysHardType:
      if (!Ready()) link.SystemInfo().SetHardType(base::Utf8ToCp932(v.toString().toStdString()));
      return TCallResult::Ok();
    case kUseEventFlag:
      hub.SetEventTarget(v.toBool() ? weak_from_this() : std::weak_ptr<TAutomationObject>());
      return TCallResult::Ok();
    case kSetAlarm: {
      const std::int32_t n = v.value<qint32>();
      if (n < 0 || n > kMaxAlarm) return OutOfRange("alarm number", 0, kMaxAlarm, n);
      if (auto s = hub.SetAlarm(n); !s.ok()) return TCallResult::From(s);
      context_.notifier.SendMessageAppli(kAlarmShown);
      return TCallResult::Ok();
    }
    case kResetAlarm: {
      const std::int32_t n = v.value<qint32>();
      if (n < 0 || n > kMaxAlarm) return OutOfRange("alarm number", 0, kMaxAlarm, n);
      return TCallResult::From(hub.ResetAlarm(n));
    }
    case kSysDataInitialized: {
      if (!Ready()) return TCallResult::Ok();
      const std::array<std::uint8_t, 4> payload{0, 0, 0, static_cast<std::uint8_t>(v.toBool())};
      return TCallResult::From(link.SendFrame(1, model::kSysItemDataInitialized, 1, payload));
    }
    case kSysMachineType: {
      const std::int32_t raw = v.value<qint32>();
      const auto type = static_cast<std::uint8_t>(raw & 0xFF);
      // Only the two machine lines have a data directory; anything else would leave the
      // configuration unloadable.
      if (type != 1 && type != 2) return OutOfRange("machine type", 1, 2, raw);
      hub.SetMachineType(type);
      context_.dummy.SetMachineType(type);
      return TCallResult::Ok();
    }
    case kCancelVacMainInterlockAlarm:
      hub.SetCancelVacMainInterlockAlarm(v.toBool());
      return TCallResult::Ok();
    case kSysMessageTypeIsMassage:
      if (v.toBool() != hub.MessageCountUp()) hub.SetMessageCountUp(v.toBool());
      return TCallResult::Ok();
    case kSysMaxBeamShift:
      hub.SetMaxBeamShift(v.value<qint32>());
      return TCallResult::Ok();
    case kV1CloseTimerEnabled:
      return TCallResult::From(hub.InitData().SetV1CloseUse(v.toBool()));
    default:
      break;
  }
  return TCallResult::Fail(kE_NOTIMPL, "ISockSystem put " + std::to_string(dispid));
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
  if (!Ready()) {
    reply(TCallResult::Ok());
    return;
  }
  if (auto s = context_.hub.Link().SendCommand(1, 100, 1); !s.ok()) {
    reply(TCallResult::From(s));
    return;
  }
  // The controller gets a second to act on the quit before the link is closed. The timer holds
  // this object, so a client that releases it meanwhile still gets its answer.
  auto self = std::static_pointer_cast<TSockSystem>(shared_from_this());
  QTimer::singleShot(kQuitDelayMs, &context_.owner,
                     [self, reply = std::move(reply)] { reply(self->PutSocketStatus(false)); });
}

}  // namespace tarvel::automation
