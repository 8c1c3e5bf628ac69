// The monitoring-SEM record: layout against the section's bytes and the coefficient file.
#include "shm/monitoring_sem_data.h"

#include <fstream>

#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class MonitoringSemDataTest : public ShmTest {};

TEST_F(MonitoringSemDataTest, PublishingWritesTheListedOffsets) {
  TMonitoringSEMData rec(true, Options());
  ASSERT_TRUE(rec.IsOpen());
  ASSERT_EQ(RawBytes(kMonitoringSemRecord).size(), 600u);
  double values[23];
  for (int i = 0; i < 23; ++i) values[i] = i + 0.25;
  ASSERT_TRUE(rec.PublishMonitoringSEM(values).ok());
  ASSERT_TRUE(rec.SetFieldValueA(1.0).ok());
  ASSERT_TRUE(rec.SetFieldValueB(2.0).ok());
  const auto b = RawBytes(kMonitoringSemRecord);
  for (int i = 0; i < 23; ++i) EXPECT_EQ(At<double>(b, 8 * i), i + 0.25);
  EXPECT_EQ(At<std::int32_t>(b, 184), 0);  // nothing past the 184-byte block
  EXPECT_EQ(At<double>(b, 512), 1.0);
  EXPECT_EQ(At<double>(b, 520), 2.0);
  EXPECT_EQ(*rec.GetMonitoringSEMValue(22), 22.25);
  EXPECT_EQ(*rec.GetCoefficient(29), 2.0);
  EXPECT_FALSE(rec.GetCoefficient(39).ok());
}

TEST_F(MonitoringSemDataTest, MissingCoefficientFileLoadsTheDefaults) {
  OrvoRoot root;
  TMonitoringSEMData rec(true, Options());
  const std::int16_t word = 9;
  PokeRaw(kMonitoringSemRecord, 272, &word, 2);
  ASSERT_TRUE(rec.LoadCoefficients(root.data().string()).ok());
  const auto b = RawBytes(kMonitoringSemRecord);
  EXPECT_EQ(At<std::int16_t>(b, 272), 0);
  const double defaults[25] = {0, 0, 0, 0, 1, 3, 1, 3, 0,    1, 1,    1, 1,
                               0, 0, 1, 1, 0, 0, 0, 0, 0.46, 1, 0.46, 1};
  for (int i = 0; i < 25; ++i) EXPECT_EQ(At<double>(b, 288 + 8 * i), defaults[i]) << i;
  EXPECT_EQ(At<double>(b, 288 + 8 * 25), 5.0);
  for (int i = 26; i <= 30; ++i) EXPECT_EQ(At<double>(b, 288 + 8 * i), 0.0);
  EXPECT_FALSE(std::filesystem::exists(root.data() / "MonitoringSEMData.INI"));  // never written
}

TEST_F(MonitoringSemDataTest, CoefficientsFromTheFile) {
  OrvoRoot root;
  {
    std::ofstream f(root.data() / "monitoringsemdata.ini");  // found whatever its case
    f << "[Coefficient]\r\nVA1SX=1.5\r\nA2TYk=-2e3\r\nDVXk=abc\r\n";
  }
  std::vector<std::string> log;
  TMonitoringSEMData rec(true, Options(&log));
  const base::Status st = rec.LoadCoefficients(root.data().string());
  EXPECT_EQ(st.code(), base::Status::Code::kInvalidArgument);  // DVXk is reported...
  EXPECT_NE(st.message().find("DVXk"), std::string::npos);
  const auto b = RawBytes(kMonitoringSemRecord);
  EXPECT_EQ(At<double>(b, 288), 1.5);
  EXPECT_EQ(At<double>(b, 288 + 8 * 24), -2000.0);
  EXPECT_EQ(At<double>(b, 288 + 8 * 9), 1.0);  // ...and takes its default
}

}  // namespace
}  // namespace tarvel::shm
