#include "shm/shared_section.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvel::shm {
namespace {

constexpr mode_t kMode = 0660;

// Closes a descriptor when it leaves scope; the mapping keeps the object alive.
struct FdGuard {
  int fd;
  ~FdGuard() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

base::Result<std::unique_ptr<SharedSection>> SharedSection::Open(const std::string& objectName,
                                                                 Mode mode, std::size_t size,
                                                                 LogSink log) {
  bool created = false;
  int fd = -1;
  if (mode == Mode::kCreate) {
    fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL, kMode);
    if (fd >= 0) {
      created = true;
      // The umask may have narrowed the mode; the contract says 0660.
      (void)::fchmod(fd, kMode);
    } else if (errno == EEXIST) {
      fd = ::shm_open(objectName.c_str(), O_RDWR, 0);
    }
    if (fd < 0) return base::Status::FromErrno("shm_open(" + objectName + ", create)", errno);
  } else {
    fd = ::shm_open(objectName.c_str(), O_RDWR, 0);
    if (fd < 0) {
      if (errno == ENOENT)
        return base::Status::NotFound("shared section " + objectName + " does not exist");
      return base::Status::FromErrno("shm_open(" + objectName + ")", errno);
    }
  }
  FdGuard guard{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) return base::Status::FromErrno("fstat(" + objectName + ")", errno);
  std::size_t actual = static_cast<std::size_t>(st.st_size);
  if (mode == Mode::kCreate && actual < size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      return base::Status::FromErrno("ftruncate(" + objectName + ")", errno);
    }
    actual = size;
  }
  // An object of size 0 is one whose creator has not sized it yet (or never will).
  if (actual == 0) return base::Status::Unavailable("shared section " + objectName + " is empty");

  void* p = ::mmap(nullptr, actual, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return base::Status::FromErrno("mmap(" + objectName + ")", errno);
  return std::unique_ptr<SharedSection>(new SharedSection(objectName, static_cast<std::uint8_t*>(p),
                                                          actual, created, std::move(log)));
}

base::Status SharedSection::Unlink(const std::string& objectName) {
  if (::shm_unlink(objectName.c_str()) != 0 && errno != ENOENT) {
    return base::Status::FromErrno("shm_unlink(" + objectName + ")", errno);
  }
  return base::Status::Ok();
}

SharedSection::~SharedSection() {
  if (::munmap(base_, size_) != 0) {
    const int err = errno;
    try {
      if (log_) log_(base::Status::FromErrno("Error unmapping view " + name_, err).message());
    } catch (...) {
      // A destructor must not throw; the failure is lost.
    }
  }
}

}  // namespace tarvel::shm
