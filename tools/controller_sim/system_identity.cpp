#include "controller_sim/system_identity.h"

#include <charconv>
#include <cstdint>

namespace tarvel::controller_sim {
namespace {

enum class FieldKind { kText, kHardType, kInteger };

struct FieldEntry {
  IdentityKey key;
  FieldKind kind;
  std::string SystemIdentity::*text = nullptr;
  std::int32_t SystemIdentity::*integer = nullptr;
};

const std::vector<FieldEntry>& Fields() {
  static const std::vector<FieldEntry> kFields = {
      {{"protocol", "SysProtocol text"}, FieldKind::kText, &SystemIdentity::protocol},
      {{"sys-time", "SysTime text (default: the simulator's clock, yyyy/mm/dd hh:mm:ss)"},
       FieldKind::kText,
       &SystemIdentity::fixedTime},
      {{"sys-name", "SysName, e.g. ORVO450SEC or PADO510"},
       FieldKind::kText,
       &SystemIdentity::name},
      {{"sys-version", "SysVersion text"}, FieldKind::kText, &SystemIdentity::version},
      {{"hard-type", "SysHardType: HARD2 or HARD3"},
       FieldKind::kHardType,
       &SystemIdentity::hardType},
      {{"modify-flag", "SysModifyFlag integer (1 = set)"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::modifyFlag},
      {{"vac-gauge-type", "SysVacGaugeType integer"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::vacGaugeType},
      {{"aperture-type", "SysApertureType integer"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::apertureType},
      {{"detector-type", "DetectorType integer (0 SED, other CPD)"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::detectorType},
      {{"egun-type", "EGunType integer (1 Type-98)"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::eGunType},
      {{"data-initialized", "SysDataInitialized integer (non-zero = initialised)"},
       FieldKind::kInteger,
       nullptr,
       &SystemIdentity::dataInitialized},
  };
  return kFields;
}

const FieldEntry* Find(std::string_view key) {
  for (const FieldEntry& f : Fields()) {
    if (key == f.key.key) return &f;
  }
  return nullptr;
}

}  // namespace

const std::vector<IdentityKey>& IdentityKeys() {
  static const std::vector<IdentityKey> kKeys = [] {
    std::vector<IdentityKey> keys;
    for (const FieldEntry& f : Fields()) keys.push_back(f.key);
    return keys;
  }();
  return kKeys;
}

bool IsIdentityKey(std::string_view key) {
  return Find(key) != nullptr;
}

base::Result<std::int32_t> ParseInt32(std::string_view text) {
  const std::string shown(text);
  bool negative = false;
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  std::uint64_t magnitude = 0;
  const auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    return base::Status::InvalidArgument("not an integer: '" + shown + "'");
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return base::Status::OutOfRange(shown + " is below -2147483648");
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
  }
  // Hex may spell the unsigned bit pattern (0xFFFFFFFF for -1); decimal must fit the signed range.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : 0x7FFFFFFFull;
  if (magnitude > limit) return base::Status::OutOfRange(shown + " does not fit 32 bits");
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
}

base::Status SetIdentityField(SystemIdentity& identity, std::string_view key,
                              std::string_view value) {
  const FieldEntry* f = Find(key);
  if (!f) return base::Status::NotFound("unknown identity key '" + std::string(key) + "'");
  switch (f->kind) {
    case FieldKind::kHardType:
      if (value != "HARD2" && value != "HARD3") {
        return base::Status::InvalidArgument("hard-type must be HARD2 or HARD3, not '" +
                                             std::string(value) + "'");
      }
      [[fallthrough]];
    case FieldKind::kText:
      // A terminator inside the text would cut the report's field sequence.
      if (value.find('\0') != std::string_view::npos) {
        return base::Status::InvalidArgument(std::string(key) + " must not contain a zero byte");
      }
      identity.*(f->text) = std::string(value);
      return base::Status::Ok();
    case FieldKind::kInteger: {
      base::Result<std::int32_t> v = ParseInt32(value);
      if (!v.ok())
        return base::Status::InvalidArgument(std::string(key) + ": " + v.status().message());
      identity.*(f->integer) = *v;
      return base::Status::Ok();
    }
  }
  return base::Status::InvalidArgument("unhandled identity key");
}

}  // namespace tarvel::controller_sim
