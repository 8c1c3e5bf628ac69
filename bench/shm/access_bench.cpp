// Protected field access: nanoseconds per transfer through a shared record (mutex lock, seek,
// copy, unlock) for 2-, 8- and 100-byte fields, beside a bare memcpy of the same size and a bare
// lock-copy-unlock of a robust, process-shared, recursive pthread mutex (what any access must
// cost at least), measured in the same run.
//
// Prints per size: shm <bytes> ns=<n> ratio_to_memcpy=<r>, then
// shm <bytes> ns=<n> ratio_to_lock=<r> and lock <bytes> ns=<n> (writes, as the server
// publishes), then the same for reads as shm-read <bytes> ... and lock-read <bytes> ...
// Runs on private sections ("_bench<pid>") and removes them at the end.
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shm/seek_position.h"
#include "shm/shared_data.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarvel::shm::TOrvoSharedData;
using tarvel::shm::ValueType;

// Keeps the compiler from dropping or merging copies whose result is never read.
inline void Clobber(void* p) {
  asm volatile("" : : "r"(p) : "memory");
}

template <typename F>
double NsPerOp(long iterations, F&& op) {
  for (long i = 0; i < iterations / 10; ++i) op(i);  // warm up
  const auto t0 = Clock::now();
  for (long i = 0; i < iterations; ++i) op(i);
  const auto dt = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
  return dt / static_cast<double>(iterations);
}

// A robust, process-shared, recursive mutex in shared memory, as the record mutexes are.
pthread_mutex_t* BareMutex() {
  void* p = ::mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* m = static_cast<pthread_mutex_t*>(p);
  pthread_mutexattr_t a;
  pthread_mutexattr_init(&a);
  pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
  const int rc = pthread_mutex_init(m, &a);
  pthread_mutexattr_destroy(&a);
  return rc == 0 ? m : nullptr;
}

}  // namespace

int main() {
  const std::string suffix = "_bench" + std::to_string(::getpid());
  tarvel::shm::RecordOptions options;
  options.nameSuffix = suffix;
  TOrvoSharedData rec(std::string(tarvel::shm::kMonitorRecord), true, options);
  if (!rec.IsOpen()) {
    std::fprintf(stderr, "cannot open the record: %s\n", rec.OpenStatus().message().c_str());
    return 1;
  }

  struct Size {
    std::size_t bytes;
    std::uint8_t code;   // a field of that size: a device state, a Hard3 constant, 100 bytes of
    std::int32_t index;  // the group-1 device states
  };
  const Size sizes[] = {{2, tarvel::shm::code::kDeviceState, 7},
                        {8, tarvel::shm::code::kHard3Const, 2},
                        {100, tarvel::shm::code::kDeviceState, 0}};
  const long kIterations = 2000000;
  bool ok = true;
  pthread_mutex_t* bareMutex = BareMutex();
  if (!bareMutex) {
    std::fprintf(stderr, "cannot make the bare mutex\n");
    return 1;
  }

  for (int pass = 0; pass < 2; ++pass) {
    const bool write = pass == 0;
    for (const Size& s : sizes) {
      std::vector<std::uint8_t> src(s.bytes, 0x5A), dst(s.bytes);
      const auto field =
          rec.Memory().subspan(*tarvel::shm::TSeekPosition::Offset(s.code, s.index), s.bytes);
      // The copy alone, as the access makes it.
      auto copy = [&](long i) {
        src[0] = static_cast<std::uint8_t>(i);
        if (write) {
          std::memcpy(field.data(), src.data(), s.bytes);
          Clobber(field.data());
        } else {
          std::memcpy(dst.data(), field.data(), s.bytes);
          Clobber(dst.data());
        }
      };
      const double bare = NsPerOp(kIterations, copy);
      const double guarded = NsPerOp(kIterations, [&](long i) {
        src[0] = static_cast<std::uint8_t>(i);
        tarvel::base::Status st;
        if (s.bytes == 2) {
          std::int16_t v = static_cast<std::int16_t>(i);
          st = write ? rec.WriteValue(s.code, s.index, &v, ValueType::kInt16)
                     : rec.ReadValue(s.code, s.index, ValueType::kInt16, &v);
        } else if (s.bytes == 8) {
          double v = static_cast<double>(i);
          st = write ? rec.WriteValue(s.code, s.index, &v, ValueType::kDouble)
                     : rec.ReadValue(s.code, s.index, ValueType::kDouble, &v);
        } else {
          st = write ? rec.WriteBlock(s.code, s.index, src) : rec.ReadBlock(s.code, s.index, dst);
        }
        ok &= st.ok();
      });
      const double locked = NsPerOp(kIterations, [&](long i) {
        ok &= pthread_mutex_lock(bareMutex) == 0;
        copy(i);
        pthread_mutex_unlock(bareMutex);
      });
      const char* name = write ? "shm" : "shm-read";
      std::printf("%s %zu ns=%.1f ratio_to_memcpy=%.1f\n", name, s.bytes, guarded, guarded / bare);
      std::printf("%s %zu ns=%.1f ratio_to_lock=%.2f\n", name, s.bytes, guarded, guarded / locked);
      std::printf("%s %zu ns=%.1f\n", write ? "lock" : "lock-read", s.bytes, locked);
    }
  }

  (void)tarvel::shm::SharedSection::Unlink("/" + std::string(tarvel::shm::kMonitorRecord) + suffix);
  (void)tarvel::shm::SharedSection::Unlink("/" + std::string(tarvel::shm::kMonitorRecord) + suffix +
                                           "_MUT");
  if (!ok) {
    std::fprintf(stderr, "some accesses failed\n");
    return 1;
  }
  return 0;
}
