#include "config/profile_file.h"

// Values are 8-bit bytes as stored; no wide-character conversion is wanted.
#define SI_NO_CONVERSION
// The packaged header keeps its template bodies behind this switch; instantiating them here
// keeps us off the packaged library, which is built with another character converter.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <system_error>

#include "base/decimal.h"
#include "config/paths.h"

namespace tarvel::config {
namespace {

// Sections and keys match without regard to case, as the profile API does.
using Ini = CSimpleIniA;

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

// Profile files are small; anything larger is not one of ours.
constexpr std::uintmax_t kMaxProfileSize = 16 * 1024 * 1024;

// Loads the file; false when it does not exist or cannot be read.
bool Load(const std::filesystem::path& file, Ini* ini) {
  // The parser sizes its buffer from the stream length, which is meaningless for a folder or a
  // device: only regular files of a sane size are read.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxProfileSize) return false;
  ini->SetUnicode(false);
  ini->SetMultiKey(false);
  ini->SetQuotes(false);
  return ini->LoadFile(file.c_str()) >= 0;
}

std::string Where(const std::filesystem::path& file, std::string_view section,
                  std::string_view key) {
  return file.string() + " [" + std::string(section) + "] " + std::string(key);
}

}  // namespace

std::filesystem::path ProfileFile::resolvedPath() const {
  return ResolveCaseInsensitive(path_);
}

bool ProfileFile::exists() const {
  std::error_code ec;
  return std::filesystem::is_regular_file(resolvedPath(), ec);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
  Ini ini;
  if (!Load(resolvedPath(), &ini)) return std::string(def);
  const char* v = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  return v ? Trim(v) : std::string(def);
}

base::Result<std::int64_t> ProfileFile::GetInt(std::string_view section, std::string_view key,
                                               std::int64_t def) const {
  Ini ini;
  if (!Load(resolvedPath(), &ini)) return def;
  const char* v = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  if (!v) return def;
  const std::string text = Trim(v);
  const auto n = base::ParseInteger(text);
  if (!n) {
    return base::Status::InvalidArgument(Where(path_, section, key) + ": \"" + text +
                                         "\" is not an integer");
  }
  return *n;
}

base::Result<double> ProfileFile::GetDouble(std::string_view section, std::string_view key,
                                            double def) const {
  Ini ini;
  if (!Load(resolvedPath(), &ini)) return def;
  const char* v = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  if (!v) return def;
  const std::string text = Trim(v);
  const auto d = base::ParseReal(text);
  if (!d) {
    return base::Status::InvalidArgument(Where(path_, section, key) + ": \"" + text +
                                         "\" is not a number");
  }
  return *d;
}

std::int64_t ProfileFile::GetProfileInt(std::string_view section, std::string_view key,
                                        std::int64_t def) const {
  Ini ini;
  if (!Load(resolvedPath(), &ini)) return def;
  const char* v = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  if (!v) return def;
  return base::LeadingInteger(Trim(v));
}

std::vector<std::string> ProfileFile::ReadSection(std::string_view section) const {
  Ini ini;
  std::vector<std::string> names;
  if (!Load(resolvedPath(), &ini)) return names;
  Ini::TNamesDepend keys;
  if (!ini.GetAllKeys(std::string(section).c_str(), keys)) return names;
  keys.sort(Ini::Entry::LoadOrder());
  for (const auto& k : keys) names.emplace_back(k.pItem);
  return names;
}

base::Status ProfileFile::WriteString(std::string_view section, std::string_view key,
                                      std::string_view value) {
  const std::filesystem::path file = resolvedPath();
  Ini ini;
  std::error_code ec;
  if (std::filesystem::exists(file, ec) && !Load(file, &ini)) {
    return base::Status::IOError(file.string() + ": cannot be read");
  }
  ini.SetUnicode(false);
  if (ini.SetValue(std::string(section).c_str(), std::string(key).c_str(),
                   std::string(value).c_str()) < 0) {
    return base::Status::IOError(Where(file, section, key) + ": cannot be set");
  }
  const std::filesystem::path tmp = file.string() + ".tmp";
  if (ini.SaveFile(tmp.c_str(), false) < 0) {
    std::filesystem::remove(tmp, ec);
    return base::Status::IOError(Where(file, section, key) + ": cannot be written");
  }
  std::filesystem::rename(tmp, file, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    return base::Status::IOError(file.string() + ": cannot be replaced: " + ec.message());
  }
  return base::Status::Ok();
}

base::Status ProfileFile::DeleteKey(std::string_view section, std::string_view key) {
  const std::filesystem::path file = resolvedPath();
  Ini ini;
  if (!Load(file, &ini)) return base::Status::Ok();
  if (!ini.Delete(std::string(section).c_str(), std::string(key).c_str()))
    return base::Status::Ok();
  const std::filesystem::path tmp = file.string() + ".tmp";
  std::error_code ec;
  if (ini.SaveFile(tmp.c_str(), false) < 0) {
    std::filesystem::remove(tmp, ec);
    return base::Status::IOError(Where(file, section, key) + ": cannot be written");
  }
  std::filesystem::rename(tmp, file, ec);
  if (ec) return base::Status::IOError(file.string() + ": cannot be replaced: " + ec.message());
  return base::Status::Ok();
}

}  // namespace tarvel::config
