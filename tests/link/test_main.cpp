// GoogleTest main with a Qt application object: the link runs on the Qt event loop. Suites that
// build the production graph open the shared records; this process gives them names of its own.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "../support/own_records.h"

int main(int argc, char** argv) {
  const tarvel::testing::TOwnRecordNames records("linktest");
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
