// The field list of the five records as text, and the layout identifier derived from it.
//
// The list is what tools/shm_client/tarvel_shm.h prints between its "BEGIN FIELDS" and
// "END FIELDS" lines, one field a line: name, code, index range, type, byte offset of each
// element. It is made from the field catalogue, so a test can check the header against the
// records; the layout identifier is the 32-bit FNV-1a hash of that text, so any change of a
// name, code, index, type or offset changes it. Stateless.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel::shm {

std::string FieldListing();
std::uint32_t LayoutId();

}  // namespace tarvel::shm
