// Conversion between UTF-8 (people, D-Bus, logs) and the 8-bit Japanese code page CP932 that
// frames, shared records and files hold. Bad sequences become '?' (toward CP932) or U+FFFD
// (toward UTF-8); a conversion never fails.
#pragma once

#include <string>
#include <string_view>

namespace tarvel::base {

std::string Utf8ToCp932(std::string_view utf8);
std::string Cp932ToUtf8(std::string_view cp932);

}  // namespace tarvel::base
