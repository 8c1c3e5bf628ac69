// TOrvoSystemInfo: what the controller reports about itself (unit 1).
//
// Holds one SysInformation record: protocol, clock, system name, software version, hardware
// generation, equipment codes, the data-initialised flag and the synchronisation round trip.
// The link manager owns it and feeds it from unit-1 reports through Receive; readers copy the
// record out whole and never keep a reference into it. Main thread only.
//
// Texts are kept as the 8-bit CP932 bytes the controller sent; convert at the UI/log boundary
// (IdentitySummary does that for status output).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/frame.h"
#include "model/unit_model.h"

namespace tarvel::model {

// The system record, copied out whole.
struct SysInformation {
  std::string SysProtocol;
  std::string SysTime;
  std::string SysName;      // machine model name, e.g. "ORVO450SEC"
  std::string SysVersion;   // controller software version
  std::string SysHardType;  // "HARD2" or "HARD3"
  bool SysModifyFlag = false;
  std::int32_t SysVacGaugeType = 0;
  std::int32_t SysApertureType = 0;  // 0..4 in practice, but any value can arrive
  std::uint8_t DetectorType = 0;     // 0 SED, other CPD
  std::uint8_t EGunType = 0;         // 1 "Type-98", other none
  std::uint8_t CLType = 0;           // 0 "Type-98", 5 "Type-Theta", other "Type-22"
  bool SysDataInitialized = false;
  std::int32_t SyncSequence = 0;   // last synchronisation number handed out
  std::int32_t SyncReturnID = -1;  // last synchronisation reply; -1 until the first
  bool SyncReceived = false;       // a reply arrived and was not yet taken

  bool operator==(const SysInformation&) const = default;
};

// Item ids of unit 1.
enum SysItem : std::int32_t {
  kSysItemAll = 1,
  kSysItemProtocol = 2,
  kSysItemTime = 3,
  kSysItemName = 4,
  kSysItemVersion = 5,
  kSysItemHardType = 6,
  kSysItemModifyFlag = 7,
  kSysItemVacGaugeType = 8,
  kSysItemApertureType = 9,
  kSysItemDetectorType = 10,
  kSysItemEGunType = 11,
  kSysItemDataInitialized = 12,
  kSysItemSync = 14,
};

// Synchronisation numbers cycle 1..kMaxSyncSequence, never 0 or -1.
inline constexpr std::int32_t kMaxSyncSequence = 999998;

// "system ORVO450SEC, version 1.02, HARD3" in UTF-8; "-" stands for a field not yet reported.
std::string IdentitySummary(const SysInformation& info);

// Display texts of the equipment codes.
const char* DetectorTypeText(std::uint8_t code);  // "SED" / "CPD"
const char* EGunTypeText(std::uint8_t code);      // "Type-98" / "None"
const char* CLTypeText(std::uint8_t code);        // "Type-98" / "Type-Theta" / "Type-22"

// SysApertureType and CLType come from the wire or the operator and index tables elsewhere:
// the index when `code` lies in 0..size-1, nothing otherwise.
constexpr std::optional<std::size_t> CheckedIndex(std::int64_t code, std::size_t size) {
  if (code < 0 || static_cast<std::uint64_t>(code) >= size) return std::nullopt;
  return static_cast<std::size_t>(code);
}

class TOrvoSystemInfo : public TUnitModel {
 public:
  TOrvoSystemInfo() = default;

  // Decodes one unit-1 frame: `ids` in host order, `payload` the bytes after the header.
  // Frames whose mode is not 2 and items outside the table change nothing. A field not wholly
  // inside the payload keeps its value; a text ends at its zero or at the end of the payload.
  void Receive(const tarvel::link::FrameIds& ids, std::span<const std::uint8_t> payload) override;

  // A copy of the whole record.
  struct SysInformation SysInformation() const {
    return info_;
  }

  // Test-and-clear of SyncReceived.
  bool ReturnSyncRequest();
  // The next synchronisation number (1..999998, then 1 again).
  std::int32_t NextSyncSequence();
  // Stands in for the controller's reply when offline or in debug mode.
  void SetSyncReply(std::int32_t value);
  std::int32_t SyncReturnID() const { return info_.SyncReturnID; }

  void SetHardType(std::string text) { info_.SysHardType = std::move(text); }
  // Keeps the low seven bits, as the offline aperture-type cycle expects.
  void SetApertureType(std::int32_t value) { info_.SysApertureType = value & 0x7F; }
  void SetCLType(std::uint8_t value) { info_.CLType = value; }

  std::string IdentitySummary() const { return model::IdentitySummary(info_); }

 private:
  void ReceiveAll(std::span<const std::uint8_t> payload);

  struct SysInformation info_;
};

}  // namespace tarvel::model
