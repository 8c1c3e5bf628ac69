#include "controller_sim/fault_frames.h"

#include "base/byte_writer.h"
#include "link/frame_format.h"

namespace tarvel::controller_sim {

std::vector<std::uint8_t> BadHeaderBytes() {
  std::vector<std::uint8_t> bytes =
      link::BuildFrame({link::kUnitSystem, 1, link::kModeRequest}, {});
  bytes[2] = 0;  // header number 0: outside 1..3
  return bytes;
}

std::vector<std::uint8_t> LengthFaultBytes(std::uint32_t frameLength) {
  base::ByteWriter w;
  w.u8(link::kStartMark).u8(link::kSentLetter).u8(link::kSentNumber).u8(link::kFiller);
  w.u32be(frameLength);
  for (std::size_t i = 0; i < kFaultFillerCount; ++i) w.u8(kFaultFiller);
  return w.take();
}

std::vector<std::uint8_t> PatternPayload(std::size_t length) {
  std::vector<std::uint8_t> p(length);
  for (std::size_t i = 0; i < length; ++i) p[i] = static_cast<std::uint8_t>(i % 256);
  return p;
}

std::vector<std::uint8_t> BurstBytes(std::size_t n, link::FrameIds ids, std::size_t payloadLength) {
  std::vector<std::uint8_t> out;
  out.reserve(n * (link::kHeaderSize + payloadLength));
  std::vector<std::uint8_t> payload = PatternPayload(payloadLength);
  for (std::size_t k = 0; k < n; ++k) {
    if (payloadLength >= 4) {
      const auto v = static_cast<std::uint32_t>(k);
      payload[0] = static_cast<std::uint8_t>(v >> 24);
      payload[1] = static_cast<std::uint8_t>(v >> 16);
      payload[2] = static_cast<std::uint8_t>(v >> 8);
      payload[3] = static_cast<std::uint8_t>(v);
    }
    const std::vector<std::uint8_t> frame = link::BuildFrame(ids, payload);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

std::vector<std::uint8_t> StallBytes(link::FrameIds ids, std::size_t payloadLength) {
  std::vector<std::uint8_t> frame = link::BuildFrame(ids, PatternPayload(payloadLength));
  frame.resize(link::kHeaderSize + payloadLength / 2);
  return frame;
}

std::optional<Scenario> ParseScenario(std::string_view name) {
  if (name == "bad-header") return Scenario::kBadHeader;
  if (name == "len0") return Scenario::kLen0;
  if (name == "len11") return Scenario::kLen11;
  if (name == "lenmax") return Scenario::kLenMax;
  if (name == "stall") return Scenario::kStall;
  if (name == "close") return Scenario::kClose;
  return std::nullopt;
}

}  // namespace tarvel::controller_sim
