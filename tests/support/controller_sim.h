// ControllerSim: runs tarvel-controller-sim for a test and talks to it.
//
// The simulator listens on an ephemeral loopback port, logs what it receives as JSON lines on
// its stdout and takes control commands on stdin ("report 1 1", "close", ...), each answered by
// "ok <line>". Every wait runs the Qt event loop and is bounded.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

namespace tarvel::testing {

class ControllerSim {
 public:
  explicit ControllerSim(QStringList extraArgs = {});
  ~ControllerSim();  // quit, then kill after 2 s
  ControllerSim(const ControllerSim&) = delete;
  ControllerSim& operator=(const ControllerSim&) = delete;

  bool start(int timeoutMs = 5000);
  quint16 port() const { return port_; }
  bool command(const QString& line, int timeoutMs = 5000);
  QList<QJsonObject> receivedFrames();
  QList<QJsonObject> events();
  bool waitForFrames(int count, int timeoutMs = 5000);
  bool waitForEvent(const QString& name, int timeoutMs = 5000);
  QString program() const;

 private:
  void readOutput();

  QStringList args_;
  QProcess process_;
  QByteArray pending_;  // output not yet cut into lines
  QList<QJsonObject> frames_;
  QList<QJsonObject> events_;
  QStringList replies_;  // "ok ..." and "error ..." lines
  quint16 port_ = 0;
};

}  // namespace tarvel::testing
