#include "controller_sim/command_names.h"

#include <array>

namespace tarvel::controller_sim {
namespace {

struct NamedCommand {
  link::FrameIds ids;
  const char* name;
};

// Unit 1, system. Further units append their rows here.
constexpr std::array kCommands{
    NamedCommand{{1, 1, 2}, "CmdSysInfoRequest"},
    NamedCommand{{1, 3, 1}, "CmdSysSetTime"},
    NamedCommand{{1, 12, 1}, "CmdSysDataInitialized"},
    NamedCommand{{1, 13, 1}, "CmdSysMessageMask"},
    NamedCommand{{1, 14, 1}, "CmdSysSyncRequest"},
    NamedCommand{{1, 100, 1}, "CmdSysQuit"},
};

}  // namespace

const char* CommandName(link::FrameIds ids) {
  for (const NamedCommand& c : kCommands) {
    if (c.ids == ids) return c.name;
  }
  return nullptr;
}

}  // namespace tarvel::controller_sim
