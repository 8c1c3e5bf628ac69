#include "link/orvo_com_ana.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "link/socket_errors.h"

namespace tarvel::link {
namespace {

std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

const char* ConnectWord(std::int16_t connected) {
  return connected != 0 ? "Connect:True" : "Connect:False";
}

}  // namespace

TOrvoComAna::TOrvoComAna(TDispatcher& dispatcher, model::TUnitModels& models,
                         const TCommandState& state, QObject* parent)
    : TSockets(parent),
      TOrvoCommands(models.Stage, state),
      dispatcher_(dispatcher),
      models_(models) {
  MaximumReceiveLength = 32768;
  fileIO_.SetPath(Path);
  fileIO_.SetFileName(IniFileName);

  OnDataAvailable = [this](QObject* sender, int socket) { DataArrival(sender, socket); };
  OnDataNeeded = [this](QObject*, int) { FlushQueue(); };
  OnSessionConnected = [this](QObject*, int) {
    connected_ = -1;
    // Polling that was wanted before the connection (or the last one) resumes.
    if (AnyCycleFlag() && !cycleTimer_.isActive()) cycleTimer_.start();
    emit OnConnected();
  };
  OnMessage = [this](const std::string& title, const std::string& text) {
    emit OnLinkMessage(title, text);
  };
  OnSessionClosed = [this](QObject*, int socket) { PeerClosed(socket); };
  OnErrorOccurred = [this](QObject* sender, int socket, int error, const std::string& msg) {
    OnSocketError(sender, socket, error, msg);
  };

  cycleTimer_.setInterval(kCyclePollMs);
  connect(&cycleTimer_, &QTimer::timeout, this, [this] { CyclePoll(); });
  stallTimer_.setSingleShot(true);
  stallTimer_.setInterval(kStallMs);
  connect(&stallTimer_, &QTimer::timeout, this, [this] { StallExpired(); });
  continueTimer_.setSingleShot(true);
  continueTimer_.setInterval(0);
  connect(&continueTimer_, &QTimer::timeout, this, [this] {
    if (Socket() != -1) DataArrival(this, Socket());
  });
}

TOrvoComAna::~TOrvoComAna() = default;

void TOrvoComAna::SetStatus(std::string text) {
  statusText_ = std::move(text);
  emit OnTimer();
}

void TOrvoComAna::Connect() {
  // An open link is dropped as after an error: a half-sent frame must not lead the new
  // connection, and frames still queued for the old one are counted as send errors.
  if (Socket() != -1) {
    DropLink();
    connected_ = 0;
  }
  receiver_.reset();
  draining_ = false;
  SConnect();
}

void TOrvoComAna::Disconnect() {
  cycleTimer_.stop();
  cycleFlags_.fill(false);
  cycleCounts_.fill(0);
  DropLink();
  connected_ = 0;
}

void TOrvoComAna::DropLink() {
  cycleTimer_.stop();
  stallTimer_.stop();
  continueTimer_.stop();
  receiver_.reset();
  draining_ = false;
  // Frames still queued can no longer reach the controller: each one counts as a send error.
  sendErrorCount_ += static_cast<std::int64_t>(queue_.clear());
  SDisconnect();
}

void TOrvoComAna::LoadNetInfo() {
  IPAddr = kDefaultAddress;
  Port = kDefaultPort;
  fileIO_.SetPath(Path);
  fileIO_.SetFileName(IniFileName);
  if (!fileIO_.LoadTable(Path, IniFileName)) return;
  // The port is never taken from the file; it only confirms that the address line is meant
  // for this port.
  if (fileIO_.GetCell(2, 1) == Port) IPAddr = fileIO_.GetCell(2, 0);
  const std::string list = fileIO_.GetCell(2, 2);
  std::string_view rest(list);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    int unit = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), unit);
    if (ec == std::errc() && end == item.data() + item.size()) SetLogged(unit, true);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

bool TOrvoComAna::IsLogged(int unit) const {
  return unit >= 1 && unit <= kLogUnits && logged_[static_cast<std::size_t>(unit)];
}

void TOrvoComAna::SetLogged(int unit, bool on) {
  if (unit >= 1 && unit <= kLogUnits) logged_[static_cast<std::size_t>(unit)] = on;
}

// ---- receiving ----

void TOrvoComAna::DataArrival(QObject* sender, int socket) {
  (void)sender;
  if (inReceive_) {
    // A handler pumped the event loop while a batch runs; served when the batch ends.
    ++reentryCount_;
    ++pendingReentries_;
    return;
  }
  // Refused calls are replayed here in a loop, never by recursion.
  for (;;) {
    inReceive_ = true;
    statusText_ = "DataArrival";
    reentryCount_ = 0;
    ReceiveBatch(socket);
    inReceive_ = false;
    if (pendingReentries_ <= 0) break;
    --pendingReentries_;
    socket = Socket();
    if (socket == -1) {
      pendingReentries_ = 0;
      break;
    }
  }
}

TOrvoComAna::CutResult TOrvoComAna::CutFrames(int socket, int* frames) {
  while (*frames < kMaxFramesPerCall) {
    const FrameReceiver::Next next = receiver_.next();
    if (next.kind == FrameReceiver::Kind::kNeedMore) return CutResult::kNeedMore;
    if (next.kind != FrameReceiver::Kind::kFrame) {
      HandleBadFrame(next);
      return CutResult::kStop;
    }
    const ReceivedFrame& f = next.frame;
    ++*frames;
    ++framesReceived_;
    frameRecvCalls_ = 0;
    dispatcher_.Dispatch(f);
    dataArrived_ = true;
    prevFrame_ = {f.length, f.ids};
    dispatcher_.PublishChanges();
    // A handler may have closed or replaced the link.
    if (!LinkOpen(socket)) return CutResult::kStop;
  }
  return CutResult::kCapped;
}

void TOrvoComAna::ReceiveBatch(int socket) {
  if (!LinkOpen(socket)) return;
  if (draining_ && !Drain(socket)) return;
  int frames = 0;
  std::size_t bytes = 0;
  bool progress = false;
  for (;;) {
    const CutResult cut = CutFrames(socket, &frames);
    if (cut == CutResult::kStop) return;
    if (cut == CutResult::kCapped) {
      // One notification serves at most this many frames; the rest follows from the event loop
      // so timers and calls get their turn.
      SetStatus("Header Error");
      continueTimer_.start();
      break;
    }
    if (bytes >= kMaxBytesPerCall) break;  // the notifier fires again for what is left
    const std::span<std::uint8_t> room = receiver_.writable();
    if (room.empty()) break;  // cannot happen below the cap; never spin on it
    const std::ptrdiff_t n = SReceive(socket, room.data(), room.size());
    lastRecvResult_ = n;
    if (receiver_.buffered() > 0) ++frameRecvCalls_;
    if (n <= 0) break;  // no more waiting (-1), a failure (reported), or the peer closed (0)
    receiver_.commit(static_cast<std::size_t>(n));
    bytes += static_cast<std::size_t>(n);
    progress = true;
  }
  if (!LinkOpen(socket)) return;
  receiver_.compact();
  if (receiver_.buffered() == 0) {
    stallTimer_.stop();
  } else if (progress || !stallTimer_.isActive()) {
    stallTimer_.start();  // the partial frame has this long to make progress
  }
}

void TOrvoComAna::PeerClosed(int socket) {
  connected_ = 0;
  // Whole frames that arrived before the close are still served (the buffer is bounded, so
  // this is too); only a partial frame at the end is lost with the connection.
  if (!inReceive_ && !draining_) {
    inReceive_ = true;
    int frames = 0;
    while (CutFrames(socket, &frames) == CutResult::kCapped) frames = 0;
    inReceive_ = false;
  }
  // The peer is gone: free the socket now rather than when the hub reconnects.
  DropLink();
}

void TOrvoComAna::HandleBadFrame(const FrameReceiver::Next& bad) {
  const auto& m = bad.mark;
  SetStatus(Format("Header Format Error Cnt:%d (%d:%d:%d:%d)", static_cast<int>(lastRecvResult_),
                   m[0], m[1], m[2], m[3]));
  SetStatus(Format("Prev. Data Count:%d (%d:%d:%d)", prevFrame_.length, prevFrame_.ids.unit,
                   prevFrame_.ids.item, prevFrame_.ids.mode));
  // Nothing tells where the next frame starts, so everything already received is distrusted
  // and the stream is drained; the next frame is expected at the next notification.
  receiver_.reset();
  stallTimer_.stop();
  frameRecvCalls_ = 0;
  draining_ = true;
  if (LinkOpen(Socket())) Drain(Socket());
}

bool TOrvoComAna::Drain(int socket) {
  std::uint8_t scratch[1000];
  std::size_t dropped = 0;
  while (dropped < kMaxBytesPerCall) {
    const std::ptrdiff_t n = SReceive(socket, scratch, sizeof scratch);
    if (n <= 0) {
      // Ran dry (or the link went away): the next bytes start a frame again.
      draining_ = false;
      return n < 0 && LinkOpen(socket) && LastCallError() == kWsaWouldBlock;
    }
    dropped += static_cast<std::size_t>(n);
  }
  // Still streaming: go on at the next notification rather than hold the loop.
  return false;
}

void TOrvoComAna::StallExpired() {
  if (receiver_.buffered() == 0) return;
  const std::int64_t length = receiver_.pendingLength();
  if (length < 0) {
    SetStatus(
        "Header Data Count Error... Count: " +
        std::to_string(receiver_.buffered() > kMarkSize ? receiver_.buffered() - kMarkSize : 0));
  } else {
    Beep(2500, 50);
    ++recvErrorCount_;
    SetStatus("Receive Data Error... CNT(" + std::to_string(length) + ":" +
              std::to_string(receiver_.missing()) + ")" +
              "Retry:" + std::to_string(frameRecvCalls_) + ConnectWord(connected_));
  }
  // The rest of this frame may still come; it will not look like a header and is drained then.
  receiver_.reset();
  frameRecvCalls_ = 0;
}

// ---- sending ----

base::Status TOrvoComAna::SendFrame(std::int32_t unit, std::int32_t item, std::int32_t mode,
                                    std::span<const std::uint8_t> payload) {
  if (payload.size() > kMaxSinglePayload) {
    return base::Status::OutOfRange("payload of " + std::to_string(payload.size()) +
                                    " bytes exceeds the " + std::to_string(kMaxSinglePayload) +
                                    "-byte limit of a single frame");
  }
  std::array<std::uint8_t, kFrameBufferSize> frame;
  WriteHeader({unit, item, mode}, static_cast<std::uint32_t>(payload.size()),
              std::span<std::uint8_t, kHeaderSize>(frame.data(), kHeaderSize));
  std::copy(payload.begin(), payload.end(), frame.begin() + kHeaderSize);
  lastSent_.ids = {unit, item, mode};
  lastSent_.payload.assign(payload.begin(), payload.end());
  return WriteFrame(std::span<const std::uint8_t>(frame.data(), kHeaderSize + payload.size()));
}

base::Status TOrvoComAna::WriteFrames(std::initializer_list<std::span<const std::uint8_t>> parts) {
  std::size_t total = 0;
  for (const auto& p : parts) total += p.size();
  base::Status result;
  const int socket = Socket();
  if (socket == -1 || Closed()) {
    ++sendErrorCount_;
    result = base::Status::Unavailable("the controller link is not open");
  } else if (!queue_.fits(total)) {
    // Refused whole: a frame is never split between the wire and the floor.
    ++sendErrorCount_;
    SetStatus("Socket Data Send Error 0(" + std::to_string(total) + ")" + ConnectWord(connected_));
    result = base::Status::Busy("output queue full: " + std::to_string(queue_.bytes()) +
                                " bytes waiting, " + std::to_string(total) + " more refused");
  } else if (!queue_.empty()) {
    queue_.push(parts);  // behind earlier frames, to keep the order
  } else {
    std::size_t sent = 0;
    bool failed = false;
    for (const auto& p : parts) {
      std::size_t done = 0;
      while (done < p.size()) {
        const std::ptrdiff_t n = SSend(socket, p.data() + done, p.size() - done);
        if (n < 0) {
          failed = LastCallError() != kWsaWouldBlock;
          break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
      }
      sent += done;
      if (done < p.size()) break;
    }
    if (failed) {
      // The error path closed the socket; nothing of this frame stays on a live connection.
      ++sendErrorCount_;
      result = base::Status::IOError("send failed: " + lastSocketErrorText_);
    } else if (sent < total) {
      queue_.push(parts, sent);
      SetWriteWanted(true);
    }
  }
  emit OnSendData();
  return result;
}

void TOrvoComAna::FlushQueue() {
  const int socket = Socket();
  while (!queue_.empty()) {
    const auto front = queue_.front();
    const std::ptrdiff_t n = SSend(socket, front.data(), front.size());
    if (n < 0) {
      if (LastCallError() == kWsaWouldBlock && LinkOpen(socket)) return;  // wait for room
      return;  // the error path dropped the link and the queue
    }
    if (n == 0) return;
    queue_.consume(static_cast<std::size_t>(n));
  }
  SetWriteWanted(false);
}

void TOrvoComAna::OnSocketError(QObject*, int socket, int error, const std::string& msg) {
  lastSocketError_ = error;
  lastSocketErrorText_ = msg;
  if (error == kWsaWouldBlock) {
    Beep(1000, 50);
    return;
  }
  connected_ = 0;
  // A failed socket is closed before anyone reconnects, so retries never leak descriptors.
  DropLink();
  emit OnErrOccurred(socket, error, msg);
}

// ---- cyclic polling ----

void TOrvoComAna::CycleRequest(int unit, bool on) {
  if (unit < 1 || unit > kCycleUnits) return;
  const auto n = static_cast<std::size_t>(unit);
  // A request made while the link is down still counts; polling starts when it comes up.
  if (on) {
    ++cycleCounts_[n];
    cycleFlags_[n] = true;
    // A repeated "on" must not push the next poll back by restarting the period.
    if (connected_ != 0 && !cycleTimer_.isActive()) cycleTimer_.start();
    return;
  }
  // A unit stays polled when its count falls to 0; only a surplus "off" stops it.
  if (--cycleCounts_[n] < 0) {
    cycleCounts_[n] = 0;
    cycleFlags_[n] = false;
  }
  if (!AnyCycleFlag()) {
    cycleTimer_.stop();
  } else if (connected_ != 0 && !cycleTimer_.isActive()) {
    cycleTimer_.start();
  }
}

bool TOrvoComAna::AnyCycleFlag() const {
  return std::any_of(cycleFlags_.begin(), cycleFlags_.end(), [](bool f) { return f; });
}

bool TOrvoComAna::CycleFlag(int unit) const {
  return unit >= 1 && unit <= kCycleUnits && cycleFlags_[static_cast<std::size_t>(unit)];
}

int TOrvoComAna::CycleCount(int unit) const {
  return unit >= 1 && unit <= kCycleUnits ? cycleCounts_[static_cast<std::size_t>(unit)] : 0;
}

void TOrvoComAna::CyclePoll() {
  const auto on = [this](int unit) { return cycleFlags_[static_cast<std::size_t>(unit)]; };
  if (on(1)) (void)CmdSysInfoRequest();
  if (on(2)) {
    (void)SendCommand(kUnitOptics, 1, kModeRequest);
    (void)SendCommand(kUnitOpticsMonitor, 1, kModeRequest);
  }
  if (on(3)) {
    (void)SendCommand(kUnitOpticsMonitor, 1, kModeRequest);
    (void)CmdApertureRequest(3);
  }
  if (on(6)) (void)CmdIonDataRequest();
  if (on(10)) (void)CmdStageRequest(1);
  if (on(9)) (void)CmdVacRequest(1);
  if (on(15)) (void)SendCommand(kUnitAdc64, 1, kModeRequest);
  if (on(18)) (void)SendCommand(kUnitPower, 1, kModeRequest);
  if (on(19)) (void)CmdScan3Request();
  if (on(20)) {
    (void)CmdApertureRequest(3);
    (void)CmdApertureRequest(4);
    (void)CmdApertureRequest(2);
  }
}

}  // namespace tarvel::link
