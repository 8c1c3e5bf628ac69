// ControlCommand: one line of the simulator's stdin control channel, parsed and checked.
//
//   report <unit> <item>                 send that report as if it had been requested
//   frame <unit> <item> <mode> <hex|->   send one frame with this payload
//   burst <n> <unit> <item> <len>        n frames (mode 2, pattern payloads) in one write
//   raw <hex>                            these bytes as they are
//   bad-header | length <n>              the fault byte strings of fault_frames.h
//   stall <unit> <item> <len>            a header and the first half of its body only
//   close | reset | quit                 orderly close, close with RST, end the simulator
//   set <key> <value>                    change an identity field (see system_identity.h)
// Numbers are decimal or 0x hex. Limits keep one command's output bounded (kMax* below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "link/frame.h"

namespace tarvel::controller_sim {

struct ControlCommand {
  enum class Kind {
    kReport,
    kFrame,
    kBurst,
    kRaw,
    kBadHeader,
    kLength,
    kStall,
    kClose,
    kReset,
    kQuit,
    kSet
  };

  // Bounds: a burst or a stalled frame stays below 64 MiB of output.
  static constexpr std::size_t kMaxBurstFrames = 1'000'000;
  static constexpr std::size_t kMaxOutputBytes = 64u << 20;

  Kind kind = Kind::kQuit;
  link::FrameIds ids;               // report: unit, item; frame: all three; burst/stall: mode 2
  std::vector<std::uint8_t> bytes;  // frame payload or raw bytes
  std::size_t count = 0;            // burst: number of frames
  std::size_t payloadLength = 0;    // burst, stall
  std::uint32_t frameLength = 0;    // length: the 32-bit field as sent
  std::string key;                  // set
  std::string value;                // set: the rest of the line, spaces kept

  // Whether the command needs a connected client.
  bool sends() const { return kind != Kind::kQuit && kind != Kind::kSet; }
};

base::Result<ControlCommand> ParseControlCommand(std::string_view line);

}  // namespace tarvel::controller_sim
