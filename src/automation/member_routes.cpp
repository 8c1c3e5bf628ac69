#include "automation/member_routes.h"

namespace tarvel::automation {

TMemberRoutes::TMemberRoutes(const TCoclassInfo& coclass)
    : coclass_(coclass), entries_(coclass.dispatch.members.size()) {}

TMemberRoutes TMemberRoutes::NotBuiltCoclass(const TCoclassInfo& coclass) {
  TMemberRoutes r(coclass);
  for (TEntry& e : r.entries_) e.state = TState::kNotBuilt;
  return r;
}

void TMemberRoutes::Route(TMemberKind kind, std::string_view name, THandler handler) {
  const auto& members = coclass_.dispatch.members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].kind != kind || members[i].name != name) continue;
    TEntry& e = entries_[i];
    if (e.state != TState::kUnrouted) {
      errors_.push_back(Describe(members[i]) + " is routed twice");
      return;
    }
    e.state = handler ? TState::kHandler : TState::kUnrouted;
    e.handler = std::move(handler);
    if (!e.handler) errors_.push_back(Describe(members[i]) + " is routed to no handler");
    return;
  }
  errors_.push_back(coclass_.dispatch.name + " has no " + std::string(KindName(kind)) + " " +
                    std::string(name));
}

void TMemberRoutes::NotBuilt(std::initializer_list<std::string_view> names) {
  const auto& members = coclass_.dispatch.members;
  for (std::string_view name : names) {
    bool found = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (members[i].name != name) continue;
      found = true;
      TEntry& e = entries_[i];
      if (e.state == TState::kHandler) {
        errors_.push_back(Describe(members[i]) + " has a handler and a not-built mark");
      } else {
        e.state = TState::kNotBuilt;
      }
    }
    if (!found) errors_.push_back(coclass_.dispatch.name + " has no member " + std::string(name));
  }
}

int TMemberRoutes::IndexOf(const TMemberInfo& member) const {
  const auto& members = coclass_.dispatch.members;
  const int i = member.slot - TTypeLibrary::kFirstSlot;
  if (i < 0 || static_cast<std::size_t>(i) >= members.size() || &members[i] != &member) return -1;
  return i;
}

std::string TMemberRoutes::Describe(const TMemberInfo& m) const {
  return coclass_.dispatch.name + " " + std::string(KindName(m.kind)) + " " + m.name;
}

void TMemberRoutes::Call(TAutomationObject& self, const TMemberInfo& member, const TArgs& in,
                         TReply reply) const {
  const int i = IndexOf(member);
  if (i < 0) {
    reply(TCallResult::Fail(kDISP_E_MEMBERNOTFOUND,
                            member.name + " is not a member of " + coclass_.dispatch.name));
    return;
  }
  const TEntry& e = entries_[static_cast<std::size_t>(i)];
  if (e.state != TState::kHandler) {
    reply(TCallResult::Fail(
        kE_NOTIMPL, coclass_.dispatch.name + "." + member.name + " is not implemented yet"));
    return;
  }
  // Handlers index their arguments by the table; the adaptor has checked the count, and this
  // keeps a call from inside the process to the same rule.
  std::size_t wanted = 0;
  for (const TArgInfo& a : member.args) wanted += a.dir != TArgDir::kOut;
  if (in.size() != wanted) {
    reply(TCallResult::Fail(kE_INVALIDARG, Describe(member) + " takes " + std::to_string(wanted) +
                                               " arguments, not " + std::to_string(in.size())));
    return;
  }
  e.handler(self, in, std::move(reply));
}

std::vector<std::string> TMemberRoutes::Problems() const {
  std::vector<std::string> out = errors_;
  const auto& members = coclass_.dispatch.members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (entries_[i].state == TState::kUnrouted) {
      out.push_back(Describe(members[i]) + " has neither a handler nor a not-built mark");
    }
  }
  return out;
}

}  // namespace tarvel::automation
