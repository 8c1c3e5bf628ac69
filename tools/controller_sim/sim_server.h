// SimServer: the simulated controller's TCP server, stdin control channel and poll() loop.
//
// One thread, one poll loop, no busy waiting: the loop sleeps in ppoll until a socket, stdin or
// the signal pipe is ready, or until the next timed step (the pause between split pieces, the
// end of the drain after quit). One client at a time; a new connection replaces the old one.
// Received frames are cut incrementally, logged, and handed to the unit that owns their unit id.
//
// Everything the simulator sends goes through one FIFO output queue, so auto replies, command
// output and faults leave in the order they were made. A stdin command is answered "ok <line>"
// once its bytes are written to the socket (or at once when it sends nothing), and
// "error <text>" when it is refused or its connection goes before its bytes are out. Commands
// take effect as they are read; because the queue is FIFO their replies come in order.
//
// Fault behaviour (--split, --refuse, --scenario) is described in sim_options.h and
// fault_frames.h. The output queue is bounded (kMaxQueuedBytes): a client that stops reading
// while more is queued is disconnected rather than growing the simulator without limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "controller_sim/frame_cutter.h"
#include "controller_sim/frame_log.h"
#include "controller_sim/sim_options.h"
#include "controller_sim/sim_unit.h"

namespace tarvel::controller_sim {

class SystemUnit;
struct ControlCommand;

class SimServer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxQueuedBytes = 128u << 20;
  static constexpr std::size_t kMaxLineBytes = 64u << 20;  // raw hex of the largest frame fits
  static constexpr auto kSplitPause = std::chrono::milliseconds(2);
  static constexpr auto kQuitDrain = std::chrono::seconds(1);  // bound on flushing at quit

  // `log` must outlive the server.
  SimServer(SimOptions options, FrameLog& log);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Creates the signal pipe, binds, and listens unless --refuse.
  base::Status start();
  // "127.0.0.1:20000" or "[::1]:20000", with the port actually bound.
  std::string address() const { return address_; }
  // Runs until quit, stdin EOF or SIGTERM/SIGINT; returns the process exit code.
  int run();

 private:
  enum class After { kNothing, kClose, kReset };
  struct OutItem {
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
    After after = After::kNothing;
    std::string closeReason;            // for the log's "closed" event
    std::optional<std::string> okLine;  // the command confirmed once this item is out
  };
  struct Connection {
    int fd = -1;
    std::string peer;
    FrameCutter cutter;
    std::deque<OutItem> out;
    std::size_t queuedBytes = 0;
    std::size_t pieceLeft = 0;        // --split: bytes left of the piece being written
    Clock::time_point nextPieceAt{};  // --split: earliest start of the next piece
    bool muted = false;               // after the stall scenario: no more unasked output
  };

  void acceptClients();
  void dropConnection(const std::string& reason, bool reset,
                      const std::optional<std::string>& okFirst = std::nullopt);
  void readClient();
  void handleFrame(const FrameCutter::Frame& frame);
  SimUnit* unitFor(std::int32_t unitId);

  void queueFrame(const OutFrame& frame, std::optional<std::string> okLine = std::nullopt);
  void queueItem(OutItem item);
  void runScenario();
  void flushOutput();
  bool pausing(Clock::time_point now) const;

  void readStdin();
  void handleLine(const std::string& line);
  base::Status execute(const ControlCommand& command, const std::string& line);
  void confirm(const std::optional<std::string>& okLine);  // ok now or after queued output
  void beginQuit(std::optional<std::string> okLine);
  void say(const std::string& text);

  SimOptions options_;
  FrameLog& log_;
  std::vector<std::unique_ptr<SimUnit>> units_;
  SystemUnit* system_ = nullptr;  // owned by units_
  int listenFd_ = -1;
  int signalRead_ = -1;
  int signalWrite_ = -1;
  std::string address_;
  std::unique_ptr<Connection> conn_;
  bool scenarioDone_ = false;  // the scenario runs once per process
  bool stdinOpen_ = true;
  std::string stdinBuffer_;
  bool discardingLine_ = false;  // skipping the rest of an over-long stdin line
  bool quitting_ = false;
  Clock::time_point quitDeadline_{};
  std::optional<std::string> quitOk_;
  bool stopped_ = false;  // SIGTERM or SIGINT arrived
};

}  // namespace tarvel::controller_sim
