#include "base/decimal.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace tarvel::base {
namespace {

// from_chars takes no "+"; a leading one is allowed as strtod allows it, but not "+-1".
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  text = WithoutPlus(text);
  std::int64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
  return v;
}

std::optional<double> ParseReal(std::string_view text) {
  text = WithoutPlus(text);
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
  if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
  return v;
}

std::int64_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int d = text[i] - '0';
    if (!negative && v > (std::numeric_limits<std::int64_t>::max() - d) / 10)
      return std::numeric_limits<std::int64_t>::max();
    if (negative && v < (std::numeric_limits<std::int64_t>::min() + d) / 10)
      return std::numeric_limits<std::int64_t>::min();
    v = negative ? v * 10 - d : v * 10 + d;
  }
  return v;
}

std::string FormatReal(double v) {
  char buf[64];
  const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, p) : std::string();
}

}  // namespace tarvel::base
