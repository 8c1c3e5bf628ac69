// The initial-data and coefficient files read the same in a decimal-comma locale: strtod there
// refused "1.5" (stored as 0) and turned the coefficient default "0.46" into 0, silently.
#include <fstream>

#include "../support/decimal_comma_locale.h"
#include "shm/monit_data.h"
#include "shm/monitoring_sem_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class DecimalLocaleTest : public ShmTest {};

TEST_F(DecimalLocaleTest, RecordFilesLoadTheSameInADecimalCommaLocale) {
  OrvoRoot root;
  std::ofstream(root.data() / "ORVOInitData.INI")
      << "[STAGE]\r\nEU_OFFSET=1.5\r\nA_POSITION_X=1500.5\r\n[TRACK-BALL-X]\r\nK=250\r\n";
  std::ofstream(root.data() / "MonitoringSEMData.INI") << "[Coefficient]\r\nVA1SX=0.125\r\n";
  tarvel::testing::TDecimalCommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no decimal-comma locale on this machine";

  std::vector<std::string> log;
  TOrvoMonitData monitor(true, Options(&log));
  TMonitoringSEMData sem(true, Options(&log));
  const base::Status init = monitor.LoadInitData(root.data().string());
  EXPECT_TRUE(init.ok()) << init.message();
  const base::Status coeff = sem.LoadCoefficients(root.data().string());
  EXPECT_TRUE(coeff.ok()) << coeff.message();

  const auto m = RawBytes(kMonitorRecord);
  EXPECT_EQ(ExtAt(m, 10 * 5), 1.5);     // EU_OFFSET, the number itself
  EXPECT_EQ(ExtAt(m, 10 * 7), 1.5005);  // A_POSITION_X / 1000
  EXPECT_EQ(At<std::int32_t>(m, 232 + 4 * 6), 250);
  const auto s = RawBytes(kMonitoringSemRecord);
  EXPECT_EQ(At<double>(s, 288), 0.125);
  EXPECT_EQ(At<double>(s, 288 + 8 * 21), 0.46);  // the default of A2SXk
  EXPECT_EQ(At<double>(s, 288 + 8 * 23), 0.46);  // and of A2SYk
}

}  // namespace
}  // namespace tarvel::shm
