// Shared helpers of the shared-memory tests: private names, raw section bytes, a private ORVO
// root, and a second process (the C helper, or any tool) run with a bounded wait.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "shm/extended.h"
#include "shm/record_layout.h"
#include "shm/shared_data.h"
#include "shm/shared_section.h"

namespace tarvel::shm::test {

// "_test<pid>": gtest_discover_tests runs every test in its own process, so this is unique.
inline std::string Suffix() {
  return "_test" + std::to_string(::getpid());
}

inline RecordOptions Options(std::vector<std::string>* log = nullptr) {
  RecordOptions o;
  o.nameSuffix = Suffix();
  if (log)
    o.log = [log](const std::string& m) { log->push_back(m); };
  else
    o.log = [](const std::string&) {};
  return o;
}

// The bytes of a section as the file system holds them, read without any of the code under test.
inline std::vector<std::uint8_t> RawBytes(std::string_view record) {
  std::ifstream in("/dev/shm/" + std::string(record) + Suffix(), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

// Little-endian values at a byte offset of raw bytes.
template <typename T>
T At(const std::vector<std::uint8_t>& b, std::size_t off) {
  T v{};
  EXPECT_LE(off + sizeof(T), b.size()) << "offset " << off;
  if (off + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + off, sizeof(T));
  return v;
}

inline double ExtAt(const std::vector<std::uint8_t>& b, std::size_t off) {
  EXPECT_LE(off + 10, b.size()) << "offset " << off;
  if (off + 10 > b.size()) return 0;
  return DecodeExtended(std::span<const std::uint8_t, 10>(b.data() + off, 10));
}

// Writes raw bytes into a section behind the code's back (another process's view).
inline void PokeRaw(std::string_view record, std::size_t off, const void* p, std::size_t n) {
  std::fstream f("/dev/shm/" + std::string(record) + Suffix(),
                 std::ios::binary | std::ios::in | std::ios::out);
  ASSERT_TRUE(f.good());
  f.seekp(static_cast<std::streamoff>(off));
  f.write(static_cast<const char*>(p), static_cast<std::streamsize>(n));
}

// Removes every object a test made (the server itself never unlinks).
inline void UnlinkAll() {
  for (std::string_view r : kRecordNames) {
    const std::string base = "/" + std::string(r) + Suffix();
    (void)SharedSection::Unlink(base);
    (void)SharedSection::Unlink(base + std::string(kMutexSuffix));
  }
  (void)SharedSection::Unlink("/" + std::string(kStageRecord) + Suffix() + "_OWNER");
}

// A private ORVO root below the one the test command gives (or /tmp), with or without Data/.
class OrvoRoot {
 public:
  explicit OrvoRoot(bool withData = true) {
    const char* base = std::getenv("TARVEL_ORVO_ROOT");
    const std::filesystem::path parent =
        base && *base ? base : std::filesystem::temp_directory_path();
    root_ = parent / ("shm" + Suffix());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    if (withData) std::filesystem::create_directories(root_ / "Data");
    previous_ = base ? base : "";
    hadPrevious_ = base != nullptr;
    ::setenv("TARVEL_ORVO_ROOT", root_.c_str(), 1);
  }
  ~OrvoRoot() {
    if (hadPrevious_)
      ::setenv("TARVEL_ORVO_ROOT", previous_.c_str(), 1);
    else
      ::unsetenv("TARVEL_ORVO_ROOT");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& path() const { return root_; }
  std::filesystem::path data() const { return root_ / "Data"; }

 private:
  std::filesystem::path root_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A child process with pipes to its stdin and stdout; killed if still running at destruction.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    int in[2], out[2];
    // Close-on-exec, so a later child does not keep this one's stdin open (dup2 clears it for
    // the child's own 0 and 1).
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[0]);
      ::close(in[1]);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Child() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(stdout_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  void CloseStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  // One line of output (without its newline), or "" when none came within the bound.
  std::string ReadLine(int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buf[4096];
      const ssize_t n = ::read(stdout_, buf, sizeof buf);
      if (n <= 0) return "";
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  // Everything until the child closes its output, within the bound.
  std::string ReadAll(int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string all = std::move(buffer_);
    buffer_.clear();
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buf[4096];
      const ssize_t n = ::read(stdout_, buf, sizeof buf);
      if (n <= 0) break;
      all.append(buf, static_cast<std::size_t>(n));
    }
    return all;
  }
  // The exit status (or 128 + signal), -1 when it did not end within the bound.
  int Wait(int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool reaped_ = false;
  std::string buffer_;
};

// Runs the C helper (tests/shm/shm_helper.c) with the given arguments.
inline std::vector<std::string> Helper(std::vector<std::string> args) {
  args.insert(args.begin(), TARVEL_SHM_HELPER);
  return args;
}

// Runs a helper to completion: its output and exit status.
struct Ran {
  std::string out;
  int status;
};
inline Ran RunToEnd(std::vector<std::string> argv, int timeoutMs = 10000) {
  Child c(std::move(argv));
  c.CloseStdin();
  Ran r;
  r.out = c.ReadAll(timeoutMs);
  r.status = c.Wait(timeoutMs);
  return r;
}

// A fixture that removes the test's objects before and after.
class ShmTest : public ::testing::Test {
 protected:
  void SetUp() override { UnlinkAll(); }
  void TearDown() override { UnlinkAll(); }
};

}  // namespace tarvel::shm::test
