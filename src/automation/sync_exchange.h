// TSyncExchange: the synchronisation round trip of VMESyncroRequest, without blocking.
//
// A request takes the next id from the system model, sends it to the controller (or, in debug
// mode or with the link down, answers it itself) and finishes when the model's returned id
// equals that id, or after one second with whatever id the model holds. A late reply to an
// earlier request does not end a later one. One exchange runs at a time, program-wide; further
// requests queue (at most kMaxQueued) and start in order, so nested or concurrent calls cannot
// take each other's replies. The wait is a timer in the event loop: frames, timers and other
// calls are served meanwhile. Main thread only.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <string>

#include "automation/call_result.h"

namespace tarvel::automation {

class THubAccess;

class TSyncExchange : public QObject {
  Q_OBJECT

 public:
  static constexpr int kWaitMs = 1000;  // monotonic
  static constexpr int kPollMs = 10;
  static constexpr std::size_t kMaxQueued = 16;

  explicit TSyncExchange(THubAccess& hub, QObject* parent = nullptr);

  // Answers `reply` with one I4 output: the returned id.
  void Request(TReply reply);
  bool Busy() const { return active_; }
  std::size_t Queued() const { return queue_.size(); }

 private:
  void StartNext();
  void Check();
  void Finish();
  void Fail(const std::string& description);

  THubAccess& hub_;
  std::deque<TReply> queue_;
  TReply current_;
  bool active_ = false;
  std::int32_t id_ = 0;
  QDeadlineTimer deadline_;
  QTimer poll_;
};

}  // namespace tarvel::automation
