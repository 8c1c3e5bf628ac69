// GoogleTest main for the window tests: a QApplication on the offscreen platform (unless the
// environment names another). Every hub's link manager opens the shared records; this process
// gives them names of its own.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

#include "../support/own_records.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const tarvel::testing::TOwnRecordNames records("uitest");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
