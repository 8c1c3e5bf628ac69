#include "shm/mutex.h"

#include "shm/shared_memory.h"

namespace tarvel::shm {
namespace {

std::string& TitleStorage() {
  static std::string title = "Tarvel";
  return title;
}

}  // namespace

const std::string& ApplicationTitle() {
  return TitleStorage();
}
void SetApplicationTitle(std::string title) {
  TitleStorage() = std::move(title);
}

void TMutex::SetName(std::string name) {
  if (name.empty()) name = ApplicationTitle() + "_";
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  name_ = std::move(name);
}

base::Status TMutex::Open(LogSink log, SharedSection::Owner owner) {
  log_ = log ? std::move(log) : LogSink(LogToStderr);
  mutex_.reset();
  if (name_.empty()) SetName("");
  if (name_.find('/') != std::string::npos) {
    return base::Status::InvalidArgument("mutex name \"" + name_ + "\" is not a valid name");
  }
  auto opened = RobustMutex::Open("/" + name_, log_, owner);
  if (!opened.ok()) return opened.status();
  mutex_ = std::move(opened.value());
  return base::Status::Ok();
}

base::Status TMutex::Execute() {
  return Run([this] {
    if (OnExecute) OnExecute(*this);
  });
}

base::Status TMutex::Execute(const std::function<void()>& body) {
  return Run(body);
}

base::Status TMutex::Acquire() {
  RobustMutex::Recovery recovery = RobustMutex::Recovery::kNone;
  base::Status st = mutex_ ? mutex_->Lock(timeoutMs_, &recovery)
                           : base::Status::Unavailable("mutex " + name_ + " is not open");
  if (recovery != RobustMutex::Recovery::kNone && log_) {
    log_(recovery == RobustMutex::Recovery::kHolderDied
             ? "mutex " + name_ + ": the previous holder died; taken over"
             : "mutex " + name_ +
                   ": a peer left it unrecoverable or half-initialised; "
                   "initialised afresh");
  }
  if (!st.ok() && OnTimeout) OnTimeout(*this);
  return st;
}

void TMutex::Release() noexcept {
  const base::Status u = mutex_->Unlock();
  if (!u.ok() && log_) {
    try {
      log_(u.message());
    } catch (...) {
    }
  }
}

}  // namespace tarvel::shm
