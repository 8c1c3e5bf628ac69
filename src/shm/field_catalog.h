// Field catalogue: every field of the five records with a name, for the command-line reader and
// the client library ("tarvel-shm OrvoStageData Position[4]").
//
// The fields are the record tables of record_fields.h (names are ours: the layout numbers fields
// by code and index), from which TSeekPosition is made too, so the catalogue cannot disagree
// with the transfers. An array field covers `count` consecutive record indexes from `index`; its
// elements are printed as Name[record index], and may have key names (the INI keys of the stage
// constants, power modes and track-ball constants). A name may stand for several fields of
// consecutive indexes (Reserved13, whose words are not evenly spaced).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shm/record_fields.h"

namespace tarvel::shm {

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
