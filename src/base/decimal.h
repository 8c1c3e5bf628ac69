// Decimal numbers in text: read and written with "." as the decimal point whatever the process
// locale (Qt sets the C locale from the environment, and strtod then wants "1,5" in de_DE).
//
// Every file the system reads or writes (INI, initial data, coefficients, constants) goes
// through these, as do the tools' command lines. Stateless and thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvel::base {

// The whole text is a decimal integer: an optional sign and digits. Nothing when it is not, or
// when it does not fit 64 bits.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// The whole text is a real: an optional sign, digits with an optional "." fraction and an
// optional exponent ("1.5", "-2e3", ".5"), or inf/nan as strtod reads them in the C locale.
// Nothing when it is not, or when it is out of the double range.
std::optional<double> ParseReal(std::string_view text);

// The classic profile-integer read: leading blanks, an optional sign and the digits that follow;
// 0 when there are none; saturated at the 64-bit range.
std::int64_t LeadingInteger(std::string_view text);

// The shortest text that reads back as the same double ("0.46", "1e+20", "-0"), with ".".
std::string FormatReal(double v);

}  // namespace tarvel::base
