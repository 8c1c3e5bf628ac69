// TSeekPosition: the map from a shared-record field (code, index) to its byte offset.
//
// Stateless. The offsets are those of the published record layouts, counted from the start of
// the section the code belongs to (record_layout.h). For an array area the index is the element
// index; for an area of named fields the low byte of the index selects the field.
//
// An index outside its area never reaches a neighbouring field: where the layout gives the area a
// default offset, that offset is returned; where it gives none (power modes, track-ball constants,
// device states and change flags, notification flags, Hard3 constants, alarm flags), the access is
// refused (no value). A code that no area belongs to is refused too, rather than landing on stage
// constant 0 as the original did.
#pragma once

#include <cstdint>
#include <optional>

namespace tarvel::shm {

class TSeekPosition {
 public:
  // The byte offset of the field, or nothing when the access is refused.
  static std::optional<std::uint32_t> Offset(std::uint8_t code, std::int32_t index);
};

}  // namespace tarvel::shm
