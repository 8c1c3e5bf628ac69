// Field catalogue: every field of the five records with a name, for the command-line reader and
// the client library ("tarvel-shm OrvoStageData Position[4]").
//
// Names are ours (the layout numbers fields by code and index); offsets are not stored here but
// come from TSeekPosition, so the catalogue cannot disagree with the transfers. An array field
// covers `count` consecutive record indexes from `index`; its elements are printed as
// Name[record index], and may have key names (the INI keys of the stage constants, power modes
// and track-ball constants).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shm/record_layout.h"

namespace tarvel::shm {

struct FieldInfo {
  std::string_view name;
  std::uint8_t code;
  std::int32_t index;  // record index of the first element
  int count;           // 1 for a single field
  ValueType type;
  int width;                                       // bytes of one element
  bool text;                                       // a block holding NUL-terminated CP932 text
  std::span<const std::string_view> elementNames;  // empty or `count` names ("" = none)
};

// The fields of a record, in offset order; empty for an unknown record name.
std::span<const FieldInfo> FieldsOf(std::string_view record);

// One element of a field, as text parsed from "Name", "Name[i]" (i a record index) or
// "Name[KEY]" (an element's key name, any case).
struct FieldRef {
  const FieldInfo* field;
  std::int32_t index;  // record index
  std::uint32_t offset;
};
std::optional<FieldRef> FindField(std::string_view record, std::string_view text);

// "Name" or "Name[i]" for element k of a field.
std::string ElementLabel(const FieldInfo& f, int k);

}  // namespace tarvel::shm
