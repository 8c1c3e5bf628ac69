#include "automation/registration.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>

#include <strings.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "automation/type_library.h"

namespace tarvel::automation {

namespace {

base::Status WriteWhole(const std::string& path, const std::string& text) {
  const QString file = QString::fromStdString(path);
  if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
    return base::Status::IOError("cannot create the folder of " + path);
  }
  QSaveFile out(file);
  if (!out.open(QIODevice::WriteOnly) ||
      out.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !out.commit()) {
    return base::Status::IOError("cannot write " + path + ": " + out.errorString().toStdString());
  }
  return base::Status::Ok();
}

// A D-Bus service file's Exec line splits on blanks; quote what would split.
std::string QuoteExec(const std::string& s) {
  if (s.find_first_of(" \t\"'\\") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

}  // namespace

TStartMode TRegistration::TakeStartSwitches(int* argc, char** argv) {
  TStartMode mode = TStartMode::kUser;
  int out = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* a = argv[i];
    bool taken = false;
    if (a[0] == '/' || a[0] == '-') {
      const char* name = a + 1;
      if (strcasecmp(name, "AUTOMATION") == 0 || strcasecmp(name, "EMBEDDING") == 0) {
        mode = TStartMode::kAutomation;
        taken = true;
      } else if (strcasecmp(name, "REGSERVER") == 0) {
        mode = TStartMode::kRegister;
        taken = true;
      } else if (strcasecmp(name, "UNREGSERVER") == 0) {
        mode = TStartMode::kUnregister;
        taken = true;
      }
    }
    if (!taken) argv[out++] = argv[i];
  }
  if (out < *argc) argv[out] = nullptr;
  *argc = out;
  return mode;
}

std::string TRegistration::DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share";
}

std::string TRegistration::ServiceFile() {
  return DataHome() + "/dbus-1/services/ProjectTarvel.Server.service";
}
std::string TRegistration::RegistryFile() {
  return DataHome() + "/ProjectTarvel/registry.ini";
}
std::string TRegistration::TypeLibraryFile() {
  return DataHome() + "/ProjectTarvel/ProjectTarvel.xml";
}

base::Status TRegistration::Write(const std::string& programPath, const std::string& workDir) {
  const std::string service =
      "[D-BUS Service]\nName=ProjectTarvel.Server\nExec=" + QuoteExec(programPath) +
      " /AUTOMATION\n";
  std::string registry = "[TypeLib]\nLibId=" + std::string(TTypeLibrary::kLibId) +
                         "\nName=" + TTypeLibrary::kName + "\nVersion=" + TTypeLibrary::kVersion +
                         "\nHelpString=" + TTypeLibrary::kHelp + "\nPath=" + TypeLibraryFile() +
                         "\n";
  for (const TCoclassInfo& c : TTypeLibrary::Coclasses()) {
    registry += "\n[" + c.ProgID() + "]\nCLSID=" + c.clsid + "\nProgID=" + c.ProgID() +
                "\nDescription=" + c.help + "\nLocalServer=" + programPath +
                "\nWorkingDirectory=" + workDir + "\nTypeLib=" + TTypeLibrary::kLibId +
                "\nVersion=" + TTypeLibrary::kVersion + "\n";
  }
  if (auto s = WriteWhole(TypeLibraryFile(), TTypeLibrary::TypeLibraryXml()); !s.ok()) return s;
  if (auto s = WriteWhole(RegistryFile(), registry); !s.ok()) return s;
  return WriteWhole(ServiceFile(), service);
}

base::Status TRegistration::Remove() {
  std::string failed;
  for (const std::string& f : {ServiceFile(), RegistryFile(), TypeLibraryFile()}) {
    if (QFile::exists(QString::fromStdString(f)) && !QFile::remove(QString::fromStdString(f))) {
      failed += (failed.empty() ? "" : ", ") + f;
    }
  }
  QDir().rmdir(QString::fromStdString(DataHome() + "/ProjectTarvel"));
  if (!failed.empty()) return base::Status::IOError("cannot remove " + failed);
  return base::Status::Ok();
}

std::optional<std::string> TRegistration::RegisteredWorkDir() {
  QFile f(QString::fromStdString(RegistryFile()));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  while (!f.atEnd()) {
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    if (line.startsWith("WorkingDirectory=")) return line.mid(17).toStdString();
  }
  return std::nullopt;
}

std::string TRegistration::ProgramPath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::optional<int> TRegistration::RunSwitch(TStartMode mode) {
  if (mode == TStartMode::kRegister) {
    const base::Status s = Write(ProgramPath(), std::filesystem::current_path().string());
    if (!s.ok()) std::fprintf(stderr, "tarvel: registration failed: %s\n", s.message().c_str());
    return s.ok() ? 0 : 1;
  }
  if (mode == TStartMode::kUnregister) {
    const base::Status s = Remove();
    if (!s.ok()) std::fprintf(stderr, "tarvel: unregistration failed: %s\n", s.message().c_str());
    return s.ok() ? 0 : 1;
  }
  return std::nullopt;
}

}  // namespace tarvel::automation
