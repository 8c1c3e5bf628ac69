// SystemIdentity: what the simulated controller says about itself in its unit-1 reports.
//
// Each field can be given on the command line (--<key> VALUE) and changed at run time on stdin
// (set <key> VALUE); both go through SetIdentityField, so the keys and their checks are written
// once. Strings are held in UTF-8 and converted to CP932 when a report is built.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tarvel::controller_sim {

struct SystemIdentity {
  std::string protocol = "2.00";     // SysProtocol
  std::string fixedTime;             // SysTime; empty: the simulator's running clock
  std::string name = "ORVO-SIM";     // SysName; "ORVO..." or "PADO..." picks the machine line
  std::string version = "3.20-sim";  // SysVersion
  std::string hardType = "HARD2";    // SysHardType: "HARD2" or "HARD3"
  std::int32_t modifyFlag = 0;       // SysModifyFlag (1 = set)
  std::int32_t vacGaugeType = 0;     // SysVacGaugeType
  std::int32_t apertureType = 1;     // SysApertureType
  std::int32_t detectorType = 0;     // DetectorType: 0 SED, other CPD
  std::int32_t eGunType = 0;         // EGunType: 1 Type-98 electron shower, other none
  std::int32_t dataInitialized = 1;  // SysDataInitialized (non-zero = initialised)
};

struct IdentityKey {
  const char* key;  // option name without "--", and the key of "set"
  const char* help;
};

// Every settable key, in report order.
const std::vector<IdentityKey>& IdentityKeys();

// Sets one field by key. Integers are decimal (or 0x hex) and must fit 32 bits; hard-type must be
// HARD2 or HARD3. On error the identity is unchanged.
base::Status SetIdentityField(SystemIdentity& identity, std::string_view key,
                              std::string_view value);

// Whether `key` names an identity field.
bool IsIdentityKey(std::string_view key);

// Parses a decimal or 0x-hex integer that fits the signed 32-bit range (hex may also give the
// unsigned bit pattern up to 0xFFFFFFFF).
base::Result<std::int32_t> ParseInt32(std::string_view text);

}  // namespace tarvel::controller_sim
