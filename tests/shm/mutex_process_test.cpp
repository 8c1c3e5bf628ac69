// The record mutex between two real processes: the second one is the C helper, built on the
// client library.
#include <chrono>

#include "shm/can_dial_data.h"
#include "shm/mutex.h"
#include "test_support.h"

namespace tarvel::shm {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class MutexProcessTest : public ShmTest {};

TEST_F(MutexProcessTest, OneProcessWritesTheOtherReads) {
  TOrvoCanDialData dial(true, Options());
  ASSERT_TRUE(dial.IsOpen()) << dial.OpenStatus().message();

  // The helper writes word 3 under the mutex; this process reads it.
  Ran w = RunToEnd(Helper({"write", "CanDialData", Suffix(), "26", "3", "2", "4660"}));
  ASSERT_EQ(w.status, 0);
  auto v = dial.GetDialWord(3);
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(*v, 4660);

  // And the other way round.
  ASSERT_TRUE(dial.SetDialWord(5, -7).ok());
  Ran r = RunToEnd(Helper({"read", "CanDialData", Suffix(), "26", "5", "2"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "-7\n");
}

TEST_F(MutexProcessTest, AHolderOver100MsMakesTheAccessSkipAfter100Ms) {
  std::vector<std::string> log;
  TOrvoCanDialData dial(true, Options(&log));
  ASSERT_TRUE(dial.SetDialWord(2, 11).ok());
  ASSERT_TRUE(dial.SetDialWord(3, 22).ok());
  ASSERT_EQ(*dial.GetDialWord(2), 11);  // leaves 11 in the record object's inline buffer

  Child holder(Helper({"hold", "CanDialData", Suffix(), "600"}));
  ASSERT_EQ(holder.ReadLine(), "held");

  // A write is skipped after about 100 ms and says so.
  auto t0 = Clock::now();
  const base::Status w = dial.SetDialWord(4, 33);
  const long writeMs = MsSince(t0);
  EXPECT_EQ(w.code(), base::Status::Code::kTimeout);
  EXPECT_GE(writeMs, 95);
  EXPECT_LT(writeMs, 350);

  // A read fails rather than handing back the 11 left over from another field.
  t0 = Clock::now();
  const auto r = dial.GetDialWord(3);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.status().code(), base::Status::Code::kTimeout);
  EXPECT_GE(MsSince(t0), 95);

  // The bare TMutex calls OnTimeout, not OnExecute.
  TMutex m;
  m.SetName("CanDialData" + Suffix() + "_MUT");
  ASSERT_TRUE(m.Open([](const std::string&) {}).ok());
  int executed = 0, timedOut = 0;
  m.OnExecute = [&](TMutex&) { ++executed; };
  m.OnTimeout = [&](TMutex&) { ++timedOut; };
  t0 = Clock::now();
  EXPECT_FALSE(m.Execute().ok());
  EXPECT_GE(MsSince(t0), 95);
  EXPECT_EQ(executed, 0);
  EXPECT_EQ(timedOut, 1);

  EXPECT_EQ(holder.Wait(), 0);
  // Once the holder lets go, accesses work again and the skipped write never happened.
  EXPECT_EQ(*dial.GetDialWord(4), 0);
  EXPECT_EQ(*dial.GetDialWord(3), 22);
  EXPECT_TRUE(m.Execute().ok());
  EXPECT_EQ(executed, 1);
  EXPECT_FALSE(log.empty());  // the time-out was logged
}

TEST_F(MutexProcessTest, AHolderKilledWhileHoldingLocksNobodyOut) {
  std::vector<std::string> log;
  TOrvoCanDialData dial(true, Options(&log));
  Child holder(Helper({"hold-forever", "CanDialData", Suffix()}));
  ASSERT_EQ(holder.ReadLine(), "held");
  holder.Kill();

  const auto t0 = Clock::now();
  ASSERT_TRUE(dial.SetDialWord(6, 1234).ok());
  EXPECT_LT(MsSince(t0), 95);  // taken over at once, not after a time-out
  bool toldOfTheDeadHolder = false;
  for (const auto& line : log) toldOfTheDeadHolder |= line.find("died") != std::string::npos;
  EXPECT_TRUE(toldOfTheDeadHolder);

  // The mutex is healthy for everyone afterwards.
  EXPECT_EQ(*dial.GetDialWord(6), 1234);
  Ran r = RunToEnd(Helper({"read", "CanDialData", Suffix(), "26", "6", "2"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1234\n");
}

}  // namespace
}  // namespace tarvel::shm
