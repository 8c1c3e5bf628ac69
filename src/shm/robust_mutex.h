// RobustMutex: a named, process-shared, robust pthread mutex (the platform adaptor behind TMutex).
//
// Mutex "Name_MUT" is the POSIX shared-memory object "/Name_MUT" of kObjectSize bytes:
//   offset 0, 8 bytes: the initialisation word, atomically updated; low 32 bits the state
//                      (0 fresh, 1 being initialised, 2 ready), high 32 bits the pid of the
//                      process initialising it;
//   offset 64:         the pthread_mutex_t (process-shared, robust, recursive like a Windows
//                      mutex).
// Every opener creates the object if it is missing. The opener that moves the word from 0 to 1
// initialises the mutex and then stores 2; the others wait (at most kInitWaitMs) for 2. If the
// initialiser died half-way (its pid no longer exists), the next opener takes over. The client
// library (tools/shm_client) uses this same code, so all processes share one protocol.
//
// A wait is pthread_mutex_timedlock on CLOCK_REALTIME, as POSIX requires. EOWNERDEAD (the holder
// died) is the abandoned case: the mutex is made consistent and the caller holds it. Owns the
// mapping; copying is deleted. Nothing is unlinked on destruction, and the destructor never throws.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <memory>
#include <string>

#include "base/status.h"
#include "shm/shared_section.h"

namespace tarvel::shm {

class RobustMutex {
 public:
  static constexpr std::size_t kObjectSize = 128;
  static constexpr std::size_t kMutexOffset = 64;
  static constexpr int kInitWaitMs = 1000;

  // `objectName` is the POSIX name with its leading "/".
  static base::Result<std::unique_ptr<RobustMutex>> Open(const std::string& objectName,
                                                         LogSink log = {});
  static base::Status Unlink(const std::string& objectName) {
    return SharedSection::Unlink(objectName);
  }

  ~RobustMutex() = default;
  RobustMutex(const RobustMutex&) = delete;
  RobustMutex& operator=(const RobustMutex&) = delete;

  // Waits at most `timeoutMs` (0 = try once). Ok: held (recursively if already held by this
  // thread); *recovered tells whether a dead holder's lock was taken over. Timeout: not held.
  // Any other failure: not held, with the call's error.
  base::Status Lock(int timeoutMs, bool* recovered = nullptr);
  // Releases one level of a hold taken by Lock.
  base::Status Unlock();

  const std::string& objectName() const { return section_->objectName(); }

 private:
  explicit RobustMutex(std::unique_ptr<SharedSection> section) : section_(std::move(section)) {}
  static int TimedLock(pthread_mutex_t* m, int timeoutMs);
  base::Status Finish(pthread_mutex_t* m, int rc, int timeoutMs, bool* recovered);

  const std::unique_ptr<SharedSection> section_;
};

}  // namespace tarvel::shm
