#include "config/paths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <system_error>

namespace tarvel::config {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::filesystem::path OrvoRoot() {
  const char* env = std::getenv("TARVEL_ORVO_ROOT");
  return (env && *env) ? std::filesystem::path(env) : std::filesystem::path("/opt/ORVO");
}

std::filesystem::path NativePath(std::string_view windowsPath) {
  std::string p(windowsPath);
  std::replace(p.begin(), p.end(), '\\', '/');
  // A drive-letter path under C:/ORVO maps onto the ORVO root; any other drive path keeps its
  // folders below the root's parent is not meaningful here, so it is taken relative to the root.
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    std::string rest = p.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
    const std::string_view orvo = "ORVO";
    if (rest.size() >= orvo.size() && EqualsIgnoreCase(std::string_view(rest).substr(0, 4), orvo) &&
        (rest.size() == 4 || rest[4] == '/')) {
      rest = rest.size() > 5 ? rest.substr(5) : std::string();
      return rest.empty() ? OrvoRoot() : OrvoRoot() / rest;
    }
    return OrvoRoot().parent_path() / rest;
  }
  return std::filesystem::path(p);
}

std::filesystem::path ResolveCaseInsensitive(const std::filesystem::path& p) {
  std::error_code ec;
  if (p.empty() || std::filesystem::exists(p, ec)) return p;
  std::filesystem::path built;
  for (const auto& part : p) {
    const std::filesystem::path candidate = built / part;
    if (built.empty() && (part == "/" || part == "." || part == "..")) {
      built = candidate;
      continue;
    }
    if (part == "." || part == ".." || std::filesystem::exists(candidate, ec)) {
      built = candidate;
      continue;
    }
    const std::filesystem::path dir = built.empty() ? std::filesystem::path(".") : built;
    std::filesystem::path match;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (EqualsIgnoreCase(it->path().filename().string(), part.string())) {
        match = it->path().filename();
        break;
      }
    }
    if (match.empty()) return p;  // not there under any spelling
    built /= match;
  }
  return built;
}

}  // namespace tarvel::config
