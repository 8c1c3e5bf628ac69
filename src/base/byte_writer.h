// ByteWriter: appends encoded values to a growing byte vector.
//
// Big-endian appends build controller payloads (each value already in wire order, so the frame
// builder copies the payload as given); little-endian ones build shared-record images.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace tarvel::base {

class ByteWriter {
 public:
  ByteWriter() = default;

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }
  std::size_t size() const { return bytes_.size(); }

  ByteWriter& u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ByteWriter& u16be(std::uint16_t v) { return be(v); }
  ByteWriter& i16be(std::int16_t v) { return be(v); }
  ByteWriter& u32be(std::uint32_t v) { return be(v); }
  ByteWriter& i32be(std::int32_t v) { return be(v); }
  ByteWriter& f32be(float v) { return be(v); }
  ByteWriter& f64be(double v) { return be(v); }
  ByteWriter& i32le(std::int32_t v) { return le(v); }
  ByteWriter& f64le(double v) { return le(v); }
  // A boolean travels as the 32-bit integer 1 or 0.
  ByteWriter& boolean(bool v) { return i32be(v ? 1 : 0); }
  // 8-bit text followed by its terminating zero; the caller has converted it to the code page.
  ByteWriter& cstring(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return *this;
  }
  ByteWriter& raw(std::span<const std::uint8_t> b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }

 private:
  template <typename T>
  ByteWriter& be(T v) {
    std::uint8_t host[sizeof(T)];
    std::memcpy(host, &v, sizeof(T));
    for (std::size_t i = sizeof(T); i > 0; --i) bytes_.push_back(host[i - 1]);
    return *this;
  }
  template <typename T>
  ByteWriter& le(T v) {
    std::uint8_t host[sizeof(T)];
    std::memcpy(host, &v, sizeof(T));
    bytes_.insert(bytes_.end(), host, host + sizeof(T));
    return *this;
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace tarvel::base
