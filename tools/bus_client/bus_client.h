// TBusClient: runs tarvel-client's steps over one bus connection, so the objects it creates
// stay alive for the whole session (the server releases a client's objects when it leaves).
//
// Steps run one after another and never block the event loop: every call is asynchronous, and
// events (OnMyEvent of any object, PostMessage to our windows) are printed as they arrive,
// also while a step waits. Output lines, one per result, flushed at once:
//   object <path>            create / use
//   reply [<value>...]       call / try / until
//   window <handle>          window
//   event <path> OnMyEvent <n>
//   message <handle> <msg> <wparam> <lparam>
//   error <name>: <text>     a failed step
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <QtGlobal>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "bus_client/client_steps.h"

namespace tarvel::tools {

class TBusClient : public QObject {
  Q_OBJECT
 public:
  struct Options {
    QString destination = "ProjectTarvel.Server";
    int callTimeoutMs = 10000;
    // Stop at the first failed step (scripts); when false, go on (an interactive session).
    bool stopOnError = true;
  };
  // Lines go to `out`; the caller decides where (stdout in the program).
  TBusClient(QDBusConnection bus, Options options, std::function<void(const QString&)> out);

  // Listens for events; false when the bus refuses the match rules.
  bool Start();
  // Queues steps; they run in order from the event loop.
  void Add(const QString& step);
  // Queues a step that could not be read; it fails in its turn with `why`.
  void Reject(const QString& why);
  // No more steps will be added: once the queue is done, Finished is emitted.
  void EndOfInput();

  // Any step failed so far.
  bool Failed() const { return failed_; }

 signals:
  void Finished(int exitCode);

 private slots:
  void OnEvent(const QDBusMessage& msg);
  void OnPost(const QDBusMessage& msg);

 private:
  // How a call step reports its reply.
  enum class TReplyUse { kPrint, kObject, kWindow, kUntil };
  struct TPendingUntil {
    QStringList words;  // the member and its arguments, for the next attempt
    QString expected;
    qint64 deadlineMs = 0;
  };

  void RunNext();
  void Run(const QStringList& words);
  void StepDone();
  void StepFailed(const QString& text);
  // Resolves `member` on `path` (introspected once per path) and calls it with `args`; the
  // reply goes to `use`.
  void Call(const QString& path, const QString& member, const QStringList& args, TReplyUse use,
            bool fatal);
  void CallResolved(const QString& path, const TMethodSig& m, const QStringList& args,
                    TReplyUse use, bool fatal);
  // Calls `then` with the methods of `path`, or with null and the bus error.
  using TMethodsThen = std::function<void(const std::vector<TMethodSig>*, const QString&)>;
  void WithMethods(const QString& path, TMethodsThen then);
  void Reply(const QDBusMessage& reply, TReplyUse use, bool fatal);
  void AttemptUntil();
  void Print(const QString& line) { out_(line); }

  QDBusConnection bus_;
  const Options options_;
  const std::function<void(const QString&)> out_;
  struct TStep {
    QString text;
    QString invalid;  // not empty: the step could not be read, and fails with this
  };
  std::deque<TStep> steps_;
  std::map<QString, std::vector<TMethodSig>> introspected_;
  QString object_;  // the current object, which member calls go to
  bool busy_ = false;
  bool inputEnded_ = false;
  bool failed_ = false;
  bool finished_ = false;
  TPendingUntil until_;
  // wait-event: the value awaited (or any), while waiting.
  bool waitingEvent_ = false;
  std::optional<int> awaitedEvent_;
  std::vector<int> unseenEvents_;  // events not yet consumed by a wait-event
  QTimer stepTimer_;               // wait, the until interval, a wait-event deadline
  std::function<void()> onStepTimer_;
};

}  // namespace tarvel::tools
