// Every state a peer can leave a record mutex in, made by real second processes: the C helper's
// raw peers use pthread on the mutex object directly, as a hand-written client might, mistakes
// included. After each, the server's record and a client of the library go on.
#include <sys/mman.h>

#include <future>

#include "shm/can_dial_data.h"
#include "shm/robust_mutex.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;

std::string MutexObject() {
  return "/" + std::string(kCanDialRecord) + Suffix() + std::string(kMutexSuffix);
}

bool Logged(const std::vector<std::string>& log, const std::string& what) {
  for (const auto& line : log)
    if (line.find(what) != std::string::npos) return true;
  return false;
}

// A client of the library reads dial word 3: its output, or "exit <n>" when it failed.
std::string ClientReadsWord3() {
  Ran r = RunToEnd(Helper({"read", "CanDialData", Suffix(), "26", "3", "2"}));
  return r.status == 0 ? r.out : "exit " + std::to_string(r.status);
}

// A holder dies; the next raw peer gets EOWNERDEAD and unlocks without making the mutex
// consistent. The child is left waiting for its stdin to close, so the caller picks the moment.
std::unique_ptr<Child> AbandonAfterADeadHolder() {
  Child holder(Helper({"raw-hold-forever", MutexObject()}));
  EXPECT_EQ(holder.ReadLine(), "held 0");
  holder.Kill();
  auto peer = std::make_unique<Child>(Helper({"raw-abandon", MutexObject()}));
  EXPECT_EQ(peer->ReadLine(), "held EOWNERDEAD");
  return peer;
}

class MutexRecoveryTest : public ShmTest {};

// Without re-initialising, the first locker after such an unlock got ENOTRECOVERABLE and, since
// glibc's trylock leaves the mutex locked by it, every other process timed out from then on.
TEST_F(MutexRecoveryTest, AMutexLeftUnrecoverableIsInitialisedAfreshForEveryone) {
  const struct {
    const char* name;
    bool serverFirst;
  } cases[] = {{"the server comes first", true}, {"a client comes first", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UnlinkAll();
    std::vector<std::string> log;
    TOrvoCanDialData dial(true, Options(&log));
    ASSERT_TRUE(dial.SetDialWord(3, 77).ok());

    auto peer = AbandonAfterADeadHolder();
    peer->CloseStdin();
    EXPECT_EQ(peer->ReadLine(), "unlocked 0");
    EXPECT_EQ(peer->Wait(), 0);

    if (c.serverFirst) {
      const auto v = dial.GetDialWord(3);
      ASSERT_TRUE(v.ok()) << v.status().message();
      EXPECT_EQ(*v, 77);
      EXPECT_TRUE(Logged(log, "initialised afresh"));
      EXPECT_EQ(ClientReadsWord3(), "77\n");
    } else {
      EXPECT_EQ(ClientReadsWord3(), "77\n");
      const auto v = dial.GetDialWord(3);
      ASSERT_TRUE(v.ok()) << v.status().message();
      EXPECT_EQ(*v, 77);
    }
    // Healthy for everyone afterwards, writes included, and across processes.
    ASSERT_TRUE(dial.SetDialWord(3, 78).ok());
    EXPECT_EQ(ClientReadsWord3(), "78\n");
    EXPECT_TRUE(dial.SetDialWord(4, 1).ok());
  }
}

// Several clients meet the unrecoverable mutex at once: only one may initialise it afresh, or a
// second initialisation would wipe a lock the first one's winner holds. Afterwards the mutex
// still excludes: a holder makes the server's access wait and skip.
TEST_F(MutexRecoveryTest, ProcessesMeetingItTogetherShareOneFreshMutex) {
  TOrvoCanDialData dial(true, Options());
  ASSERT_TRUE(dial.SetDialWord(3, 12).ok());
  auto peer = AbandonAfterADeadHolder();
  peer->CloseStdin();
  EXPECT_EQ(peer->ReadLine(), "unlocked 0");

  std::vector<std::unique_ptr<Child>> clients;
  for (int k = 0; k < 6; ++k) {
    clients.push_back(
        std::make_unique<Child>(Helper({"read", "CanDialData", Suffix(), "26", "3", "2"})));
    clients.back()->CloseStdin();
  }
  const auto mine = dial.GetDialWord(3);
  for (auto& c : clients) {
    EXPECT_EQ(c->ReadLine(), "12");
    EXPECT_EQ(c->Wait(), 0);
  }
  ASSERT_TRUE(mine.ok()) << mine.status().message();
  EXPECT_EQ(*mine, 12);

  Child holder(Helper({"hold", "CanDialData", Suffix(), "400"}));
  ASSERT_EQ(holder.ReadLine(), "held");
  EXPECT_EQ(dial.SetDialWord(3, 13).code(), base::Status::Code::kTimeout);
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_EQ(*dial.GetDialWord(3), 12);
}

TEST_F(MutexRecoveryTest, AProcessWaitingWhileThePeerAbandonsGetsTheFreshMutex) {
  std::vector<std::string> log;
  TOrvoCanDialData dial(true, Options(&log));
  ASSERT_TRUE(dial.SetDialWord(3, 5).ok());
  auto peer = AbandonAfterADeadHolder();

  // A long bound, so the access is still waiting when the peer unlocks.
  dial.Mutex().SetTimeoutMs(5000);
  auto waiting = std::async(std::launch::async, [&dial] { return dial.GetDialWord(3); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  peer->CloseStdin();
  EXPECT_EQ(peer->ReadLine(), "unlocked 0");

  const auto v = waiting.get();
  ASSERT_TRUE(v.ok()) << v.status().message();
  EXPECT_EQ(*v, 5);
  EXPECT_EQ(ClientReadsWord3(), "5\n");
}

// The initialisation word says "being initialised" (state 1) and the mutex bytes are garbage: the
// initialiser died half-way, or its pid lives on (recycled, or another user's) and never finishes.
TEST_F(MutexRecoveryTest, AHalfInitialisedMutexObjectIsTakenOver) {
  Child gone(Helper({"raw-hold-forever", "/no-such-object"}));  // exits at once: a dead pid
  EXPECT_EQ(gone.Wait(), 2);
  const pid_t deadPid = gone.pid();
  const struct {
    const char* name;
    pid_t initialiser;
    bool firstAccessSkipped;  // a live initialiser is given its time first
  } cases[] = {{"initialiser died", deadPid, false},
               {"initialiser alive but stuck", ::getpid(), true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UnlinkAll();
    const int fd = ::shm_open(MutexObject().c_str(), O_RDWR | O_CREAT | O_EXCL, 0660);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, 0660), 0);
    ASSERT_EQ(::ftruncate(fd, RobustMutex::kObjectSize), 0);
    std::vector<std::uint8_t> bytes(RobustMutex::kObjectSize, 0xFF);
    const std::uint64_t word = 1 | (static_cast<std::uint64_t>(c.initialiser) << 32);
    std::memcpy(bytes.data(), &word, sizeof word);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);

    std::vector<std::string> log;
    TOrvoCanDialData dial(true, Options(&log));
    ASSERT_TRUE(dial.IsOpen()) << dial.OpenStatus().message();
    const base::Status first = dial.SetDialWord(3, 9);
    if (c.firstAccessSkipped) {
      EXPECT_EQ(first.code(), base::Status::Code::kUnavailable) << first.message();
      EXPECT_TRUE(Logged(log, "being initialised by pid"));
      // Taken over once the word has been stuck for longer than initialising can take.
      base::Status later = first;
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!later.ok() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        later = dial.SetDialWord(3, 9);
      }
      ASSERT_TRUE(later.ok()) << later.message();
    } else {
      ASSERT_TRUE(first.ok()) << first.message();
    }
    EXPECT_TRUE(Logged(log, "initialised afresh"));
    EXPECT_EQ(ClientReadsWord3(), "9\n");
  }
}

}  // namespace
}  // namespace tarvel::shm
