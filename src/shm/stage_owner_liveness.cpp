#include "shm/stage_owner_liveness.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shm/record_layout.h"

namespace tarvel::shm {
namespace {

constexpr mode_t kMode = 0660;

bool LockByte(int fd, short type) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = 0;
  l.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
}

}  // namespace

StageOwnerLiveness::~StageOwnerLiveness() {
  if (fd_ >= 0) ::close(fd_);
}

base::Result<bool> StageOwnerLiveness::TryHold() {
  if (held_) return true;
  if (fd_ < 0) {
    bool created = false;
    int fd = ::shm_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL, kMode);
    if (fd >= 0) {
      created = true;
      if (::fchmod(fd, kMode) != 0 || ::ftruncate(fd, sizeof(std::int32_t)) != 0) {
        const int err = errno;
        ::close(fd);
        return base::Status::FromErrno("creating " + name_, err);
      }
    } else if (errno == EEXIST) {
      fd = ::shm_open(name_.c_str(), O_RDWR, 0);
    }
    if (fd < 0) return base::Status::FromErrno("shm_open(" + name_ + ")", errno);
    struct stat st {};
    // Size 0: its creator has not sized it yet; sizing it here is harmless.
    if (!created && ::fstat(fd, &st) == 0 && st.st_size == 0 &&
        ::ftruncate(fd, sizeof(std::int32_t)) == 0) {
      st.st_size = sizeof(std::int32_t);
    }
    if (!created && ((st.st_mode & 07777 & ~kMode) != 0 ||
                     st.st_size < static_cast<off_t>(sizeof(std::int32_t)))) {
      ::close(fd);
      return base::Status::Corrupt("owner object " + name_ +
                                   " exists but is not fit (mode above 0660 or under 4 bytes)");
    }
    fd_ = fd;
  }
  if (LockByte(fd_, F_WRLCK)) {
    held_ = true;
    return true;
  }
  if (errno == EAGAIN || errno == EACCES) return false;
  return base::Status::FromErrno("fcntl(" + name_ + ", F_OFD_SETLK)", errno);
}

base::Result<std::int32_t> StageOwnerLiveness::CoveredId() const {
  std::int32_t id = kStageOwnerFree;
  if (fd_ < 0 || ::pread(fd_, &id, sizeof id, 0) != static_cast<ssize_t>(sizeof id))
    return base::Status::IOError("cannot read " + name_);
  return id;
}

base::Status StageOwnerLiveness::Cover(std::int32_t id) {
  if (!held_) return base::Status::InvalidArgument(name_ + " is not held");
  if (::pwrite(fd_, &id, sizeof id, 0) != static_cast<ssize_t>(sizeof id))
    return base::Status::FromErrno("pwrite(" + name_ + ")", errno);
  return base::Status::Ok();
}

void StageOwnerLiveness::Drop() {
  if (!held_) return;
  (void)Cover(kStageOwnerFree);
  (void)LockByte(fd_, F_UNLCK);
  held_ = false;
}

base::Status StageOwnerLiveness::Unlink(const std::string& objectName) {
  if (::shm_unlink(objectName.c_str()) != 0 && errno != ENOENT)
    return base::Status::FromErrno("shm_unlink(" + objectName + ")", errno);
  return base::Status::Ok();
}

}  // namespace tarvel::shm
