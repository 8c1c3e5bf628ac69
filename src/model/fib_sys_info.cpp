#include "model/fib_sys_info.h"

#include <cstdlib>
#include <system_error>

#include "config/paths.h"

namespace tarvel::model {
namespace {

namespace fs = std::filesystem;

// The directory a variable names, resolved against `base` and normalised; unset or empty gives
// nothing, a folder that does not exist an error naming the variable.
base::Result<fs::path> FromEnvironment(const char* name, const fs::path& base, bool* used) {
  *used = false;
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return base;
  fs::path p = config::NativePath(value);
  if (p.is_relative()) p = base / p;
  p = config::ResolveCaseInsensitive(p.lexically_normal());
  std::error_code ec;
  if (!fs::is_directory(p, ec)) {
    return base::Status::NotFound(std::string(name) + "=\"" + value + "\": directory " +
                                  p.string() + " does not exist");
  }
  *used = true;
  return p;
}

std::string WithoutTrailingSeparator(const fs::path& p) {
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

base::Result<TFIBSysInfo> TFIBSysInfo::Create(int machineType) {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return base::Status::IOError("current directory: " + ec.message());
  return CreateFrom(machineType, cwd);
}

base::Result<TFIBSysInfo> TFIBSysInfo::CreateFrom(int machineType, const fs::path& startDir) {
  const bool pado = machineType == kMachinePado;
  std::error_code ec;
  fs::path start = fs::absolute(startDir, ec).lexically_normal();
  if (ec) return base::Status::IOError(startDir.string() + ": " + ec.message());
  // "C:\ORVO\Exec\" and "C:\ORVO\Exec" have the same parent.
  if (!start.has_filename() && start.has_parent_path() && start != start.root_path()) {
    start = start.parent_path();
  }
  const fs::path root = start == start.root_path() ? start : start.parent_path();

  bool execFromEnv = false;
  auto exec = FromEnvironment(pado ? "PadoExecPath" : "OrvoExecPath", root, &execFromEnv);
  if (!exec.ok()) return exec.status();
  const fs::path execDir = execFromEnv ? *exec : root / (pado ? "Exe" : "Exec");

  // A relative data path is taken where the original search stood at that moment.
  bool dataFromEnv = false;
  auto data = FromEnvironment(pado ? "PadoDataPath" : "OrvoDataPath", execFromEnv ? execDir : root,
                              &dataFromEnv);
  if (!data.ok()) return data.status();
  const fs::path dataDir = dataFromEnv ? *data : root / "Data";

  TFIBSysInfo info;
  info.execDir_ = WithoutTrailingSeparator(execDir);
  info.dataDir_ = WithoutTrailingSeparator(dataDir);
  return info;
}

base::Result<std::string> FindDataDir(int machineType) {
  auto info = TFIBSysInfo::Create(machineType);
  if (!info.ok()) return info.status();
  return info->GetDataDir();
}

}  // namespace tarvel::model
