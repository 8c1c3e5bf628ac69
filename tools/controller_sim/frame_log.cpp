#include "controller_sim/frame_log.h"

#include <cerrno>
#include <cinttypes>

#include "controller_sim/command_names.h"
#include "controller_sim/hex.h"

namespace tarvel::controller_sim {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

FrameLog::FrameLog() : start_(std::chrono::steady_clock::now()) {}

FrameLog::~FrameLog() {
  if (ownsFile_ && out_) std::fclose(out_);
}

base::Status FrameLog::open(const std::string& path) {
  if (path.empty()) return base::Status::Ok();
  if (path == "-") {
    out_ = stdout;
    return base::Status::Ok();
  }
  out_ = std::fopen(path.c_str(), "w");
  if (!out_) return base::Status::FromErrno("open log " + path, errno);
  ownsFile_ = true;
  return base::Status::Ok();
}

std::string FrameLog::timeField() const {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start_)
                      .count();
  char buf[48];
  std::snprintf(buf, sizeof(buf), "{\"t\":%" PRId64 ".%06" PRId64,
                static_cast<std::int64_t>(us / 1000000), static_cast<std::int64_t>(us % 1000000));
  return buf;
}

void FrameLog::writeLine(const std::string& line) {
  if (!out_) return;
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void FrameLog::received(link::FrameIds ids, std::int32_t frameLength,
                        std::span<const std::uint8_t> payload) {
  if (!out_) return;
  std::string line = timeField();
  line += ",\"dir\":\"rx\",\"unit\":" + std::to_string(ids.unit) +
          ",\"item\":" + std::to_string(ids.item) + ",\"mode\":" + std::to_string(ids.mode);
  if (const char* name = CommandName(ids)) line += ",\"cmd\":" + JsonString(name);
  line += ",\"len\":" + std::to_string(frameLength) + ",\"payload\":\"";
  const bool cut = payload.size() > kMaxLoggedPayload;
  line += ToHex(cut ? payload.first(kMaxLoggedPayload) : payload);
  line += '"';
  if (cut) line += ",\"payload_truncated\":true";
  line += '}';
  writeLine(line);
}

void FrameLog::event(std::string_view name,
                     const std::vector<std::pair<std::string, std::string>>& fields) {
  if (!out_) return;
  std::string line = timeField() + ",\"event\":" + JsonString(name);
  for (const auto& [key, value] : fields) line += "," + JsonString(key) + ":" + JsonString(value);
  line += '}';
  writeLine(line);
}

}  // namespace tarvel::controller_sim
