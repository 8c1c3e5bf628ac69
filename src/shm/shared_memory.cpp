#include "shm/shared_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarvel::shm {

void LogToStderr(const std::string& message) {
  std::fprintf(stderr, "shm: %s\n", message.c_str());
}

TSharedMemory::~TSharedMemory() = default;

base::Status TSharedMemory::Create(const std::string& name, int master, std::int32_t size,
                                   LogSink log) {
  section_.reset();
  name_ = name;
  size_ = size < 0 ? 0 : size;
  position_ = 0;
  if (!log) log = LogToStderr;
  if (name.empty() || name.find('/') != std::string::npos) {
    return base::Status::InvalidArgument("section name \"" + name + "\" is not a valid name");
  }
  const auto mode = master == 1 ? SharedSection::Mode::kCreate : SharedSection::Mode::kOpen;
  // A master adopts only its own user's section; a slave opens the master's, whoever runs it.
  const auto owner = master == 1 ? SharedSection::Owner::kSelf : SharedSection::Owner::kAnyone;
  auto opened = SharedSection::Open("/" + name, mode, static_cast<std::size_t>(size_), log, owner);
  if (!opened.ok()) {
    if (opened.status().code() != base::Status::Code::kNotFound) {
      log(std::string(master == 1 ? "Shared Memmory Failed (Master)"
                                  : "Shared Memmory Failed (Slave)") +
          ": " + opened.status().message());
    }
    return opened.status();
  }
  section_ = std::move(opened.value());
  return base::Status::Ok();
}

std::int32_t TSharedMemory::Read(void* buffer, std::int32_t count) {
  if (!section_) return -1;
  if (position_ < 0 || count < 0) return 0;
  const auto view = Memory();
  const std::int64_t available = static_cast<std::int64_t>(view.size()) - position_;
  if (available <= 0) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, available));
  if (n > 0) std::memcpy(buffer, view.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int32_t TSharedMemory::Write(const void* buffer, std::int32_t count) {
  if (!section_) return -1;
  if (position_ < 0 || count < 0 || static_cast<std::int64_t>(position_) + count <= 0) return 0;
  const auto view = Memory();
  if (static_cast<std::int64_t>(position_) + count > static_cast<std::int64_t>(view.size()))
    return -1;
  std::memcpy(view.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

std::int32_t TSharedMemory::Seek(std::int32_t offset, int origin) {
  // Arithmetic in 64 bits and wrapped like the original's 32-bit integers, so no overflow traps.
  auto wrap = [](std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  };
  switch (origin) {
    case kFromBeginning:
      position_ = offset;
      break;
    case kFromCurrent:
      position_ = wrap(static_cast<std::int64_t>(position_) + offset);
      break;
    case kFromEnd:
      position_ = wrap(static_cast<std::int64_t>(size_) + offset);
      break;
    default:
      break;
  }
  return position_;
}

}  // namespace tarvel::shm
