#include "shm/robust_mutex.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace tarvel::shm {
namespace {

constexpr std::uint64_t kFresh = 0;
constexpr std::uint64_t kInitialising = 1;
constexpr std::uint64_t kReady = 2;

static_assert(sizeof(pthread_mutex_t) <= RobustMutex::kObjectSize - RobustMutex::kMutexOffset);

std::uint64_t Word(std::uint64_t state, pid_t pid) {
  return state | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(pid)) << 32);
}

bool ProcessGone(pid_t pid) {
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
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

pthread_mutex_t* MutexIn(const SharedSection& s) {
  return reinterpret_cast<pthread_mutex_t*>(s.bytes().data() + RobustMutex::kMutexOffset);
}

}  // namespace

base::Result<std::unique_ptr<RobustMutex>> RobustMutex::Open(const std::string& objectName,
                                                             LogSink log) {
  auto section = SharedSection::Open(objectName, SharedSection::Mode::kCreate, kObjectSize, log);
  if (!section.ok()) return section.status();
  std::unique_ptr<SharedSection> s = std::move(section.value());
  if (s->bytes().size() < kObjectSize) {
    return base::Status::Corrupt("mutex object " + objectName + " is smaller than " +
                                 std::to_string(kObjectSize) + " bytes");
  }
  std::atomic_ref<std::uint64_t> word(*reinterpret_cast<std::uint64_t*>(s->bytes().data()));
  const pid_t self = ::getpid();

  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    std::uint64_t seen = word.load(std::memory_order_acquire);
    const std::uint64_t state = seen & 0xFFFFFFFFu;
    if (state == kReady) break;
    bool mine = false;
    if (state == kFresh) {
      mine =
          word.compare_exchange_strong(seen, Word(kInitialising, self), std::memory_order_acq_rel);
    } else if (state == kInitialising && ProcessGone(static_cast<pid_t>(seen >> 32))) {
      // The initialiser died before it finished; nobody can hold a mutex that was never ready.
      mine =
          word.compare_exchange_strong(seen, Word(kInitialising, self), std::memory_order_acq_rel);
    }
    if (mine) {
      const int rc = InitMutex(MutexIn(*s));
      if (rc != 0) {
        word.store(kFresh, std::memory_order_release);
        return base::Status::FromErrno("pthread_mutex_init(" + objectName + ")", rc);
      }
      word.store(Word(kReady, 0), std::memory_order_release);
      break;
    }
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsedMs =
        (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsedMs > kInitWaitMs) {
      return base::Status::Timeout("mutex object " + objectName + " was not initialised within " +
                                   std::to_string(kInitWaitMs) + " ms");
    }
    const timespec pause{0, 1000000};  // 1 ms: another process is initialising right now
    ::nanosleep(&pause, nullptr);
  }
  return std::unique_ptr<RobustMutex>(new RobustMutex(std::move(s)));
}

base::Status RobustMutex::Lock(int timeoutMs, bool* recovered) {
  if (recovered) *recovered = false;
  pthread_mutex_t* m = MutexIn(*section_);
  // The uncontended case needs no deadline (and no clock read).
  int rc = pthread_mutex_trylock(m);
  if (rc == EBUSY) rc = TimedLock(m, timeoutMs);
  return Finish(m, rc, timeoutMs, recovered);
}

int RobustMutex::TimedLock(pthread_mutex_t* m, int timeoutMs) {
  timespec deadline{};
  const long ms = timeoutMs < 0 ? 0 : timeoutMs;
  ::clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += (ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return pthread_mutex_timedlock(m, &deadline);
}

base::Status RobustMutex::Finish(pthread_mutex_t* m, int rc, int timeoutMs, bool* recovered) {
  if (rc == 0) return base::Status::Ok();
  if (rc == EOWNERDEAD) {
    // The holder died inside its access; its transfer may be half done, but the record has no
    // invariant across fields, so the next access goes on as after an abandoned Windows mutex.
    const int c = pthread_mutex_consistent(m);
    if (c != 0) {
      pthread_mutex_unlock(m);
      return base::Status::FromErrno("pthread_mutex_consistent(" + objectName() + ")", c);
    }
    if (recovered) *recovered = true;
    return base::Status::Ok();
  }
  if (rc == ETIMEDOUT || rc == EBUSY) {
    return base::Status::Timeout("mutex " + objectName() + " not obtained within " +
                                 std::to_string(timeoutMs < 0 ? 0 : timeoutMs) + " ms");
  }
  return base::Status::FromErrno("pthread_mutex_timedlock(" + objectName() + ")", rc);
}

base::Status RobustMutex::Unlock() {
  const int rc = pthread_mutex_unlock(MutexIn(*section_));
  if (rc != 0) return base::Status::FromErrno("pthread_mutex_unlock(" + objectName() + ")", rc);
  return base::Status::Ok();
}

}  // namespace tarvel::shm
