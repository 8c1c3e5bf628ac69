#include "base/status.h"

#include <cstring>

namespace tarvel::base {

Status Status::FromErrno(const std::string& context, int err) {
  return Status(Code::kIOError, context + ": " + std::strerror(err));
}

}  // namespace tarvel::base
