// StageOwnerLiveness: whether the process that owns the stage through the client library is
// still alive, so that a client that died owning the stage does not keep it owned until the
// server restarts.
//
// The object "/<stage section>_OWNER" (4 bytes, mode 0660) holds the owner ID it covers. The
// owning process keeps an open-file-description write lock (F_OFD_SETLK) on its first byte;
// the kernel drops the lock when the description is closed, so also when the process dies. An
// acquirer that can take the lock while the stage record names the covered ID knows the owner
// is gone. Owners that never took the lock (the server, raw clients) are never judged.
//
// Owns the descriptor; copying is deleted. One per client handle; not thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"

namespace tarvel::shm {

class StageOwnerLiveness {
 public:
  explicit StageOwnerLiveness(std::string objectName) : name_(std::move(objectName)) {}
  ~StageOwnerLiveness();
  StageOwnerLiveness(const StageOwnerLiveness&) = delete;
  StageOwnerLiveness& operator=(const StageOwnerLiveness&) = delete;

  // Takes the lock (opening or creating the object first). False when another live process
  // holds it.
  base::Result<bool> TryHold();
  bool held() const { return held_; }
  // With the lock held: the owner ID the object covers, and recording a new one (-2 none).
  base::Result<std::int32_t> CoveredId() const;
  base::Status Cover(std::int32_t id);
  // Records no owner and gives the lock up.
  void Drop();

  static base::Status Unlink(const std::string& objectName);

 private:
  const std::string name_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace tarvel::shm
