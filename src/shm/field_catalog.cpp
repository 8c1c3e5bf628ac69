#include "shm/field_catalog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace tarvel::shm {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<FieldRef> Ref(const FieldInfo& f, int k) {
  if (k < 0 || k >= f.count) return std::nullopt;
  return FieldRef{&f, f.index + k, f.OffsetOf(k)};
}

}  // namespace

std::span<const FieldInfo> FieldsOf(std::string_view record) {
  for (const RecordInfo& r : kRecords)
    if (r.name == record) return r.fields;
  return {};
}

std::optional<FieldRef> FindField(std::string_view record, std::string_view text) {
  std::string_view name = text;
  std::string_view sub;
  const auto open = text.find('[');
  if (open != std::string_view::npos) {
    if (text.back() != ']') return std::nullopt;
    name = text.substr(0, open);
    sub = text.substr(open + 1, text.size() - open - 2);
  }
  for (const FieldInfo& f : FieldsOf(record)) {
    if (!EqualsIgnoreCase(f.name, name)) continue;
    if (open == std::string_view::npos) {
      if (f.count == 1) return Ref(f, 0);
      continue;
    }
    std::int64_t index = 0;
    const auto [p, ec] = std::from_chars(sub.data(), sub.data() + sub.size(), index);
    if (ec == std::errc() && p == sub.data() + sub.size()) {
      // Another field of the same name may hold this index.
      if (index >= f.index && index < f.index + f.count)
        return Ref(f, static_cast<int>(index - f.index));
      continue;
    }
    for (std::size_t k = 0; k < f.elementNames.size(); ++k) {
      if (!f.elementNames[k].empty() && EqualsIgnoreCase(f.elementNames[k], sub))
        return Ref(f, static_cast<int>(k));
    }
  }
  return std::nullopt;
}

std::string ElementLabel(const FieldInfo& f, int k) {
  std::string label(f.name);
  if (f.count > 1) label += "[" + std::to_string(f.index + k) + "]";
  return label;
}

}  // namespace tarvel::shm
