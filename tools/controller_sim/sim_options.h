// SimOptions: the simulator's command line.
//
//   --host H            loopback address to listen on (127.0.0.0/8, localhost or ::1);
//                       default 127.0.0.1
//   --port P            default 20000; 0 picks an ephemeral port
//   --log FILE|-        JSON-lines log of received frames and connection events
//   --split N           write every outgoing frame in pieces of N bytes, ~2 ms apart
//   --refuse            bind the port but never listen, so connects are refused
//   --scenario NAME     bad-header, len0, len11, lenmax, stall or close, once, after the first
//                       full system report sent
//   --no-control        ignore stdin (run until SIGTERM), for starting in the background
//   --<identity key> V  any key of system_identity.h (--sys-name, --hard-type, ...)
// Both "--opt value" and "--opt=value" are accepted; a later option overrides an earlier one.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"
#include "controller_sim/fault_frames.h"
#include "controller_sim/system_identity.h"

namespace tarvel::controller_sim {

struct SimOptions {
  std::string host = "127.0.0.1";  // numeric, after "localhost" has been mapped
  std::uint16_t port = 20000;
  std::string logPath;    // "" none, "-" stdout
  std::size_t split = 0;  // 0: whole writes
  bool refuse = false;
  bool control = true;  // read commands from stdin
  Scenario scenario = Scenario::kNone;
  SystemIdentity identity;
  bool help = false;  // --help was given: print Usage() and exit
};

base::Result<SimOptions> ParseOptions(int argc, const char* const* argv);
std::string Usage();

// Whether `host` is a numeric loopback address (127.0.0.0/8 or ::1).
bool IsLoopback(const std::string& host);

}  // namespace tarvel::controller_sim
