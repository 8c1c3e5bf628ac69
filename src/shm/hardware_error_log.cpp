#include "shm/hardware_error_log.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "config/paths.h"

namespace tarvel::shm {
namespace {

constexpr std::string_view kDataDir = "C:\\ORVO\\Data";
constexpr std::string_view kLogFile = "C:\\ORVO\\Data\\OrvoHardwareError.Log";
constexpr std::string_view kBackupFile = "C:\\ORVO\\Data\\BackOrvoHardwareError.Log";

}  // namespace

HardwareErrorLog::HardwareErrorLog() = default;

std::filesystem::path HardwareErrorLog::LogPath() const {
  return config::ResolveCaseInsensitive(config::NativePath(kLogFile));
}

std::filesystem::path HardwareErrorLog::BackupPath() const {
  return config::ResolveCaseInsensitive(config::NativePath(kBackupFile));
}

bool HardwareErrorLog::Enabled(std::string_view dataDirectory) const {
  if (dataDirectory.find("Pado") != std::string_view::npos ||
      dataDirectory.find("PADO") != std::string_view::npos) {
    return false;
  }
  std::error_code ec;
  return std::filesystem::is_directory(config::ResolveCaseInsensitive(config::NativePath(kDataDir)),
                                       ec);
}

base::Status HardwareErrorLog::Rotate() {
  const std::filesystem::path log = LogPath();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(log, ec)) return base::Status::Ok();
  const std::uintmax_t size = std::filesystem::file_size(log, ec);
  if (ec) return base::Status::IOError(log.string() + ": " + ec.message());
  if (size < kRotateBytes) return base::Status::Ok();
  const std::filesystem::path backup = BackupPath();
  std::filesystem::copy_file(log, backup, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec)
    return base::Status::IOError("copying " + log.string() + " to " + backup.string() + ": " +
                                 ec.message());
  std::filesystem::remove(log, ec);
  if (ec) return base::Status::IOError("deleting " + log.string() + ": " + ec.message());
  return base::Status::Ok();
}

base::Status HardwareErrorLog::Append(std::string_view line) {
  const std::filesystem::path log = LogPath();
  std::FILE* f = std::fopen(log.c_str(), "ab");
  if (!f) return base::Status::FromErrno("opening " + log.string(), errno);
  const std::string text = std::string(line) + "\r\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int writeErr = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written) return base::Status::FromErrno("writing " + log.string(), writeErr);
  if (!closed) return base::Status::FromErrno("closing " + log.string(), errno);
  return Rotate();
}

std::string HardwareErrorLog::FormatTime(std::time_t t) {
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%s/%02d %02d:%02d    ", tm.tm_year % 100,
                kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min);
  return buf;
}

}  // namespace tarvel::shm
