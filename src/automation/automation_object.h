// TAutomationObject: one automation object of any coclass, without D-Bus.
//
// The D-Bus adaptor checks a call's arguments against the type library and hands them here as
// canonical values; the object's member routes (one TMemberRoutes per class, filled by member
// name from the type library) pick the handler, which answers through the reply, now or later.
// The base class holds the routes, the one connection point and the common member pattern
// (debug mode, link ready, send through the command catalogue, answer). Coclasses whose object
// is not built yet use the base as it is, with routes that mark every member not built.
//
// Objects are owned by the server's registry through shared_ptr; the hub refers to event
// targets only by weak_ptr, so a released object is never called. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "automation/call_result.h"
#include "automation/member_routes.h"
#include "automation/type_library.h"
#include "base/status.h"

namespace tarvel::link {
class TOrvoCommands;
}

namespace tarvel::automation {

struct TAutomationContext;
class TDummy;

class TAutomationObject : public std::enable_shared_from_this<TAutomationObject> {
 public:
  using TEventSink = std::function<void(std::int32_t msg)>;

  // `routes` must be filled for this object's class and outlive the object.
  TAutomationObject(const TMemberRoutes& routes, TAutomationContext& context);
  virtual ~TAutomationObject();
  TAutomationObject(const TAutomationObject&) = delete;
  TAutomationObject& operator=(const TAutomationObject&) = delete;

  const TCoclassInfo& Coclass() const { return routes_.Coclass(); }

  // Runs `member` (a member of this coclass's dispatch interface) with `in` holding the in and
  // in/out arguments in order, already checked for type; `reply` is called exactly once.
  void Call(const TMemberInfo& member, const TArgs& in, TReply reply);

  // The connection point: one sink at a time. A second Advise fails with
  // CONNECT_E_ADVISELIMIT; Unadvise with another cookie fails with CONNECT_E_NOCONNECTION.
  TCallResult Advise(TEventSink sink, std::uint32_t* cookie);
  TCallResult Unadvise(std::uint32_t cookie);
  bool HasSink() const { return static_cast<bool>(sink_); }
  std::uint32_t Cookie() const { return cookie_; }
  // Fires OnMyEvent on the sink; nothing without a sink or when the event interface has none.
  void FireOnMyEvent(std::int32_t msg);

 protected:
  // Debug mode off and the link ready: commands go to the controller.
  bool Ready() const;
  // The common member pattern. In debug mode `simulate` (when given) acts on the offline
  // simulator; with the link not ready nothing happens; when ready `send` sends the command
  // through the link manager's catalogue. Succeeds in every case but a send that failed, whose
  // message it returns. `*sent` (when given) tells whether the command went out.
  TCallResult Command(const std::function<base::Status(link::TOrvoCommands&)>& send,
                      const std::function<void(TDummy&)>& simulate = nullptr, bool* sent = nullptr);

  TAutomationContext& context_;

 private:
  const TMemberRoutes& routes_;
  TEventSink sink_;
  std::uint32_t cookie_ = 0;
  static std::uint32_t nextCookie_;
};

}  // namespace tarvel::automation
