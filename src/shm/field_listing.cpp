#include "shm/field_listing.h"

#include <cstdio>
#include <string_view>

#include "shm/field_catalog.h"
#include "shm/record_layout.h"
#include "shm/seek_position.h"

namespace tarvel::shm {
namespace {

const char* TypeName(ValueType t, bool text) {
  switch (t) {
    case ValueType::kByte:
      return "BYTE";
    case ValueType::kInt16:
      return "INT16";
    case ValueType::kInt32:
      return "INT32";
    case ValueType::kWord32:
      return "WORD32";
    case ValueType::kDouble:
      return "DOUBLE";
    case ValueType::kExtended:
      return "EXTENDED";
    case ValueType::kBlock:
      return text ? "TEXT" : "BLOCK";
  }
  return "?";
}

// "3484", "0+10i" for evenly spaced elements, or the list when they are not.
std::string Offsets(const FieldInfo& f) {
  const auto first = TSeekPosition::Offset(f.code, f.index).value_or(0);
  if (f.count == 1) return std::to_string(first);
  const auto second = TSeekPosition::Offset(f.code, f.index + 1).value_or(0);
  const std::uint32_t step = second - first;
  bool even = true;
  for (int k = 2; k < f.count; ++k)
    even &= TSeekPosition::Offset(f.code, f.index + k).value_or(0) == first + step * k;
  if (even) return std::to_string(first) + "+" + std::to_string(step) + "i";
  std::string list;
  for (int k = 0; k < f.count; ++k) {
    if (k) list += ",";
    list += std::to_string(TSeekPosition::Offset(f.code, f.index + k).value_or(0));
  }
  return list;
}

}  // namespace

std::string FieldListing() {
  std::string out;
  for (std::string_view record : kRecordNames) {
    out += std::string(record) + " (" + std::to_string(RecordSize(record)) + " bytes)\n";
    for (const FieldInfo& f : FieldsOf(record)) {
      const std::string range =
          f.count == 1 ? std::to_string(f.index)
                       : std::to_string(f.index) + ".." + std::to_string(f.index + f.count - 1);
      char line[160];
      std::snprintf(line, sizeof line, "  %-19s %3d  %-8s %-8s %s", std::string(f.name).c_str(),
                    f.code, range.c_str(), TypeName(f.type, f.text), Offsets(f).c_str());
      out += line;
      if (f.type == ValueType::kBlock) out += " (" + std::to_string(f.width) + " bytes)";
      out += "\n";
    }
  }
  return out;
}

std::uint32_t LayoutId() {
  std::uint32_t h = 2166136261u;
  for (const char c : FieldListing()) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

}  // namespace tarvel::shm
