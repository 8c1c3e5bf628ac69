// tarvel-client: a client of the automation server that keeps one bus connection for a whole
// session. The server releases a client's objects when the client leaves the bus, so an object
// made by a one-shot `gdbus call` is gone when that call returns; this tool holds its objects
// until it ends.
//
//   tarvel-client [--dest NAME] [--system-bus] [--timeout MS] [STEP...]
//
// Each argument is one step; without arguments, steps are read from stdin, one per line, and
// a failed step does not end the session (errors are printed and the exit status is 1).
// With arguments the first failed step ends the run with status 1. Status 2: no bus.
//   tarvel-client 'create ProjectTarvel.SockSystem' 'call put_IPAdrs 127.0.0.1'
//                 'call put_SocketStatus true' 'until get_SocketStatus true 10' 'call get_SysName'
// (one command line).
// See bus_client.h for the steps' output.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "bus_client/bus_client.h"

namespace {

// Reads stdin without blocking the event loop; each complete line becomes a step.
class TStdinSteps : public QObject {
 public:
  explicit TStdinSteps(tarvel::tools::TBusClient& client) : client_(client) {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
      // A file is always readable; poll would only spin on it.
      while (ReadSome()) {
      }
      return;
    }
    notifier_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
      if (!ReadSome()) notifier_->setEnabled(false);
    });
  }

 private:
  // False at the end of input.
  bool ReadSome() {
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
      if (discarding_) {
        client_.Reject(kTooLong);
      } else if (!pending_.isEmpty()) {
        client_.Add(QString::fromUtf8(pending_));
      }
      pending_.clear();
      client_.EndOfInput();
      return false;
    }
    pending_.append(buf, n);
    for (qsizetype eol; (eol = pending_.indexOf('\n')) >= 0;) {
      if (discarding_) {
        // The end of an over-long line: it is refused whole, never run in pieces.
        client_.Reject(kTooLong);
        discarding_ = false;
      } else {
        client_.Add(QString::fromUtf8(pending_.left(eol)).trimmed());
      }
      pending_.remove(0, eol + 1);
    }
    // A line without its end is kept, but not without bound.
    if (pending_.size() > kMaxLine) {
      discarding_ = true;
      pending_.clear();
    }
    return true;
  }

  static constexpr qsizetype kMaxLine = 64 * 1024;
  static constexpr const char* kTooLong = "a step longer than 65536 bytes was ignored";

  tarvel::tools::TBusClient& client_;
  QSocketNotifier* notifier_ = nullptr;
  QByteArray pending_;
  bool discarding_ = false;  // inside an over-long line, until its end
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("tarvel-client");
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Runs steps against the automation server over one bus connection.\n"
      "Steps: create <ProgID|{class id}>, use <path>, call <member> [args],\n"
      "try <member> [args] (a failure does not end the run),\n"
      "until <member> [args] <expected> <seconds>, window <title>, release [path],\n"
      "wait <seconds>, wait-event [<n>] <seconds>, quit.");
  parser.addHelpOption();
  const QCommandLineOption destOpt("dest", "Bus name of the server.", "name",
                                   "ProjectTarvel.Server");
  const QCommandLineOption systemOpt("system-bus", "Use the system bus.");
  const QCommandLineOption timeoutOpt("timeout", "Bound of each call in ms.", "ms", "10000");
  parser.addOptions({destOpt, systemOpt, timeoutOpt});
  parser.addPositionalArgument("step", "One step per argument; stdin when there are none.");
  parser.process(app);

  bool ok = false;
  const int timeout = parser.value(timeoutOpt).toInt(&ok);
  if (!ok || timeout <= 0 || timeout > 600000) {
    std::fprintf(stderr, "tarvel-client: --timeout takes 1..600000 ms\n");
    return 2;
  }
  QDBusConnection bus =
      parser.isSet(systemOpt) ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "tarvel-client: no bus: %s\n", qPrintable(bus.lastError().message()));
    return 2;
  }
  const QStringList steps = parser.positionalArguments();
  tarvel::tools::TBusClient::Options options;
  options.destination = parser.value(destOpt);
  options.callTimeoutMs = timeout;
  options.stopOnError = !steps.isEmpty();
  tarvel::tools::TBusClient client(bus, options, [](const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
  });
  if (!client.Start()) {
    std::fprintf(stderr, "tarvel-client: the bus refuses to deliver events: %s\n",
                 qPrintable(bus.lastError().message()));
    return 2;
  }
  QObject::connect(&client, &tarvel::tools::TBusClient::Finished, &app,
                   [](int code) { QCoreApplication::exit(code); });
  std::unique_ptr<TStdinSteps> input;
  if (steps.isEmpty()) {
    input = std::make_unique<TStdinSteps>(client);
  } else {
    for (const QString& s : steps) client.Add(s);
    client.EndOfInput();
  }
  return app.exec();
}
