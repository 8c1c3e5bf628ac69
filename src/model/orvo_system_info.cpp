#include "model/orvo_system_info.h"

#include "base/byte_reader.h"
#include "base/code_page.h"

namespace tarvel::model {
namespace {

using base::ByteReader;

// A field not wholly inside the payload is not stored, so the old value stays.
bool ReadText(ByteReader& r, std::string* field) {
  std::string v;
  if (!r.readCString(&v)) return false;
  *field = std::move(v);
  return true;
}

bool ReadInt(ByteReader& r, std::int32_t* v) {
  return r.readI32be(v);
}

void StoreInteger(std::int32_t item, std::int32_t value, struct SysInformation* info) {
  switch (item) {
    case kSysItemModifyFlag:
      info->SysModifyFlag = (value == 1);
      break;
    case kSysItemVacGaugeType:
      info->SysVacGaugeType = value;
      break;
    case kSysItemApertureType:
      info->SysApertureType = value;  // all 32 bits; users bound-check before indexing
      break;
    case kSysItemDetectorType:
      info->DetectorType = static_cast<std::uint8_t>(value & 0xFF);
      break;
    case kSysItemEGunType:
      info->EGunType = static_cast<std::uint8_t>(value & 0xFF);
      break;
    case kSysItemDataInitialized:
      info->SysDataInitialized = (value != 0);
      break;
    case kSysItemSync:
      info->SyncReturnID = value;
      info->SyncReceived = true;
      break;
    default:
      break;
  }
}

std::string OrDash(const std::string& cp932) {
  return cp932.empty() ? std::string("-") : base::Cp932ToUtf8(cp932);
}

}  // namespace

std::string IdentitySummary(const struct SysInformation& info) {
  return "system " + OrDash(info.SysName) + ", version " + OrDash(info.SysVersion) + ", " +
         OrDash(info.SysHardType);
}

const char* DetectorTypeText(std::uint8_t code) {
  return code == 0 ? "SED" : "CPD";
}
const char* EGunTypeText(std::uint8_t code) {
  return code == 1 ? "Type-98" : "None";
}
const char* CLTypeText(std::uint8_t code) {
  if (code == 0) return "Type-98";
  if (code == 5) return "Type-Theta";
  return "Type-22";
}

void TOrvoSystemInfo::Receive(const tarvel::link::FrameIds& ids,
                              std::span<const std::uint8_t> payload) {
  if (ids.unit != link::kUnitSystem || ids.mode != link::kModeRequest) return;
  ByteReader r(payload);
  switch (ids.item) {
    case kSysItemAll:
      ReceiveAll(payload);
      break;
    case kSysItemProtocol:
      ReadText(r, &info_.SysProtocol);
      break;
    case kSysItemTime:
      ReadText(r, &info_.SysTime);
      break;
    case kSysItemName:
      ReadText(r, &info_.SysName);
      break;
    case kSysItemVersion:
      ReadText(r, &info_.SysVersion);
      break;
    case kSysItemHardType:
      ReadText(r, &info_.SysHardType);
      break;
    case kSysItemModifyFlag:
    case kSysItemVacGaugeType:
    case kSysItemApertureType:
    case kSysItemDetectorType:
    case kSysItemEGunType:
    case kSysItemDataInitialized:
    case kSysItemSync: {
      std::int32_t v = 0;
      if (ReadInt(r, &v)) StoreInteger(ids.item, v, &info_);
      break;
    }
    default:
      break;  // item 13 and unknown items carry nothing for this model
  }
}

void TOrvoSystemInfo::ReceiveAll(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  // Fields follow each other without padding; a truncated report fills what it holds.
  std::string* const texts[] = {&info_.SysProtocol, &info_.SysTime, &info_.SysName,
                                &info_.SysVersion, &info_.SysHardType};
  for (std::string* t : texts) {
    if (!ReadText(r, t)) return;
  }
  constexpr std::int32_t kIntegerItems[] = {kSysItemModifyFlag,   kSysItemVacGaugeType,
                                            kSysItemApertureType, kSysItemDetectorType,
                                            kSysItemEGunType,     kSysItemDataInitialized};
  for (std::int32_t item : kIntegerItems) {
    std::int32_t v = 0;
    if (!ReadInt(r, &v)) return;
    StoreInteger(item, v, &info_);
  }
}

bool TOrvoSystemInfo::ReturnSyncRequest() {
  const bool received = info_.SyncReceived;
  info_.SyncReceived = false;
  return received;
}

std::int32_t TOrvoSystemInfo::NextSyncSequence() {
  // Out-of-cycle values (only possible through memory corruption) restart the cycle too.
  if (info_.SyncSequence >= kMaxSyncSequence || info_.SyncSequence < 0) {
    info_.SyncSequence = 1;
  } else {
    ++info_.SyncSequence;
  }
  return info_.SyncSequence;
}

void TOrvoSystemInfo::SetSyncReply(std::int32_t value) {
  info_.SyncReturnID = value;
  info_.SyncReceived = true;
}

}  // namespace tarvel::model
