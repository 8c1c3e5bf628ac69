#include "bus_client/bus_client.h"

#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace tarvel::tools {
namespace {

constexpr const char* kRootPath = "/ProjectTarvel";
constexpr int kUntilIntervalMs = 100;
constexpr std::size_t kMaxUnseenEvents = 1000;
// A wait is bounded so that a typo (wait 1e9) cannot hang a script for ever.
constexpr double kMaxWaitSeconds = 3600;

qint64 NowMs() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

bool SecondsFrom(const QString& text, int* ms) {
  bool ok = false;
  const double s = text.toDouble(&ok);
  if (!ok || !std::isfinite(s) || s < 0 || s > kMaxWaitSeconds) return false;
  *ms = static_cast<int>(std::lround(s * 1000));
  return true;
}

const char kHelp[] =
    "steps: create <ProgID|{class id}> | use <path> | call <member> [args] | try <member> [args]"
    " | until <member> [args] <expected> <seconds> | window <title> | release [path]"
    " | wait <seconds> | wait-event [<n>] <seconds> | quit";

// Every path answers Introspect; only an object (or the root) has the server's interfaces.
bool ServesObject(const std::vector<TMethodSig>& methods) {
  return std::any_of(methods.begin(), methods.end(),
                     [](const TMethodSig& m) { return m.interface.startsWith("ProjectTarvel."); });
}

}  // namespace

TBusClient::TBusClient(QDBusConnection bus, Options options,
                       std::function<void(const QString&)> out)
    : bus_(std::move(bus)), options_(std::move(options)), out_(std::move(out)) {
  stepTimer_.setSingleShot(true);
  connect(&stepTimer_, &QTimer::timeout, this, [this] {
    auto f = std::move(onStepTimer_);
    onStepTimer_ = nullptr;
    if (f) f();
  });
}

bool TBusClient::Start() {
  // Events are unicast to the advised peer; these rules let them through to our handlers.
  const bool events = bus_.connect(options_.destination, QString(), QString(), "OnMyEvent", this,
                                   SLOT(OnEvent(QDBusMessage)));
  const bool posts = bus_.connect(options_.destination, kRootPath, "ProjectTarvel.MessageWindows",
                                  "PostMessage", this, SLOT(OnPost(QDBusMessage)));
  return events && posts;
}

void TBusClient::Add(const QString& step) {
  steps_.push_back({step, QString()});
  if (!busy_) QTimer::singleShot(0, this, [this] { RunNext(); });
}

void TBusClient::Reject(const QString& why) {
  steps_.push_back({QString(), why});
  if (!busy_) QTimer::singleShot(0, this, [this] { RunNext(); });
}

void TBusClient::EndOfInput() {
  inputEnded_ = true;
  if (!busy_) QTimer::singleShot(0, this, [this] { RunNext(); });
}

void TBusClient::RunNext() {
  if (busy_ || finished_) return;
  while (!steps_.empty()) {
    const TStep step = steps_.front();
    steps_.pop_front();
    QString error = step.invalid;
    const auto words = error.isEmpty() ? SplitStep(step.text, &error) : std::nullopt;
    if (!words) {
      busy_ = true;
      StepFailed(error);
      return;
    }
    if (words->isEmpty()) continue;
    busy_ = true;
    Run(*words);
    return;
  }
  if (inputEnded_) {
    finished_ = true;
    emit Finished(failed_ ? 1 : 0);
  }
}

// The next step starts from the event loop, so a long run of steps that finish at once (a file
// of `use` lines) never deepens the stack.
void TBusClient::StepDone() {
  busy_ = false;
  QTimer::singleShot(0, this, [this] { RunNext(); });
}

void TBusClient::StepFailed(const QString& text) {
  Print("error " + text);
  failed_ = true;
  busy_ = false;
  if (options_.stopOnError) {
    finished_ = true;
    emit Finished(1);
    return;
  }
  QTimer::singleShot(0, this, [this] { RunNext(); });
}

void TBusClient::Run(const QStringList& words) {
  const QString verb = words[0];
  const QStringList rest = words.mid(1);
  if (verb == "create" && rest.size() == 1) {
    Call(kRootPath, "ProjectTarvel.ClassFactory.CreateObject", rest, TReplyUse::kObject, true);
  } else if (verb == "use" && rest.size() == 1) {
    object_ = rest[0];
    Print("object " + object_);
    StepDone();
  } else if ((verb == "call" || verb == "try") && !rest.isEmpty()) {
    Call(object_, rest[0], rest.mid(1), TReplyUse::kPrint, verb == "call");
  } else if (verb == "until" && rest.size() >= 3) {
    int ms = 0;
    if (!SecondsFrom(rest.back(), &ms)) return StepFailed("until: bad number of seconds");
    until_ = {rest.mid(0, rest.size() - 2), rest[rest.size() - 2], NowMs() + ms};
    AttemptUntil();
  } else if (verb == "window" && rest.size() == 1) {
    Call(kRootPath, "ProjectTarvel.MessageWindows.CreateWindow", rest, TReplyUse::kWindow, true);
  } else if (verb == "release" && rest.size() <= 1) {
    const QString path = rest.isEmpty() ? object_ : rest[0];
    if (path.isEmpty()) return StepFailed("release: no object");
    if (path == object_) object_.clear();
    Call(kRootPath, "ProjectTarvel.ClassFactory.ReleaseObject", {path}, TReplyUse::kPrint, true);
  } else if (verb == "wait" && rest.size() == 1) {
    int ms = 0;
    if (!SecondsFrom(rest[0], &ms)) return StepFailed("wait: bad number of seconds");
    onStepTimer_ = [this] { StepDone(); };
    stepTimer_.start(ms);
  } else if (verb == "wait-event" && (rest.size() == 1 || rest.size() == 2)) {
    int ms = 0;
    if (!SecondsFrom(rest.back(), &ms)) return StepFailed("wait-event: bad number of seconds");
    awaitedEvent_.reset();
    if (rest.size() == 2) {
      bool ok = false;
      awaitedEvent_ = rest[0].toInt(&ok);
      if (!ok) return StepFailed("wait-event: bad event number");
    }
    // An event that came during an earlier step counts.
    const auto it = std::find_if(unseenEvents_.begin(), unseenEvents_.end(),
                                 [&](int e) { return !awaitedEvent_ || e == *awaitedEvent_; });
    if (it != unseenEvents_.end()) {
      unseenEvents_.erase(unseenEvents_.begin(), it + 1);
      return StepDone();
    }
    waitingEvent_ = true;
    onStepTimer_ = [this] {
      waitingEvent_ = false;
      StepFailed("wait-event: no event " +
                 (awaitedEvent_ ? QString::number(*awaitedEvent_) : QString()) + " in time");
    };
    stepTimer_.start(ms);
  } else if (verb == "quit" && rest.isEmpty()) {
    steps_.clear();
    inputEnded_ = true;
    StepDone();
  } else if (verb == "help") {
    Print(kHelp);
    StepDone();
  } else {
    StepFailed("cannot run \"" + words.join(' ') + "\"; " + kHelp);
  }
}

void TBusClient::WithMethods(const QString& path, TMethodsThen then) {
  if (const auto it = introspected_.find(path); it != introspected_.end()) {
    then(&it->second, QString());
    return;
  }
  QDBusMessage m = QDBusMessage::createMethodCall(
      options_.destination, path, "org.freedesktop.DBus.Introspectable", "Introspect");
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(m, options_.callTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, path, then = std::move(then)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
              then(nullptr, reply.errorName() + ": " + reply.errorMessage());
              return;
            }
            QString error;
            auto methods = ParseIntrospection(reply.arguments().value(0).toString(), &error);
            if (!methods) {
              then(nullptr, error);
              return;
            }
            // A path that is not (or no longer) an object has none of the server's
            // interfaces; it is not remembered, so an object made there later is found.
            if (!ServesObject(*methods)) {
              then(&*methods, QString());
              return;
            }
            // The server's objects never change their members, so one look is enough.
            auto& stored = introspected_[path] = std::move(*methods);
            then(&stored, QString());
          });
}

void TBusClient::Call(const QString& path, const QString& member, const QStringList& args,
                      TReplyUse use, bool fatal) {
  auto fail = [this, use, fatal](const QString& why) {
    Reply(QDBusMessage::createError("tarvel.client.NoMember", why), use, fatal);
  };
  // The factory and the window service are on the root object; a member the current object
  // does not have is looked for there.
  auto onRoot = [this, member, args, use, fatal, fail, path](const std::vector<TMethodSig>* methods,
                                                             const QString& busError) {
    if (!methods) return fail(busError);
    QString error;
    if (const auto m = FindMethod(*methods, member, &error)) {
      return CallResolved(kRootPath, *m, args, use, fatal);
    }
    fail(path.isEmpty() ? error + " on " + kRootPath + " (no object yet: create one)"
                        : error + " on " + path + " or " + kRootPath);
  };
  if (path.isEmpty() || path == kRootPath) {
    WithMethods(kRootPath, onRoot);
    return;
  }
  WithMethods(path, [this, path, member, args, use, fatal, fail, onRoot](
                        const std::vector<TMethodSig>* methods, const QString& busError) {
    if (!methods) return fail(busError);
    if (!ServesObject(*methods))
      return fail("no object " + path + " (it was released, or never made)");
    QString error;
    if (const auto m = FindMethod(*methods, member, &error)) {
      return CallResolved(path, *m, args, use, fatal);
    }
    const QString name = member.mid(member.lastIndexOf('.') + 1);
    const bool declared = std::any_of(methods->begin(), methods->end(),
                                      [&](const TMethodSig& s) { return s.name == name; });
    if (declared) return fail(error);  // ambiguous, or on another interface than named
    WithMethods(kRootPath, onRoot);
  });
}

void TBusClient::CallResolved(const QString& path, const TMethodSig& m, const QStringList& args,
                              TReplyUse use, bool fatal) {
  QVariantList values;
  QString error;
  const bool restIsArray = !m.inTypes.isEmpty() && m.inTypes.back() == "av";
  const qsizetype fixed = restIsArray ? m.inTypes.size() - 1 : m.inTypes.size();
  if (args.size() < fixed || (!restIsArray && args.size() != fixed)) {
    Reply(QDBusMessage::createError("tarvel.client.Arguments",
                                    QString("%1.%2 takes %3 argument(s) (%4), not %5")
                                        .arg(m.interface, m.name)
                                        .arg(m.inTypes.size())
                                        .arg(m.inTypes.join(", "))
                                        .arg(args.size())),
          use, fatal);
    return;
  }
  for (qsizetype i = 0; i < fixed; ++i) {
    QVariant v;
    if (!ArgumentFromText(args[i], m.inTypes[i], &v, &error)) {
      Reply(
          QDBusMessage::createError("tarvel.client.Arguments",
                                    QString("argument %1 of %2: %3").arg(i + 1).arg(m.name, error)),
          use, fatal);
      return;
    }
    values << v;
  }
  if (restIsArray) {
    QVariantList rest;
    for (qsizetype i = fixed; i < args.size(); ++i) {
      QVariant v;
      if (!ArgumentFromText(args[i], "v", &v, &error)) {
        Reply(QDBusMessage::createError("tarvel.client.Arguments", error), use, fatal);
        return;
      }
      rest << v;
    }
    values << QVariant(rest);
  }
  QDBusMessage msg =
      QDBusMessage::createMethodCall(options_.destination, path, m.interface, m.name);
  msg.setArguments(values);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(msg, options_.callTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, use, fatal](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            Reply(w->reply(), use, fatal);
          });
}

void TBusClient::Reply(const QDBusMessage& reply, TReplyUse use, bool fatal) {
  if (reply.type() != QDBusMessage::ReplyMessage) {
    const QString text = reply.errorName() + ": " + reply.errorMessage();
    if (use == TReplyUse::kUntil) {
      // A member that fails now may answer later (the link coming up); try until the deadline.
      if (NowMs() < until_.deadlineMs) {
        onStepTimer_ = [this] { AttemptUntil(); };
        stepTimer_.start(kUntilIntervalMs);
        return;
      }
      return StepFailed("until: " + text);
    }
    if (fatal) return StepFailed(text);
    // A `try` expects that it may fail: printed, but not a failure of the run.
    Print("error " + text);
    return StepDone();
  }
  QStringList values;
  for (const QVariant& v : reply.arguments()) values << FormatValue(v);
  switch (use) {
    case TReplyUse::kObject:
      object_ = values.value(0);
      Print("object " + object_);
      break;
    case TReplyUse::kWindow:
      Print("window " + values.value(0));
      break;
    case TReplyUse::kUntil:
      if (values.size() != 1 || values[0] != until_.expected) {
        if (NowMs() >= until_.deadlineMs) {
          return StepFailed(
              QString("until: %1 is %2, not %3 in time")
                  .arg(until_.words[0], QuoteWord(values.join(' ')), QuoteWord(until_.expected)));
        }
        onStepTimer_ = [this] { AttemptUntil(); };
        stepTimer_.start(kUntilIntervalMs);
        return;
      }
      [[fallthrough]];
    case TReplyUse::kPrint: {
      QStringList shown;
      for (const QString& v : values) shown << QuoteWord(v);
      Print(shown.isEmpty() ? QString("reply") : "reply " + shown.join(' '));
      break;
    }
  }
  StepDone();
}

void TBusClient::AttemptUntil() {
  Call(object_, until_.words[0], until_.words.mid(1), TReplyUse::kUntil, true);
}

void TBusClient::OnEvent(const QDBusMessage& msg) {
  const int n = msg.arguments().value(0).toInt();
  Print(QString("event %1 %2 %3").arg(msg.path(), msg.member()).arg(n));
  if (waitingEvent_ && (!awaitedEvent_ || n == *awaitedEvent_)) {
    waitingEvent_ = false;
    stepTimer_.stop();
    onStepTimer_ = nullptr;
    StepDone();
    return;
  }
  if (unseenEvents_.size() >= kMaxUnseenEvents) unseenEvents_.erase(unseenEvents_.begin());
  unseenEvents_.push_back(n);
}

void TBusClient::OnPost(const QDBusMessage& msg) {
  const QVariantList a = msg.arguments();
  Print(QString("message %1 %2 %3 %4")
            .arg(a.value(0).toUInt())
            .arg(a.value(1).toUInt())
            .arg(a.value(2).toUInt())
            .arg(a.value(3).toInt()));
}

}  // namespace tarvel::tools
