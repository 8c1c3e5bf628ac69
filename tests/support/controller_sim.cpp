#include "support/controller_sim.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tarvel::testing {
namespace {

constexpr int kQuitWaitMs = 2000;

}  // namespace

ControllerSim::ControllerSim(QStringList extraArgs) : extraArgs_(std::move(extraArgs)) {
  process_.setProcessChannelMode(QProcess::SeparateChannels);
}

ControllerSim::~ControllerSim() {
  if (!started_) return;
  if (process_.state() != QProcess::NotRunning) {
    process_.write("quit\n");
    process_.closeWriteChannel();
  }
  const bool ended =
      waitUntil([this] { return process_.state() == QProcess::NotRunning; }, kQuitWaitMs);
  if (!ended) {
    process_.kill();
    process_.waitForFinished(kQuitWaitMs);
    ADD_FAILURE() << "tarvel-controller-sim did not end within 2 s of quit; killed";
    return;
  }
  drain();
  // A simulator that never listened already failed start(), which the test sees; one that ran
  // must end cleanly, or it crashed or a sanitizer reported (non-zero exit).
  const bool crashed = process_.exitStatus() != QProcess::NormalExit;
  if (crashed || (listening_ && process_.exitCode() != 0)) {
    ADD_FAILURE() << "tarvel-controller-sim ended abnormally ("
                  << (crashed ? "crashed" : "exit code " + std::to_string(process_.exitCode()))
                  << "); its stderr was forwarded above";
  }
}

QString ControllerSim::program() const {
  return QStringLiteral(TARVEL_CONTROLLER_SIM);
}

quint16 ControllerSim::port() const {
  return port_;
}

bool ControllerSim::start(int timeoutMs) {
  if (!QCoreApplication::instance()) {
    std::fprintf(stderr, "ControllerSim: a QCoreApplication must exist (link tarvel_test_main)\n");
    return false;
  }
  if (process_.state() != QProcess::NotRunning) return listening_;
  QStringList args{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                   QStringLiteral("-")};
  args += extraArgs_;
  process_.start(program(), args);
  started_ = process_.waitForStarted(timeoutMs);
  if (!started_) {
    std::fprintf(stderr, "ControllerSim: cannot run %s: %s\n", qPrintable(program()),
                 qPrintable(process_.errorString()));
    return false;
  }
  return waitUntil([this] { return listening_; }, timeoutMs);
}

void ControllerSim::drain() {
  // waitForReadyRead(0) pulls what the pipe already holds without blocking.
  if (process_.state() == QProcess::Running) process_.waitForReadyRead(0);
  stdoutBuffer_ += process_.readAllStandardOutput();
  stderrBuffer_ += process_.readAllStandardError();
  qsizetype nl;
  while ((nl = stdoutBuffer_.indexOf('\n')) >= 0) {
    takeLine(stdoutBuffer_.left(nl));
    stdoutBuffer_.remove(0, nl + 1);
  }
  while ((nl = stderrBuffer_.indexOf('\n')) >= 0) {
    std::fprintf(stderr, "[controller-sim] %s\n", stderrBuffer_.left(nl).constData());
    stderrBuffer_.remove(0, nl + 1);
  }
}

void ControllerSim::takeLine(const QByteArray& line) {
  if (line.startsWith('{')) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.value(QStringLiteral("dir")).toString() == QStringLiteral("rx")) {
      frames_.append(o);
    } else if (o.contains(QStringLiteral("event"))) {
      events_.append(o);
    }
    return;
  }
  const QString text = QString::fromUtf8(line);
  if (!listening_ && text.startsWith(QStringLiteral("listening "))) {
    port_ = static_cast<quint16>(text.section(QLatin1Char(':'), -1).toUInt());
    listening_ = port_ != 0;
    return;
  }
  if (awaited_.isEmpty()) return;
  if (text == QStringLiteral("ok ") + awaited_) {
    reply_ = Reply::kOk;
  } else if (text.startsWith(QStringLiteral("error "))) {
    // Commands are answered in order, so the first error after an awaited command is its own.
    reply_ = Reply::kError;
    lastError_ = text.mid(6);
  }
}

bool ControllerSim::waitUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  for (;;) {
    drain();
    if (done()) return true;
    if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) return done();
    QEventLoop loop;
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    QObject::connect(&process_, &QProcess::readyReadStandardError, &loop, &QEventLoop::quit);
    QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process_, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), &loop, &QEventLoop::quit);
    loop.exec();
  }
}

bool ControllerSim::command(const QString& line, int timeoutMs) {
  if (process_.state() != QProcess::Running) return false;
  drain();  // replies to earlier, timed-out commands must not answer this one
  awaited_ = line;
  reply_ = Reply::kNone;
  process_.write(line.toUtf8() + '\n');
  const bool answered = waitUntil([this] { return reply_ != Reply::kNone; }, timeoutMs);
  const bool ok = answered && reply_ == Reply::kOk;
  if (answered && reply_ == Reply::kError) {
    std::fprintf(stderr, "[controller-sim] '%s' -> error %s\n", qPrintable(line),
                 qPrintable(lastError_));
  }
  awaited_.clear();
  return ok;
}

QList<QJsonObject> ControllerSim::receivedFrames() {
  drain();
  return frames_;
}

QList<QJsonObject> ControllerSim::events() {
  drain();
  return events_;
}

bool ControllerSim::waitForFrames(int count, int timeoutMs) {
  return waitUntil([this, count] { return frames_.size() >= count; }, timeoutMs);
}

bool ControllerSim::waitForEvent(const QString& name, int timeoutMs) {
  return waitUntil(
      [this, &name] {
        for (const QJsonObject& e : events_) {
          if (e.value(QStringLiteral("event")).toString() == name) return true;
        }
        return false;
      },
      timeoutMs);
}

}  // namespace tarvel::testing
