// TSysInitData: the server's holder of the installation configuration.
//
// Loads FIBSystem.INI once (LoadInitData), owns the long-lived TFIBSystemINI, and caches the
// values that the hub, the models, the automation objects and the pages read, together with the
// texts the "System Initial Data" window shows. The window's menus, check boxes and axis buttons
// call the Choose/Set operations here, which write one key each and update the cache. Nothing
// here draws; the window and the hub follow changes through the On* hooks. Main thread only.
//
// Before a successful LoadInitData every cached value is 0 or false, every text is
// kNotLoadedText and every change is refused (nothing is written). A load whose data directory
// cannot be found leaves the holder unloaded, so a later call can try again. Load problems
// (a bad number, an unwritable file) do not stop the load; they are returned and kept in
// StatusText().
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "config/fib_system_ini.h"

namespace tarvel::config {

class TSysInitData {
 public:
  // Every value text before loading.
  static constexpr std::string_view kNotLoadedText = "xxxxxxxxxxxx";
  static constexpr int kMinInvFrame = 5;
  static constexpr int kMaxInvFrame = 25;  // the monitor's combo box offers 5..25

  // Finds the data directory of a machine type (TFIBSysInfo in the server; a folder in tests).
  using DataDirFinder = std::function<base::Result<std::string>(int machineType)>;

  explicit TSysInitData(DataDirFinder findDataDir);
  // The data directory of a machine line, as the loader would find it (nothing is loaded).
  base::Result<std::string> DataDirOf(int machineType) const {
    if (!findDataDir_) return base::Status::Unavailable("no way to find the data directory");
    return findDataDir_(machineType);
  }
  TSysInitData(const TSysInitData&) = delete;
  TSysInitData& operator=(const TSysInitData&) = delete;
  ~TSysInitData();

  // Loads the configuration; once loaded, later calls (any machine type) change nothing and
  // return ok. Not ok with Loaded() false: no data directory, try again later. Not ok with
  // Loaded() true: loaded, with the problems named in the message.
  base::Status LoadInitData(int machineType);
  bool Loaded() const { return loaded_; }
  // 0 until loaded, then the machine type of the load.
  int LoadedMarker() const { return loaded_ ? machineType_ : 0; }
  // The last problem of a load or a change; empty when all went well.
  const std::string& StatusText() const { return statusText_; }

  // Hooks, each optional. ShowV1CloseUse's text (the monitor's V1 close labels go red when it
  // is not "Enable"); the invalid-frame wait (the monitor's combo box); a gauge's type (the
  // Hard3 model); any change of what the window shows.
  std::function<void(const std::string& text)> OnV1CloseShown;
  std::function<void(int invFrame)> OnInvFrameChanged;
  std::function<void(int gauge, int type)> OnGaugeTypeChanged;
  std::function<void()> OnChanged;

  // Cached values.
  int SystemType() const { return systemType_; }
  int InvFrame() const { return invFrame_; }  // in 100 ms units
  std::uint8_t OpticsType() const { return opticsType_; }
  std::uint8_t StageType() const { return stageType_; }
  std::uint8_t VacuumType() const { return vacuumType_; }
  std::uint8_t SubChamber() const { return subChamber_; }
  std::uint8_t Transfer() const { return transfer_; }
  std::uint8_t ScanType() const { return scanType_; }
  // Type index 0..4 of gauge i (0..4); 0 outside.
  int GaugeTypeOf(int i) const;
  int MaxBeamShift() const { return maxBeamShift_; }
  bool V1CloseEnabled() const { return v1CloseEnabled_; }
  bool UseASEM() const { return useASEM_; }
  bool SecondFIB() const { return secondFIB_; }
  // Axis i (0..8) in use; false outside.
  bool AxisEnabled(int i) const;

  // Texts as the window shows them.
  const std::string& DirectoryText() const { return directory_; }
  const std::string& FileNameText() const { return fileName_; }
  const std::string& FilePath() const { return filePath_; }
  const std::string& FileDateText() const { return fileDate_; }  // "yyyy/mm/dd hh:mm"
  const std::string& SysTypeText() const { return sysTypeText_; }
  const std::string& OpticsTypeText() const { return opticsTypeText_; }
  const std::string& V1CloseText() const { return v1CloseText_; }
  const std::string& ScanTypeText() const { return scanTypeText_; }
  const std::string& InvFrameText() const { return invFrameText_; }
  const std::string& StageTypeText() const { return stageTypeText_; }
  const std::string& AxisNoText() const { return axisNoText_; }
  const std::string& VacTypeText() const { return vacTypeText_; }
  const std::string& VacSubText() const { return vacSubText_; }
  const std::string& VacTransferText() const { return vacTransferText_; }
  std::string GaugeText(int i) const;

  // [Grab] ScanToGrabWaitTime of AxGen.ini in the data directory; "0" when missing or before
  // loading. The value read at load time is kept in ScanToGrabWait().
  std::string ReadScanToGrabWait() const;
  const std::string& ScanToGrabWait() const { return scanToGrabWait_; }

  // Changes. Each writes its key(s); a refused change (not loaded, index out of range) changes
  // nothing. A failed write still updates the cache and texts, and is returned.
  base::Status ChooseSystemType(int i);
  base::Status ChooseOpticsType(int i);
  base::Status ChooseStageType(int i);
  base::Status ChooseVacuumType(int i);
  base::Status ChooseSubChamber(int i);
  base::Status ChooseTransfer(int i);
  base::Status ChooseScanType(int i);
  base::Status ChooseInvFrame(int frames);  // kMinInvFrame..kMaxInvFrame
  base::Status SetV1CloseUse(bool enable);
  void ShowV1CloseUse(const std::string& text);
  base::Status SetUseASEM(bool on);
  base::Status SetSecondFIB(bool on);
  // All nine axis flags at once, then AXIS-NO := the number in use.
  base::Status SetAxes(const std::array<bool, kAxisCount>& enabled);
  base::Status ChooseGauge(int gauge, int type);

 private:
  base::Status CheckLoaded() const;
  // Records a change's outcome, refreshes the file date and tells OnChanged.
  base::Status Finish(base::Status s);
  void RefreshFileDate();

  DataDirFinder findDataDir_;
  std::unique_ptr<TFIBSystemINI> ini_;
  bool loaded_ = false;
  int machineType_ = 0;
  std::string statusText_;

  int systemType_ = 0;
  int invFrame_ = 0;
  std::uint8_t opticsType_ = 0;
  std::uint8_t stageType_ = 0;
  std::uint8_t vacuumType_ = 0;
  std::uint8_t subChamber_ = 0;
  std::uint8_t transfer_ = 0;
  std::uint8_t scanType_ = 0;
  std::array<int, kGaugeCount> gaugeTypes_{};
  std::array<bool, kAxisCount> axes_{};
  int maxBeamShift_ = 0;
  bool v1CloseEnabled_ = false;
  bool useASEM_ = false;
  bool secondFIB_ = false;

  std::string directory_, fileName_, filePath_, fileDate_;
  std::string sysTypeText_, opticsTypeText_, v1CloseText_, scanTypeText_, invFrameText_;
  std::string stageTypeText_, axisNoText_, vacTypeText_, vacSubText_, vacTransferText_;
  std::array<std::string, kGaugeCount> gaugeTexts_;
  std::string scanToGrabWait_ = "0";
};

}  // namespace tarvel::config
