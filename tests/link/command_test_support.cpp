#include "command_test_support.h"

#include <algorithm>
#include <cstdlib>

namespace tarvel::link::test {

P& P::hex(const char* text) {
  char* end = nullptr;
  for (const char* p = text; *p;) {
    const unsigned long v = std::strtoul(p, &end, 16);
    if (end == p) break;
    b.push_back(static_cast<std::uint8_t>(v));
    p = end;
  }
  return *this;
}

Bytes F(std::int32_t unit, std::int32_t item, std::int32_t mode, const P& payload) {
  P f;
  f.u8(0x3A).u8(0x49).u8(0x01).u8(0x20);
  f.i(12 + static_cast<std::int64_t>(payload.b.size())).i(unit).i(item).i(mode);
  f.b.insert(f.b.end(), payload.b.begin(), payload.b.end());
  return f.b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void CommandTest::SetUp() {
  QObject::connect(&link, &TOrvoComAna::OnDataChanged, [this](int id) { notified.push_back(id); });
  link.IPAddr = "127.0.0.1";
  link.Port = std::to_string(peer.port());
  link.Connect();
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(testing::WaitUntil([&] { return link.IsConnected() != 0 && !link.Closed(); }));
}

Bytes CommandTest::SentBy(const std::function<base::Status()>& cmd, base::Status* result) {
  const base::Status s = cmd();
  if (result) *result = s;
  EXPECT_TRUE(link.CmdSysQuit().ok());
  const Bytes sentinel = F(1, 100, 1);
  Bytes got;
  const bool closed = testing::WaitUntil([&] {
    const Bytes more = peer.readAvailable();
    got.insert(got.end(), more.begin(), more.end());
    return got.size() >= sentinel.size() &&
           std::equal(sentinel.begin(), sentinel.end(), got.end() - sentinel.size());
  });
  EXPECT_TRUE(closed) << "the sentinel frame never arrived";
  if (!closed) return got;
  got.resize(got.size() - sentinel.size());
  return got;
}

}  // namespace tarvel::link::test
