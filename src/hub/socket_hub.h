// TSocketHub: the application hub, the state and timers behind the monitor window.
//
// Borrows the link manager, the unit models, the shared records and the configuration from the
// production graph (they must outlive it) and owns the dial link. Runs the main, scan,
// disconnect and stage-init time-out timers, walks the four link phases once after each connection,
// reconnects while a client wants the connection, and turns link events into memo lines (which also
// reach the program log). It holds what the window's controls hold in the original (Connect and
// Disconnect pressed, the address field, the V1 countdown label, the memos) so that the server
// runs the same with no widget at all; a window attaches through THubView to be shown, raised
// and refreshed.
//
// All hub state lives here, client notification's included: the delivery switch ("Msg Count
// Up") and its counters, the client window, the event targets, the scan-history memo.
//
// Steps of subsystems that are not built yet (vacuum sequences, stage initialisation, the stage
// sequencer, the aperture controller, Hard3 constant data, the DAC loop check, the scan model,
// the serial console) are called through THubPendingSteps at their points; each is empty until
// its subsystem lands and binds it in the composition root.
//
// Nothing here blocks: the phase-1 burst goes through the link's output queue, a reconnect is
// queued on the event loop, and the retries stop after kMaxAttempts. Main thread only.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/dummy.h"
#include "config/sys_init_data.h"
#include "hub/hub_clients.h"
#include "hub/memo_lines.h"
#include "link/orvo_com_ana.h"
#include "model/unit_models.h"
#include "shm/orvo_can_dial.h"
#include "shm/shared_records.h"

namespace tarvel::hub {

// What the hub asks of a window; without one (--no-window) the hub only logs.
class THubView {
 public:
  virtual ~THubView() = default;
  virtual bool WindowVisible() const = 0;
  virtual bool WindowHiddenAndMinimised() const = 0;
  // Normal state, visible, raised.
  virtual void RestoreWindow() = 0;
  // Un-minimise the application, leaving a hidden window hidden.
  virtual void RestoreApplication() = 0;
  virtual void HideWindow() = 0;
  virtual void SelectNetPage() = 0;
  virtual void RefreshPages() = 0;
  virtual void RefreshScanStatus() = 0;
  // The hub state the window shows changed (buttons, address field, phase, flags).
  virtual void HubChanged() = 0;
};

// Steps of subsystems not built yet, called at their points. Each stays empty (and is skipped)
// until its subsystem lands; the production-graph test names the ones still empty, so a step
// that should be bound cannot go unnoticed.
struct THubPendingSteps {
  std::function<void()> VacuumSequences;       // every main tick
  std::function<void()> StageInitStep;         // phase 4
  std::function<void()> StageSeqStep;          // phase 4
  std::function<void()> Hard3ConstDataStep;    // phase 3, machine type other than 1
  std::function<void()> Hard3ConstDataUpdate;  // phase 4, machine type other than 1
  std::function<void()> DacLoopCheck;          // phase 4
  std::function<int()> ApertureNumber;         // negative: not known
  std::function<void(int action)> StartApControl;
  std::function<bool()> TakeHard3BoardsChanged;  // test-and-clear of every board flag
  std::function<int()> VacuumState32;            // monitor record field 7 index 32
  std::function<void()> AbortScanCondition;      // mark aborted, send the condition, clear request
  std::function<void(const std::string& bytes)> SerialSend;  // the controller console line
  std::function<std::string()> CLTypeVoltages;  // "(%4.1fkV,%4.1fkV)" of the current CL type

  // The names of the steps still empty, in declaration order.
  std::vector<std::string> Unbound() const;
};

class TSocketHub : public QObject {
  Q_OBJECT

 public:
  struct Intervals {
    int mainMs = 100;
    int busyMs = 5000;  // while a tick runs, so a slow tick cannot pile up
    int phase1Ms = 4000;
    int phase2Ms = 2000;
    int scanMs = 500;
    int disconnectMs = 1000;
    int v1CloseS = 300;
    int v1ClosingS = 5;
    int dialOpenDelayMs = shm::TOrvoCanDial::kOpenDelayMs;
  };
  struct Options {
    Intervals intervals;
    // UseASEM as read from "C:\ORVO\Data\FIBSystem.INI" when unset.
    std::optional<bool> useASEM;
    std::vector<std::filesystem::path> dialSearchDirs = shm::TOrvoCanDial::DefaultSearchDirs();
    // The program log, in place from the first line the hub writes (OnLog's start value).
    std::function<void(const std::string& memo, const std::string& line)> log;
  };
  static constexpr int kMaxAttempts = 100;

  // FormCreate: listens to the link, reads the connection file, clears the aperture-changing
  // flag of the monitor record, opens the dial link when UseASEM is set; the main timer runs
  // from here on. Everything given is borrowed and must outlive the hub.
  TSocketHub(link::TOrvoComAna& link, model::TUnitModels& models, shm::TSharedRecords& records,
             config::TSysInitData& initData, Options options, QObject* parent = nullptr);
  // FormDestroy: stops the timers and closes the dial link.
  ~TSocketHub() override;

  void SetView(THubView* view) { view_ = view; }
  THubView* View() const { return view_; }
  THubPendingSteps& PendingSteps() { return pending_; }
  link::TOrvoComAna& Link() { return link_; }
  const link::TOrvoComAna& Link() const { return link_; }
  model::TUnitModels& Models() { return models_; }
  shm::TSharedRecords& Records() { return records_; }
  shm::TOrvoCanDial* Dial() { return dial_.get(); }
  config::TSysInitData& InitData() { return initData_; }
  // The offline simulator; it follows the hub's machine type.
  automation::TDummy& Dummy() { return dummy_; }

  // FormShow's hub part: page refresh allowed, scan timer by hardware type.
  void FormShow();

  // The Connect and Disconnect buttons (a grouped pair): pressing one releases the other.
  void PressConnect();
  void PressDisconnect();
  void BtnConnectClick();
  void BtnDisconnectClick();
  bool ConnectDown() const { return connectDown_; }
  bool DisconnectDown() const { return disconnectDown_; }
  // True when the link is connected and Disconnect is not pressed.
  bool LinkReady() const { return link_.IsConnected() != 0 && !disconnectDown_; }

  // The address field: copied to the link's IPAddr when Connect is clicked.
  const std::string& EditIPAdrs() const { return editIPAdrs_; }
  void SetEditIPAdrs(std::string text);
  bool EditIPAdrsEnabled() const { return editIPEnabled_; }

  // ISockSystem.SocketStatus: keep connecting after errors (up to kMaxAttempts).
  void SetConnectWanted(bool on) { connectWanted_ = on; }
  bool ConnectWanted() const { return connectWanted_; }
  int AttemptCount() const { return attemptCount_; }
  void ResetAttempts() { attemptCount_ = 0; }
  int LinkPhase() const { return linkPhase_; }

  bool DebugMode() const { return debugMode_; }
  void SetDebugMode(bool on);
  int MachineType() const { return machineType_; }
  // Emits MachineTypeChanged. FIBSystem.INI is loaded at the first SocketStatus put, with the
  // type held then, so a client may choose the machine line before it connects.
  void SetMachineType(int type);
  bool UseASEM() const { return useASEM_; }
  bool RefreshEnabled() const { return refreshEnabled_; }
  void SetRefreshEnabled(bool on) { refreshEnabled_ = on; }
  bool StgSeqTimedOut() const { return stgSeqTimedOut_; }
  // Starting the stage-init time-out clears its flag; its expiry sets it.
  void StartStgSeqTimeOut(int ms);
  void StopStgSeqTimeOut();
  bool ScanTimerActive() const { return timerScan_.isActive(); }

  // The V1 close countdown (ISockSystem): start = 300 s from now, stop = state 0, "xxx".
  void StartV1Close();
  void StopV1Close();
  int V1CloseState() const { return v1State_; }
  const std::string& V1CloseLabel() const { return v1Label_; }
  // The pending re-entry count the Socket Data page shows.
  int SockInCount() const { return link_.PendingReentries(); }

  // Client notification state; the automation server's notifier delivers through it.
  THubClients& Clients() { return clients_; }
  const THubClients& Clients() const { return clients_; }
  // The monitor record's notification flag of msgid; a record that cannot be held now loses
  // only this flag.
  void SetNotificationFlag(int msgid);
  // A scan start or stop line in the history memo.
  void AddScanHistory(const std::string& line) { Stamped(memoHist_, line); }
  // The socket status label, "TRUE"/"FALSE" (empty until set).
  const std::string& SocketStatusLabel() const { return socketStatusLabel_; }
  void ShowSocketStatus(bool on);
  // The cached MaxBeamShift; a put replaces it in memory only.
  int MaxBeamShift() const { return maxBeamShift_ ? *maxBeamShift_ : initData_.MaxBeamShift(); }
  void SetMaxBeamShift(int value) { maxBeamShift_ = value; }
  bool MonitorVisible() const;
  void SetMonitorVisible(bool visible);

  // ---- monitor record actions
  // Alarms 0..150; SetAlarm appends the hardware-log line every time.
  base::Status SetAlarm(int alarm);
  base::Status ResetAlarm(int alarm);
  // The alarm panel's SET button: `raise` sets the alarm (announced with 1150 and 1145 only when
  // it was not set already), otherwise resets it (announced with 1151).
  base::Status PanelAlarm(int alarm, bool raise);
  // CurDir: the monitor record's initial data and the monitoring-SEM coefficients from `dir`;
  // the CL type follows the file. The memo shows the record and what was read.
  base::Status ReopenDataFiles(const std::string& dir);

 signals:
  void MachineTypeChanged(int machineType);

 public:
  // The controller console buttons: "QUIT ORVO" sends 0x03, "START ORVO" the start command.
  void BtnQuitClick();
  void BtnRestartClick();
  // Scan page stop button and the scan automation: abort the running scan.
  void EnforcedAbortScan();

  // Memos the window mirrors.
  TMemoLines& MemoSocket() { return memoSocket_; }
  TMemoLines& MemoCmdInfo() { return memoCmdInfo_; }
  TMemoLines& ListMsg() { return listMsg_; }
  TMemoLines& MemoSysErr() { return memoSysErr_; }
  TMemoLines& MemoOS9() { return memoOS9_; }
  TMemoLines& MemoError() { return memoError_; }
  TMemoLines& MemoHist() { return memoHist_; }
  TMemoLines& MemoScanBmp() { return memoScanBmp_; }
  // Service page message list (at most 100 lines) and the Cmd. Info. memo (at most 1000).
  void AddListMessage(const std::string& text);
  void AddCmdInfoLine(const std::string& text);
  bool CmdInfoDisp() const { return cmdInfoDisp_; }
  void SetCmdInfoDisp(bool on) { cmdInfoDisp_ = on; }
  // The memo-length step of every main tick.
  void TrimMemos();

  // Every memo line (and the hub's own notes) goes here: the program log.
  std::function<void(const std::string& memo, const std::string& line)> OnLog;

  // The timer handlers, public so the window and tests can name them.
  void TimerMainTimer();
  void TimerScanTimer();
  void TimerDisconnectTimer();

 private:
  void ErrOccurred(int error, const std::string& msg);
  void GiveUpConnecting();
  void CopyCLTypeToModel();
  void Stamped(TMemoLines& memo, const std::string& text);
  void ComAnaTimer();
  void ComAnaSendData();
  void Phase1();
  void Phase2();
  void Phase3();
  void Phase4();
  void V1CloseStep();
  void Note(const std::string& text);  // a log line that belongs to no memo
  void Changed() {
    if (view_) view_->HubChanged();
  }
  static void Run(const std::function<void()>& f) {
    if (f) f();
  }
  std::string HardType() const { return link_.SysInformation().SysHardType; }
  std::string SysName() const { return link_.SysInformation().SysName; }

  link::TOrvoComAna& link_;
  model::TUnitModels& models_;
  shm::TSharedRecords& records_;
  config::TSysInitData& initData_;
  Options options_;
  THubView* view_ = nullptr;
  THubPendingSteps pending_;
  automation::TDummy dummy_;
  std::unique_ptr<shm::TOrvoCanDial> dial_;

  QTimer timerMain_;
  QTimer timerScan_;
  QTimer timerDisconnect_;
  QTimer timerStgSeqTimeOut_;

  bool connectDown_ = false;
  bool disconnectDown_ = true;
  std::string editIPAdrs_;
  bool editIPEnabled_ = true;
  bool connectWanted_ = false;
  int attemptCount_ = 0;
  int linkPhase_ = 1;
  bool retryQueued_ = false;
  bool cantConnectNoted_ = false;  // windowless: the "can't connect" lines once per outage
  bool debugMode_ = false;
  int machineType_ = 1;
  bool useASEM_ = false;
  bool refreshEnabled_ = false;
  bool stgSeqTimedOut_ = true;
  bool cmdInfoDisp_ = false;
  bool socketMemoTrimming_ = false;
  bool visible_ = false;  // without a view: what a client asked for

  THubClients clients_{[this] { Changed(); }};
  std::string socketStatusLabel_;
  std::optional<int> maxBeamShift_;

  int v1State_ = 0;  // 0 stopped, 1 running, 2 closing
  QDeadlineTimer v1Deadline_;
  std::string v1Label_ = "xxx";

  TMemoLines memoSocket_{"Socket"};
  TMemoLines memoCmdInfo_{"CmdInfo", 1000};
  TMemoLines listMsg_{"Message", 99};
  TMemoLines memoSysErr_{"SysErr"};
  TMemoLines memoOS9_{"OS9"};
  TMemoLines memoError_{"Error"};
  TMemoLines memoHist_{"Hist"};
  TMemoLines memoScanBmp_{"ScanBmp"};
};

}  // namespace tarvel::hub
