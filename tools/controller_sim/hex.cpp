#include "controller_sim/hex.h"

namespace tarvel::controller_sim {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.resize(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return out;
}

base::Result<std::vector<std::uint8_t>> ParseHex(std::string_view text) {
  if (text == "-") return std::vector<std::uint8_t>{};
  if (text.size() % 2 != 0) {
    return base::Status::InvalidArgument("hex text has an odd number of digits (" +
                                         std::to_string(text.size()) + ")");
  }
  std::vector<std::uint8_t> out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = DigitValue(text[2 * i]);
    const int lo = DigitValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      return base::Status::InvalidArgument("not a hex digit at offset " +
                                           std::to_string(hi < 0 ? 2 * i : 2 * i + 1));
    }
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return out;
}

}  // namespace tarvel::controller_sim
