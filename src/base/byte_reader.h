// ByteReader: a bounded cursor over bytes from outside (the wire, a file, shared memory).
//
// Every read checks that the field lies wholly inside the span; a failed read returns false,
// leaves the output untouched and does not advance, so a truncated report fills only what it
// holds. Big-endian reads are for controller frames; little-endian ones for shared records.
// The span must outlive the reader.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace tarvel::base {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ == bytes_.size(); }
  std::span<const std::uint8_t> rest() const { return bytes_.subspan(pos_); }

  bool skip(std::size_t n) {
    if (n > remaining()) return false;
    pos_ += n;
    return true;
  }

  bool readU8(std::uint8_t* v) { return readRaw(v, 1); }
  bool readU16be(std::uint16_t* v) { return readBe(v); }
  bool readI16be(std::int16_t* v) { return readBe(v); }
  bool readU32be(std::uint32_t* v) { return readBe(v); }
  bool readI32be(std::int32_t* v) { return readBe(v); }
  bool readF32be(float* v) { return readBe(v); }
  bool readF64be(double* v) { return readBe(v); }
  bool readU16le(std::uint16_t* v) { return readLe(v); }
  bool readI16le(std::int16_t* v) { return readLe(v); }
  bool readU32le(std::uint32_t* v) { return readLe(v); }
  bool readI32le(std::int32_t* v) { return readLe(v); }
  bool readF32le(float* v) { return readLe(v); }
  bool readF64le(double* v) { return readLe(v); }

  // Reads n bytes as they are.
  bool readBytes(std::span<std::uint8_t> out) { return readRaw(out.data(), out.size()); }

  // A zero-terminated 8-bit string: the text up to the terminator, which is consumed. With no
  // terminator before the end, the text runs to the end of the span and the reader ends there
  // (a string that fills its field or payload is still read, and nothing beyond it).
  bool readCString(std::string* v) {
    if (atEnd()) return false;
    const std::uint8_t* begin = bytes_.data() + pos_;
    const void* nul = std::memchr(begin, 0, remaining());
    const std::size_t len =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - begin) : remaining();
    v->assign(reinterpret_cast<const char*>(begin), len);
    pos_ += nul ? len + 1 : len;
    return true;
  }

  // A fixed-width text field (shared records, files): the text ends at the first zero or at the
  // end of the field. Consumes the whole field.
  bool readFixedString(std::size_t width, std::string* v) {
    if (width > remaining()) return false;
    const std::uint8_t* begin = bytes_.data() + pos_;
    const void* nul = std::memchr(begin, 0, width);
    const std::size_t len =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - begin) : width;
    v->assign(reinterpret_cast<const char*>(begin), len);
    pos_ += width;
    return true;
  }

 private:
  bool readRaw(void* out, std::size_t n) {
    if (n > remaining()) return false;
    if (n) std::memcpy(out, bytes_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  template <typename T>
  bool readBe(T* v) {
    std::uint8_t raw[sizeof(T)];
    if (!readRaw(raw, sizeof(T))) return false;
    std::uint8_t host[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) host[i] = raw[sizeof(T) - 1 - i];
    std::memcpy(v, host, sizeof(T));
    return true;
  }
  template <typename T>
  bool readLe(T* v) {
    return readRaw(v, sizeof(T));
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

static_assert(std::endian::native == std::endian::little,
              "the server assumes a little-endian host");

}  // namespace tarvel::base
