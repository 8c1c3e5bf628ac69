#include "shm/held_record.h"

#include <cstring>

#include "base/byte_reader.h"
#include "shm/extended.h"
#include "shm/record_layout.h"
#include "shm/seek_position.h"

namespace tarvel::shm {

std::span<std::uint8_t> HeldRecord::Field(std::uint8_t code, std::int32_t index,
                                          std::size_t n) const {
  if (RecordOfCode(code) != kind_) return {};
  const auto off = TSeekPosition::Offset(code, index);
  if (!off || *off > bytes_.size() || n > bytes_.size() - *off) return {};
  return bytes_.subspan(*off, n);
}

std::span<std::uint8_t> HeldRecord::Element(std::uint8_t code, std::int32_t index,
                                            std::size_t n) const {
  // A typed value is one element of exactly the field's width.
  const auto slot = TSeekPosition::Slot(code, index);
  if (!slot || slot->type == ValueType::kBlock || slot->width != static_cast<std::uint16_t>(n))
    return {};
  return Field(code, index, n);
}

bool HeldRecord::Read(std::uint8_t code, std::int32_t index, std::span<std::uint8_t> out) const {
  const auto f = Field(code, index, out.size());
  if (f.size() != out.size()) return false;
  base::ByteReader r(f);
  return r.readBytes(out);
}

bool HeldRecord::Write(std::uint8_t code, std::int32_t index, std::span<const std::uint8_t> in) {
  const auto f = Field(code, index, in.size());
  if (f.size() != in.size()) return false;
  if (!in.empty()) std::memcpy(f.data(), in.data(), in.size());
  return true;
}

bool HeldRecord::ReadI16(std::uint8_t code, std::int32_t index, std::int16_t* v) const {
  base::ByteReader r(Element(code, index, 2));
  return r.readI16le(v);
}

bool HeldRecord::ReadI32(std::uint8_t code, std::int32_t index, std::int32_t* v) const {
  base::ByteReader r(Element(code, index, 4));
  return r.readI32le(v);
}

bool HeldRecord::ReadDouble(std::uint8_t code, std::int32_t index, double* v) const {
  base::ByteReader r(Element(code, index, 8));
  return r.readF64le(v);
}

bool HeldRecord::ReadExtended(std::uint8_t code, std::int32_t index, double* v) const {
  const auto f = Element(code, index, kExtendedSize);
  if (f.size() != kExtendedSize) return false;
  *v = DecodeExtended(std::span<const std::uint8_t, kExtendedSize>(f.data(), kExtendedSize));
  return true;
}

bool HeldRecord::WriteElement(std::uint8_t code, std::int32_t index,
                              std::span<const std::uint8_t> in) {
  const auto f = Element(code, index, in.size());
  if (f.size() != in.size()) return false;
  std::memcpy(f.data(), in.data(), in.size());
  return true;
}

bool HeldRecord::WriteI16(std::uint8_t code, std::int32_t index, std::int16_t v) {
  std::uint8_t b[2];
  std::memcpy(b, &v, 2);  // little-endian host (byte_reader.h)
  return WriteElement(code, index, b);
}

bool HeldRecord::WriteI32(std::uint8_t code, std::int32_t index, std::int32_t v) {
  std::uint8_t b[4];
  std::memcpy(b, &v, 4);
  return WriteElement(code, index, b);
}

bool HeldRecord::WriteDouble(std::uint8_t code, std::int32_t index, double v) {
  std::uint8_t b[8];
  std::memcpy(b, &v, 8);
  return WriteElement(code, index, b);
}

bool HeldRecord::WriteExtended(std::uint8_t code, std::int32_t index, double v) {
  const ExtendedBytes b = EncodeExtended(v);
  return WriteElement(code, index, b);
}

}  // namespace tarvel::shm
