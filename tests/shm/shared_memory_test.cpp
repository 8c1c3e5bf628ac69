// TSharedMemory and TMutex: the stream edge cases and the bounds of a real mapping.
#include "shm/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "shm/mutex.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using test::Suffix;

class SharedMemoryTest : public ::testing::Test {
 protected:
  std::string Name(const std::string& base) {
    names_.push_back(base + Suffix());
    return names_.back();
  }
  void TearDown() override {
    for (const auto& n : names_) {
      (void)SharedSection::Unlink("/" + n);
      (void)SharedSection::Unlink("/" + n + "_MUT");
    }
  }
  std::vector<std::string> names_;
};

void Quiet(const std::string&) {}

TEST_F(SharedMemoryTest, WriteAtTheEndOfA44ByteSection) {
  TSharedMemory m;
  ASSERT_TRUE(m.Create(Name("Edge44"), 1, 44, Quiet).ok());
  const std::uint8_t four[4] = {1, 2, 3, 4};
  const std::uint8_t eight[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(m.Seek(40, 0), 40);
  EXPECT_EQ(m.Write(four, 4), 4);
  EXPECT_EQ(m.Seek(40, 0), 40);
  EXPECT_EQ(m.Write(eight, 8), -1);  // no partial write
  EXPECT_EQ(m.Position(), 40);
  EXPECT_EQ(std::memcmp(m.Memory().data() + 40, four, 4), 0);
}

TEST_F(SharedMemoryTest, SeekFromTheEnd) {
  TSharedMemory m;
  ASSERT_TRUE(m.Create(Name("Edge228"), 1, 228, Quiet).ok());
  EXPECT_EQ(m.Seek(-4, 2), 224);
  EXPECT_EQ(m.Seek(2, 1), 226);
  EXPECT_EQ(m.Seek(5, 7), 226);    // unknown origin leaves the position
  EXPECT_EQ(m.Seek(-10, 0), -10);  // no clamping
  std::uint8_t b[4];
  EXPECT_EQ(m.Read(b, 4), 0);
  EXPECT_EQ(m.Write(b, 4), 0);
}

TEST_F(SharedMemoryTest, ReadAtTheEndReturnsZeroAndNearItIsShort) {
  TSharedMemory m;
  ASSERT_TRUE(m.Create(Name("Edge16"), 1, 16, Quiet).ok());
  std::uint8_t b[8];
  m.Seek(16, 0);
  EXPECT_EQ(m.Read(b, 8), 0);
  m.Seek(12, 0);
  EXPECT_EQ(m.Read(b, 8), 4);
  EXPECT_EQ(m.Position(), 16);
  m.Seek(0, 0);
  EXPECT_EQ(m.Read(b, -1), 0);
}

TEST_F(SharedMemoryTest, OpeningANameNobodyCreatedGivesNoView) {
  TSharedMemory m;
  const base::Status st = m.Create(Name("Nobody"), 0, 44, Quiet);
  EXPECT_EQ(st.code(), base::Status::Code::kNotFound);
  EXPECT_FALSE(m.HasView());
  std::uint8_t b[4] = {};
  EXPECT_EQ(m.Read(b, 4), -1);
  EXPECT_EQ(m.Write(b, 4), -1);
}

TEST_F(SharedMemoryTest, CreatingAnExistingNameOpensIt) {
  TSharedMemory a, b;
  const std::string name = Name("Twice");
  ASSERT_TRUE(a.Create(name, 1, 44, Quiet).ok());
  ASSERT_TRUE(b.Create(name, 1, 44, Quiet).ok());
  const std::uint32_t v = 0xA5A5A5A5;
  a.Seek(8, 0);
  ASSERT_EQ(a.Write(&v, 4), 4);
  std::uint32_t r = 0;
  b.Seek(8, 0);
  ASSERT_EQ(b.Read(&r, 4), 4);
  EXPECT_EQ(r, v);
}

TEST_F(SharedMemoryTest, SectionIsMode0660) {
  TSharedMemory m;
  const std::string name = Name("Mode");
  const mode_t old = ::umask(077);
  ASSERT_TRUE(m.Create(name, 1, 44, Quiet).ok());
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(("/dev/shm/" + name).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST(MutexTest, EmptyNameBecomesTheApplicationTitle) {
  TMutex m;
  m.SetName("");
  EXPECT_EQ(m.Name(), ApplicationTitle() + "_");
  EXPECT_EQ(m.Name(), "Tarvel_");
  m.SetName(std::string(150, 'a'));
  EXPECT_EQ(m.Name().size(), 99u);
}

TEST_F(SharedMemoryTest, ExecuteRunsTheCallbackAndReleases) {
  TMutex m;
  m.SetName(Name("Exec") + "_MUT");
  names_.push_back(m.Name());
  ASSERT_TRUE(m.Open(Quiet).ok());
  int executed = 0, timedOut = 0;
  m.OnExecute = [&](TMutex&) { ++executed; };
  m.OnTimeout = [&](TMutex&) { ++timedOut; };
  ASSERT_TRUE(m.Execute().ok());
  ASSERT_TRUE(m.Execute().ok());
  EXPECT_EQ(executed, 2);
  EXPECT_EQ(timedOut, 0);
  // Released even when the body throws.
  EXPECT_THROW(m.Execute([] { throw std::runtime_error("boom"); }), std::runtime_error);
  EXPECT_TRUE(m.Execute().ok());
  EXPECT_EQ(executed, 3);
}

TEST(MutexTest, ExecuteWithoutOpenSkipsTheAccess) {
  TMutex m;
  m.SetName("NeverOpened");
  int executed = 0, timedOut = 0;
  m.OnExecute = [&](TMutex&) { ++executed; };
  m.OnTimeout = [&](TMutex&) { ++timedOut; };
  EXPECT_FALSE(m.Execute().ok());
  EXPECT_EQ(executed, 0);
  EXPECT_EQ(timedOut, 1);
}

}  // namespace
}  // namespace tarvel::shm
