// Records built without a sink of their own (as the link manager builds its five) report to the
// process's default record log, which the server points at its log file and memo.
#include <sys/mman.h>

#include "shm/can_dial_data.h"
#include "shm/stage_data.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

class RecordLogTest : public ShmTest {
 protected:
  void SetUp() override {
    ShmTest::SetUp();
    SetDefaultRecordLog([this](const std::string& line) { lines_.push_back(line); });
  }
  void TearDown() override {
    SetDefaultRecordLog({});  // back to stderr
    ShmTest::TearDown();
  }
  static RecordOptions NoSink() {
    RecordOptions o;
    o.nameSuffix = Suffix();
    return o;
  }
  bool Saw(const std::string& start, const std::string& part) const {
    for (const auto& l : lines_)
      if (l.rfind(start, 0) == 0 && l.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> lines_;
};

TEST_F(RecordLogTest, FailuresOfRecordsWithoutASinkReachTheDefaultLog) {
  // An unfit object found at start-up.
  const std::string section = "/" + std::string(kStageRecord) + Suffix();
  const int fd = ::shm_open(section.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::fchmod(fd, 0666), 0);
  ASSERT_EQ(::ftruncate(fd, kStageSize), 0);
  ::close(fd);
  TOrvoStageData stage(true, NoSink());
  EXPECT_FALSE(stage.IsOpen());
  EXPECT_TRUE(Saw("Shared Memmory Failed (Master)", "mode 0666"));

  // A refused access of a working record.
  TOrvoCanDialData dial(true, NoSink());
  ASSERT_TRUE(dial.IsOpen());
  EXPECT_FALSE(dial.GetDialWord(9).ok());
  EXPECT_TRUE(Saw(std::string(kCanDialRecord) + ": ", "dial word 9"));

  // A sink set later reaches only records built later; the default is stderr again when reset.
  SetDefaultRecordLog({});
  EXPECT_TRUE(static_cast<bool>(DefaultRecordLog()));
}

}  // namespace
}  // namespace tarvel::shm
