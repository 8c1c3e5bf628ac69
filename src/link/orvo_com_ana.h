// TOrvoComAna: the link manager, owner of the one connection to the machine controller.
//
// It cuts the received stream into frames and hands each to the dispatcher, writes outgoing
// frames through a bounded output queue, polls units cyclically on request, reads the
// connection file, and reports to the hub through events, a status text and counters.
//
// Receiving never waits: each read notification takes what the socket has (up to a bound),
// dispatches every complete frame (at most 1000 per notification; the rest follows from the
// event loop) and keeps a partial frame for the next notification. A frame that makes no
// progress for kStallMs is given up with the receive error. Sending never waits either: what
// the socket cannot take is queued whole and finished, in order, when it becomes writable.
//
// Reconnecting is the hub's decision: the link manager never calls Connect by itself. After any
// socket failure other than "would block" it closes the socket, so nothing leaks.
//
// The link moves frames: every complete frame goes to the borrowed dispatcher, which owns the
// unit-model table and the publication pass. The models, the dispatcher and the command state
// belong to the production graph and must outlive the link manager; the link owns no model and
// no shared record.
//
// Events are Qt signals under their historical names, so several listeners can watch and a
// listener that goes away is disconnected with it; nobody has to clear another's handler.
//
// Main thread only. Event handlers may call back into the link manager (send, disconnect).
#pragma once

#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "config/file_io.h"
#include "link/dispatcher.h"
#include "link/frame.h"
#include "link/frame_receiver.h"
#include "link/orvo_commands.h"
#include "link/output_queue.h"
#include "link/sockets.h"
#include "model/orvo_system_info.h"
#include "model/unit_models.h"

namespace tarvel::link {

class TOrvoComAna : public TSockets, public TOrvoCommands {
  Q_OBJECT

 public:
  static constexpr int kCycleUnits = 25;
  static constexpr int kLogUnits = 100;
  static constexpr int kMaxFramesPerCall = 1000;
  // Bytes read in one notification before the event loop gets its turn again.
  static constexpr std::size_t kMaxBytesPerCall = 4u * 1024 * 1024;
  // A frame that receives nothing for this long is given up (monotonic).
  static constexpr int kStallMs = 5000;
  static constexpr int kCyclePollMs = 550;
  // The built-in controller address, used until the connection file names another.
  static constexpr const char* kDefaultAddress = "127.0.0.1";
  static constexpr const char* kDefaultPort = "20000";

  TOrvoComAna(TDispatcher& dispatcher, model::TUnitModels& models, const TCommandState& state,
              QObject* parent = nullptr);
  ~TOrvoComAna() override;

 signals:
  void OnTimer();     // after each status-text change of the receive and send paths
  void OnSendData();  // after every frame write
  // Socket errors other than "would block".
  void OnErrOccurred(int socket, int error, const std::string& msg);
  void OnDataChanged(int msgid);  // notification ids
  void OnSendMessage(int msgid);  // the automation event path
  void OnUpIonData();
  void OnBeep(int frequencyHz, int durationMs);  // stands in for the speaker; never waits
  // The socket component's message boxes ("WINSOCK ERROR", ...).
  void OnLinkMessage(const std::string& title, const std::string& text);
  void OnConnected();  // the connection is up

 public:
  // Folder and name of the connection file ("..\Data", "OrvoMonitor.INI" by default).
  std::string Path = "../Data";
  std::string IniFileName = "OrvoMonitor.INI";

  void Connect();
  void Disconnect();
  std::int16_t IsConnected() const { return connected_; }
  bool OrvoDataUpdate() const { return false; }

  // Address defaults, then the connection file (row 0 the address, row 1 the port, which is only
  // compared, row 2 the units whose commands are logged).
  void LoadNetInfo();

  // The receive loop; installed as OnDataAvailable.
  void DataArrival(QObject* sender, int socket);

  // Builds a frame and writes it. Payloads over 236 bytes are refused and nothing is sent.
  base::Status SendFrame(std::int32_t unit, std::int32_t item, std::int32_t mode,
                         std::span<const std::uint8_t> payload) override;
  base::Status SendCommand(std::int32_t unit, std::int32_t item, std::int32_t mode) {
    return SendFrame(unit, item, mode, {});
  }
  // Writes one frame: sent now, or queued whole behind earlier ones. Fails (counting a send
  // error) when the link is not open or the queue has no room for all of it.
  base::Status WriteFrame(std::span<const std::uint8_t> bytes) { return WriteFrames({bytes}); }
  // One frame written in several pieces (a bulk frame's header and its data): all or nothing.
  base::Status WriteFrames(std::initializer_list<std::span<const std::uint8_t>> parts) override;

  void CycleRequest(int unit, bool on);
  void CyclePoll();
  bool CycleFlag(int unit) const;
  int CycleCount(int unit) const;
  bool CyclePollActive() const { return cycleTimer_.isActive(); }

  void NotifyDataChanged(int msgid) override { emit OnDataChanged(msgid); }
  void NotifyAlarm(int msgid, int alarm) {
    currentAlarm_ = alarm;
    NotifyDataChanged(msgid);
  }
  void NotifyClients(int msgid) { emit OnSendMessage(msgid); }
  int CurrentAlarm() const { return currentAlarm_; }

  // Report requests (the rest of the command catalogue is in TOrvoCommands).
  base::Status CmdSysInfoRequest();
  base::Status CmdStageRequest(std::int32_t item);
  base::Status CmdVacRequest(std::int32_t item);
  base::Status CmdIonDataRequest();
  base::Status CmdScan3Request();
  base::Status CmdApertureRequest(std::int32_t item);

  bool IsLogged(int unit) const;
  void SetLogged(int unit, bool on);

  TDispatcher& Dispatcher() { return dispatcher_; }

  // Diagnostics for the window and the status output.
  const std::string& StatusText() const { return statusText_; }
  int LastSocketError() const { return lastSocketError_; }
  const std::string& LastSocketErrorText() const { return lastSocketErrorText_; }
  std::int64_t SendErrorCount() const { return sendErrorCount_; }
  std::int64_t RecvErrorCount() const { return recvErrorCount_; }
  int ReentryCount() const { return reentryCount_; }
  int PendingReentries() const { return pendingReentries_; }
  std::int64_t FramesReceived() const { return framesReceived_; }
  bool DataArrived() const { return dataArrived_; }
  void ClearDataArrived() { dataArrived_ = false; }
  std::size_t QueuedBytes() const { return queue_.bytes(); }
  struct PrevFrame {
    std::int32_t length = 0;
    FrameIds ids;
  };
  const PrevFrame& PreviousFrame() const { return prevFrame_; }
  struct SentFrame {
    FrameIds ids;
    std::vector<std::uint8_t> payload;  // a copy: the caller's buffer is gone by the time it's read
  };
  const SentFrame& LastSentFrame() const { return lastSent_; }

  config::TFileIO& FileIO() { return fileIO_; }
  // Copies of the unit models' value records (the models are the graph's).
  model::SysInformation SysInformation() const { return models_.System.SysInformation(); }
  model::TOrvoSystemInfo& SystemInfo() { return models_.System; }

  // 1 the ORVO line, 2 the PADO line; follows the hub's machine type.
  int MachineType() const { return machineType_; }
  void SetMachineType(int type) { machineType_ = type == 2 ? 2 : 1; }

  // Alarm 9 (main-chamber vacuum interlock) is not raised while this is set.
  bool CancelVacMainInterlockAlarm() const { return cancelVacMainInterlockAlarm_; }
  void SetCancelVacMainInterlockAlarm(bool on) { cancelVacMainInterlockAlarm_ = on; }
  // How long a partial frame may go without progress (tests shorten it).
  void SetStallTimeoutMs(int ms) { stallTimer_.setInterval(ms); }

 private:
  enum class CutResult { kNeedMore, kCapped, kStop };
  // Dispatches buffered complete frames, counting them in *frames up to kMaxFramesPerCall.
  CutResult CutFrames(int socket, int* frames);
  void ReceiveBatch(int socket);
  void PeerClosed(int socket);
  void HandleBadFrame(const FrameReceiver::Next& bad);
  bool Drain(int socket);
  void StallExpired();
  void FlushQueue();
  void OnSocketError(QObject* sender, int socket, int error, const std::string& msg);
  void DropLink();
  void SetStatus(std::string text);
  void Beep(int hz, int ms) { emit OnBeep(hz, ms); }
  bool LinkOpen(int socket) const { return Socket() == socket && socket != -1; }
  bool AnyCycleFlag() const;

  TDispatcher& dispatcher_;
  model::TUnitModels& models_;
  bool cancelVacMainInterlockAlarm_ = false;
  int machineType_ = 1;
  config::TFileIO fileIO_;
  FrameReceiver receiver_;
  OutputQueue queue_;
  QTimer cycleTimer_;
  QTimer stallTimer_;
  QTimer continueTimer_;  // resumes a receive batch cut at kMaxFramesPerCall

  std::int16_t connected_ = 0;  // -1 connected, 0 not
  bool inReceive_ = false;
  bool draining_ = false;  // discarding the stream after a bad header, until it runs dry
  bool dataArrived_ = false;
  int pendingReentries_ = 0;
  int reentryCount_ = 0;
  std::int64_t sendErrorCount_ = 0;
  std::int64_t recvErrorCount_ = 0;
  std::int64_t framesReceived_ = 0;
  std::ptrdiff_t lastRecvResult_ = 0;  // result of the last receive call, for the header text
  std::int64_t frameRecvCalls_ = 0;    // receive calls made while the front frame was incomplete
  std::string statusText_;
  int lastSocketError_ = 0;
  std::string lastSocketErrorText_;
  int currentAlarm_ = 0;
  std::array<bool, kCycleUnits + 1> cycleFlags_{};
  std::array<int, kCycleUnits + 1> cycleCounts_{};
  std::array<bool, kLogUnits + 1> logged_{};
  PrevFrame prevFrame_;
  SentFrame lastSent_;
};

}  // namespace tarvel::link
