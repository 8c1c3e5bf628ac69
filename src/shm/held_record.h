// HeldRecord: typed field access to a record's bytes while its mutex is held.
//
// Given by TOrvoSharedData::Locked to its callback, so that a read-test-write (stage ownership,
// alarm flags) happens in one hold. Fields are found by (code, index) through TSeekPosition and
// every access is bounded by the view; a typed access must match the field's width in the
// record tables (blocks through Read/Write may span fields): a refused index or a field past the
// end returns false and leaves the output unchanged. No system calls; the view must outlive the
// object (it lives only for the callback).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "shm/record_fields.h"

namespace tarvel::shm {

class HeldRecord {
 public:
  // `kind` is the record the bytes belong to (kMonitorRecord, ...): codes of other records are
  // refused.
  HeldRecord(std::span<std::uint8_t> bytes, std::string_view kind) : bytes_(bytes), kind_(kind) {}

  std::span<std::uint8_t> bytes() const { return bytes_; }

  // The bytes of a field of `n` bytes at (code, index); empty when refused or out of bounds.
  std::span<std::uint8_t> Field(std::uint8_t code, std::int32_t index, std::size_t n) const;

  bool Read(std::uint8_t code, std::int32_t index, std::span<std::uint8_t> out) const;
  bool Write(std::uint8_t code, std::int32_t index, std::span<const std::uint8_t> in);

  bool ReadI16(std::uint8_t code, std::int32_t index, std::int16_t* v) const;
  bool ReadI32(std::uint8_t code, std::int32_t index, std::int32_t* v) const;
  bool ReadDouble(std::uint8_t code, std::int32_t index, double* v) const;
  bool ReadExtended(std::uint8_t code, std::int32_t index, double* v) const;
  bool WriteI16(std::uint8_t code, std::int32_t index, std::int16_t v);
  bool WriteI32(std::uint8_t code, std::int32_t index, std::int32_t v);
  bool WriteDouble(std::uint8_t code, std::int32_t index, double v);
  bool WriteExtended(std::uint8_t code, std::int32_t index, double v);
  // The same for a field named in code (Named("MonitorWord")).
  bool ReadI16(FieldId f, std::int16_t* v) const { return ReadI16(f.code, f.index, v); }
  bool ReadI32(FieldId f, std::int32_t* v) const { return ReadI32(f.code, f.index, v); }
  bool WriteI16(FieldId f, std::int16_t v) { return WriteI16(f.code, f.index, v); }
  bool WriteI32(FieldId f, std::int32_t v) { return WriteI32(f.code, f.index, v); }

 private:
  // Field() for one typed element: empty unless the field is `n` bytes wide.
  std::span<std::uint8_t> Element(std::uint8_t code, std::int32_t index, std::size_t n) const;
  bool WriteElement(std::uint8_t code, std::int32_t index, std::span<const std::uint8_t> in);

  std::span<std::uint8_t> bytes_;
  std::string_view kind_;
};

}  // namespace tarvel::shm
