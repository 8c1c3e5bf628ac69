#include "link/frame_receiver.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/byte_writer.h"

namespace tarvel::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(FrameIds ids, std::size_t payloadSize, std::uint8_t seed = 0) {
  Bytes payload(payloadSize);
  for (std::size_t i = 0; i < payloadSize; ++i) payload[i] = static_cast<std::uint8_t>(seed + i);
  return BuildFrame(ids, payload);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Cut {
  FrameIds ids;
  Bytes payload;
};

// Drains every complete frame; stops at NeedMore or an error (returned in *error).
std::vector<Cut> DrainFrames(FrameReceiver& r, FrameReceiver::Kind* error = nullptr) {
  std::vector<Cut> out;
  for (;;) {
    const auto next = r.next();
    if (next.kind == FrameReceiver::Kind::kFrame) {
      out.push_back({next.frame.ids, Bytes(next.frame.payload.begin(), next.frame.payload.end())});
      continue;
    }
    if (error) *error = next.kind;
    return out;
  }
}

TEST(FrameReceiver, FrameSplitAtEveryOffset) {
  const Bytes stream =
      Concat({Frame({10, 1, 2}, 0), Frame({1, 1, 2}, 37, 5), Frame({23, 2, 2}, 300, 9)});
  for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
    for (std::size_t cut2 : {cut1, (cut1 + stream.size()) / 2, stream.size()}) {
      SCOPED_TRACE(testing::Message() << "cuts at " << cut1 << " and " << cut2);
      FrameReceiver r;
      std::vector<Cut> got;
      std::size_t from = 0;
      for (std::size_t to : {cut1, cut2, stream.size()}) {
        if (to < from) continue;
        r.append(std::span(stream).subspan(from, to - from));
        from = to;
        auto more = DrainFrames(r);
        got.insert(got.end(), more.begin(), more.end());
        r.compact();
      }
      ASSERT_EQ(got.size(), 3u);
      EXPECT_EQ(got[0].ids, (FrameIds{10, 1, 2}));
      EXPECT_TRUE(got[0].payload.empty());
      EXPECT_EQ(got[1].ids, (FrameIds{1, 1, 2}));
      EXPECT_EQ(got[1].payload, Bytes(stream.begin() + 40, stream.begin() + 77));
      EXPECT_EQ(got[2].ids, (FrameIds{23, 2, 2}));
      EXPECT_EQ(got[2].payload.size(), 300u);
      EXPECT_EQ(r.buffered(), 0u);
    }
  }
}

TEST(FrameReceiver, UntrustedFrontIsReportedAndWholeFramesBeforeItAreKept) {
  const Bytes good = Frame({10, 1, 2}, 4);
  auto withLength = [](std::uint32_t len) {
    return Bytes{0x3A,
                 0x49,
                 0x01,
                 0x20,
                 static_cast<std::uint8_t>(len >> 24),
                 static_cast<std::uint8_t>(len >> 16),
                 static_cast<std::uint8_t>(len >> 8),
                 static_cast<std::uint8_t>(len),
                 1,
                 2,
                 3,
                 4};
  };
  struct Case {
    const char* name;
    Bytes bad;
    FrameReceiver::Kind kind;
  };
  const Case cases[] = {
      {"header number 0", {0x3A, 0x49, 0x00, 0x20, 0, 0, 0, 12}, FrameReceiver::Kind::kBadHeader},
      {"header number 4", {0x3A, 0x49, 0x04, 0x20, 0, 0, 0, 12}, FrameReceiver::Kind::kBadHeader},
      {"wrong start mark", {0x3B, 0x49, 0x01, 0x20}, FrameReceiver::Kind::kBadHeader},
      {"length 0", withLength(0), FrameReceiver::Kind::kBadLength},
      {"length 11", withLength(11), FrameReceiver::Kind::kBadLength},
      {"negative length", withLength(0x80000000u), FrameReceiver::Kind::kBadLength},
      {"length 2^31-1", withLength(0x7FFFFFFFu), FrameReceiver::Kind::kBadLength},
      {"just above the bound", withLength(static_cast<std::uint32_t>(kMaxFrameLength) + 1),
       FrameReceiver::Kind::kBadLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameReceiver r;
    r.append(Concat({good, c.bad, good}));
    FrameReceiver::Kind error{};
    const auto got = DrainFrames(r, &error);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(error, c.kind);
    // Memory follows what arrived, not what the length claimed.
    EXPECT_LT(r.buffered(), 64u);
  }
}

TEST(FrameReceiver, LengthAtTheBoundIsAccepted) {
  FrameReceiver r;
  Bytes head = {0x3A, 0x49, 0x01, 0x20};
  base::ByteWriter w;
  w.u32be(static_cast<std::uint32_t>(kMaxFrameLength)).i32be(8).i32be(1).i32be(2);
  head.insert(head.end(), w.bytes().begin(), w.bytes().end());
  r.append(head);
  EXPECT_EQ(r.next().kind, FrameReceiver::Kind::kNeedMore);
  EXPECT_EQ(r.pendingLength(), kMaxFrameLength);
  EXPECT_EQ(r.missing(), static_cast<std::size_t>(kMaxFrameLength) - 12);
}

TEST(FrameReceiver, LargeFrameGrowsTheBufferAndIsCutWhole) {
  FrameReceiver r;
  const Bytes big = Frame({15, 1, 2}, 60000 - 12, 3);
  const Bytes after = Frame({10, 1, 2}, 8);
  const Bytes stream = Concat({big, after});
  // Fed in odd-sized reads as a socket would deliver them.
  std::size_t pos = 0;
  std::vector<Cut> got;
  while (pos < stream.size()) {
    auto room = r.writable(7000);
    const std::size_t n = std::min(room.size(), stream.size() - pos);
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(pos), n, room.begin());
    r.commit(n);
    pos += n;
    auto more = DrainFrames(r);
    got.insert(got.end(), more.begin(), more.end());
    r.compact();
  }
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].payload, Bytes(big.begin() + 20, big.end()));
  EXPECT_EQ(got[1].ids, (FrameIds{10, 1, 2}));
}

}  // namespace
}  // namespace tarvel::link
