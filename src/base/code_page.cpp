#include "base/code_page.h"

#include <iconv.h>

#include <cerrno>

namespace tarvel::base {
namespace {

// Converts with iconv, replacing each byte that does not convert by `replacement` (already in
// the target encoding) and going on after it.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, bool sourceIsUtf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);  // no converter: pass through
  std::string out;
  out.reserve(in.size() * 2 + 4);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char buf[256];
  while (srcLeft > 0) {
    char* dst = buf;
    std::size_t dstLeft = sizeof(buf);
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a cut sequence at the end): replace one byte and resynchronise.
      out.append(replacement);
      ++src;
      --srcLeft;
      // One replacement per character: skip the rest of a multi-byte UTF-8 sequence.
      while (sourceIsUtf8 && srcLeft > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
        ++src;
        --srcLeft;
      }
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buf;
  std::size_t dstLeft = sizeof(buf);
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buf, static_cast<std::size_t>(dst - buf));
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
  return Convert("CP932", "UTF-8", utf8, "?", true);
}

std::string Cp932ToUtf8(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932, "\xEF\xBF\xBD", false);
}

}  // namespace tarvel::base
