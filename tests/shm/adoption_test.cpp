// Objects that exist before the server opens them are checked first: anyone with access to
// /dev/shm can make "/OrvoStageData" or its mutex object before the server starts, held,
// world-writable or too small (a shrunk section faults every mapping past its end).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shm/robust_mutex.h"
#include "shm/stage_data.h"
#include "tarvel_shm.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

constexpr uid_t kOtherUser = 65534;

struct Prepared {
  std::string object;  // POSIX name
  std::size_t size;
};

// Makes an object filled with 0xAB, of `size` bytes, mode `mode`, owned by `uid`; false when
// this test process may not give it that owner.
bool Make(const std::string& object, std::size_t size, mode_t mode, uid_t uid) {
  const int fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  const std::vector<std::uint8_t> fill(size, 0xAB);
  bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
            ::write(fd, fill.data(), size) == static_cast<ssize_t>(size) && ::fchmod(fd, mode) == 0;
  if (ok && uid != ::geteuid()) ok = ::fchown(fd, uid, static_cast<gid_t>(-1)) == 0;
  ::close(fd);
  return ok;
}

std::vector<std::uint8_t> Contents(const std::string& object) {
  std::ifstream in("/dev/shm" + object, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

class AdoptionTest : public ShmTest {};

TEST_F(AdoptionTest, AnUnfitExistingObjectIsRefusedNamedAndLeftUntouched) {
  const std::string section = "/" + std::string(kStageRecord) + Suffix();
  const std::string mutex = section + std::string(kMutexSuffix);
  const struct {
    const char* name;
    std::string object;
    std::size_t size;
    mode_t mode;
    uid_t uid;
    const char* expected;  // in the open status
  } cases[] = {
      {"section too small", section, 20, 0660, ::geteuid(), "size 20 is smaller than 228"},
      {"section open to everyone", section, kStageSize, 0666, ::geteuid(), "mode 0666"},
      {"section of another user", section, kStageSize, 0660, kOtherUser, "owner uid 65534"},
      {"mutex object too small", mutex, 64, 0660, ::geteuid(), "size 64 is smaller than 128"},
      {"mutex object of another user", mutex, RobustMutex::kObjectSize, 0660, kOtherUser,
       "owner uid 65534"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UnlinkAll();
    if (!Make(c.object, c.size, c.mode, c.uid)) {
      if (c.uid != ::geteuid()) continue;  // not allowed to give objects away here
      FAIL() << "cannot prepare " << c.object;
    }
    const auto before = Contents(c.object);
    std::vector<std::string> log;
    TOrvoStageData stage(true, Options(&log));
    EXPECT_FALSE(stage.IsOpen());
    const std::string& why = stage.OpenStatus().message();
    EXPECT_NE(why.find(c.object + " "), std::string::npos) << why;
    EXPECT_NE(why.find(c.expected), std::string::npos) << why;
    EXPECT_FALSE(log.empty());
    // Nothing written: not even the creation step's free owner slot.
    EXPECT_EQ(Contents(c.object), before);
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm" + c.object).c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::size_t>(st.st_size), c.size);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
}

// Another process created the objects an instant ago and has not sized them (nor given them
// their mode, narrowed by its umask) yet: that is a creation race, not an unfit object.
TEST_F(AdoptionTest, ObjectsStillBeingCreatedAreAdopted) {
  const std::string section = "/" + std::string(kStageRecord) + Suffix();
  for (const std::string& object : {section, section + std::string(kMutexSuffix)}) {
    ASSERT_TRUE(Make(object, 0, 0640, ::geteuid()));
  }
  TOrvoStageData stage(true, Options());
  ASSERT_TRUE(stage.IsOpen()) << stage.OpenStatus().message();
  EXPECT_EQ(*stage.GetStageOwnerID(), kStageOwnerFree);
  struct stat st {};
  ASSERT_EQ(::stat(("/dev/shm" + section).c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::size_t>(st.st_size), kStageSize);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
}

// A client opens the server's objects, whoever runs the server; it still refuses a size or mode
// that does not fit.
TEST_F(AdoptionTest, AClientAdoptsTheServerObjectsOfAnotherUserOfTheGroup) {
  {
    TOrvoStageData server(true, Options());
    ASSERT_TRUE(server.IsOpen()) << server.OpenStatus().message();
  }
  const std::string section = "/" + std::string(kStageRecord) + Suffix();
  for (const std::string& object : {section, section + std::string(kMutexSuffix)}) {
    if (::chown(("/dev/shm" + object).c_str(), kOtherUser, static_cast<gid_t>(-1)) != 0)
      GTEST_SKIP() << "this process may not give objects away";
  }
  TOrvoStageData client(false, Options());
  ASSERT_TRUE(client.IsOpen()) << client.OpenStatus().message();
  EXPECT_TRUE(client.GetStageOwnerID().ok());

  ASSERT_EQ(::chmod(("/dev/shm" + section).c_str(), 0666), 0);
  TOrvoStageData refused(false, Options());
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_NE(refused.OpenStatus().message().find("mode 0666"), std::string::npos);
  // Through the C library: its own code, and a message naming the object.
  tarvel_shm* h = nullptr;
  EXPECT_EQ(tarvel_shm_open("OrvoStageData", Suffix().c_str(), 0, &h), TARVEL_SHM_ERR_UNFIT);
  EXPECT_EQ(h, nullptr);
  EXPECT_NE(std::string(tarvel_shm_open_error()).find(section + " "), std::string::npos)
      << tarvel_shm_open_error();
}

}  // namespace
}  // namespace tarvel::shm
