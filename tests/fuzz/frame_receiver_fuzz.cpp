// Feeds arbitrary byte streams, cut at arbitrary points, to the frame receiver.
//
// The first byte of the input chooses the read sizes, so the fuzzer explores splits as well as
// contents. After a bad header the receiver is reset, as the link does. Checked: every frame cut
// is whole and inside what was fed, and memory never exceeds the receiver's cap.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>

#include "link/frame_receiver.h"

using tarvel::link::FrameReceiver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static FrameReceiver* receiver = new FrameReceiver();  // reused: state must not leak between inputs
  receiver->reset();
  std::uint32_t rng = data[0] * 2654435761u + 1;
  std::size_t pos = 1;
  std::size_t fedSinceReset = 0;
  while (pos < size) {
    rng = rng * 1103515245u + 12345u;
    const std::size_t chunk = 1 + (rng >> 16) % 97;
    auto room = receiver->writable(chunk);
    const std::size_t n = std::min({room.size(), chunk, size - pos});
    if (n == 0) std::abort();  // below the cap there is always room
    for (std::size_t i = 0; i < n; ++i) room[i] = data[pos + i];
    receiver->commit(n);
    pos += n;
    fedSinceReset += n;
    for (;;) {
      const auto next = receiver->next();
      if (next.kind == FrameReceiver::Kind::kNeedMore) break;
      if (next.kind != FrameReceiver::Kind::kFrame) {
        receiver->reset();
        fedSinceReset = 0;
        break;
      }
      const auto& f = next.frame;
      if (f.length < 12 || f.body.size() != static_cast<std::size_t>(f.length) ||
          f.payload.size() + 12 != f.body.size() || f.body.size() + 8 > fedSinceReset) {
        std::abort();
      }
      // Touch every byte so the sanitizer sees any read outside the buffer.
      volatile std::uint8_t sink = 0;
      for (std::uint8_t b : f.payload) sink = sink ^ b;
      (void)sink;
    }
    receiver->compact();
    if (receiver->buffered() > FrameReceiver::kCapacityCap) std::abort();
  }
  return 0;
}
