// TRegistration: start switches and the registration files of the automation server.
//
// Switches "AUTOMATION", "EMBEDDING", "REGSERVER" and "UNREGSERVER" are recognised
// case-insensitively after "/" or "-". Registration writes, under $XDG_DATA_HOME (default
// ~/.local/share): the D-Bus activation file dbus-1/services/ProjectTarvel.Server.service, the
// class registry ProjectTarvel/registry.ini and the type library ProjectTarvel/ProjectTarvel.xml.
// Each file is replaced whole (written beside it, then renamed), so a reader never sees half.
#pragma once

#include <optional>
#include <string>

#include "base/status.h"

namespace tarvel::automation {

enum class TStartMode { kUser, kAutomation, kRegister, kUnregister };

class TRegistration {
 public:
  // Reads and removes the start switches from argv (so that later option parsing does not see
  // them). The last switch wins.
  static TStartMode TakeStartSwitches(int* argc, char** argv);

  static std::string DataHome();
  static std::string ServiceFile();
  static std::string RegistryFile();
  static std::string TypeLibraryFile();

  static base::Status Write(const std::string& programPath, const std::string& workDir);
  static base::Status Remove();
  // The working directory recorded in the registry, if any.
  static std::optional<std::string> RegisteredWorkDir();

  // The register and unregister starts: does the work and gives the exit code; nothing for the
  // other starts.
  static std::optional<int> RunSwitch(TStartMode mode);
  // This program's absolute path.
  static std::string ProgramPath();
};

}  // namespace tarvel::automation
