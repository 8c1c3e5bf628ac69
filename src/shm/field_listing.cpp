#include "shm/field_listing.h"

#include <cstdio>
#include <string_view>

#include "shm/field_catalog.h"
#include "shm/record_layout.h"

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

// "3484" for one element, "0+10i" for several.
std::string Offsets(const FieldInfo& f) {
  if (f.count == 1) return std::to_string(f.offset);
  return std::to_string(f.offset) + "+" + std::to_string(f.stride) + "i";
}

}  // namespace

std::string FieldListing() {
  std::string out;
  for (const RecordInfo& record : kRecords) {
    out += std::string(record.name) + " (" + std::to_string(record.size) + " bytes)\n";
    for (const FieldInfo& f : record.fields) {
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
