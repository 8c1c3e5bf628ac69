#include "config/sys_init_data.h"

#include <chrono>
#include <ctime>
#include <system_error>

#include "config/paths.h"
#include "config/profile_file.h"

namespace tarvel::config {
namespace {

// "yyyy/mm/dd hh:mm" of the file's modification time, local time; empty when it has none.
std::string FileDate(const std::filesystem::path& p) {
  std::error_code ec;
  const auto ft = std::filesystem::last_write_time(ResolveCaseInsensitive(p), ec);
  if (ec) return {};
  const auto sys = std::chrono::file_clock::to_sys(ft);
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys));
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return {};
  char buf[32];
  if (std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M", &tm) == 0) return {};
  return buf;
}

template <std::size_t N>
bool InTable(const std::array<std::string_view, N>&, int i) {
  return i >= 0 && static_cast<std::size_t>(i) < N;
}

base::Status OutOfRange(const char* what, int i, std::size_t n) {
  return base::Status::OutOfRange(std::string(what) + " " + std::to_string(i) + " is outside 0.." +
                                  std::to_string(n - 1));
}

}  // namespace

TSysInitData::TSysInitData(DataDirFinder findDataDir) : findDataDir_(std::move(findDataDir)) {
  const std::string x(kNotLoadedText);
  for (std::string* s : {&directory_, &fileName_, &fileDate_, &sysTypeText_, &opticsTypeText_,
                         &v1CloseText_, &scanTypeText_, &invFrameText_, &stageTypeText_,
                         &axisNoText_, &vacTypeText_, &vacSubText_, &vacTransferText_}) {
    *s = x;
  }
  gaugeTexts_.fill(x);
}

TSysInitData::~TSysInitData() = default;

base::Status TSysInitData::LoadInitData(int machineType) {
  if (loaded_) return base::Status::Ok();
  if (!findDataDir_) return base::Status::Unavailable("no way to find the data directory");
  base::Result<std::string> dir = findDataDir_(machineType);
  if (!dir.ok()) {
    statusText_ = "configuration not loaded: " + dir.status().message();
    return base::Status::NotFound(statusText_);
  }

  auto ini = std::make_unique<TFIBSystemINI>(*dir);
  directory_ = *dir;
  scanToGrabWait_ = ReadScanToGrabWait();
  const base::Status load = ini->Load();

  sysTypeText_ = ini->SystemTypeName();
  systemType_ = ini->SystemType();
  v1CloseEnabled_ = ini->V1CloseText() == "Enable";
  scanTypeText_ = ini->ScanTypeName();
  scanType_ = static_cast<std::uint8_t>(ini->ScanType());
  invFrameText_ = ini->InvFrameText();
  invFrame_ = ini->InvFrame();
  opticsTypeText_ = ini->OpticsTypeName();
  opticsType_ = static_cast<std::uint8_t>(ini->OpticsType());
  maxBeamShift_ = ini->MaxBeamShift();

  stageTypeText_ = ini->StageTypeName();
  stageType_ = static_cast<std::uint8_t>(ini->StageType());
  axisNoText_ = ini->AxisNoText();
  for (int i = 0; i < kAxisCount; ++i) axes_[static_cast<std::size_t>(i)] = ini->AxisEnabled(i);

  vacTypeText_ = ini->VacuumTypeName();
  vacuumType_ = static_cast<std::uint8_t>(ini->VacuumType());
  vacSubText_ = ini->SubChamberName();
  subChamber_ = static_cast<std::uint8_t>(ini->SubChamber());
  vacTransferText_ = ini->TransferName();
  transfer_ = static_cast<std::uint8_t>(ini->Transfer());
  for (int i = 0; i < kGaugeCount; ++i) {
    gaugeTexts_[static_cast<std::size_t>(i)] = ini->GaugeName(i);
    gaugeTypes_[static_cast<std::size_t>(i)] = ini->GaugeType(i);
  }

  fileName_ = ini->FileName();
  filePath_ = (NativePath(directory_) / fileName_).string();
  useASEM_ = ini->UseASEM();
  secondFIB_ = ini->SecondFIB();

  ini_ = std::move(ini);
  loaded_ = true;
  machineType_ = machineType;
  RefreshFileDate();
  statusText_ = load.ok() ? std::string() : load.message();

  ShowV1CloseUse(ini_->V1CloseText());
  if (OnInvFrameChanged) OnInvFrameChanged(invFrame_);
  if (OnGaugeTypeChanged) {
    for (int i = 0; i < kGaugeCount; ++i) OnGaugeTypeChanged(i, GaugeTypeOf(i));
  }
  if (OnChanged) OnChanged();
  return load;
}

int TSysInitData::GaugeTypeOf(int i) const {
  return (i >= 0 && i < kGaugeCount) ? gaugeTypes_[static_cast<std::size_t>(i)] : 0;
}

bool TSysInitData::AxisEnabled(int i) const {
  return i >= 0 && i < kAxisCount && axes_[static_cast<std::size_t>(i)];
}

std::string TSysInitData::GaugeText(int i) const {
  return (i >= 0 && i < kGaugeCount) ? gaugeTexts_[static_cast<std::size_t>(i)] : std::string();
}

std::string TSysInitData::ReadScanToGrabWait() const {
  if (!loaded_ && directory_ == kNotLoadedText) return "0";
  return ProfileFile(NativePath(directory_) / "AxGen.ini")
      .GetString("Grab", "ScanToGrabWaitTime", "0");
}

base::Status TSysInitData::CheckLoaded() const {
  if (loaded_ && ini_) return base::Status::Ok();
  return base::Status::Unavailable("the configuration is not loaded yet");
}

base::Status TSysInitData::Finish(base::Status s) {
  statusText_ = s.ok() ? std::string() : s.message();
  RefreshFileDate();
  if (OnChanged) OnChanged();
  return s;
}

void TSysInitData::RefreshFileDate() {
  const std::string date = FileDate(filePath_);
  fileDate_ = date.empty() ? std::string("-") : date;
}

base::Status TSysInitData::ChooseSystemType(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kSystemTypeNames, i)) return OutOfRange("system type", i, kSystemTypeNames.size());
  const std::string_view text = kSystemTypeNames[static_cast<std::size_t>(i)];
  systemType_ = i;
  sysTypeText_ = text;
  return Finish(ini_->SetSystemType(text));
}

base::Status TSysInitData::ChooseOpticsType(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kOpticsTypeNames, i)) return OutOfRange("optics type", i, kOpticsTypeNames.size());
  const std::string_view text = kOpticsTypeNames[static_cast<std::size_t>(i)];
  opticsType_ = static_cast<std::uint8_t>(i);
  opticsTypeText_ = text;
  return Finish(ini_->SetOpticsType(text));
}

base::Status TSysInitData::ChooseStageType(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kStageTypeNames, i)) return OutOfRange("stage type", i, kStageTypeNames.size());
  const std::string_view text = kStageTypeNames[static_cast<std::size_t>(i)];
  stageType_ = static_cast<std::uint8_t>(i);
  stageTypeText_ = text;
  return Finish(ini_->SetStageType(text));
}

base::Status TSysInitData::ChooseVacuumType(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kVacuumTypeNames, i)) return OutOfRange("vacuum type", i, kVacuumTypeNames.size());
  const std::string_view text = kVacuumTypeNames[static_cast<std::size_t>(i)];
  vacuumType_ = static_cast<std::uint8_t>(i);
  vacTypeText_ = text;
  return Finish(ini_->SetVacuumType(text));
}

base::Status TSysInitData::ChooseSubChamber(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kSubChamberNames, i)) return OutOfRange("sub-chamber", i, kSubChamberNames.size());
  const std::string_view text = kSubChamberNames[static_cast<std::size_t>(i)];
  subChamber_ = static_cast<std::uint8_t>(i);
  vacSubText_ = text;
  return Finish(ini_->SetSubChamber(text));
}

base::Status TSysInitData::ChooseTransfer(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kTransferNames, i)) return OutOfRange("transfer", i, kTransferNames.size());
  const std::string_view text = kTransferNames[static_cast<std::size_t>(i)];
  transfer_ = static_cast<std::uint8_t>(i);
  vacTransferText_ = text;
  return Finish(ini_->SetTransfer(text));
}

base::Status TSysInitData::ChooseScanType(int i) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (!InTable(kScanTypeNames, i)) return OutOfRange("scan type", i, kScanTypeNames.size());
  const std::string_view text = kScanTypeNames[static_cast<std::size_t>(i)];
  scanType_ = static_cast<std::uint8_t>(i);
  scanTypeText_ = text;
  return Finish(ini_->SetScanType(text));
}

base::Status TSysInitData::ChooseInvFrame(int frames) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (frames < kMinInvFrame || frames > kMaxInvFrame) {
    return base::Status::OutOfRange("invalid-frame wait " + std::to_string(frames) +
                                    " is outside 5..25");
  }
  invFrame_ = frames;
  invFrameText_ = std::to_string(frames);
  const base::Status s = ini_->SetInvFrame(invFrameText_);
  if (OnInvFrameChanged) OnInvFrameChanged(invFrame_);
  return Finish(s);
}

void TSysInitData::ShowV1CloseUse(const std::string& text) {
  v1CloseText_ = text;
  if (OnV1CloseShown) OnV1CloseShown(text);
}

base::Status TSysInitData::SetV1CloseUse(bool enable) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  v1CloseEnabled_ = enable;
  const std::string text = enable ? "Enable" : "Disable";
  ShowV1CloseUse(text);
  return Finish(ini_->SetV1Close(text));
}

base::Status TSysInitData::SetUseASEM(bool on) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  useASEM_ = on;
  return Finish(ini_->SetUseASEM(on));
}

base::Status TSysInitData::SetSecondFIB(bool on) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  secondFIB_ = on;
  return Finish(ini_->SetSecondFIB(on));
}

base::Status TSysInitData::SetAxes(const std::array<bool, kAxisCount>& enabled) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  base::Status first;
  int count = 0;
  for (int i = 0; i < kAxisCount; ++i) {
    const bool on = enabled[static_cast<std::size_t>(i)];
    axes_[static_cast<std::size_t>(i)] = on;
    count += on ? 1 : 0;
    const base::Status s = ini_->SetAxis(i, on ? "Yes" : "No");
    if (first.ok() && !s.ok()) first = s;
  }
  axisNoText_ = std::to_string(count);
  const base::Status s = ini_->SetAxisNo(axisNoText_);
  if (first.ok() && !s.ok()) first = s;
  return Finish(first);
}

base::Status TSysInitData::ChooseGauge(int gauge, int type) {
  if (auto s = CheckLoaded(); !s.ok()) return s;
  if (gauge < 0 || gauge >= kGaugeCount) return OutOfRange("gauge", gauge, kGaugeCount);
  if (!InTable(kGaugeTypeNames, type))
    return OutOfRange("gauge type", type, kGaugeTypeNames.size());
  const std::string_view text = kGaugeTypeNames[static_cast<std::size_t>(type)];
  gaugeTypes_[static_cast<std::size_t>(gauge)] = type;
  gaugeTexts_[static_cast<std::size_t>(gauge)] = text;
  const base::Status s = ini_->SetGauge(gauge, text);
  if (OnGaugeTypeChanged) OnGaugeTypeChanged(gauge, type);
  return Finish(s);
}

}  // namespace tarvel::config
