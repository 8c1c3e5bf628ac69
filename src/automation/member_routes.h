// TMemberRoutes: which handler answers each member of one coclass, keyed by the member table.
//
// An object class fills one TMemberRoutes, once, naming each member by its table name and kind;
// the dispatch id and the slot come from the type library, never from the class, so no class
// restates them. Each member ends up routed to a handler, marked not built (it answers E_NOTIMPL
// naming the member), or unrouted. Problems() lists the unrouted members together with every
// registration that named a member the table lacks or routed a member twice; a test checks it
// for every coclass, so a forgotten or misspelt member fails there instead of reaching the wrong
// handler or silently answering E_NOTIMPL.
//
// A filled TMemberRoutes is read-only and shared by every object of its class. It refers to the
// type library's TCoclassInfo, which lives for the process. Main thread only.
#pragma once

#include <QVariant>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "automation/call_result.h"
#include "automation/type_library.h"

namespace tarvel::automation {

class TAutomationObject;

// The in and in/out arguments of a call in table order, checked for count and type.
using TArgs = std::vector<QVariant>;

class TMemberRoutes {
 public:
  // `self` is the object the call runs on, of the class that filled these routes; `reply` is
  // called exactly once, now or later.
  using THandler = std::function<void(TAutomationObject& self, const TArgs& in, TReply reply)>;

  // Every member unrouted.
  explicit TMemberRoutes(const TCoclassInfo& coclass);
  // The mark of a coclass whose object is still to come: every member is not built.
  static TMemberRoutes NotBuiltCoclass(const TCoclassInfo& coclass);

  void Route(TMemberKind kind, std::string_view name, THandler handler);
  // Every kind of each named member answers E_NOTIMPL until it is built.
  void NotBuilt(std::initializer_list<std::string_view> names);

  // Runs the member's handler; a member not built, unrouted, or called with the wrong number of
  // arguments is answered with an error naming it.
  void Call(TAutomationObject& self, const TMemberInfo& member, const TArgs& in,
            TReply reply) const;

  // Empty when every member has a handler or a not-built mark and every registration was sound.
  std::vector<std::string> Problems() const;
  const TCoclassInfo& Coclass() const { return coclass_; }

 private:
  enum class TState { kUnrouted, kHandler, kNotBuilt };
  struct TEntry {
    TState state = TState::kUnrouted;
    THandler handler;
  };
  // The index of `member` in the coclass's member list, or -1 when it is not one of them.
  int IndexOf(const TMemberInfo& member) const;
  std::string Describe(const TMemberInfo& m) const;  // "ISockSystem get SocketStatus"

  const TCoclassInfo& coclass_;
  std::vector<TEntry> entries_;      // one per member, in slot order
  std::vector<std::string> errors_;  // bad registrations, in the order they were made
};

// The typed face of TMemberRoutes for object class T, so that handlers take T& directly.
template <class T>
class TRoutesOf {
 public:
  explicit TRoutesOf(TMemberRoutes& routes) : routes_(routes) {}

  // A getter that answers at once.
  void Get(std::string_view name, std::function<TCallResult(T&)> fn) {
    routes_.Route(TMemberKind::kGet, name,
                  [fn = std::move(fn)](TAutomationObject& o, const TArgs&, TReply reply) {
                    reply(fn(static_cast<T&>(o)));
                  });
  }
  // A setter that answers at once; `value` is its one argument.
  void Put(std::string_view name, std::function<TCallResult(T&, const QVariant& value)> fn) {
    routes_.Route(TMemberKind::kPut, name,
                  [fn = std::move(fn)](TAutomationObject& o, const TArgs& in, TReply reply) {
                    reply(fn(static_cast<T&>(o), in[0]));
                  });
  }
  // A method that answers at once.
  void Method(std::string_view name, std::function<TCallResult(T&, const TArgs&)> fn) {
    routes_.Route(TMemberKind::kMethod, name,
                  [fn = std::move(fn)](TAutomationObject& o, const TArgs& in, TReply reply) {
                    reply(fn(static_cast<T&>(o), in));
                  });
  }
  // A member that may answer later (a wait, a delay).
  void Later(TMemberKind kind, std::string_view name,
             std::function<void(T&, const TArgs&, TReply)> fn) {
    routes_.Route(kind, name,
                  [fn = std::move(fn)](TAutomationObject& o, const TArgs& in, TReply reply) {
                    fn(static_cast<T&>(o), in, std::move(reply));
                  });
  }
  void NotBuilt(std::initializer_list<std::string_view> names) { routes_.NotBuilt(names); }

 private:
  TMemberRoutes& routes_;
};

}  // namespace tarvel::automation
