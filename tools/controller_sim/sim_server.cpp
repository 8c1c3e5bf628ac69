#include "controller_sim/sim_server.h"
#include "controller_sim/stage_unit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "controller_sim/control_command.h"
#include "controller_sim/fault_frames.h"
#include "controller_sim/system_unit.h"
#include "link/frame_format.h"

namespace tarvel::controller_sim {
namespace {

int g_signalWrite = -1;  // the write end of the signal pipe, for the async-signal handler

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (g_signalWrite >= 0) (void)!write(g_signalWrite, &byte, 1);
  errno = saved;
}

std::string ErrnoText(const char* call) {
  return std::string(call) + ": " + std::strerror(errno);
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

std::string PeerText(const sockaddr_storage& ss) {
  char host[INET6_ADDRSTRLEN] = "?";
  std::uint16_t port = 0;
  if (ss.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&ss);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof(host));
    port = ntohs(a->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  const auto* a = reinterpret_cast<const sockaddr_in6*>(&ss);
  inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof(host));
  port = ntohs(a->sin6_port);
  return "[" + std::string(host) + "]:" + std::to_string(port);
}

}  // namespace

SimServer::SimServer(SimOptions options, FrameLog& log) : options_(std::move(options)), log_(log) {
  auto system = std::make_unique<SystemUnit>(options_.identity);
  system_ = system.get();
  units_.push_back(std::move(system));
  auto stage = std::make_unique<StageUnit>();
  stage->onTarget = [this](int axis, std::optional<float> target) {
    log_.event("stage-target", {{"axis", std::to_string(axis)},
                                {"target", target ? std::to_string(*target) : "none"}});
  };
  units_.push_back(std::move(stage));
}

SimServer::~SimServer() {
  if (conn_) ::close(conn_->fd);
  if (listenFd_ >= 0) ::close(listenFd_);
  if (g_signalWrite == signalWrite_) g_signalWrite = -1;
  if (signalRead_ >= 0) ::close(signalRead_);
  if (signalWrite_ >= 0) ::close(signalWrite_);
}

base::Status SimServer::start() {
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return base::Status::FromErrno("pipe2", errno);
  signalRead_ = fds[0];
  signalWrite_ = fds[1];
  g_signalWrite = signalWrite_;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a vanished client is seen as a send error instead

  sockaddr_storage ss{};
  socklen_t len = 0;
  const bool v6 = options_.host.find(':') != std::string::npos;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(options_.port);
    if (inet_pton(AF_INET6, options_.host.c_str(), &a->sin6_addr) != 1)
      return base::Status::InvalidArgument("bad address " + options_.host);
    len = sizeof(sockaddr_in6);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.host.c_str(), &a->sin_addr) != 1)
      return base::Status::InvalidArgument("bad address " + options_.host);
    len = sizeof(sockaddr_in);
  }
  listenFd_ = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return base::Status::FromErrno("socket", errno);
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
    return base::Status::FromErrno("bind " + options_.host + ":" + std::to_string(options_.port),
                                   errno);
  }
  // --refuse stops here: a bound port without a listener answers every connect with a reset.
  if (!options_.refuse && listen(listenFd_, 8) != 0)
    return base::Status::FromErrno("listen", errno);
  sockaddr_storage bound{};
  socklen_t boundLen = sizeof(bound);
  if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &boundLen) != 0)
    return base::Status::FromErrno("getsockname", errno);
  address_ = PeerText(bound);
  return base::Status::Ok();
}

// ---- connection ------------------------------------------------------------------------------

void SimServer::acceptClients() {
  for (;;) {
    sockaddr_storage ss{};
    socklen_t len = sizeof(ss);
    const int fd =
        accept4(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (!WouldBlock(errno) && errno != ECONNABORTED)
        log_.event("error", {{"text", ErrnoText("accept")}});
      return;
    }
    if (conn_) dropConnection("replaced", false);
    // Replies go out at once, and with --split every piece becomes its own segment.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    conn_ = std::make_unique<Connection>();
    conn_->fd = fd;
    conn_->peer = PeerText(ss);
    log_.event("accepted", {{"peer", conn_->peer}});
  }
}

void SimServer::dropConnection(const std::string& reason, bool reset,
                               const std::optional<std::string>& okFirst) {
  if (!conn_) return;
  std::unique_ptr<Connection> c = std::move(conn_);
  if (reset) {
    const linger lg{1, 0};  // close with RST, dropping whatever is still unsent
    setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
  }
  ::close(c->fd);
  log_.event("closed", {{"reason", reason}});
  if (okFirst) say("ok " + *okFirst);
  for (const OutItem& item : c->out) {
    if (item.okLine) say("error connection closed before done: " + *item.okLine);
  }
}

void SimServer::readClient() {
  std::uint8_t buf[64 * 1024];
  // A bounded number of reads per wake keeps stdin and timers served under a flood.
  for (int round = 0; round < 4 && conn_; ++round) {
    const ssize_t n = recv(conn_->fd, buf, sizeof(buf), 0);
    if (n == 0) {
      dropConnection("peer", false);
      return;
    }
    if (n < 0) {
      if (!WouldBlock(errno)) dropConnection("error: " + ErrnoText("recv"), false);
      return;
    }
    conn_->cutter.feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
    FrameCutter::Frame frame;
    std::string error;
    for (;;) {
      const FrameCutter::Next next = conn_->cutter.next(&frame, &error);
      if (next == FrameCutter::Next::kNeedMore) break;
      if (next == FrameCutter::Next::kError) {
        log_.event("rx-error", {{"text", error}});
        break;
      }
      handleFrame(frame);
      if (!conn_) return;  // a reply overflowed the queue and dropped the client
    }
    if (static_cast<std::size_t>(n) < sizeof(buf)) return;  // the socket is drained
  }
}

SimUnit* SimServer::unitFor(std::int32_t unitId) {
  for (const auto& u : units_) {
    if (u->unitId() == unitId) return u.get();
  }
  return nullptr;
}

void SimServer::handleFrame(const FrameCutter::Frame& frame) {
  log_.received(frame.ids, frame.frameLength, frame.payload);
  SimUnit* unit = unitFor(frame.ids.unit);
  if (!unit) return;
  std::vector<OutFrame> replies;
  unit->receive(frame.ids, frame.payload, replies);
  if (conn_->muted || quitting_) return;
  for (const OutFrame& r : replies) {
    queueFrame(r);
    if (!conn_) return;
  }
}

// ---- output ----------------------------------------------------------------------------------

void SimServer::queueFrame(const OutFrame& frame, std::optional<std::string> okLine) {
  OutItem item;
  item.bytes = link::BuildFrame(frame.ids, frame.payload);
  item.okLine = std::move(okLine);
  queueItem(std::move(item));
  const bool fullSystemReport =
      frame.ids == link::FrameIds{link::kUnitSystem, SystemUnit::kItemAll, link::kModeRequest};
  if (fullSystemReport && conn_ && options_.scenario != Scenario::kNone && !scenarioDone_) {
    scenarioDone_ = true;
    runScenario();
  }
}

void SimServer::runScenario() {
  OutItem item;
  switch (options_.scenario) {
    case Scenario::kNone:
      return;
    case Scenario::kBadHeader:
      item.bytes = BadHeaderBytes();
      break;
    case Scenario::kLen0:
      item.bytes = LengthFaultBytes(0);
      break;
    case Scenario::kLen11:
      item.bytes = LengthFaultBytes(11);
      break;
    case Scenario::kLenMax:
      item.bytes = LengthFaultBytes(0x7FFFFFFF);
      break;
    case Scenario::kStall:
      item.bytes = StallBytes({link::kUnitSystem, SystemUnit::kItemAll, link::kModeRequest},
                              kStallScenarioPayload);
      conn_->muted = true;
      break;
    case Scenario::kClose:
      item.after = After::kClose;
      item.closeReason = "scenario close";
      break;
  }
  log_.event("scenario", {{"name", [this] {
                             switch (options_.scenario) {
                               case Scenario::kBadHeader:
                                 return "bad-header";
                               case Scenario::kLen0:
                                 return "len0";
                               case Scenario::kLen11:
                                 return "len11";
                               case Scenario::kLenMax:
                                 return "lenmax";
                               case Scenario::kStall:
                                 return "stall";
                               case Scenario::kClose:
                                 return "close";
                               case Scenario::kNone:
                                 break;
                             }
                             return "none";
                           }()}});
  queueItem(std::move(item));
}

void SimServer::queueItem(OutItem item) {
  if (!conn_) {
    if (item.okLine) say("error no connection");
    return;
  }
  if (conn_->queuedBytes + item.bytes.size() > kMaxQueuedBytes) {
    const std::optional<std::string> ok = item.okLine;
    dropConnection("output overflow: the client does not read", false);
    if (ok) say("error output overflow, connection dropped: " + *ok);
    return;
  }
  conn_->queuedBytes += item.bytes.size();
  conn_->out.push_back(std::move(item));
  flushOutput();
}

bool SimServer::pausing(Clock::time_point now) const {
  return conn_ && options_.split > 0 && conn_->pieceLeft == 0 && now < conn_->nextPieceAt &&
         !conn_->out.empty() && conn_->out.front().sent < conn_->out.front().bytes.size();
}

void SimServer::flushOutput() {
  while (conn_ && !conn_->out.empty()) {
    OutItem& item = conn_->out.front();
    if (item.sent < item.bytes.size()) {
      const Clock::time_point now = Clock::now();
      std::size_t want = item.bytes.size() - item.sent;
      if (options_.split > 0) {
        if (conn_->pieceLeft == 0) {
          if (now < conn_->nextPieceAt) return;  // the loop's timeout resumes here
          conn_->pieceLeft = std::min(options_.split, want);
        }
        want = conn_->pieceLeft;
      }
      const ssize_t n = send(conn_->fd, item.bytes.data() + item.sent, want, MSG_NOSIGNAL);
      if (n < 0) {
        if (!WouldBlock(errno)) dropConnection("error: " + ErrnoText("send"), false);
        return;  // writable again: POLLOUT
      }
      const auto written = static_cast<std::size_t>(n);
      item.sent += written;
      conn_->queuedBytes -= written;
      if (options_.split > 0) {
        conn_->pieceLeft -= written;
        if (conn_->pieceLeft == 0) conn_->nextPieceAt = Clock::now() + kSplitPause;
      }
      continue;
    }
    const After after = item.after;
    const std::string reason = item.closeReason;
    const std::optional<std::string> ok = std::move(item.okLine);
    conn_->out.pop_front();
    if (after == After::kNothing) {
      if (ok) say("ok " + *ok);
      continue;
    }
    dropConnection(reason, after == After::kReset, ok);
    return;
  }
}

// ---- control channel -------------------------------------------------------------------------

void SimServer::say(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void SimServer::confirm(const std::optional<std::string>& okLine) {
  if (!okLine) return;
  if (conn_ && !conn_->out.empty()) {
    // Something is still queued: confirm after it, so the replies keep the command order.
    OutItem marker;
    marker.okLine = okLine;
    conn_->out.push_back(std::move(marker));
    return;
  }
  say("ok " + *okLine);
}

void SimServer::readStdin() {
  char buf[64 * 1024];
  const ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
  if (n < 0 && errno == EINTR) return;
  if (n <= 0) {
    stdinOpen_ = false;
    // A last line without its newline still counts.
    if (!stdinBuffer_.empty() && !discardingLine_) handleLine(stdinBuffer_);
    stdinBuffer_.clear();
    if (!quitting_) beginQuit(std::nullopt);
    return;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
    if (buf[i] != '\n') continue;
    if (discardingLine_) {
      discardingLine_ = false;
    } else {
      stdinBuffer_.append(buf + start, i - start);
      std::string line = std::move(stdinBuffer_);
      stdinBuffer_.clear();
      if (!quitting_) handleLine(line);
    }
    start = i + 1;
  }
  if (!discardingLine_) stdinBuffer_.append(buf + start, static_cast<std::size_t>(n) - start);
  if (stdinBuffer_.size() > kMaxLineBytes) {
    say("error line longer than " + std::to_string(kMaxLineBytes) + " bytes");
    stdinBuffer_.clear();
    discardingLine_ = true;
  }
}

void SimServer::handleLine(const std::string& raw) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.find_first_not_of(" \t") == std::string::npos) return;  // blank lines are ignored
  base::Result<ControlCommand> command = ParseControlCommand(line);
  if (!command.ok()) {
    say("error " + command.status().message());
    return;
  }
  if (command->sends() && !conn_) {
    say("error no connection");
    return;
  }
  if (base::Status s = execute(*command, line); !s.ok()) say("error " + s.message());
}

base::Status SimServer::execute(const ControlCommand& c, const std::string& line) {
  using Kind = ControlCommand::Kind;
  OutItem item;
  item.okLine = line;
  switch (c.kind) {
    case Kind::kReport: {
      SimUnit* unit = unitFor(c.ids.unit);
      std::vector<OutFrame> frames;
      if (!unit || !unit->report(c.ids.item, frames) || frames.empty()) {
        return base::Status::NotFound("no report for unit " + std::to_string(c.ids.unit) +
                                      " item " + std::to_string(c.ids.item));
      }
      for (std::size_t i = 0; i < frames.size(); ++i) {
        queueFrame(frames[i],
                   i + 1 == frames.size() ? std::optional<std::string>(line) : std::nullopt);
      }
      return base::Status::Ok();
    }
    case Kind::kFrame:
      queueFrame({c.ids, c.bytes}, line);
      return base::Status::Ok();
    case Kind::kBurst:
      item.bytes = BurstBytes(c.count, c.ids, c.payloadLength);
      break;
    case Kind::kRaw:
      item.bytes = c.bytes;
      break;
    case Kind::kBadHeader:
      item.bytes = BadHeaderBytes();
      break;
    case Kind::kLength:
      item.bytes = LengthFaultBytes(c.frameLength);
      break;
    case Kind::kStall:
      item.bytes = StallBytes(c.ids, c.payloadLength);
      break;
    case Kind::kClose:
      item.after = After::kClose;
      item.closeReason = "close";
      break;
    case Kind::kReset:
      item.after = After::kReset;
      item.closeReason = "reset";
      break;
    case Kind::kQuit:
      beginQuit(line);
      return base::Status::Ok();
    case Kind::kSet: {
      if (base::Status s = SetIdentityField(system_->identity(), c.key, c.value); !s.ok()) return s;
      confirm(line);
      return base::Status::Ok();
    }
  }
  queueItem(std::move(item));
  return base::Status::Ok();
}

void SimServer::beginQuit(std::optional<std::string> okLine) {
  quitting_ = true;
  quitOk_ = std::move(okLine);
  quitDeadline_ = Clock::now() + kQuitDrain;
}

// ---- loop ------------------------------------------------------------------------------------

int SimServer::run() {
  if (!options_.control) stdinOpen_ = false;
  for (;;) {
    if (stopped_) {
      dropConnection("terminated", false);
      return 0;
    }
    const Clock::time_point now = Clock::now();
    if (quitting_ && (!conn_ || conn_->out.empty() || now >= quitDeadline_)) {
      if (quitOk_) say("ok " + *quitOk_);
      dropConnection("quit", false);
      return 0;
    }

    pollfd fds[4];
    nfds_t count = 0;
    int signalIndex = -1, stdinIndex = -1, listenIndex = -1, clientIndex = -1;
    signalIndex = static_cast<int>(count);
    fds[count++] = {signalRead_, POLLIN, 0};
    if (stdinOpen_ && !quitting_) {
      stdinIndex = static_cast<int>(count);
      fds[count++] = {STDIN_FILENO, POLLIN, 0};
    }
    if (!options_.refuse && !quitting_) {
      listenIndex = static_cast<int>(count);
      fds[count++] = {listenFd_, POLLIN, 0};
    }
    std::optional<Clock::time_point> wake;
    if (conn_) {
      short events = quitting_ ? 0 : POLLIN;
      if (pausing(now)) {
        wake = conn_->nextPieceAt;
      } else if (!conn_->out.empty()) {
        events |= POLLOUT;
      }
      clientIndex = static_cast<int>(count);
      fds[count++] = {conn_->fd, events, 0};
    }
    if (quitting_ && (!wake || quitDeadline_ < *wake)) wake = quitDeadline_;

    timespec ts{};
    timespec* timeout = nullptr;
    if (wake) {
      const auto ns = std::max<std::int64_t>(
          0, std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - now).count());
      ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeout = &ts;
    }
    const int ready = ppoll(fds, count, timeout, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "tarvel-controller-sim: %s\n", ErrnoText("ppoll").c_str());
      return 1;
    }

    if (fds[signalIndex].revents & POLLIN) {
      stopped_ = true;
      continue;
    }
    if (clientIndex >= 0 && conn_ && fds[clientIndex].fd == conn_->fd) {
      const short re = fds[clientIndex].revents;
      if (re & (POLLIN | POLLHUP | POLLERR)) readClient();
      if (conn_ && (re & POLLOUT)) flushOutput();
    }
    if (conn_ && !pausing(Clock::now())) flushOutput();  // a finished pause resumes the pieces
    if (listenIndex >= 0 && (fds[listenIndex].revents & POLLIN)) acceptClients();
    if (stdinIndex >= 0 && (fds[stdinIndex].revents & (POLLIN | POLLHUP | POLLERR))) readStdin();
  }
}

}  // namespace tarvel::controller_sim
