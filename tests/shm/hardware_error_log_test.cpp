// Rotation of the hardware error log: at creation of the monitor record, and when an append
// reaches the threshold.
#include "shm/hardware_error_log.h"

#include <fstream>

#include "shm/monit_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

void WriteBytes(const std::filesystem::path& p, std::uintmax_t n, char fill = 'x') {
  std::ofstream f(p, std::ios::binary);
  const std::string chunk(4096, fill);
  while (n > 0) {
    const auto k = std::min<std::uintmax_t>(n, chunk.size());
    f.write(chunk.data(), static_cast<std::streamsize>(k));
    n -= k;
  }
}

class HardwareErrorLogTest : public ShmTest {
 protected:
  OrvoRoot root_;
  std::filesystem::path Log() const { return root_.data() / "OrvoHardwareError.Log"; }
  std::filesystem::path Backup() const { return root_.data() / "BackOrvoHardwareError.Log"; }
};

TEST_F(HardwareErrorLogTest, CreationRotatesALogAtTheThreshold) {
  WriteBytes(Log(), 1048704);
  WriteBytes(Backup(), 10, 'o');
  TOrvoMonitData rec(true, Options());
  EXPECT_FALSE(std::filesystem::exists(Log()));
  EXPECT_EQ(std::filesystem::file_size(Backup()), 1048704u);
}

TEST_F(HardwareErrorLogTest, CreationKeepsALogJustBelowTheThreshold) {
  WriteBytes(Log(), 1048703);
  TOrvoMonitData rec(true, Options());
  EXPECT_EQ(std::filesystem::file_size(Log()), 1048703u);
  EXPECT_FALSE(std::filesystem::exists(Backup()));
}

TEST_F(HardwareErrorLogTest, ASlaveDoesNotRotate) {
  TOrvoMonitData master(true, Options());
  WriteBytes(Log(), 1048704);
  TOrvoMonitData slave(false, Options());
  EXPECT_TRUE(std::filesystem::exists(Log()));
}

TEST_F(HardwareErrorLogTest, AnAppendThatReachesTheThresholdRotates) {
  TOrvoMonitData rec(true, Options());
  WriteBytes(Log(), 1048704 - 10);
  ASSERT_TRUE(*rec.SetAlarm(2));  // the line is longer than 10 bytes
  EXPECT_FALSE(std::filesystem::exists(Log()));
  ASSERT_TRUE(std::filesystem::exists(Backup()));
  const auto size = std::filesystem::file_size(Backup());
  EXPECT_GT(size, 1048704u);
  std::ifstream in(Backup(), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(text.size() - 27),
            "Vacuum Error 02: RP Alarm\r\n");  // the new line went in first
  // The next alarm starts a fresh log.
  ASSERT_FALSE(*rec.SetAlarm(2));
  EXPECT_LT(std::filesystem::file_size(Log()), 100u);
}

TEST(HardwareErrorLogFormatTest, TimeFormat) {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 5;
  tm.tm_hour = 14;
  tm.tm_min = 7;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  EXPECT_EQ(HardwareErrorLog::FormatTime(t), "24/Mar/05 14:07    ");
}

}  // namespace
}  // namespace tarvel::shm
