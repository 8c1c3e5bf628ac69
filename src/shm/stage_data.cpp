#include "shm/stage_data.h"

#include <cstring>
#include <random>

#include "base/byte_reader.h"

namespace tarvel::shm {
namespace {

constexpr std::uint8_t kCode = code::kStage;
constexpr int kOwnerNameIndex = 22;
constexpr int kOwnerIdIndex = 23;

bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::int32_t DrawOwnerId() {
  static std::mt19937 gen{std::random_device{}()};
  return std::uniform_int_distribution<std::int32_t>(1, 999)(gen);
}

}  // namespace

std::string_view CutCp932(std::string_view text, std::size_t max) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + w > max || i + w > text.size()) break;
    i += w;
  }
  return text.substr(0, i);
}

TOrvoStageData::TOrvoStageData(bool master, RecordOptions options)
    : TOrvoSharedData(std::string(kStageRecord), master, std::move(options)) {
  if (master && IsOpen()) (void)WriteI32(kCode, kOwnerIdIndex, kStageOwnerFree);
}

base::Status TOrvoStageData::PublishStage(std::int32_t moving, std::int32_t status, float x,
                                          float y, std::int32_t z, std::int32_t t, std::int32_t r,
                                          std::span<const std::int32_t, kStageDetailCount> detail) {
  return Locked([&](HeldRecord& h) {
    bool ok = h.WriteI16(kCode, 0, moving != 0 ? -1 : 0) && h.WriteI32(kCode, 1, status) &&
              h.WriteExtended(kCode, 7, x) && h.WriteExtended(kCode, 8, y) &&
              h.WriteI32(kCode, 4, z) && h.WriteI32(kCode, 5, t) && h.WriteI32(kCode, 6, r);
    for (int k = 0; ok && k < kStageDetailCount; ++k) ok = h.WriteI32(kCode, 12 + k, detail[k]);
    return ok;
  });
}

base::Status TOrvoStageData::SetStageXYReal(double x, double y) {
  return Locked(
      [&](HeldRecord& h) { return h.WriteExtended(kCode, 7, x) && h.WriteExtended(kCode, 8, y); });
}

base::Status TOrvoStageData::SetAxisPosition(std::int32_t axis, std::int32_t v) {
  const int a = axis & 0x7F;
  const int index = (a >= 1 && a <= 4) ? 2 + a : 2;
  return WriteI32(kCode, index, v);
}

base::Status TOrvoStageData::SetStageDetail(
    std::span<const std::int32_t, kStageDetailCount> words) {
  return Locked([&](HeldRecord& h) {
    for (int k = 0; k < kStageDetailCount; ++k) {
      if (!h.WriteI32(kCode, 12 + k, words[k])) return false;
    }
    return true;
  });
}

base::Result<StagePosition> TOrvoStageData::GetStagePosition() {
  StagePosition p;
  std::int32_t z = 0, t = 0, r = 0;
  base::Status st = Locked([&](HeldRecord& h) {
    return h.ReadExtended(kCode, 7, &p.x) && h.ReadExtended(kCode, 8, &p.y) &&
           h.ReadI32(kCode, 4, &z) && h.ReadI32(kCode, 5, &t) && h.ReadI32(kCode, 6, &r);
  });
  if (!st.ok()) return st;
  p.z = z;
  p.t = t;
  p.r = r;
  return p;
}

base::Result<double> TOrvoStageData::GetStageAxis(std::int32_t a) {
  if (a == 0 || a == 1) return ReadExtended(kCode, 7 + a);
  const int index = a == 3 ? 5 : a == 4 ? 6 : 4;
  auto v = ReadI32(kCode, index);
  if (!v.ok()) return v.status();
  return static_cast<double>(*v);
}

base::Result<std::array<std::int32_t, 5>> TOrvoStageData::GetAxisPositions() {
  std::array<std::int32_t, 5> p{};
  base::Status st = Locked([&](HeldRecord& h) {
    for (int k = 0; k < 5; ++k) {
      if (!h.ReadI32(kCode, 2 + k, &p[k])) return false;
    }
    return true;
  });
  if (!st.ok()) return st;
  return p;
}

base::Result<std::int16_t> TOrvoStageData::GetStageMoving() {
  return ReadI16(kCode, 0);
}
base::Result<std::int16_t> TOrvoStageData::GetJogState() {
  return ReadI16(kCode, 24);
}

base::Result<std::int32_t> TOrvoStageData::AcquireStageOwner(std::string_view name) {
  return AcquireStageOwner(name, {}, {});
}

base::Result<std::int32_t> TOrvoStageData::AcquireStageOwner(
    std::string_view name, const std::function<bool(std::int32_t)>& ownerGone,
    const std::function<void(std::int32_t)>& acquired) {
  const std::string_view stored = CutCp932(name, kStageOwnerNameWidth - 1);
  std::int32_t result = -1;
  base::Status st = Locked([&](HeldRecord& h) {
    std::int32_t id = 0;
    if (!h.ReadI32(kCode, kOwnerIdIndex, &id)) return false;
    if (id > 0 && !(ownerGone && ownerGone(id))) {
      result = -1;
      return true;
    }
    std::uint8_t text[kStageOwnerNameWidth] = {};
    std::memcpy(text, stored.data(), stored.size());
    // The name and its NUL; the rest of the 100 bytes keeps what was there.
    if (!h.Write(kCode, kOwnerNameIndex, std::span<const std::uint8_t>(text, stored.size() + 1)))
      return false;
    result = DrawOwnerId();
    if (!h.WriteI32(kCode, kOwnerIdIndex, result)) return false;
    if (acquired) acquired(result);
    return true;
  });
  if (!st.ok()) return st;
  return result;
}

base::Status TOrvoStageData::ReleaseStageOwner(std::int32_t id) {
  return Locked([&](HeldRecord& h) {
    std::int32_t stored = 0;
    if (!h.ReadI32(kCode, kOwnerIdIndex, &stored)) return false;
    if (stored != id) return true;
    const std::uint8_t nul = 0;
    return h.Write(kCode, kOwnerNameIndex, std::span<const std::uint8_t>(&nul, 1)) &&
           h.WriteI32(kCode, kOwnerIdIndex, kStageOwnerFree);
  });
}

base::Result<std::string> TOrvoStageData::GetStageOwnerName() {
  std::uint8_t raw[kStageOwnerNameWidth];
  base::Status st = ReadBlock(kCode, kOwnerNameIndex, raw);
  if (!st.ok()) return st;
  // Another process may have left no terminator: the text then ends with the field.
  base::ByteReader r(raw);
  std::string name;
  (void)r.readFixedString(kStageOwnerNameWidth, &name);
  return name;
}

base::Result<std::int32_t> TOrvoStageData::GetStageOwnerID() {
  return ReadI32(kCode, kOwnerIdIndex);
}

}  // namespace tarvel::shm
