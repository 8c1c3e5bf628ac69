// The dial link against the project's stand-in CAN library: frames, log lines, the dial-record
// bookkeeping, the open sequence, and what happens without a library or with missing entries.
#include "shm/orvo_can_dial.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "loopback_peer.h"

namespace tarvel::shm {
namespace {

using tarvel::testing::WaitUntil;

// The stub's journal, read through the instance the dial link loaded.
class StubJournal {
 public:
  explicit StubJournal(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle_) return;
    count_ = reinterpret_cast<int (*)()>(dlsym(handle_, "can32_stub_count"));
    line_ = reinterpret_cast<const char* (*)(int)>(dlsym(handle_, "can32_stub_line"));
    reset_ = reinterpret_cast<void (*)()>(dlsym(handle_, "can32_stub_reset"));
  }
  ~StubJournal() {
    if (handle_) dlclose(handle_);
  }
  bool ok() const { return count_ && line_ && reset_; }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < count_(); ++i) out.emplace_back(line_(i));
    return out;
  }
  void reset() { reset_(); }

 private:
  void* handle_ = nullptr;
  int (*count_)() = nullptr;
  const char* (*line_)(int) = nullptr;
  void (*reset_)() = nullptr;
};

class DialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record.get = [this](int i) -> base::Result<std::int32_t> {
      if (failReads) return base::Status::Timeout("mutex");
      return words[i];
    };
    record.set = [this](int i, std::int32_t v) {
      words[i] = v;
      return base::Status::Ok();
    };
  }
  // Opens the dial link from `dir` and waits for the delayed open to finish.
  void Open(const std::string& dir) {
    dial = std::make_unique<TOrvoCanDial>(record);
    dial->CanLogging = true;
    dial->OnLog = [this](const std::string& l) { log.push_back(l); };
    dial->OnMessage = [this](const std::string&, const std::string& t) { messages.push_back(t); };
    dial->Open({dir}, 5);
    ASSERT_TRUE(WaitUntil([&] { return dial->Ready(); }));
  }

  std::map<int, std::int32_t> words;
  bool failReads = false;
  TOrvoCanDial::DialRecord record;
  std::unique_ptr<TOrvoCanDial> dial;
  std::vector<std::string> log;
  std::vector<std::string> messages;
};

TEST_F(DialTest, OpenSequenceThenPairFramesAndBookkeeping) {
  words[3] = 0x56;
  words[10] = 7;
  words[5] = 0x2222;
  words[6] = 0x0102;
  Open(TARVEL_CAN32_FULL);
  StubJournal journal(dial->LibraryPath());
  ASSERT_TRUE(journal.ok());
  // The library is taken by absolute path from the named folder.
  EXPECT_EQ(dial->LibraryPath(), std::string(TARVEL_CAN32_FULL) + "/libcan32.so");
  EXPECT_EQ(journal.lines(),
            (std::vector<std::string>{"CANOpen", "InitCan 2", "CanSetBaudrate 3"}));
  journal.reset();

  struct Case {
    const char* what;
    std::function<std::uint8_t()> send;
    const char* frame;
    int word;
    std::int32_t stored;
  };
  const Case cases[] = {
      {"SetDial2", [&] { return dial->SetDial2(0x1234); }, "SendCanObj 0502 6 34 12 56 00 07 00", 2,
       0x1234},
      {"SetDial3", [&] { return dial->SetDial3(0xABCD); }, "SendCanObj 0502 6 34 12 CD AB 07 00", 3,
       0xABCD},
      {"SetDial4", [&] { return dial->SetDial4(0x01020304); },
       "SendCanObj 0505 6 04 03 02 01 22 22", 4, 0x01020304},
      {"SetDial5", [&] { return dial->SetDial5(0x0506); }, "SendCanObj 0505 6 04 03 02 01 06 05", 5,
       0x0506},
      {"SetDial6", [&] { return dial->SetDial6(0x0A0B); }, "SendCanObj 050A 4 0B 0A 00 00", 6,
       0x0A0B},
      {"SetDial7", [&] { return dial->SetDial7(0x0C0D); }, "SendCanObj 050A 4 0B 0A 0D 0C", 7,
       0x0C0D},
      {"SendFieldValue", [&] { return dial->SendFieldValue(100000); },
       "SendCanObj 0509 4 A0 86 01 00", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    journal.reset();
    EXPECT_EQ(c.send(), 0);
    EXPECT_EQ(journal.lines(), std::vector<std::string>{c.frame});
    if (c.word >= 0) {
      EXPECT_EQ(words[c.word], c.stored);
    }
  }
  // The first example's log line: two blanks before the first byte, upper-case hex.
  EXPECT_EQ(log.front(), "ID:0x00000502 DLC:6 Data:  34 12 56 00 07 00");
  EXPECT_TRUE(messages.empty());

  dial.reset();
  // Unloading closes the library first (the journal is gone with it, so nothing to read).
}

TEST_F(DialTest, UnreadableRecordFallsBackToWhatTheLinkStored) {
  Open(TARVEL_CAN32_FULL);
  StubJournal journal(dial->LibraryPath());
  ASSERT_TRUE(journal.ok());
  ASSERT_EQ(dial->SetDial6(0x1111), 0);
  failReads = true;  // the record's mutex is held elsewhere
  journal.reset();
  dial->SetDial7(0x2222);
  EXPECT_EQ(journal.lines(), std::vector<std::string>{"SendCanObj 050A 4 11 11 22 22"});
}

TEST_F(DialTest, MissingLibraryShowsTheMessageOnceAndSendsAnswerInvalid) {
  const std::string nowhere = ::testing::TempDir() + "/no-can-here";
  // The library path must not offer one either for this to be the missing case.
  if (void* h = dlopen("libcan32.so", RTLD_NOW)) {
    dlclose(h);
    GTEST_SKIP() << "a libcan32.so is on the library path";
  }
  Open(nowhere);
  EXPECT_FALSE(dial->Loaded());
  EXPECT_EQ(messages, std::vector<std::string>{"Unable to load CAN32.DLL"});
  EXPECT_EQ(dial->SetDial2(5), TOrvoCanDial::kMissing);
  EXPECT_EQ(dial->InitCan(2), TOrvoCanDial::kMissing);
  EXPECT_EQ(dial->CanSetBaudrate(3), TOrvoCanDial::kMissing);
  EXPECT_EQ(log, std::vector<std::string>{"SendCanObj = Invalid"});
  EXPECT_EQ(words[2], 5);  // the record still follows what the panel was asked to show
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(DialTest, MissingEntryPointsAreGuarded) {
  Open(TARVEL_CAN32_PARTIAL);  // no CANOpen, no SendCanObj
  ASSERT_TRUE(dial->Loaded());
  StubJournal journal(dial->LibraryPath());
  ASSERT_TRUE(journal.ok());
  EXPECT_EQ(journal.lines(), (std::vector<std::string>{"InitCan 2", "CanSetBaudrate 3"}));
  EXPECT_EQ(dial->SendFieldValue(1), TOrvoCanDial::kMissing);
  EXPECT_EQ(log, std::vector<std::string>{"SendCanObj = Invalid"});
}

TEST_F(DialTest, NothingIsSentOrStoredBeforeTheDelayedOpen) {
  dial = std::make_unique<TOrvoCanDial>(record);
  dial->Open({TARVEL_CAN32_FULL}, 60000);
  ASSERT_TRUE(dial->Loaded());
  StubJournal journal(dial->LibraryPath());
  ASSERT_TRUE(journal.ok());
  journal.reset();
  EXPECT_EQ(dial->SetDial2(9), TOrvoCanDial::kMissing);
  EXPECT_TRUE(journal.lines().empty());
  EXPECT_EQ(words.count(2), 0u);
}

// CANClose used to be called whenever the library had it, also without a CANOpen. The stub's
// file journal outlives the unloaded library.
TEST_F(DialTest, CANCloseFollowsOnlyAMadeCANOpen) {
  const struct {
    const char* name;
    const char* library;
    int delayMs;  // of the open; 60000: unloaded before it
    bool closed;
  } cases[] = {{"opened", TARVEL_CAN32_FULL, 5, true},
               {"unloaded before the delayed open", TARVEL_CAN32_FULL, 60000, false},
               {"library without CANOpen", TARVEL_CAN32_PARTIAL, 5, false}};
  const std::string journal = ::testing::TempDir() + "/can32-journal-" + std::to_string(::getpid());
  ::setenv("TARVEL_CAN32_JOURNAL", journal.c_str(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(journal.c_str());
    dial = std::make_unique<TOrvoCanDial>(record);
    dial->Open({c.library}, c.delayMs);
    ASSERT_TRUE(dial->Loaded());
    if (c.delayMs < 1000) {
      ASSERT_TRUE(WaitUntil([&] { return dial->Ready(); }));
    }
    dial.reset();
    std::ifstream in(journal);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(all.find("CANClose") != std::string::npos, c.closed) << all;
  }
  ::unsetenv("TARVEL_CAN32_JOURNAL");
  std::remove(journal.c_str());
}

// Code is looked up in the program's folder and on the library path, never in the data folder.
TEST(DialSearch, TheDataFolderIsNotSearched) {
  const auto dirs = TOrvoCanDial::DefaultSearchDirs();
  ASSERT_EQ(dirs.size(), 1u);
  std::error_code ec;
  EXPECT_EQ(dirs[0], std::filesystem::read_symlink("/proc/self/exe", ec).parent_path());
}

TEST(DialLogLine, CountsOnlyTheDataBytesItHas) {
  CanObj o{};
  o.id = 0x50A;
  o.dlc = 12;  // more than the object holds: only its eight bytes are shown
  EXPECT_EQ(TOrvoCanDial::FrameLogLine(o), "ID:0x0000050A DLC:12 Data:  00 00 00 00 00 00 00 00");
}

}  // namespace
}  // namespace tarvel::shm
