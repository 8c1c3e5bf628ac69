// The link manager opens the shared records; a benchmark gives them a name of its own so it
// never touches a running server's, and removes them when it ends.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tarvel::bench {

class BenchRecords {
 public:
  BenchRecords() : suffix_("_bench" + std::to_string(::getpid())) {
    setenv("TARVEL_SHM_SUFFIX", suffix_.c_str(), 1);
  }
  ~BenchRecords() {
    for (const char* name :
         {"OrvoMonitorData", "OrvoIonData", "OrvoStageData", "MonitoringSEMData", "CanDialData"}) {
      const std::string section = "/" + std::string(name) + suffix_;
      shm_unlink(section.c_str());
      shm_unlink((section + "_MUT").c_str());
    }
  }
  BenchRecords(const BenchRecords&) = delete;
  BenchRecords& operator=(const BenchRecords&) = delete;

 private:
  std::string suffix_;
};

}  // namespace tarvel::bench
