#include "controller_sim/control_command.h"

#include "controller_sim/hex.h"
#include "controller_sim/system_identity.h"
#include "link/frame_format.h"

namespace tarvel::controller_sim {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

base::Status Arity(const std::vector<std::string_view>& w, std::size_t n, const char* usage) {
  if (w.size() == n) return base::Status::Ok();
  return base::Status::InvalidArgument(std::string("usage: ") + usage);
}

base::Status Int(std::string_view text, const char* what, std::int32_t* out) {
  base::Result<std::int32_t> v = ParseInt32(text);
  if (!v.ok())
    return base::Status::InvalidArgument(std::string(what) + ": " + v.status().message());
  *out = *v;
  return base::Status::Ok();
}

// A count or a length: non-negative, at most `max`.
base::Status Size(std::string_view text, const char* what, std::size_t max, std::size_t* out) {
  std::int32_t v = 0;
  if (base::Status s = Int(text, what, &v); !s.ok()) return s;
  if (v < 0 || static_cast<std::size_t>(v) > max) {
    return base::Status::OutOfRange(std::string(what) + " " + std::to_string(v) + " outside 0.." +
                                    std::to_string(max));
  }
  *out = static_cast<std::size_t>(v);
  return base::Status::Ok();
}

}  // namespace

base::Result<ControlCommand> ParseControlCommand(std::string_view line) {
  const std::vector<std::string_view> w = Words(line);
  if (w.empty()) return base::Status::InvalidArgument("empty command");
  ControlCommand c;
  const std::string_view verb = w[0];
  const std::size_t maxPayload = static_cast<std::size_t>(link::kMaxFrameLength) - link::kIdsSize;
  base::Status s;
  if (verb == "report") {
    c.kind = ControlCommand::Kind::kReport;
    if (!(s = Arity(w, 3, "report <unit> <item>")).ok()) return s;
    if (!(s = Int(w[1], "unit", &c.ids.unit)).ok() || !(s = Int(w[2], "item", &c.ids.item)).ok())
      return s;
    c.ids.mode = link::kModeRequest;
  } else if (verb == "frame") {
    c.kind = ControlCommand::Kind::kFrame;
    if (!(s = Arity(w, 5, "frame <unit> <item> <mode> <payload-hex|->")).ok()) return s;
    if (!(s = Int(w[1], "unit", &c.ids.unit)).ok() || !(s = Int(w[2], "item", &c.ids.item)).ok() ||
        !(s = Int(w[3], "mode", &c.ids.mode)).ok())
      return s;
    base::Result<std::vector<std::uint8_t>> payload = ParseHex(w[4]);
    if (!payload.ok())
      return base::Status::InvalidArgument("payload: " + payload.status().message());
    c.bytes = std::move(*payload);
  } else if (verb == "burst") {
    c.kind = ControlCommand::Kind::kBurst;
    if (!(s = Arity(w, 5, "burst <n> <unit> <item> <payload-len>")).ok()) return s;
    if (!(s = Size(w[1], "n", ControlCommand::kMaxBurstFrames, &c.count)).ok() ||
        !(s = Int(w[2], "unit", &c.ids.unit)).ok() || !(s = Int(w[3], "item", &c.ids.item)).ok() ||
        !(s = Size(w[4], "payload-len", maxPayload, &c.payloadLength)).ok())
      return s;
    c.ids.mode = link::kModeRequest;
    if (c.count * (link::kHeaderSize + c.payloadLength) > ControlCommand::kMaxOutputBytes) {
      return base::Status::OutOfRange(
          "burst of " + std::to_string(c.count * (link::kHeaderSize + c.payloadLength)) +
          " bytes exceeds " + std::to_string(ControlCommand::kMaxOutputBytes));
    }
  } else if (verb == "raw") {
    c.kind = ControlCommand::Kind::kRaw;
    if (!(s = Arity(w, 2, "raw <hex>")).ok()) return s;
    base::Result<std::vector<std::uint8_t>> bytes = ParseHex(w[1]);
    if (!bytes.ok()) return base::Status::InvalidArgument("raw: " + bytes.status().message());
    c.bytes = std::move(*bytes);
  } else if (verb == "bad-header") {
    c.kind = ControlCommand::Kind::kBadHeader;
    if (!(s = Arity(w, 1, "bad-header")).ok()) return s;
  } else if (verb == "length") {
    c.kind = ControlCommand::Kind::kLength;
    if (!(s = Arity(w, 2, "length <n>")).ok()) return s;
    std::int32_t n = 0;
    if (!(s = Int(w[1], "n", &n)).ok()) return s;
    c.frameLength = static_cast<std::uint32_t>(n);
  } else if (verb == "stall") {
    c.kind = ControlCommand::Kind::kStall;
    if (!(s = Arity(w, 4, "stall <unit> <item> <payload-len>")).ok()) return s;
    if (!(s = Int(w[1], "unit", &c.ids.unit)).ok() || !(s = Int(w[2], "item", &c.ids.item)).ok() ||
        !(s = Size(w[3], "payload-len", maxPayload, &c.payloadLength)).ok())
      return s;
    c.ids.mode = link::kModeRequest;
  } else if (verb == "close" || verb == "reset" || verb == "quit") {
    c.kind = verb == "close"   ? ControlCommand::Kind::kClose
             : verb == "reset" ? ControlCommand::Kind::kReset
                               : ControlCommand::Kind::kQuit;
    if (w.size() != 1)
      return base::Status::InvalidArgument(std::string(verb) + " takes no arguments");
  } else if (verb == "set") {
    c.kind = ControlCommand::Kind::kSet;
    if (w.size() < 3) return base::Status::InvalidArgument("usage: set <key> <value>");
    c.key = std::string(w[1]);
    if (!IsIdentityKey(c.key)) return base::Status::NotFound("unknown key '" + c.key + "'");
    // The value is the rest of the line, so a system name may hold spaces.
    const std::size_t at = static_cast<std::size_t>(w[2].data() - line.data());
    std::string_view value = line.substr(at);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    c.value = std::string(value);
  } else {
    return base::Status::InvalidArgument("unknown command '" + std::string(verb) + "'");
  }
  return c;
}

}  // namespace tarvel::controller_sim
