// Gives a test process's shared records a name suffix of its own ($TARVEL_SHM_SUFFIX, which
// every record and every child process it starts inherits), so it never touches the records of
// a running server or of another test process, and removes them when it goes.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "shm/record_layout.h"

namespace tarvel::testing {

class TOwnRecordNames {
 public:
  explicit TOwnRecordNames(const std::string& tag)
      : suffix_("_" + tag + std::to_string(::getpid())) {
    ::setenv("TARVEL_SHM_SUFFIX", suffix_.c_str(), 1);
  }
  ~TOwnRecordNames() {
    for (std::string_view name : tarvel::shm::kRecordNames) {
      const std::string section = "/" + std::string(name) + suffix_;
      ::shm_unlink(section.c_str());
      ::shm_unlink((section + "_MUT").c_str());
    }
    // The stage owner's liveness object of the client library.
    ::shm_unlink(("/OrvoStageData" + suffix_ + "_OWNER").c_str());
  }
  TOwnRecordNames(const TOwnRecordNames&) = delete;
  TOwnRecordNames& operator=(const TOwnRecordNames&) = delete;

 private:
  const std::string suffix_;
};

}  // namespace tarvel::testing
