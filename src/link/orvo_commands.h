// TOrvoCommands: the command catalogue, every frame the server sends to the controller.
//
// A base of the link manager TOrvoComAna: each Cmd operation builds its payload in wire order
// (big-endian) and sends it through the link manager's SendFrame, or, for the bulk frames, its
// WriteFrames (header and data written as one frame, all or nothing). Commands are
// fire-and-forget: the result says only whether the frame went out (or was queued).
//
// Refusals: a command whose payload would not fit the 256-byte frame buffer (a long string,
// a bad count), or a bulk frame larger than the data held or than the frame length can carry,
// returns a non-ok Status naming the problem and sends nothing. Strings are converted from
// UTF-8 to CP932 first and must not contain a zero byte.
//
// Model and record state: the stage model (targets, spare flag) and everything else the
// commands read (shared records, scan condition, other models, through TCommandState) are
// borrowed from the production graph and must outlive the catalogue.
//
// Main thread only.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "base/byte_writer.h"
#include "base/status.h"
#include "link/command_state.h"
#include "model/orvo_stage_info.h"

namespace tarvel::link {

// Notification ids raised by the catalogue.
inline constexpr int kNotifyScanParamError = 1140;
inline constexpr int kNotifyVacCommand = 1148;

struct TIonPreset {
  double accV = 0, lCur = 0, hCur = 0, nFilW = 0, hFilW = 0, cndHi = 0, cndLo = 0, cndExt = 0;
};

struct THard3OpChannel {
  std::int32_t chNo = 0, pb = 0, no = 0, min = 0, max = 0, dir = 0, k = 0, step = 0;
};

// CmdHard3Bits sub-commands.
enum class THard3BitOp : std::int32_t { kWrite = 0, kSet = 1, kReset = 2, kMasked = 3 };

// CmdScanBitmapData forms.
enum class TBitmapForm { kPlain, kFourType };

class TOrvoCommands {
 public:
  static constexpr int kMagTableSize = 24;
  static constexpr int kMaxStopCount = 5;  // StageStop(-k) stops axes 0..k-1
  static constexpr int kDialGainEntries = 32;
  static constexpr int kApertureTableValues = 15;

  TOrvoCommands(model::TOrvoStageInfo& stage, const TCommandState& state)
      : state_(state), stage_(stage) {}
  virtual ~TOrvoCommands() = default;
  TOrvoCommands(const TOrvoCommands&) = delete;
  TOrvoCommands& operator=(const TOrvoCommands&) = delete;

  // Provided by the link manager.
  virtual base::Status SendFrame(std::int32_t unit, std::int32_t item, std::int32_t mode,
                                 std::span<const std::uint8_t> payload) = 0;
  virtual base::Status WriteFrames(std::initializer_list<std::span<const std::uint8_t>> parts) = 0;
  virtual void NotifyDataChanged(int msgid) = 0;

  const TCommandState& CommandState() const { return state_; }
  model::TOrvoStageInfo& StageInfo() { return stage_; }
  const model::TOrvoStageInfo& StageInfo() const { return stage_; }
  // Set by the monitor window; selects the beam-mode outputs when a scan starts.
  void SetBeamMode(bool on) { beamMode_ = on; }
  bool BeamMode() const { return beamMode_; }

  // Generic forms (mode 1): one double or one int under the given ids.
  base::Status CmdSetDouble(std::int32_t unit, std::int32_t item, double value);
  base::Status CmdSetInt(std::int32_t unit, std::int32_t item, std::int32_t value);

  // ---- unit 1, system
  // The local time plus 0.5 s, "yyyy/mm/dd hh:mm:ss".
  base::Status CmdSysSetTime(const QDateTime& now = QDateTime::currentDateTime());
  base::Status CmdSysDataInitialized(bool flag);
  base::Status CmdSysMessageMask(std::uint32_t mask);
  base::Status CmdSysSyncRequest(std::int32_t id);
  base::Status CmdSysQuit();

  // ---- unit 2, FIB optics
  // item: 2 CL, 3 OL, 4 OLF, 5 OLS, 6/7 stigma X/Y, 8/9 align X/Y, 10/11 fine shift X/Y,
  // 13 brightness, 14 contrast.
  base::Status CmdOpticsSetLens(std::int32_t item, std::uint16_t value);
  base::Status CmdOpticsSetMagCode(std::uint8_t code);
  base::Status CmdOpticsMagRequest();
  base::Status CmdOpticsWobbler(std::int32_t mode, std::int32_t amplitude, std::int32_t speed);
  base::Status CmdOpticsProbePolarity(bool flag);
  base::Status CmdOpticsForceBlanking(bool on);
  base::Status CmdOpticsMagLock(bool flag);
  // selector 1 gamma gain, 2 gamma control.
  base::Status CmdOpticsGamma(std::uint16_t selector, std::uint16_t value);
  base::Status CmdOpticsForceBeamOn(bool flag);
  base::Status CmdOpticsShiftX(std::int32_t value);
  base::Status CmdOpticsShiftY(std::int32_t value);
  base::Status CmdOpticsPixelSize(double size);
  // mode 0..3 and exactly 32 gains.
  base::Status CmdOpticsDialGain(std::int32_t mode, std::span<const std::int32_t> gains);

  // ---- unit 6, ion source
  // Code 4 carries the three values (the third twice); every other code only the code.
  base::Status CmdIonExec(std::uint16_t code, double a = 0, double b = 0, double c = 0);
  base::Status CmdIonCurrentMode(std::int32_t mode);  // then its request
  base::Status CmdIonPresetData(const TIonPreset& p);
  base::Status CmdIonPresetRequest();
  base::Status CmdIonMonitorStart();
  base::Status CmdIonMonitorStop();
  base::Status CmdIonOscRecoverMode(std::int32_t mode);
  base::Status CmdIonChange(std::string_view nameUtf8);
  base::Status CmdIonAccRate(std::int32_t rate);
  base::Status CmdIonStandby(bool standby);                                       // standby mode
  base::Status CmdIonStandby(double accV, double ibm, double filW, double filI);  // data

  // ---- unit 8, scan
  // The current scan condition, after the Hard3 beam-mode pre-step of a scan start.
  base::Status CmdScanCondition();
  base::Status CmdScanConditionRequest();
  base::Status CmdScanMode(std::uint16_t mode);
  // Size from scan-condition words 36 and 37, data from the scan model's block.
  base::Status CmdScanBitmapData(TBitmapForm form);
  base::Status CmdScanBitmapData(TBitmapForm form, std::uint16_t width, std::uint16_t height);
  base::Status CmdScanRotation(double rotation);
  // count 32-bit vectors from the scan model's block.
  base::Status CmdScanVectorData(std::int32_t count);

  // ---- unit 9, vacuum; unit 10, stage
  // The keyword, then notification 1148.
  base::Status CmdVacCommand(std::string_view keywordUtf8);
  base::Status CmdStageParamRequest();
  // Writes are followed by a request.
  base::Status CmdStageParam(std::int32_t axis, std::int32_t number, std::int32_t value);
  base::Status CmdStageParamEntry(std::int32_t axis, std::int32_t number, std::int32_t value,
                                  std::int32_t entry);
  base::Status CmdStageParamSave();
  // CmdStageMotion sub-commands 0..6. Axes 0..9.
  // ax >= 0 stops that axis; -k (1..5) stops axes 0..k-1.
  base::Status CmdStageStop(std::int32_t ax);
  base::Status CmdStageLock(std::int32_t axis, std::int32_t mode);
  base::Status CmdStageInitialize(std::int32_t axis);
  // Moves record the targets and may blank the beam first (see BlankingCheck).
  base::Status CmdStageGo(std::int32_t axis, float position);
  base::Status CmdStageGoOffset(std::int32_t axis, float offset);
  base::Status CmdStageJog(std::int32_t axis, std::int32_t direction);
  base::Status CmdStageGoXY(float x, float y);
  base::Status CmdStageGoOffsetXY(float dx, float dy);
  base::Status CmdStageMagnetMode(std::int32_t axis, std::int32_t mode);
  base::Status CmdStageTrackBall(std::int32_t a, std::int32_t b, std::int32_t c);

  // ---- units 18 to 22: power, aperture, electron shower, CPD
  base::Status CmdPowerSet(std::int32_t item, bool on);  // item 3..6
  base::Status CmdPowerRequest(std::int32_t item);
  base::Status CmdApertureSelect(std::int32_t number);
  // One axis (0 X, 1 Y); mode 2 absolute, 0/1 relative.
  base::Status CmdApertureMove(std::int32_t axis, std::int32_t value, std::int32_t mode);
  base::Status CmdApertureMoveXY(std::int32_t x, std::int32_t y);
  base::Status CmdApertureTable(std::int32_t number, std::span<const double> values);  // 15
  base::Status CmdEShowerSet(std::int32_t item, double value);                         // item 2..7
  base::Status CmdEShowerScanType(std::int32_t type);
  base::Status CmdCPDSet(std::int32_t item, double value);  // item 2 MCP in, 3 MCP out
  base::Status CmdCPDType(std::int32_t type);

  // ---- unit 23, Hard3 I/O boards
  base::Status CmdHard3Request();
  base::Status CmdHard3SetDac(std::int32_t address, std::int32_t value);
  // `width` is sent only with kMasked.
  base::Status CmdHard3Bits(THard3BitOp op, std::int32_t address, std::int32_t bits,
                            std::int32_t width = 0);
  base::Status CmdHard3MagK(std::int32_t axis, double value);
  base::Status CmdHard3RefAccV(double value);
  base::Status CmdHard3ShiftK(std::int32_t axis, double value);
  base::Status CmdHard3OpChannel(const THard3OpChannel& c);
  base::Status CmdHard3OpPanelDO(bool on, std::int32_t chNo, std::int32_t doCh,
                                 std::int32_t doData);
  base::Status CmdHard3SidDefDac(std::uint16_t channel, std::uint16_t value);
  base::Status CmdHard3MonitorLoop(std::int32_t loopTime);  // item 15
  base::Status CmdHard3PanelLoop(std::int32_t loopTime);    // item 17
  base::Status CmdHard3OpPanelControlType(std::int32_t type);
  // Section 6, indexes 14..21 also write the matching DAC.
  base::Status CmdHard3MachineData(std::int32_t section, std::int32_t index, double value);
  base::Status CmdHard3MachineDataRequest(std::int32_t section, std::int32_t index);
  base::Status CmdHard3StatusRequest();
  base::Status CmdHard3Wobbler(std::int32_t mode, std::int32_t ch, std::int32_t max,
                               std::int32_t min, std::int32_t step, std::int32_t interval);
  base::Status CmdHard3SlowUpParam(std::int32_t mode, double cl1, double cl2, double ol1,
                                   double ol2);
  base::Status CmdHard3SetDac2(std::int32_t address, std::int32_t value);
  base::Status CmdHard3DialGain(std::int32_t channel, bool syncOff, double k, double offset);
  base::Status CmdHard3MagCodeWithBeamMode(std::int32_t mode, std::int32_t code);
  base::Status CmdHard3MagLock(std::int32_t mode, std::int32_t flag);

  // ---- units 24 to 27: Hard2, monitoring SEM, GIS, ion-column vacuum
  base::Status CmdHard2Write(std::int32_t address, std::int32_t value);
  base::Status CmdHard2Bits(std::int32_t address, std::int32_t value);
  base::Status CmdMonSemSetV(std::uint16_t channel, std::uint16_t value);
  base::Status CmdMonSemControl(std::uint16_t selector, std::uint16_t value, std::uint16_t mask);
  base::Status CmdMonSemPixelSize(double size);
  base::Status CmdGisRequest(std::int32_t item);
  base::Status CmdGisSet(std::int32_t item, std::int32_t value);
  base::Status CmdIonVacRequest(std::int32_t item);
  base::Status CmdIonVacResetInterlock();

  // The blanking decision for one axis move (X or Y): true when the beam must be blanked.
  // `distance` is |target - current| for absolute moves, |offset| for relative ones.
  bool BlankingNeeded(std::int32_t axis, double distance) const;

 private:
  base::Status Send(std::int32_t unit, std::int32_t item, std::int32_t mode,
                    const base::ByteWriter& w) {
    return SendFrame(unit, item, mode, w.bytes());
  }
  base::Status SendString(std::int32_t unit, std::int32_t item, std::string_view utf8,
                          const char* what);
  base::Status SendMotion(const base::ByteWriter& w) { return Send(10, 7, 1, w); }
  // Blanks the beam before a move of `axis` when BlankingNeeded says so.
  void PrepareMove(std::int32_t axis, double distance);
  base::Status SendBulk(std::int32_t unit, std::int32_t item, const base::ByteWriter& head,
                        std::uint64_t bulkSize, const char* what);
  base::Status ScanConditionPreStep(const TScanCondition& c);

  const TCommandState& state_;
  model::TOrvoStageInfo& stage_;
  bool beamMode_ = false;
};

}  // namespace tarvel::link
