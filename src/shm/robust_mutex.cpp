#include "shm/robust_mutex.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tarvel::shm {
namespace {

constexpr std::uint64_t kFresh = 0;
constexpr std::uint64_t kInitialising = 1;
constexpr std::uint64_t kReady = 2;
constexpr std::uint64_t kStateMask = 0xFFFFFFFFu;
// Attempts at re-initialising within one Lock: another peer may spoil the fresh mutex at once.
constexpr int kReinitAttempts = 3;

static_assert(sizeof(pthread_mutex_t) <= RobustMutex::kObjectSize - RobustMutex::kMutexOffset);

std::uint64_t Word(std::uint64_t state, std::uint32_t high) {
  return state | (static_cast<std::uint64_t>(high) << 32);
}

std::uint64_t StateOf(std::uint64_t w) {
  return w & kStateMask;
}

bool ProcessGone(pid_t pid) {
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

std::int64_t MonotonicMs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A generation unlike `old`: monotonic time is shared by every process of the machine, so two
// re-initialisations practically never draw the same one; 0 is what a fresh object had.
std::uint32_t NextGeneration(std::uint32_t old) {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  std::uint32_t g = static_cast<std::uint32_t>(t.tv_sec * 1000003 + t.tv_nsec) | 1u;
  if (g == old) g += 2;
  return g;
}

int InitMutex(pthread_mutex_t* m) {
  pthread_mutexattr_t attr;
  int rc = pthread_mutexattr_init(&attr);
  if (rc != 0) return rc;
  rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  if (rc == 0) rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  if (rc == 0) rc = pthread_mutex_init(m, &attr);
  pthread_mutexattr_destroy(&attr);
  return rc;
}

timespec DeadlineIn(int timeoutMs) {
  timespec d{};
  const long ms = timeoutMs < 0 ? 0 : timeoutMs;
  ::clock_gettime(CLOCK_MONOTONIC, &d);
  d.tv_sec += ms / 1000;
  d.tv_nsec += (ms % 1000) * 1000000L;
  if (d.tv_nsec >= 1000000000L) {
    d.tv_sec += 1;
    d.tv_nsec -= 1000000000L;
  }
  return d;
}

}  // namespace

base::Result<std::unique_ptr<RobustMutex>> RobustMutex::Open(const std::string& objectName,
                                                             LogSink log,
                                                             SharedSection::Owner owner) {
  auto section =
      SharedSection::Open(objectName, SharedSection::Mode::kCreate, kObjectSize, log, owner);
  if (!section.ok()) return section.status();
  if (section.value()->bytes().size() < kObjectSize) {
    return base::Status::Corrupt("mutex object " + objectName + " is smaller than " +
                                 std::to_string(kObjectSize) + " bytes");
  }
  std::unique_ptr<RobustMutex> m(new RobustMutex(std::move(section.value())));
  Recovery recovery = Recovery::kNone;
  auto ready = m->EnsureReady(&recovery);
  if (!ready.ok()) {
    // Another process is initialising it right now: the first access finishes the job.
    if (ready.status().code() != base::Status::Code::kUnavailable) return ready.status();
    if (log) log(ready.status().message() + "; accesses are skipped until that ends");
  } else if (recovery == Recovery::kReinitialised && log) {
    log("mutex object " + objectName + " was left half-initialised; initialised afresh");
  }
  return m;
}

bool RobustMutex::TakeAndInitialise(std::uint64_t seen, std::uint32_t generation,
                                    base::Status* error) {
  std::atomic_ref<std::uint64_t> word(*reinterpret_cast<std::uint64_t*>(section_->bytes().data()));
  const auto self = static_cast<std::uint32_t>(::getpid());
  if (!word.compare_exchange_strong(seen, Word(kInitialising, self), std::memory_order_acq_rel))
    return false;
  const int rc = InitMutex(mutex());
  if (rc != 0) {
    // Back to fresh, so the next opener tries again.
    word.store(kFresh, std::memory_order_release);
    *error = base::Status::FromErrno("pthread_mutex_init(" + objectName() + ")", rc);
    return true;
  }
  word.store(Word(kReady, generation), std::memory_order_release);
  *error = base::Status::Ok();
  return true;
}

base::Result<std::uint64_t> RobustMutex::EnsureReady(Recovery* recovery) {
  std::int64_t waitStart = -1;
  for (;;) {
    const std::uint64_t w = LoadWord();
    const std::uint64_t state = StateOf(w);
    if (state == kReady) {
      stuckWord_ = 0;
      return w;
    }
    base::Status error;
    if (state == kFresh) {
      if (TakeAndInitialise(w, NextGeneration(0), &error) && !error.ok()) return error;
      continue;
    }
    // Being initialised, or a state no protocol version writes (treated as a stuck one).
    const auto pid = static_cast<pid_t>(w >> 32);
    const std::int64_t now = MonotonicMs();
    if (w != stuckWord_) {
      stuckWord_ = w;
      stuckSinceMs_ = now;
    }
    const bool dead = state == kInitialising && ProcessGone(pid);
    if (dead || now - stuckSinceMs_ > kInitStaleMs) {
      // Nobody can hold a mutex that never became ready, so starting over is safe.
      if (TakeAndInitialise(w, NextGeneration(0), &error)) {
        if (!error.ok()) return error;
        if (recovery) *recovery = Recovery::kReinitialised;
      }
      continue;
    }
    if (waitStart < 0) waitStart = now;
    if (now - waitStart >= kInitWaitMs) {
      return base::Status::Unavailable("mutex object " + objectName() +
                                       " is being initialised by pid " + std::to_string(pid));
    }
    ::sched_yield();
  }
}

base::Status RobustMutex::Reinitialise(std::uint64_t failedWord, Recovery* recovery) {
  if (LoadWord() != failedWord) return base::Status::Ok();  // another process did it already
  base::Status error;
  if (TakeAndInitialise(failedWord, NextGeneration(static_cast<std::uint32_t>(failedWord >> 32)),
                        &error)) {
    if (!error.ok()) return error;
    if (recovery) *recovery = Recovery::kReinitialised;
  }
  return base::Status::Ok();
}

base::Status RobustMutex::Lock(int timeoutMs, Recovery* recovery) {
  if (recovery) *recovery = Recovery::kNone;
  std::uint64_t w = LoadWord();
  if (StateOf(w) != kReady) {
    auto ready = EnsureReady(recovery);
    if (!ready.ok()) return ready.status();
    w = *ready;
  }
  pthread_mutex_t* m = mutex();
  // The uncontended case: no deadline, no clock read.
  int rc = pthread_mutex_trylock(m);
  if (rc == 0) return base::Status::Ok();
  timespec deadline{};
  bool haveDeadline = false;
  auto wait = [&] {
    if (!haveDeadline) deadline = DeadlineIn(timeoutMs);
    haveDeadline = true;
    return pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
  };
  if (rc == EBUSY) rc = wait();
  for (int attempt = 0; rc == ENOTRECOVERABLE && attempt < kReinitAttempts; ++attempt) {
    // Not a single further call on this mutex before it is initialised afresh: glibc's trylock
    // has left it locked by this thread.
    base::Status st = Reinitialise(w, recovery);
    if (!st.ok()) return st;
    auto ready = EnsureReady(recovery);
    if (!ready.ok()) return ready.status();
    w = *ready;
    rc = pthread_mutex_trylock(m);
    if (rc == EBUSY) rc = wait();
  }
  return Finish(rc, timeoutMs, recovery);
}

base::Status RobustMutex::Finish(int rc, int timeoutMs, Recovery* recovery) {
  if (rc == 0) return base::Status::Ok();
  if (rc == EOWNERDEAD) {
    // The holder died inside its access; its transfer may be half done, but the record has no
    // invariant across fields, so the next access goes on as after an abandoned Windows mutex.
    const int c = pthread_mutex_consistent(mutex());
    if (c != 0) {
      pthread_mutex_unlock(mutex());
      return base::Status::FromErrno("pthread_mutex_consistent(" + objectName() + ")", c);
    }
    if (recovery && *recovery == Recovery::kNone) *recovery = Recovery::kHolderDied;
    return base::Status::Ok();
  }
  if (rc == ETIMEDOUT || rc == EBUSY) {
    return base::Status::Timeout("mutex " + objectName() + " not obtained within " +
                                 std::to_string(timeoutMs < 0 ? 0 : timeoutMs) + " ms");
  }
  if (rc == ENOTRECOVERABLE) {
    return base::Status::Unavailable("mutex " + objectName() +
                                     " is made unrecoverable again and again by a peer");
  }
  return base::Status::FromErrno("pthread_mutex_clocklock(" + objectName() + ")", rc);
}

base::Status RobustMutex::Unlock() {
  const int rc = pthread_mutex_unlock(mutex());
  if (rc != 0) return base::Status::FromErrno("pthread_mutex_unlock(" + objectName() + ")", rc);
  return base::Status::Ok();
}

}  // namespace tarvel::shm
