// FrameLog: the simulator's JSON-lines log, one object per line, flushed after every line.
//
//   {"t":1.234567,"dir":"rx","unit":1,"item":1,"mode":2,"len":12,"payload":""}
//   {"t":0.501234,"event":"accepted","peer":"127.0.0.1:40312"}
//   {"t":2.000001,"event":"closed","reason":"peer"}
// "t" is seconds on the monotonic clock since the log was created. An rx line gets a "cmd" field
// when the command name table knows its ids. Payloads above kMaxLoggedPayload bytes are cut and
// marked "payload_truncated":true so one huge bulk frame cannot flood the reader.
// Single-threaded. Writing to stdout shares it with the control replies, which is fine because
// every line is written whole and flushed.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "link/frame.h"

namespace tarvel::controller_sim {

class FrameLog {
 public:
  static constexpr std::size_t kMaxLoggedPayload = 1 << 20;

  FrameLog();
  ~FrameLog();
  FrameLog(const FrameLog&) = delete;
  FrameLog& operator=(const FrameLog&) = delete;

  // "" logs nothing, "-" logs to stdout, anything else is a file (truncated).
  base::Status open(const std::string& path);

  void received(link::FrameIds ids, std::int32_t frameLength,
                std::span<const std::uint8_t> payload);
  // An event line with extra string fields.
  void event(std::string_view name,
             const std::vector<std::pair<std::string, std::string>>& fields = {});

 private:
  void writeLine(const std::string& line);
  std::string timeField() const;

  std::FILE* out_ = nullptr;
  bool ownsFile_ = false;
  std::chrono::steady_clock::time_point start_;
};

// A JSON string literal (quotes included) for 8-bit text; bytes outside ASCII are escaped as
// \u00XX so the line stays valid JSON whatever the bytes are.
std::string JsonString(std::string_view text);

}  // namespace tarvel::controller_sim
