// HardwareErrorLog: the hardware error log "C:\ORVO\Data\OrvoHardwareError.Log" and its backup
// "BackOrvoHardwareError.Log", mapped through config/paths.h onto $TARVEL_ORVO_ROOT.
//
// The log is kept only on the ORVO line: when the data directory last given to LoadInitData
// contains neither "Pado" nor "PADO" and the folder "C:\ORVO\Data" exists. A log of
// kRotateBytes or more is copied over the backup and deleted: at creation of the monitor record,
// and (mending the unbounded growth of repeating alarms) after any append that reaches the size.
//
// Lines are CP932 bytes ending in CR LF. Every call opens and closes the file. Errors come back
// as Status; nothing throws. Main thread only.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/status.h"

namespace tarvel::shm {

class HardwareErrorLog {
 public:
  // More than 8192 whole blocks of 128 bytes.
  static constexpr std::uintmax_t kRotateBytes = 1048704;

  HardwareErrorLog();

  // Whether the log is kept for this data directory (see above).
  bool Enabled(std::string_view dataDirectory) const;
  // Copies a log of kRotateBytes or more over the backup and deletes it.
  base::Status Rotate();
  // Appends `line` and a line end, creating the file if missing, then rotates if it has grown to
  // kRotateBytes.
  base::Status Append(std::string_view line);

  std::filesystem::path LogPath() const;
  std::filesystem::path BackupPath() const;

  // "yy/mmm/dd hh:nn    ": two-digit year, English month abbreviation, day, hours, minutes and
  // four blanks, in local time.
  static std::string FormatTime(std::time_t t);
};

}  // namespace tarvel::shm
