#include "controller_sim/system_unit.h"

#include <cstdio>
#include <ctime>

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "base/code_page.h"
#include "link/frame_format.h"

namespace tarvel::controller_sim {
namespace {

constexpr const char* kTimeFormat = "%Y/%m/%d %H:%M:%S";  // "yyyy/mm/dd hh:mm:ss"

std::string FormatLocal(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  const std::size_t n = std::strftime(buf, sizeof(buf), kTimeFormat, &tm);
  return std::string(buf, n);
}

// Parses "yyyy/mm/dd hh:mm:ss" as local time; nullopt when the text has another shape.
std::optional<std::time_t> ParseLocal(const std::string& text) {
  std::tm tm{};
  char rest = 0;
  if (std::sscanf(text.c_str(), "%4d/%2d/%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                  &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &rest) != 6) {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return t;
}

}  // namespace

SystemUnit::SystemUnit(SystemIdentity identity) : identity_(std::move(identity)) {}

std::string SystemUnit::timeText() const {
  if (!identity_.fixedTime.empty()) return identity_.fixedTime;
  return FormatLocal(std::time(nullptr) + clockOffset_.count());
}

std::optional<std::vector<std::uint8_t>> SystemUnit::reportPayload(std::int32_t item) const {
  base::ByteWriter w;
  auto text = [&w](const std::string& utf8) { w.cstring(base::Utf8ToCp932(utf8)); };
  switch (item) {
    case kItemAll:
      text(identity_.protocol);
      text(timeText());
      text(identity_.name);
      text(identity_.version);
      text(identity_.hardType);
      w.i32be(identity_.modifyFlag)
          .i32be(identity_.vacGaugeType)
          .i32be(identity_.apertureType)
          .i32be(identity_.detectorType)
          .i32be(identity_.eGunType)
          .i32be(identity_.dataInitialized);
      break;
    case kItemProtocol:
      text(identity_.protocol);
      break;
    case kItemTime:
      text(timeText());
      break;
    case kItemName:
      text(identity_.name);
      break;
    case kItemVersion:
      text(identity_.version);
      break;
    case kItemHardType:
      text(identity_.hardType);
      break;
    case kItemModifyFlag:
      w.i32be(identity_.modifyFlag);
      break;
    case kItemVacGaugeType:
      w.i32be(identity_.vacGaugeType);
      break;
    case kItemApertureType:
      w.i32be(identity_.apertureType);
      break;
    case kItemDetectorType:
      w.i32be(identity_.detectorType);
      break;
    case kItemEGunType:
      w.i32be(identity_.eGunType);
      break;
    case kItemDataInitialized:
      w.i32be(identity_.dataInitialized);
      break;
    case kItemSync:
      w.i32be(lastSyncId_);
      break;
    default:
      return std::nullopt;
  }
  return w.take();
}

bool SystemUnit::report(std::int32_t item, std::vector<OutFrame>& out) {
  std::optional<std::vector<std::uint8_t>> payload = reportPayload(item);
  if (!payload) return false;
  out.push_back({{unitId(), item, link::kModeRequest}, std::move(*payload)});
  return true;
}

void SystemUnit::receive(link::FrameIds ids, std::span<const std::uint8_t> payload,
                         std::vector<OutFrame>& replies) {
  base::ByteReader r(payload);
  if (ids.item == kItemSync) {
    // A sync request without its id cannot be echoed; a real controller would not answer it.
    std::int32_t id = 0;
    if (ids.mode != link::kModeSet && ids.mode != link::kModeRequest) return;
    if (!r.readI32be(&id)) return;
    lastSyncId_ = id;
    report(kItemSync, replies);
    return;
  }
  if (ids.mode == link::kModeRequest) {
    if (ids.item >= kItemAll && ids.item <= kItemDataInitialized) report(ids.item, replies);
    return;
  }
  if (ids.mode != link::kModeSet) return;
  if (ids.item == kItemTime) {
    std::string text;
    if (!r.readCString(&text)) return;
    const std::string utf8 = base::Cp932ToUtf8(text);
    if (std::optional<std::time_t> t = ParseLocal(utf8)) {
      identity_.fixedTime.clear();
      clockOffset_ = std::chrono::seconds(*t - std::time(nullptr));
    } else {
      identity_.fixedTime = utf8;  // an odd text is reported back as it came
    }
  } else if (ids.item == kItemDataInitialized) {
    std::int32_t flag = 0;
    if (r.readI32be(&flag)) identity_.dataInitialized = flag;
  }
}

}  // namespace tarvel::controller_sim
