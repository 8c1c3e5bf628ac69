// ControllerSim: runs tarvel-controller-sim as a child process for a test.
//
// start() launches the simulator on an ephemeral loopback port with its log on stdout and waits
// for its "listening" line; command() drives its stdin control channel; the rx and event lines
// of its log are collected as JSON objects. Every wait runs the Qt event loop with a deadline
// (no sleeping), so a QCoreApplication must exist (tarvel_test_main provides one).
// The destructor sends "quit", kills the process if it has not ended within 2 s, and records a
// test failure when the simulator ended abnormally (crash, non-zero exit such as a sanitizer
// report). The simulator's stderr is forwarded to the test's stderr.
// Single-threaded: use it from the thread that owns the QCoreApplication.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace tarvel::testing {

class ControllerSim {
 public:
  explicit ControllerSim(QStringList extraArgs = {});
  ~ControllerSim();  // ends the process (quit, then kill after 2 s)
  ControllerSim(const ControllerSim&) = delete;
  ControllerSim& operator=(const ControllerSim&) = delete;

  // Runs the binary with --port 0 --log - plus extraArgs; waits for the listening line.
  bool start(int timeoutMs = 5000);
  quint16 port() const;
  // Writes the line and waits for its "ok" reply; false on "error", timeout or exit.
  bool command(const QString& line, int timeoutMs = 5000);
  QList<QJsonObject> receivedFrames();  // the "rx" log lines so far
  QList<QJsonObject> events();          // the "event" lines so far
  bool waitForFrames(int count, int timeoutMs = 5000);
  bool waitForEvent(const QString& name, int timeoutMs = 5000);
  QString program() const;  // path of the simulator binary

 private:
  enum class Reply { kNone, kOk, kError };

  void drain();  // reads pending stdout/stderr and sorts the lines
  void takeLine(const QByteArray& line);
  bool waitUntil(const std::function<bool()>& done, int timeoutMs);

  QStringList extraArgs_;
  QProcess process_;
  QByteArray stdoutBuffer_;
  QByteArray stderrBuffer_;
  quint16 port_ = 0;
  bool started_ = false;  // the process ran, so its exit status is checked at the end
  bool listening_ = false;
  QList<QJsonObject> frames_;
  QList<QJsonObject> events_;
  QString awaited_;  // the command line whose reply command() waits for
  Reply reply_ = Reply::kNone;
  QString lastError_;  // text of the last "error" reply
};

}  // namespace tarvel::testing
