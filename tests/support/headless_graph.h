// The production graph without a window, as the tests build it: the same function as the
// program, with the test's hub intervals and a data folder of the test's own (FIBSystem.INI
// is created there with defaults when first loaded).
#pragma once

#include <unistd.h>

#include <memory>
#include <string>

#include "app/production_graph.h"

namespace tarvel::testing {

inline int graphs = 0;

inline std::unique_ptr<app::TProductionGraph> MakeHeadlessGraph(hub::TSocketHub::Options hub,
                                                                std::string dataDir,
                                                                int machineType = 1) {
  app::TGraphOptions o;
  o.window = false;
  o.machineType = machineType;
  o.hub = std::move(hub);
  o.findDataDir = [dataDir](int) -> base::Result<std::string> { return dataDir; };
  // Start() claims a name of this process only, never the server's.
  o.busName = QString("ProjectTarvel.Test%1_%2").arg(::getpid()).arg(++graphs);
  return std::make_unique<app::TProductionGraph>(std::move(o));
}

}  // namespace tarvel::testing
