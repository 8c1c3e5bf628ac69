#include "shm/seek_position.h"

#include "shm/record_fields.h"

namespace tarvel::shm {
namespace {

// Every (code, selector) resolved at compile time from the field tables: the selector is the
// index (areas of arrays, 0..255 suffice for all of them) or its low byte (areas of named
// fields). kRefused where no field and no default applies.
constexpr std::uint16_t kRefused = 0xFFFF;
constexpr int kSelectors = 256;
using Slots = std::array<std::array<FieldSlot, kSelectors>, kCodeCount>;

constexpr Slots Build() {
  Slots s{};
  for (auto& area : s)
    for (auto& slot : area) slot = FieldSlot{kRefused, 0, ValueType::kBlock};
  for (const RecordInfo& rec : kRecords) {
    for (const FieldInfo& f : rec.fields) {
      for (int k = 0; k < f.count && f.index + k < kSelectors; ++k) {
        s[f.code][f.index + k] = FieldSlot{static_cast<std::uint16_t>(f.OffsetOf(k)),
                                           static_cast<std::uint16_t>(f.width), f.type};
      }
    }
  }
  for (int c = 0; c < kCodeCount; ++c) {
    if (kAreaRules[c].defaultIndex < 0) continue;
    const FieldSlot fallback = s[c][kAreaRules[c].defaultIndex];
    for (auto& slot : s[c])
      if (slot.offset == kRefused) slot = fallback;
  }
  return s;
}

constexpr Slots kSlots = Build();
static_assert(kSlots[code::kOptics][13].offset == 3132 && kSlots[code::kOptics][14].offset == 3134);

}  // namespace

const FieldSlot* TSeekPosition::Slot(std::uint8_t code, std::int32_t index) {
  if (code >= kCodeCount) return nullptr;
  const AreaRule& rule = kAreaRules[code];
  int k = 0;
  if (rule.lowByte) {
    k = static_cast<int>(static_cast<std::uint32_t>(index) & 0xFF);
  } else if (index >= 0 && index < kSelectors) {
    k = index;
  } else {
    // Outside every array: the area's default, if it has one.
    if (rule.defaultIndex < 0) return nullptr;
    k = rule.defaultIndex;
  }
  const FieldSlot& s = kSlots[code][k];
  return s.offset == kRefused ? nullptr : &s;
}

std::optional<std::uint32_t> TSeekPosition::Offset(std::uint8_t code, std::int32_t index) {
  const FieldSlot* s = Slot(code, index);
  if (!s) return std::nullopt;
  return s->offset;
}

}  // namespace tarvel::shm
