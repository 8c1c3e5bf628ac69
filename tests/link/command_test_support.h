// Shared pieces of the command tests: an independent big-endian encoder for expected frames,
// a scriptable command state, and a fixture with a link connected to a loopback peer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/command_state.h"
#include "link/orvo_com_ana.h"
#include "loopback_peer.h"
#include "test_link.h"

namespace tarvel::link::test {

using Bytes = std::vector<std::uint8_t>;

// Builds expected payloads by hand, apart from the encoder under test.
struct P {
  Bytes b;
  P& i(std::int64_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(u >> s));
    return *this;
  }
  P& w(std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  P& u8(std::uint8_t v) {
    b.push_back(v);
    return *this;
  }
  P& f(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return i(u);
  }
  P& d(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int s = 56; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(u >> s));
    return *this;
  }
  P& s(const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    return *this;
  }
  P& hex(const char* text);  // "3A 49 01 20 ..."
};

// A whole frame as the controller sees it: ':' 'I' 1 ' ', length, ids, payload.
Bytes F(std::int32_t unit, std::int32_t item, std::int32_t mode, const P& payload = {});
Bytes Cat(std::initializer_list<Bytes> parts);

using FakeState = TScriptedState;

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Runs `cmd`, then a sentinel command, and returns everything the peer received before the
  // sentinel; fails the test if the sentinel does not close the stream exactly.
  Bytes SentBy(const std::function<base::Status()>& cmd, base::Status* result = nullptr);

  testing::LoopbackPeer peer;
  TTestLink link;
  FakeState& state = link.State();
  std::vector<int> notified;
};

}  // namespace tarvel::link::test
