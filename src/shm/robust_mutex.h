// RobustMutex: a named, process-shared, robust pthread mutex (the platform adaptor behind TMutex).
//
// Mutex "Name_MUT" is the POSIX shared-memory object "/Name_MUT" of kObjectSize bytes:
//   offset 0, 8 bytes: the initialisation word, atomically updated; low 32 bits the state
//                      (0 fresh, 1 being initialised, 2 ready). In state 1 the high 32 bits are
//                      the pid of the process initialising it; in state 2 a generation that each
//                      re-initialisation changes, so a process can tell the mutex it failed on
//                      from a fresh one;
//   offset 64:         the pthread_mutex_t (process-shared, robust, recursive like a Windows
//                      mutex).
// Every opener creates the object if it is missing (an existing one is checked as
// SharedSection says). Whoever moves the word from 0 to 1 initialises the mutex and stores 2.
// The client library (tools/shm_client) uses this same code, so all processes share one
// protocol.
//
// Recovery from every state a peer can leave:
//  - holder died (EOWNERDEAD): made consistent, the caller holds it (*recovery kHolderDied);
//  - a peer unlocked an abandoned mutex without making it consistent (ENOTRECOVERABLE): the
//    caller moves the word from the ready generation it failed on to 1, re-initialises the mutex
//    and stores 2 with a new generation; the compare-and-swap lets only one process do it, and
//    the others (waiters included) take the fresh mutex within what is left of their bound. A
//    failed lock is never retried on the unrecoverable mutex itself, since glibc's trylock leaves
//    it locked by the caller; re-initialising clears that residue too (*recovery kReinitialised);
//  - the initialiser died half-way (state 1, its pid gone), or state 1 stayed put for more than
//    kInitStaleMs (a recycled or foreign pid): taken over the same way.
//
// Open never waits. An access that finds the object being initialised by another process waits
// at most kInitWaitMs for it (yielding, no sleep) and otherwise fails as Unavailable, to be
// retried by the next access. A wait for the mutex itself is pthread_mutex_clocklock on
// CLOCK_MONOTONIC; the uncontended case is one trylock and reads no clock.
//
// Owns the mapping; copying is deleted. One object per thread. Nothing is unlinked on
// destruction, and the destructor never throws.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "shm/shared_section.h"

namespace tarvel::shm {

class RobustMutex {
 public:
  static constexpr std::size_t kObjectSize = 128;
  static constexpr std::size_t kMutexOffset = 64;
  // pthread_mutex_init takes microseconds; longer than this in state 1 means nobody finishes.
  static constexpr int kInitStaleMs = 1000;
  // How long one access waits for another process's initialisation to finish.
  static constexpr int kInitWaitMs = 2;

  enum class Recovery {
    kNone,
    kHolderDied,     // EOWNERDEAD, made consistent
    kReinitialised,  // found unrecoverable (or half-initialised) and initialised afresh
  };

  // `objectName` is the POSIX name with its leading "/". `owner` as in SharedSection: the server
  // adopts only its own user's object.
  static base::Result<std::unique_ptr<RobustMutex>> Open(
      const std::string& objectName, LogSink log = {},
      SharedSection::Owner owner = SharedSection::Owner::kSelf);
  static base::Status Unlink(const std::string& objectName) {
    return SharedSection::Unlink(objectName);
  }

  ~RobustMutex() = default;
  RobustMutex(const RobustMutex&) = delete;
  RobustMutex& operator=(const RobustMutex&) = delete;

  // Waits at most `timeoutMs` (0 = try once) on the monotonic clock. Ok: held (recursively if
  // already held by this thread); *recovery tells what was mended on the way. Timeout: not held.
  // Unavailable: the object is being initialised by another process right now; not held. Any
  // other failure: not held, with the call's error.
  base::Status Lock(int timeoutMs, Recovery* recovery = nullptr);
  // Releases one level of a hold taken by Lock.
  base::Status Unlock();

  const std::string& objectName() const { return section_->objectName(); }

 private:
  explicit RobustMutex(std::unique_ptr<SharedSection> section) : section_(std::move(section)) {}

  pthread_mutex_t* mutex() const {
    return reinterpret_cast<pthread_mutex_t*>(section_->bytes().data() + kMutexOffset);
  }
  std::uint64_t LoadWord() const {
    return std::atomic_ref<std::uint64_t>(
               *reinterpret_cast<std::uint64_t*>(section_->bytes().data()))
        .load(std::memory_order_acquire);
  }
  // Brings the word to ready (initialising or taking over where due); the ready word, or
  // Unavailable/the init error.
  base::Result<std::uint64_t> EnsureReady(Recovery* recovery);
  // Replaces the unrecoverable mutex of generation `failedWord`, unless another process did.
  base::Status Reinitialise(std::uint64_t failedWord, Recovery* recovery);
  // Moves the word from `seen` to 1 and initialises; false when another process won the swap.
  bool TakeAndInitialise(std::uint64_t seen, std::uint32_t generation, base::Status* error);
  base::Status Finish(int rc, int timeoutMs, Recovery* recovery);

  const std::unique_ptr<SharedSection> section_;
  // The state-1 word last seen and when it was first seen (monotonic ms), for kInitStaleMs.
  std::uint64_t stuckWord_ = 0;
  std::int64_t stuckSinceMs_ = 0;
};

}  // namespace tarvel::shm
