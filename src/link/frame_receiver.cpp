#include "link/frame_receiver.h"

#include <algorithm>
#include <cstring>


namespace tarvel::link {
namespace {

// The receive buffer starts at the size of the original fixed buffer; most reports fit it.
constexpr std::size_t kInitialCapacity = 50000 + kPrefixSize + FrameReceiver::kReadChunk;

std::int32_t Be32(const std::uint8_t* p) {
  return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                   (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
}

}  // namespace

FrameReceiver::FrameReceiver()
    : data_(new std::uint8_t[kInitialCapacity]), capacity_(kInitialCapacity) {}

void FrameReceiver::reserve(std::size_t needed) {
  if (needed <= capacity_) return;
  std::size_t cap = std::max(needed, std::min(capacity_ * 2, kCapacityCap));
  cap = std::min(cap, kCapacityCap);
  std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[cap]);
  const std::size_t n = buffered();
  if (n) std::memcpy(grown.get(), data_.get() + begin_, n);
  data_ = std::move(grown);
  capacity_ = cap;
  begin_ = 0;
  end_ = n;
}

std::span<std::uint8_t> FrameReceiver::writable(std::size_t want) {
  want = std::min(want, kCapacityCap - buffered());
  if (capacity_ - end_ < want) {
    // Reclaim consumed space before growing.
    if (begin_ > 0) compact();
    if (capacity_ - end_ < want) reserve(end_ + want);
  }
  return {data_.get() + end_, std::min(want, capacity_ - end_)};
}

void FrameReceiver::commit(std::size_t n) {
  end_ = std::min(end_ + n, capacity_);
}

std::size_t FrameReceiver::append(std::span<const std::uint8_t> bytes) {
  std::size_t taken = 0;
  while (taken < bytes.size()) {
    auto room = writable(std::min(bytes.size() - taken, kReadChunk));
    if (room.empty()) break;
    std::memcpy(room.data(), bytes.data() + taken, room.size());
    commit(room.size());
    taken += room.size();
  }
  return taken;
}

std::int64_t FrameReceiver::pendingLength() const {
  if (buffered() < kPrefixSize) return -1;
  return Be32(data_.get() + begin_ + kLengthOffset);
}

std::size_t FrameReceiver::missing() const {
  const std::int64_t len = pendingLength();
  if (len < 0) return buffered() == 0 ? 0 : kPrefixSize - buffered();
  if (len < kMinFrameLength || len > kMaxFrameLength) return 0;
  const std::size_t whole = kPrefixSize + static_cast<std::size_t>(len);
  return whole > buffered() ? whole - buffered() : 0;
}

FrameReceiver::Next FrameReceiver::next() {
  Next out;
  const std::size_t n = buffered();
  const std::uint8_t* p = data_.get() + begin_;
  if (n < kMarkSize) return out;
  if (!AcceptHeader(std::span<const std::uint8_t, kMarkSize>(p, kMarkSize))) {
    out.kind = Kind::kBadHeader;
    std::copy(p, p + kMarkSize, out.mark.begin());
    return out;
  }
  if (n < kPrefixSize) return out;
  const std::int64_t length = Be32(p + kLengthOffset);
  // The length is checked before anything is buffered for it: a corrupted length must not make
  // the receiver wait for, or hold, gigabytes.
  if (length < kMinFrameLength || length > kMaxFrameLength) {
    out.kind = Kind::kBadLength;
    std::copy(p, p + kMarkSize, out.mark.begin());
    out.length = length;
    return out;
  }
  const std::size_t whole = kPrefixSize + static_cast<std::size_t>(length);
  if (n < whole) return out;

  // Complete: the length check above guarantees the three ids are inside the body.
  out.kind = Kind::kFrame;
  out.frame.length = static_cast<std::int32_t>(length);
  out.frame.ids = {Be32(p + kUnitOffset), Be32(p + kItemOffset), Be32(p + kModeOffset)};
  out.frame.body = std::span<const std::uint8_t>(p + kPrefixSize, static_cast<std::size_t>(length));
  out.frame.payload = out.frame.body.subspan(kIdsSize);
  begin_ += whole;
  // An emptied buffer restarts at the front (the frame's spans stay valid: nothing is moved).
  if (begin_ == end_) begin_ = end_ = 0;
  return out;
}

void FrameReceiver::compact() {
  if (begin_ == 0) return;
  const std::size_t n = buffered();
  if (n) std::memmove(data_.get(), data_.get() + begin_, n);
  begin_ = 0;
  end_ = n;
}

void FrameReceiver::reset() {
  begin_ = 0;
  end_ = 0;
}

}  // namespace tarvel::link
