// tarvel-controller-sim: stands in for the machine controller on a loopback TCP port.
//
// Prints "listening <host>:<port>" first, then serves one client at a time until quit, stdin
// EOF or SIGTERM. Options in sim_options.h; stdin commands in control_command.h.
#include <cstdio>

#include "controller_sim/frame_log.h"
#include "controller_sim/sim_options.h"
#include "controller_sim/sim_server.h"

int main(int argc, char** argv) {
  using namespace tarvel::controller_sim;
  tarvel::base::Result<SimOptions> options = ParseOptions(argc, argv);
  if (!options.ok()) {
    std::fprintf(stderr, "tarvel-controller-sim: %s\n%s", options.status().message().c_str(),
                 Usage().c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  FrameLog log;
  if (tarvel::base::Status s = log.open(options->logPath); !s.ok()) {
    std::fprintf(stderr, "tarvel-controller-sim: %s\n", s.message().c_str());
    return 1;
  }
  SimServer server(std::move(*options), log);
  if (tarvel::base::Status s = server.start(); !s.ok()) {
    std::fprintf(stderr, "tarvel-controller-sim: %s\n", s.message().c_str());
    return 1;
  }
  std::printf("listening %s\n", server.address().c_str());
  std::fflush(stdout);
  return server.run();
}
