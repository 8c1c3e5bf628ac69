// main() for test binaries that wait in the Qt event loop (QProcess, sockets, timers). A link
// manager made here opens the shared records; they get names of this process's own.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "own_records.h"

int main(int argc, char** argv) {
  const tarvel::testing::TOwnRecordNames records("test");
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
