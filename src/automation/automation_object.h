// TAutomationObject: one automation object of any coclass, without D-Bus.
//
// The D-Bus adaptor checks a call's arguments against the type library and hands them here as
// canonical values; the object decides and answers through the reply, now or later. The base
// class holds the coclass identity and the one connection point; coclasses whose members are
// not built yet use it as it is and answer every member with E_NOTIMPL naming the member.
//
// Objects are owned by the server's registry through shared_ptr; the hub refers to event
// targets only by weak_ptr, so a released object is never called. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "automation/call_result.h"
#include "automation/type_library.h"

namespace tarvel::automation {

struct TAutomationContext;

class TAutomationObject : public std::enable_shared_from_this<TAutomationObject> {
 public:
  using TEventSink = std::function<void(std::int32_t msg)>;

  TAutomationObject(const TCoclassInfo& coclass, TAutomationContext& context);
  virtual ~TAutomationObject();
  TAutomationObject(const TAutomationObject&) = delete;
  TAutomationObject& operator=(const TAutomationObject&) = delete;

  const TCoclassInfo& Coclass() const { return coclass_; }

  // Runs `member` (a member of this coclass's dispatch interface) with `in` holding the in and
  // in/out arguments in order, already checked for type; `reply` is called exactly once.
  virtual void Call(const TMemberInfo& member, const std::vector<QVariant>& in, TReply reply);

  // The connection point: one sink at a time. A second Advise fails with
  // CONNECT_E_ADVISELIMIT; Unadvise with another cookie fails with CONNECT_E_NOCONNECTION.
  TCallResult Advise(TEventSink sink, std::uint32_t* cookie);
  TCallResult Unadvise(std::uint32_t cookie);
  bool HasSink() const { return static_cast<bool>(sink_); }
  std::uint32_t Cookie() const { return cookie_; }
  // Fires OnMyEvent on the sink; nothing without a sink or when the event interface has none.
  void FireOnMyEvent(std::int32_t msg);

 protected:
  TAutomationContext& context_;

 private:
  const TCoclassInfo& coclass_;
  TEventSink sink_;
  std::uint32_t cookie_ = 0;
  static std::uint32_t nextCookie_;
};

}  // namespace tarvel::automation
