#include "controller_sim/frame_cutter.h"

#include <algorithm>

#include "base/byte_reader.h"
#include "controller_sim/hex.h"
#include "link/frame_format.h"

namespace tarvel::controller_sim {
namespace {

constexpr std::size_t kDumpBytes = 64;  // enough to recognise a frame, bounded for the log

}  // namespace

void FrameCutter::feed(std::span<const std::uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FrameCutter::compact() {
  if (pos_ == 0) return;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
  pos_ = 0;
}

FrameCutter::Next FrameCutter::next(Frame* frame, std::string* error) {
  const std::span<const std::uint8_t> rest(buffer_.data() + pos_, buffer_.size() - pos_);
  if (rest.size() < link::kPrefixSize) {
    compact();
    return Next::kNeedMore;
  }
  auto fail = [&](std::string reason) {
    const std::size_t shown = std::min(rest.size(), kDumpBytes);
    *error = reason + " (" + std::to_string(rest.size()) + " bytes dropped, first " +
             std::to_string(shown) + ": " + ToHex(rest.first(shown)) + ")";
    buffer_.clear();
    pos_ = 0;
    return Next::kError;
  };
  if (!link::AcceptHeader(rest.first<link::kMarkSize>())) return fail("bad header");
  base::ByteReader r(rest.subspan(link::kLengthOffset));
  std::int32_t length = 0;
  (void)r.readI32be(&length);  // 8 bytes are buffered, so the field is there
  if (length < link::kMinFrameLength || length > link::kMaxFrameLength) {
    return fail("frame length " + std::to_string(length) + " outside " +
                std::to_string(link::kMinFrameLength) + ".." +
                std::to_string(link::kMaxFrameLength));
  }
  const std::size_t total = link::kPrefixSize + static_cast<std::size_t>(length);
  if (rest.size() < total) {
    compact();
    return Next::kNeedMore;
  }
  (void)r.readI32be(&frame->ids.unit);
  (void)r.readI32be(&frame->ids.item);
  (void)r.readI32be(&frame->ids.mode);
  frame->frameLength = length;
  frame->payload.assign(rest.begin() + link::kHeaderSize, rest.begin() + total);
  pos_ += total;
  return Next::kFrame;
}

}  // namespace tarvel::controller_sim
