// ProfileFile: INI ("profile") files read and written key by key.
//
// Semantics of the classic profile API: sections and keys match without regard to case, a
// missing file, section or key reads as the caller's default, values are trimmed, and a write
// changes one key while keeping the comments and order of the rest of the file. Values are the
// file's own 8-bit bytes (CP932); conversion is the caller's business.
//
// Every call opens the file afresh, so another process's edits are seen at once. Writes go to a
// temporary file renamed over the original, so a reader never sees half a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tarvel::config {

class ProfileFile {
 public:
  explicit ProfileFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }
  // The file to open: the path, or its case-insensitive match when that exists.
  std::filesystem::path resolvedPath() const;
  bool exists() const;

  // The value, trimmed; `def` when the file, section or key is missing.
  std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
  // The value as a decimal integer (an optional sign and digits, blanks around). A missing key
  // gives `def`; a value that is not a number is an error naming file, section and key, so the
  // caller can report it and fall back to its default.
  base::Result<std::int64_t> GetInt(std::string_view section, std::string_view key,
                                    std::int64_t def) const;
  // Likewise for a real ("1.5", "-2e3"). Numbers use "." whatever the process locale.
  base::Result<double> GetDouble(std::string_view section, std::string_view key, double def) const;
  // The classic integer read: the leading digits of the value, 0 when there are none, `def` when
  // the key is missing.
  std::int64_t GetProfileInt(std::string_view section, std::string_view key,
                             std::int64_t def) const;
  // The key names of one section in file order (the classic ReadSection); empty when the file
  // or the section is missing or the section has no keys.
  std::vector<std::string> ReadSection(std::string_view section) const;

  // Writes one key (creating the file and section when needed).
  base::Status WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Removes one key; a missing key is not an error.
  base::Status DeleteKey(std::string_view section, std::string_view key);

 private:
  std::filesystem::path path_;
};

}  // namespace tarvel::config
