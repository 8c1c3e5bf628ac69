// TMutex: a named cross-process mutex with a bounded wait that runs a callback while held
//, over RobustMutex ("/Name" holding a robust, process-shared pthread mutex).
//
// Execute waits at most TimeoutMs() (100 ms). Acquired, taken over from a holder that died, or
// initialised afresh after a peer left it unrecoverable (both logged): OnExecute runs and the mutex
// is released afterwards, also when the callback throws. Timed out, failed to wait, or never
// opened: OnTimeout runs and nothing is released (only a mutex that was acquired is unlocked).
// Execute's Status tells which happened, so callers need not use OnTimeout at all.
//
// Owns its RobustMutex; copying is deleted. Main thread only. Close and the destructor never
// throw.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "shm/robust_mutex.h"

namespace tarvel::shm {

// The application title used for an empty mutex name ("Tarvel" unless set).
const std::string& ApplicationTitle();
void SetApplicationTitle(std::string title);

class TMutex {
 public:
  using Callback = std::function<void(TMutex&)>;
  static constexpr int kDefaultTimeoutMs = 100;
  // Names are copied into a 100-byte buffer with its terminator in the original.
  static constexpr std::size_t kMaxNameLength = 99;

  TMutex() = default;
  ~TMutex() = default;
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  // An empty name becomes the application title followed by "_"; longer names are cut to 99.
  void SetName(std::string name);
  const std::string& Name() const { return name_; }
  int TimeoutMs() const { return timeoutMs_; }
  void SetTimeoutMs(int ms) { timeoutMs_ = ms; }

  // Creates the named mutex, or opens it when another process has it. `owner`: whose existing
  // object is adopted (see SharedSection); the server's records take only their own user's.
  base::Status Open(LogSink log = {}, SharedSection::Owner owner = SharedSection::Owner::kSelf);
  bool IsOpen() const { return mutex_ != nullptr; }

  // Runs OnExecute under the mutex (see above).
  base::Status Execute();
  // The same with `body` in place of OnExecute: for a read-test-write in one hold.
  base::Status Execute(const std::function<void()>& body);
  // Execute with any callable and no std::function in between: the per-field hot path.
  template <typename F>
  base::Status Run(F&& body) {
    base::Status st = Acquire();
    if (!st.ok()) return st;
    // Released on every way out of the body, exceptions included.
    struct Guard {
      TMutex* m;
      ~Guard() { m->Release(); }
    } guard{this};
    body();
    return st;
  }

  void Close() { mutex_.reset(); }

  Callback OnExecute;  // may be empty
  Callback OnTimeout;  // may be empty

 private:
  // Locks (logging a take-over or re-initialisation); on failure runs OnTimeout.
  base::Status Acquire();
  // Unlocks; a failure is logged, never thrown.
  void Release() noexcept;

  std::string name_;
  int timeoutMs_ = kDefaultTimeoutMs;
  std::unique_ptr<RobustMutex> mutex_;
  LogSink log_;
};

}  // namespace tarvel::shm
