// FrameReceiver: cuts controller frames out of a byte stream, however it was split.
//
// The socket side writes received bytes into writable() and commit()s them; next() then yields
// each complete frame in order, kNeedMore when the buffered bytes end inside a frame, or an
// error when the frame at the front cannot be trusted (a bad mark, or a frame length below 12 or
// above kMaxFrameLength). After an error the caller decides what to distrust; normally it
// reset()s and drains the socket, since nothing tells where the next frame starts.
//
// Memory grows only with bytes actually received, never from a declared length, and is capped
// at one whole frame plus one read chunk. A ReceivedFrame's spans point into the buffer and stay
// valid until the next writable(), commit(), compact() or reset(). Not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "link/frame.h"
#include "link/frame_format.h"

namespace tarvel::link {

struct ReceivedFrame {
  std::int32_t length = 0;                // frame length: ids + payload
  FrameIds ids;                           // host order
  std::span<const std::uint8_t> body;     // ids + payload as received (frame length bytes)
  std::span<const std::uint8_t> payload;  // wire byte order; may be empty
};

class FrameReceiver {
 public:
  enum class Kind { kFrame, kNeedMore, kBadHeader, kBadLength };
  struct Next {
    Kind kind = Kind::kNeedMore;
    ReceivedFrame frame;                         // kFrame only
    std::array<std::uint8_t, kMarkSize> mark{};  // kBadHeader and kBadLength: the four mark bytes
    std::int64_t length = 0;                     // kBadLength: the declared frame length
  };

  // Reads are done in chunks of this many bytes at most.
  static constexpr std::size_t kReadChunk = 64 * 1024;

  FrameReceiver();
  FrameReceiver(const FrameReceiver&) = delete;
  FrameReceiver& operator=(const FrameReceiver&) = delete;

  // Room for up to `want` more bytes at the end of the buffer (fewer only at the hard cap, never
  // none while the cap allows a byte).
  std::span<std::uint8_t> writable(std::size_t want = kReadChunk);
  void commit(std::size_t n);
  // Copies bytes in; for tests and the fuzzer. Returns how many were taken (all, below the cap).
  std::size_t append(std::span<const std::uint8_t> bytes);

  Next next();
  // Moves what is left of a partial frame to the front; call once per drain.
  void compact();
  // Forgets everything buffered.
  void reset();

  std::size_t buffered() const { return end_ - begin_; }
  // The declared frame length of the frame at the front, or -1 while fewer than 8 bytes are in.
  std::int64_t pendingLength() const;
  // Bytes still missing from the frame at the front (0 when none is started).
  std::size_t missing() const;

  static constexpr std::size_t kCapacityCap =
      static_cast<std::size_t>(kMaxFrameLength) + kPrefixSize + kReadChunk;

 private:
  void reserve(std::size_t needed);

  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last received byte
};

}  // namespace tarvel::link
