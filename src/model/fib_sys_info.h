// TFIBSysInfo: finds the installation's data and program directories.
//
// The installation root is the parent of the starting directory (normally the program folder
// "...\Exec"); data lives in <root>/Data, programs in <root>/Exec (ORVO line) or <root>/Exe
// (PADO line). "OrvoExecPath"/"OrvoDataPath" (machine type 1) or "PadoExecPath"/"PadoDataPath"
// (machine type 2) override them; a relative value is taken against the root, or for the data
// directory against the program directory when that came from the variable. Backslashes and
// "C:\ORVO" are mapped as every other installation path.
//
// The search only computes paths: it never changes the process's current directory, and
// environment values have no length limit. A directory named by a variable must exist; when it
// does not, Create reports which variable named what. Users create one, read a directory and
// drop it; nothing caches it.
#pragma once

#include <filesystem>
#include <string>

#include "base/status.h"

namespace tarvel::model {

class TFIBSysInfo {
 public:
  static constexpr int kMachineOrvo = 1;
  static constexpr int kMachinePado = 2;

  // The search from the process's current directory.
  static base::Result<TFIBSysInfo> Create(int machineType);
  // The same from a given starting directory (absolute).
  static base::Result<TFIBSysInfo> CreateFrom(int machineType,
                                              const std::filesystem::path& startDir);

  std::string GetDataDir() const { return dataDir_; }
  std::string GetExecDir() const { return execDir_; }

 private:
  TFIBSysInfo() = default;

  std::string dataDir_;  // absolute, no trailing separator
  std::string execDir_;  // absolute, no trailing separator
};

// The data directory of a machine type searched from the current directory; fits
// config::TSysInitData::DataDirFinder.
base::Result<std::string> FindDataDir(int machineType);

}  // namespace tarvel::model
