// TSeekPosition: the map from a shared-record field (code, index) to its byte offset.
//
// Stateless. The offsets come from the field tables (record_fields.h), counted from the start of
// the section the code belongs to, and are resolved at compile time. For an array area the index is
// the element index; for an area of named fields the low byte of the index selects the field.
//
// An index outside its area never reaches a neighbouring field: where the layout gives the area a
// default offset, that offset is returned; where it gives none (power modes, track-ball constants,
// device states and change flags, notification flags, Hard3 constants, alarm flags), the access is
// refused (no value). A code that no area belongs to is refused too, rather than landing on stage
// constant 0 as the original did.
#pragma once

#include <cstdint>
#include <optional>

#include "shm/record_layout.h"

namespace tarvel::shm {

// The field an access lands on: its offset, the width of one element and its type.
struct FieldSlot {
  std::uint16_t offset;
  std::uint16_t width;
  ValueType type;
};

class TSeekPosition {
 public:
  // The field selected by (code, index) (static storage), or null when the access is refused.
  static const FieldSlot* Slot(std::uint8_t code, std::int32_t index);
  // The byte offset of the field, or nothing when the access is refused.
  static std::optional<std::uint32_t> Offset(std::uint8_t code, std::int32_t index);
};

}  // namespace tarvel::shm
