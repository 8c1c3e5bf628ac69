#include "shm/shared_section.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

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

std::string ModeText(mode_t m) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(m & 07777));
  return buf;
}

// What makes an existing object unfit for adoption; empty when it is fit.
std::string Mismatch(const struct stat& st, std::size_t size, SharedSection::Owner owner) {
  std::string why;
  auto add = [&why](const std::string& s) { why += (why.empty() ? "" : ", ") + s; };
  if (owner == SharedSection::Owner::kSelf && st.st_uid != ::geteuid()) {
    add("owner uid " + std::to_string(st.st_uid) + " is not this process's uid " +
        std::to_string(::geteuid()));
  }
  // Our own objects are exactly 0660; another user's (a client's bitmap, the server's record seen
  // by a client) may be narrower, but never open to other users. So may one still of size 0,
  // whose creator (racing with us) has not come to its fchmod yet.
  const mode_t m = st.st_mode & 07777;
  const auto actual = static_cast<std::uintmax_t>(st.st_size);
  const bool exact = owner == SharedSection::Owner::kSelf && actual != 0;
  if (exact ? m != kMode : (m & ~kMode) != 0) add("mode " + ModeText(st.st_mode) + " is not 0660");
  // Size 0 is a creator that has not sized the object yet; the caller sizes it.
  if (actual != 0 && actual < size) {
    add("size " + std::to_string(actual) + " is smaller than " + std::to_string(size) + " bytes");
  }
  return why;
}

}  // namespace

base::Result<std::unique_ptr<SharedSection>> SharedSection::Open(const std::string& objectName,
                                                                 Mode mode, std::size_t size,
                                                                 LogSink log, Owner owner) {
  bool created = false;
  int fd = -1;
  if (mode == Mode::kCreate) {
    fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL, kMode);
    if (fd >= 0) {
      created = true;
      // The umask may have narrowed the mode; the contract says 0660.
      if (::fchmod(fd, kMode) != 0) {
        const int err = errno;
        ::close(fd);
        return base::Status::FromErrno("fchmod(" + objectName + ", 0660)", err);
      }
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
  if (!created) {
    const std::string why = Mismatch(st, size, owner);
    if (!why.empty()) {
      return base::Status::Corrupt("shared object " + objectName +
                                   " exists but is not fit: " + why + "; it was left untouched");
    }
  }
  std::size_t actual = static_cast<std::size_t>(st.st_size);
  if (actual == 0 && size > 0 && mode == Mode::kCreate) {
    // Never shrinks or grows an object with a size: other processes may have it mapped. One of
    // size 0 is a creator's that has not sized it yet; sizing it (and, when it is ours, giving it
    // its mode) is what that creator does next anyway.
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      return base::Status::FromErrno("ftruncate(" + objectName + ")", errno);
    }
    if (st.st_uid == ::geteuid()) (void)::fchmod(fd, kMode);
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
