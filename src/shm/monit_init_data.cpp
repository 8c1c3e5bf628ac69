// TOrvoMonitData: the initial-data file "ORVOInitData.INI" (LoadInitData, SaveTrackBall,
// SetCLType). All file access goes through config::ProfileFile; the current directory is never
// changed.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/decimal.h"
#include "config/paths.h"
#include "config/profile_file.h"
#include "shm/init_data_keys.h"
#include "shm/monit_data.h"

namespace tarvel::shm {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

template <std::size_t N>
int IndexOfKey(const std::array<std::string_view, N>& keys, std::string_view key) {
  for (std::size_t i = 0; i < N; ++i) {
    if (EqualsIgnoreCase(keys[i], key)) return static_cast<int>(i);
  }
  return -1;
}

bool HasKey(const std::vector<std::string>& keys, std::string_view key) {
  return std::any_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return EqualsIgnoreCase(k, key); });
}

std::int32_t PowerMode(const std::string& v) {
  if (v == "NONE") return 0;
  if (v == "MANUAL") return 1;
  if (v == "AUTO") return 2;
  return 0;
}

double TiltDirection(const std::string& v) {
  if (v == "LEFT") return 0;
  if (v == "TOP") return 1;
  if (v == "RIGHT") return 2;
  if (v == "BOTTOM") return 3;
  return 0;
}

// Collects the problems of one load: bad values (each took its default) and record failures.
struct Problems {
  std::vector<std::string> lines;
  void Add(const base::Status& st) {
    if (!st.ok()) lines.push_back(st.message());
  }
  base::Status ToStatus() const {
    if (lines.empty()) return base::Status::Ok();
    std::string text = "ORVOInitData.INI: ";
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "; " : "") + lines[i];
    return base::Status::InvalidArgument(text);
  }
};

}  // namespace

std::string TOrvoMonitData::InitDataPath() const {
  return (config::NativePath(dataDirectory_) / std::string(kInitDataFile)).string();
}

base::Status TOrvoMonitData::LoadInitData(const std::string& directory) {
  dataDirectory_ = directory;
  const config::ProfileFile ini(InitDataPath());
  Problems problems;

  // 1. POWER: every key present, by name.
  for (const std::string& key : ini.ReadSection("POWER")) {
    const int i = IndexOfKey(kPowerKeys, key);
    if (i < 0) continue;
    problems.Add(WriteI32(code::kPowerMode, i, PowerMode(ini.GetString("POWER", key, "MANUAL"))));
  }

  // 2. STAGE: every listed key present.
  for (const std::string& key : ini.ReadSection("STAGE")) {
    const int i = IndexOfKey(kStageKeys, key);
    if (i < 0) continue;
    double v = 0;
    if (kStageKeys[i] == "TILT_DIREC") {
      v = TiltDirection(ini.GetString("STAGE", key, "0"));
    } else if (kStageKeys[i] == "Z_SAFETY_FLAG") {
      v = ini.GetString("STAGE", key, "0") == "ON" ? 1.0 : 0.0;
    } else {
      auto number = ini.GetDouble("STAGE", key, 0.0);
      if (!number.ok())
        problems.Add(base::Status::InvalidArgument(number.status().message() + ", took 0"));
      const double n = number.ok() ? *number : 0.0;
      v = kStageKeys[i] == "EU_OFFSET" ? n : n / 1000.0;
    }
    problems.Add(WriteExtended(code::kStageConstant, i, v));
  }

  // 3. TRACK-BALL-X, TRACK-BALL-Y: all 14 keys with their defaults.
  bool anyEmpty = false;
  for (int axis = 0; axis < 2; ++axis) {
    const std::string_view section = kTrackBallSections[axis];
    if (ini.ReadSection(section).empty()) anyEmpty = true;
    for (const TrackBallKey& k : kTrackBallKeys) {
      const std::int64_t def = base::ParseInteger(k.def).value_or(0);
      auto value = ini.GetInt(section, k.key, def);
      std::int64_t v = def;
      if (value.ok()) {
        v = *value;
      } else {
        problems.Add(base::Status::InvalidArgument(value.status().message() + ", took " +
                                                   std::string(k.def)));
      }
      if (v < INT32_MIN || v > INT32_MAX) {
        problems.Add(base::Status::InvalidArgument(std::string(section) + " " + std::string(k.key) +
                                                   " is out of the 32-bit range, took " +
                                                   std::string(k.def)));
        v = def;
      }
      problems.Add(WriteI32(axis == 0 ? code::kTrackBallX : code::kTrackBallY, k.index,
                            static_cast<std::int32_t>(v)));
    }
  }

  // 4. OPTICS CL_TYPE, only when present; an unknown name loads as 4.
  if (HasKey(ini.ReadSection("OPTICS"), "CL_TYPE")) {
    const std::string name = ini.GetString("OPTICS", "CL_TYPE", "");
    int type = 4;
    for (int t = 0; t < 4; ++t) {
      if (name == kClTypeNames[t]) type = t;
    }
    problems.Add(WriteI32(Named("CLType"), type));
  }

  // 5. An empty track-ball section is written back whole (both sections, every key).
  if (anyEmpty) {
    for (const TrackBallKey& k : kTrackBallKeys) problems.Add(SaveTrackBall(k.index));
  }
  return Report(problems.ToStatus());
}

base::Status TOrvoMonitData::SaveTrackBall(int i) {
  const auto it = std::find_if(kTrackBallKeys.begin(), kTrackBallKeys.end(),
                               [i](const TrackBallKey& k) { return k.index == i; });
  if (it == kTrackBallKeys.end()) return base::Status::Ok();
  if (dataDirectory_.empty()) {
    return Report(base::Status::Unavailable(
        "SaveTrackBall: no initial-data directory (LoadInitData has not run)"));
  }
  config::ProfileFile ini(InitDataPath());
  for (int axis = 0; axis < 2; ++axis) {
    auto v = ReadI32(axis == 0 ? code::kTrackBallX : code::kTrackBallY, i);
    if (!v.ok()) return v.status();
    base::Status st = ini.WriteString(kTrackBallSections[axis], it->key, std::to_string(*v));
    if (!st.ok()) return Report(st);
  }
  return base::Status::Ok();
}

base::Status TOrvoMonitData::SetCLType(std::int32_t v) {
  base::Status st = WriteI32(Named("CLType"), v);
  if (!st.ok()) return st;
  if (dataDirectory_.empty()) {
    return Report(base::Status::Unavailable(
        "SetCLType: no initial-data directory (LoadInitData has not run)"));
  }
  const std::string_view name = (v >= 0 && v <= 3) ? kClTypeNames[v] : kClTypeNames[4];
  config::ProfileFile ini(InitDataPath());
  return Report(ini.WriteString("OPTICS", "CL_TYPE", name));
}

}  // namespace tarvel::shm
