#include "hub/socket_hub.h"

#include <QDateTime>

#include <cstdio>

#include "config/fib_system_ini.h"
#include "hub/hub_texts.h"

namespace tarvel::hub {
namespace {

QDateTime Now() {
  return QDateTime::currentDateTime();
}

constexpr int kNotifyAlarmSet = 1145;
constexpr int kNotifyAlarmRaised = 1150;
constexpr int kNotifyAlarmCleared = 1151;

}  // namespace

TSocketHub::TSocketHub(link::TOrvoComAna& link, model::TUnitModels& models,
                       shm::TSharedRecords& records, config::TSysInitData& initData,
                       Options options, QObject* parent)
    : QObject(parent),
      link_(link),
      models_(models),
      records_(records),
      initData_(initData),
      options_(std::move(options)),
      dummy_([this](int machineType) -> base::Result<int> {
        base::Result<std::string> dir = initData_.DataDirOf(machineType);
        if (!dir.ok()) return dir.status();
        config::TFIBSystemINI ini(*dir);
        (void)ini.Load();  // a bad value takes its default, as for the configuration itself
        return ini.SystemType();
      }) {
  OnLog = options_.log;
  for (TMemoLines* m : {&memoSocket_, &memoCmdInfo_, &listMsg_, &memoSysErr_, &memoOS9_,
                        &memoError_, &memoHist_, &memoScanBmp_}) {
    m->OnLog = [this](const std::string& memo, const std::string& line) {
      if (OnLog) OnLog(memo, line);
    };
  }

  // Qt disconnects these when the hub goes, so nothing reaches a destroyed hub and nobody
  // clears another listener's handler.
  connect(&link_, &link::TOrvoComAna::OnErrOccurred, this,
          [this](int, int error, const std::string& msg) { ErrOccurred(error, msg); });
  connect(&link_, &link::TOrvoComAna::OnTimer, this, [this] { ComAnaTimer(); });
  connect(&link_, &link::TOrvoComAna::OnSendData, this, [this] { ComAnaSendData(); });
  connect(&link_, &link::TOrvoComAna::OnLinkMessage, this,
          [this](const std::string& title, const std::string& text) {
            memoSocket_.Add(StampedLine(title + ": " + text, Now()));
          });
  connect(this, &TSocketHub::MachineTypeChanged, this,
          [this](int type) { dummy_.SetMachineType(static_cast<std::uint8_t>(type)); });
  link_.Path = "../Data";
  link_.IniFileName = "NetInfo.INI";
  link_.LoadNetInfo();
  editIPAdrs_ = link_.IPAddr;
  // A crash during an aperture change leaves the flag set in the record, and every client would
  // read aperture number -1 until the next change.
  if (base::Status s = records_.Monitor.SetApertureMoving(0); !s.ok()) {
    Note("aperture-changing flag not cleared: " + s.message());
  }

  const Intervals& iv = options_.intervals;
  timerMain_.setTimerType(Qt::PreciseTimer);
  timerMain_.setInterval(iv.mainMs);
  connect(&timerMain_, &QTimer::timeout, this, [this] { TimerMainTimer(); });
  timerScan_.setInterval(iv.scanMs);
  connect(&timerScan_, &QTimer::timeout, this, [this] { TimerScanTimer(); });
  timerDisconnect_.setSingleShot(true);
  timerDisconnect_.setInterval(iv.disconnectMs);
  connect(&timerDisconnect_, &QTimer::timeout, this, [this] { TimerDisconnectTimer(); });
  connect(&timerStgSeqTimeOut_, &QTimer::timeout, this, [this] { stgSeqTimedOut_ = true; });

  useASEM_ = options_.useASEM ? *options_.useASEM : config::TFIBSystemINI::FixedUseASEM();
  if (useASEM_) {
    shm::TOrvoCanDial::DialRecord dialRecord;
    dialRecord.get = [this](int i) { return records_.CanDial.GetDialWord(i); };
    dialRecord.set = [this](int i, std::int32_t v) { return records_.CanDial.SetDialWord(i, v); };
    dial_ = std::make_unique<shm::TOrvoCanDial>(std::move(dialRecord), this);
    dial_->OnMessage = [this](const std::string& title, const std::string& text) {
      memoSocket_.Add(StampedLine(title + ": " + text, Now()));
    };
    dial_->OnLog = [this](const std::string& line) { Note("CAN " + line); };
    dial_->Open(options_.dialSearchDirs, iv.dialOpenDelayMs);
  }
  timerMain_.start();
}

TSocketHub::~TSocketHub() {
  timerMain_.stop();
  timerScan_.stop();
  timerDisconnect_.stop();
  timerStgSeqTimeOut_.stop();
  if (dial_) dial_->UnloadCanLibrary();
}

std::vector<std::string> THubPendingSteps::Unbound() const {
  std::vector<std::string> out;
  const auto check = [&out](bool bound, const char* name) {
    if (!bound) out.emplace_back(name);
  };
  check(static_cast<bool>(VacuumSequences), "VacuumSequences");
  check(static_cast<bool>(StageInitStep), "StageInitStep");
  check(static_cast<bool>(StageSeqStep), "StageSeqStep");
  check(static_cast<bool>(Hard3ConstDataStep), "Hard3ConstDataStep");
  check(static_cast<bool>(Hard3ConstDataUpdate), "Hard3ConstDataUpdate");
  check(static_cast<bool>(DacLoopCheck), "DacLoopCheck");
  check(static_cast<bool>(ApertureNumber), "ApertureNumber");
  check(static_cast<bool>(StartApControl), "StartApControl");
  check(static_cast<bool>(TakeHard3BoardsChanged), "TakeHard3BoardsChanged");
  check(static_cast<bool>(VacuumState32), "VacuumState32");
  check(static_cast<bool>(AbortScanCondition), "AbortScanCondition");
  check(static_cast<bool>(SerialSend), "SerialSend");
  check(static_cast<bool>(CLTypeVoltages), "CLTypeVoltages");
  return out;
}

void TSocketHub::Note(const std::string& text) {
  if (OnLog) OnLog("Hub", StampedLine(text, Now()));
}

void TSocketHub::FormShow() {
  refreshEnabled_ = true;
  if (HardType() == "HARD3" && !debugMode_) timerScan_.start();
  Changed();
}

void TSocketHub::SetEditIPAdrs(std::string text) {
  editIPAdrs_ = std::move(text);
  Changed();
}

void TSocketHub::PressConnect() {
  connectDown_ = true;
  disconnectDown_ = false;
  BtnConnectClick();
}

void TSocketHub::PressDisconnect() {
  connectDown_ = false;
  disconnectDown_ = true;
  BtnDisconnectClick();
}

void TSocketHub::BtnConnectClick() {
  if (editIPAdrs_ != link_.IPAddr) link_.IPAddr = editIPAdrs_;
  cantConnectNoted_ = false;
  link_.Connect();
  linkPhase_ = 1;
  editIPEnabled_ = false;
  if (view_) view_->SelectNetPage();
  ++attemptCount_;
  Changed();
}

void TSocketHub::BtnDisconnectClick() {
  link_.Disconnect();
  timerScan_.stop();
  linkPhase_ = 1;
  Changed();
}

void TSocketHub::SetDebugMode(bool on) {
  debugMode_ = on;
  Changed();
}

void TSocketHub::SetMachineType(int type) {
  machineType_ = type;
  emit MachineTypeChanged(type);
  Changed();
}

void TSocketHub::StartStgSeqTimeOut(int ms) {
  stgSeqTimedOut_ = false;
  timerStgSeqTimeOut_.start(ms);
}

void TSocketHub::StopStgSeqTimeOut() {
  timerStgSeqTimeOut_.stop();
}

void TSocketHub::StartV1Close() {
  v1Deadline_ = QDeadlineTimer(std::chrono::seconds(options_.intervals.v1CloseS));
  v1State_ = 1;
}

void TSocketHub::StopV1Close() {
  v1Deadline_ = QDeadlineTimer(std::chrono::seconds(options_.intervals.v1CloseS));
  v1State_ = 0;
  v1Label_ = "xxx";
}

void TSocketHub::V1CloseStep() {
  if (v1State_ == 0) return;
  if (!initData_.V1CloseEnabled()) return;
  const bool hard3 = HardType() == "HARD3";
  if (v1State_ == 1 && v1Deadline_.hasExpired()) {
    if (initData_.SecondFIB()) {
      (void)link_.CmdHard3Bits(link::THard3BitOp::kReset, 1540, 0x4000);
    } else {
      (void)link_.CmdVacCommand("VCLOSE_IG");
      if (pending_.VacuumState32 && pending_.VacuumState32() == 2)
        (void)link_.CmdVacCommand("SE_VCLOSE_FE");
    }
    v1State_ = 2;
    if (hard3) v1Deadline_ = QDeadlineTimer(std::chrono::seconds(options_.intervals.v1ClosingS));
  } else if (v1State_ == 2) {
    if (!hard3) {
      v1State_ = 0;
    } else if (v1Deadline_.hasExpired()) {
      (void)link_.CmdHard3Bits(link::THard3BitOp::kReset, 768, 16);
      v1State_ = 0;
    }
  }
  if (v1State_ != 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d", static_cast<int>(v1Deadline_.remainingTime() / 1000));
    v1Label_ = buf;
  } else {
    v1Label_ = "xxx";
  }
}

void TSocketHub::TimerMainTimer() {
  const Intervals& iv = options_.intervals;
  timerMain_.setInterval(iv.busyMs);
  if (view_) view_->RefreshPages();
  V1CloseStep();
  Run(pending_.VacuumSequences);
  TrimMemos();
  timerMain_.setInterval(iv.mainMs);

  if (!connectDown_) return;
  if (link_.IsConnected() == 0) {
    if (!timerDisconnect_.isActive()) timerDisconnect_.start();
    return;
  }
  cantConnectNoted_ = false;
  if (connectWanted_) {
    connectWanted_ = false;
    attemptCount_ = 0;
  }
  switch (linkPhase_) {
    case 1:
      Phase1();
      break;
    case 2:
      Phase2();
      break;
    case 3:
      Phase3();
      break;
    default:
      Phase4();
      break;
  }
}

void TSocketHub::Phase1() {
  timerMain_.setInterval(options_.intervals.phase1Ms);
  Changed();  // shows the comm-log flags on their check boxes
  link::TOrvoComAna& l = link_;
  (void)l.CmdSysInfoRequest();
  (void)l.CmdStageRequest(1);
  (void)l.CmdVacRequest(1);
  (void)l.CmdVacRequest(3);
  (void)l.CmdOpticsMagRequest();
  (void)l.CmdScanConditionRequest();
  (void)l.CmdVacCommand("DC_BEEP_OFF");
  (void)l.CmdHard3MachineDataRequest(999, 999);
  for (int section = 0; section <= 16; ++section) (void)l.CmdHard3MachineData(section, 63, 1.0);
  linkPhase_ = 2;
  Note("Link phase 1: start-up requests sent");
}

void TSocketHub::Phase2() {
  timerMain_.setInterval(options_.intervals.phase2Ms);
  link::TOrvoComAna& l = link_;
  if (!IsPado(SysName())) {
    (void)l.CmdApertureRequest(2);
    (void)l.CmdApertureRequest(4);
    (void)l.CmdApertureRequest(3);
    if (HardType() != "HARD3") {
      (void)l.CmdPowerRequest(1);
      (void)l.CmdIonDataRequest();
      (void)l.CmdIonPresetRequest();
    }
  }
  (void)l.CmdStageParamRequest();
  (void)l.CmdStageRequest(2);
  for (int section = 0; section <= 16; ++section) (void)l.CmdHard3MachineData(section, 63, 0.0);
  linkPhase_ = 3;
  Note("Link phase 2: aperture, power, ion and stage requests sent");
}

void TSocketHub::Phase3() {
  link::TOrvoComAna& l = link_;
  if (machineType_ == 1 && !IsPado(SysName())) {
    if (pending_.ApertureNumber && pending_.StartApControl && pending_.ApertureNumber() < 0)
      pending_.StartApControl(6);
  }
  if (machineType_ != 1) Run(pending_.Hard3ConstDataStep);
  if (machineType_ == 1 && useASEM_) {
    static constexpr std::array<std::array<std::int32_t, 2>, 6> kPanelDacs = {
        {{2584, 0}, {2595, 2048}, {2587, 32768}, {2588, 32768}, {2579, 32768}, {2580, 32768}}};
    for (const auto& [address, value] : kPanelDacs) (void)l.CmdHard3SetDac(address, value);
  }
  linkPhase_ = 4;
  timerMain_.setInterval(options_.intervals.mainMs);
  Note("Link phase 3 done; phase 4 runs");
}

void TSocketHub::Phase4() {
  Run(pending_.StageInitStep);
  Run(pending_.StageSeqStep);
  if (pending_.TakeHard3BoardsChanged && pending_.TakeHard3BoardsChanged())
    (void)link_.CmdHard3StatusRequest();
  // The beam was blanked for a long move: unblank once X, Y, Z, T and R have all finished.
  model::TOrvoStageInfo& stage = models_.Stage;
  if (stage.SpareFlag() != 0) {
    bool done = true;
    for (int axis = 0; axis <= model::TOrvoStageInfo::kAxisR; ++axis)
      done &= stage.IsMoveDone(axis);
    if (done) {
      stage.SetSpareFlag(0);
      (void)link_.CmdOpticsForceBlanking(false);
    }
  }
  if (machineType_ != 1) Run(pending_.Hard3ConstDataUpdate);
  Run(pending_.DacLoopCheck);
}

void TSocketHub::TimerScanTimer() {
  if (link_.IsConnected() == 0) {
    if (view_) {
      view_->RestoreWindow();
      view_->RestoreApplication();
    }
    return;
  }
  (void)link_.CmdScanConditionRequest();
  if (view_ && view_->WindowVisible()) view_->RefreshScanStatus();
}

void TSocketHub::TimerDisconnectTimer() {
  timerDisconnect_.stop();
  if (link_.IsConnected() != 0) return;
  if (connectWanted_) {
    if (attemptCount_ < kMaxAttempts) return;
    connectWanted_ = false;
    attemptCount_ = 0;
  }
  GiveUpConnecting();
}

void TSocketHub::GiveUpConnecting() {
  const auto addCantConnect = [this] {
    const std::string stamp = "<" + StampText(Now()) + ">:";
    memoSocket_.Add(stamp + "ORVO Controller can't connect!!!");
    memoSocket_.Add("  Check ORVO Controller or LAN.");
  };
  if (!view_) {
    // No window to raise: tell the log once per outage.
    if (!cantConnectNoted_) addCantConnect();
    cantConnectNoted_ = true;
  } else if (view_->WindowHiddenAndMinimised()) {
    view_->SelectNetPage();
    view_->RestoreApplication();
    view_->RestoreWindow();
    addCantConnect();
  } else {
    view_->RestoreApplication();
  }
  Changed();
}

void TSocketHub::ErrOccurred(int error, const std::string& msg) {
  Note("Socket Error " + std::to_string(error) + ": " + msg);
  disconnectDown_ = true;
  connectDown_ = false;
  editIPEnabled_ = true;
  if (connectWanted_) {
    if (attemptCount_ >= kMaxAttempts) {
      // Retrying without end would only spin: give up as the disconnect tick would.
      connectWanted_ = false;
      attemptCount_ = 0;
      Note("Socket Retry stopped after " + std::to_string(kMaxAttempts) + " attempts");
      // Fast refusals never reach the disconnect tick: tell the operator here as it would.
      GiveUpConnecting();
    } else {
      memoSocket_.Add("<" + StampText(Now()) +
                      "> Socket Retry Count:" + std::to_string(attemptCount_));
      // The link has closed the failed socket; the new attempt starts from the event loop, not
      // inside the link's own error notification.
      if (!retryQueued_) {
        retryQueued_ = true;
        QTimer::singleShot(0, this, [this] {
          retryQueued_ = false;
          if (!connectWanted_ || connectDown_) return;
          if (link_.Socket() != -1) link_.SDisconnect();
          PressConnect();
        });
      }
    }
  }
  Changed();
}

void TSocketHub::ComAnaTimer() {
  // Socket-memo trimming with hysteresis: start above 2000 lines, stop below 1500.
  if (memoSocket_.Count() > 2000) socketMemoTrimming_ = true;
  if (memoSocket_.Count() < 1500) socketMemoTrimming_ = false;
  if (socketMemoTrimming_) memoSocket_.RemoveFirst(5);
  memoSocket_.Add(StampedLine(link_.StatusText(), Now()));
  Changed();
}

void TSocketHub::ComAnaSendData() {
  const auto& sent = link_.LastSentFrame();
  if (sent.ids.unit < 1 || sent.ids.unit >= 100 || !link_.IsLogged(sent.ids.unit)) return;
  memoSocket_.Add(CommandLogLine(sent, Now()));
}

void TSocketHub::BtnQuitClick() {
  if (pending_.SerialSend) pending_.SerialSend(std::string(1, '\x03'));
}

void TSocketHub::BtnRestartClick() {
  if (pending_.SerialSend) pending_.SerialSend("/h0/startORVO2\r");
}

void TSocketHub::EnforcedAbortScan() {
  Run(pending_.AbortScanCondition);
  link_.NotifyDataChanged(1135);
}

void TSocketHub::AddListMessage(const std::string& text) {
  listMsg_.Add(Now().time().toString().toStdString() + ": " + text);
}

void TSocketHub::AddCmdInfoLine(const std::string& text) {
  const QTime t = Now().time();
  char ms[8];
  std::snprintf(ms, sizeof ms, "%3d", t.msec());
  memoCmdInfo_.Add(t.toString("hh:mm:ss ").toStdString() + ms + ": " + text);
}

void TSocketHub::TrimMemos() {
  for (TMemoLines* m :
       {&memoSysErr_, &memoSocket_, &memoOS9_, &memoError_, &memoHist_, &memoScanBmp_}) {
    m->TrimLong();
  }
}

void TSocketHub::SetNotificationFlag(int msgid) {
  (void)records_.Monitor.MarkNotified(msgid);
}

void TSocketHub::Stamped(TMemoLines& memo, const std::string& text) {
  memo.Add(StampedLine(text, Now()));
}

void TSocketHub::ShowSocketStatus(bool on) {
  socketStatusLabel_ = on ? "TRUE" : "FALSE";
  Changed();
}

bool TSocketHub::MonitorVisible() const {
  return view_ ? view_->WindowVisible() : visible_;
}

void TSocketHub::SetMonitorVisible(bool visible) {
  visible_ = visible;
  if (!view_) return;
  if (visible) {
    view_->RestoreWindow();
  } else {
    view_->HideWindow();
  }
}

// The record refuses alarm numbers outside 0..150 with its own message.
base::Status TSocketHub::SetAlarm(int alarm) {
  return records_.Monitor.SetAlarm(alarm).status();
}

base::Status TSocketHub::ResetAlarm(int alarm) {
  return records_.Monitor.ResetAlarm(alarm);
}

base::Status TSocketHub::PanelAlarm(int alarm, bool raise) {
  if (!raise) {
    if (base::Status s = records_.Monitor.ResetAlarm(alarm); !s.ok()) return s;
    link_.NotifyAlarm(kNotifyAlarmCleared, alarm);
    return base::Status::Ok();
  }
  const base::Result<bool> wasClear = records_.Monitor.SetAlarm(alarm);
  if (!wasClear.ok()) return wasClear.status();
  if (*wasClear) {
    link_.NotifyAlarm(kNotifyAlarmRaised, alarm);
    link_.NotifyDataChanged(kNotifyAlarmSet);
  }
  return base::Status::Ok();
}

void TSocketHub::CopyCLTypeToModel() {
  const auto type = records_.Monitor.GetCLType();
  if (type.ok()) models_.System.SetCLType(static_cast<std::uint8_t>(*type & 0xFF));
}

base::Status TSocketHub::ReopenDataFiles(const std::string& dir) {
  const base::Status monitor = records_.Monitor.LoadInitData(dir);
  const base::Status sem = records_.MonitoringSEM.LoadCoefficients(dir);
  // The CL type follows the initial-data file each time it is read.
  CopyCLTypeToModel();
  char id[16];
  std::snprintf(
      id, sizeof id, "%8x",
      static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(records_.Monitor.Memory().data()) &
                            0xFFFFFFFFu));
  Stamped(memoSocket_, "Monitor record " + records_.Monitor.SectionName() + " id " + id +
                           ", data files from " + dir);
  Changed();
  return monitor.ok() ? sem : monitor;
}

}  // namespace tarvel::hub
