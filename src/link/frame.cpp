#include "link/frame.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarvel::link {
namespace {

template <typename T>
T& Reverse(T& v) {
  std::uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  std::reverse(b, b + sizeof(T));
  std::memcpy(&v, b, sizeof(T));
  return v;
}

void PutBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

std::uint32_t& SwapLong(std::uint32_t& v) {
  return Reverse(v);
}
std::int32_t& SwapLong(std::int32_t& v) {
  return Reverse(v);
}
float& SwapLong(float& v) {
  return Reverse(v);
}
std::uint16_t& SwapWord(std::uint16_t& v) {
  return Reverse(v);
}
std::int16_t& SwapWord(std::int16_t& v) {
  return Reverse(v);
}
double& SwapDouble(double& v) {
  return Reverse(v);
}

bool AcceptHeader(std::span<const std::uint8_t, kMarkSize> mark) {
  const std::uint8_t letter = mark[1];
  return mark[0] == kStartMark &&
         (letter == kLetterM || letter == kLetterI || letter == kLetterN) &&
         mark[2] >= kMinHeaderNumber && mark[2] <= kMaxHeaderNumber;
}

void WriteHeader(FrameIds ids, std::uint32_t payloadLength,
                 std::span<std::uint8_t, kHeaderSize> out) {
  out[0] = kStartMark;
  out[1] = kSentLetter;
  out[2] = kSentNumber;
  out[3] = kFiller;
  PutBe32(&out[kLengthOffset], payloadLength + static_cast<std::uint32_t>(kIdsSize));
  PutBe32(&out[kUnitOffset], static_cast<std::uint32_t>(ids.unit));
  PutBe32(&out[kItemOffset], static_cast<std::uint32_t>(ids.item));
  PutBe32(&out[kModeOffset], static_cast<std::uint32_t>(ids.mode));
}

std::vector<std::uint8_t> BuildFrame(FrameIds ids, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> frame(kHeaderSize + payload.size());
  WriteHeader(ids, static_cast<std::uint32_t>(payload.size()),
              std::span<std::uint8_t, kHeaderSize>(frame.data(), kHeaderSize));
  if (!payload.empty()) std::memcpy(frame.data() + kHeaderSize, payload.data(), payload.size());
  return frame;
}

}  // namespace tarvel::link
