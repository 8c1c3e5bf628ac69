// Hex text for the simulator's log and its stdin commands.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tarvel::controller_sim {

// Lower-case hex, two digits per byte, no separators.
std::string ToHex(std::span<const std::uint8_t> bytes);

// Parses an even number of hex digits (either case). "-" and "" are the empty byte string.
base::Result<std::vector<std::uint8_t>> ParseHex(std::string_view text);

}  // namespace tarvel::controller_sim
