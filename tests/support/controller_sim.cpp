#include "controller_sim.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>

#include <functional>

namespace tarvel::testing {
namespace {

bool Wait(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

}  // namespace

ControllerSim::ControllerSim(QStringList extraArgs) : args_(std::move(extraArgs)) {
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ControllerSim::~ControllerSim() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.write("quit\n");
  process_.closeWriteChannel();
  if (!process_.waitForFinished(2000)) {
    process_.kill();
    process_.waitForFinished(2000);
  }
}

QString ControllerSim::program() const { return QStringLiteral(TARVEL_CONTROLLER_SIM); }

bool ControllerSim::start(int timeoutMs) {
  process_.start(program(), QStringList{"--port", "0", "--log", "-"} + args_);
  if (!process_.waitForStarted(timeoutMs)) return false;
  return Wait(
      [this] {
        readOutput();
        return port_ != 0 || process_.state() == QProcess::NotRunning;
      },
      timeoutMs) &&
         port_ != 0;
}

void ControllerSim::readOutput() {
  pending_ += process_.readAllStandardOutput();
  for (qsizetype nl; (nl = pending_.indexOf('\n')) >= 0;) {
    const QByteArray line = pending_.left(nl).trimmed();
    pending_.remove(0, nl + 1);
    if (line.startsWith("listening ")) {
      port_ = static_cast<quint16>(line.mid(line.lastIndexOf(':') + 1).toUInt());
    } else if (line.startsWith("ok ") || line.startsWith("error ")) {
      replies_ << QString::fromUtf8(line);
    } else if (line.startsWith('{')) {
      const QJsonObject o = QJsonDocument::fromJson(line).object();
      if (o.contains("event")) {
        events_ << o;
      } else if (o.value("dir").toString() == "rx") {
        frames_ << o;
      }
    }
  }
}

bool ControllerSim::command(const QString& line, int timeoutMs) {
  const int before = static_cast<int>(replies_.size());
  process_.write(line.toUtf8() + "\n");
  bool ok = false;
  Wait(
      [&] {
        readOutput();
        for (int i = before; i < replies_.size(); ++i) {
          if (replies_[i] == "ok " + line) {
            ok = true;
            return true;
          }
          if (replies_[i].startsWith("error ")) return true;
        }
        return process_.state() == QProcess::NotRunning;
      },
      timeoutMs);
  return ok;
}

QList<QJsonObject> ControllerSim::receivedFrames() {
  readOutput();
  return frames_;
}

QList<QJsonObject> ControllerSim::events() {
  readOutput();
  return events_;
}

bool ControllerSim::waitForFrames(int count, int timeoutMs) {
  return Wait(
      [&] {
        readOutput();
        return frames_.size() >= count;
      },
      timeoutMs);
}

bool ControllerSim::waitForEvent(const QString& name, int timeoutMs) {
  return Wait(
      [&] {
        readOutput();
        for (const auto& e : events_) {
          if (e.value("event").toString() == name) return true;
        }
        return false;
      },
      timeoutMs);
}

}  // namespace tarvel::testing
