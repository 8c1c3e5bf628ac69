// The magnification field-width table, indexed by magnification code 0..23 (micrometres).
// Shared by the command catalogue's blanking check and the optics publication.
#pragma once

#include <array>

namespace tarvel::link {

inline constexpr std::array<double, 24> kFieldWidthTable{2400, 1500, 1200, 800, 600, 400, 240, 150,
                                                         120,  80,   60,   40,  24,  15,  12,  8,
                                                         6,    4,    2.4,  1.5, 1.2, 0.8, 0.6, 0.4};

}  // namespace tarvel::link
