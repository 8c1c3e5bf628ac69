// GoogleTest main for the window tests: a QApplication on the offscreen platform (unless the
// environment names another).
//
// Every hub's link manager opens the shared records; this process gives them a name suffix of
// its own, so it never touches the records of a running server or of another test process, and
// removes them when it ends.
#include <QApplication>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string suffix = "_uitest" + std::to_string(::getpid());
  setenv("TARVEL_SHM_SUFFIX", suffix.c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  for (const char* name :
       {"OrvoMonitorData", "OrvoIonData", "OrvoStageData", "MonitoringSEMData", "CanDialData"}) {
    const std::string section = "/" + std::string(name) + suffix;
    shm_unlink(section.c_str());
    shm_unlink((section + "_MUT").c_str());
  }
  return rc;
}
