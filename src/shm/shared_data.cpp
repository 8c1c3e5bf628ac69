#include "shm/shared_data.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "shm/extended.h"
#include "shm/seek_position.h"

namespace tarvel::shm {
namespace {

int NumberOf(std::string_view kind) {
  for (std::size_t i = 0; i < std::size(kRecordNames); ++i)
    if (kRecordNames[i] == kind) return static_cast<int>(i);
  return 0;
}

// One of the record-name constants (a view of static storage, kept for the life of the record).
std::string_view KindOf(const std::string& name) {
  for (std::string_view k : kRecordNames) {
    if (name == k) return k;
  }
  return kMonitorRecord;
}

template <typename T>
base::Result<T> ReadAs(TOrvoSharedData& d, std::uint8_t code, std::int32_t index, ValueType type) {
  T v{};
  base::Status st = d.ReadValue(code, index, type, &v);
  if (!st.ok()) return st;
  return v;
}

base::Status TooLong(std::size_t n) {
  return base::Status::OutOfRange("a block of " + std::to_string(n) +
                                  " bytes is longer than any record");
}

// The sink of records constructed without one (main thread only).
LogSink& DefaultLogStorage() {
  static LogSink sink = LogToStderr;
  return sink;
}

}  // namespace

void SetDefaultRecordLog(LogSink sink) {
  DefaultLogStorage() = sink ? std::move(sink) : LogSink(LogToStderr);
}

LogSink DefaultRecordLog() {
  return DefaultLogStorage();
}

std::string SuffixFromEnvironment() {
  const char* s = std::getenv("TARVEL_SHM_SUFFIX");
  return s ? std::string(s) : std::string();
}

TOrvoSharedData::TOrvoSharedData(std::string recordName, bool master, RecordOptions options)
    : recordName_(std::move(recordName)),
      kind_(KindOf(recordName_)),
      kindNumber_(NumberOf(kind_)),
      master_(master),
      log_(options.log ? std::move(options.log) : DefaultRecordLog()) {
  const std::string section = recordName_ + options.nameSuffix;
  mutex_.SetName(section + std::string(kMutexSuffix));
  mutex_.OnExecute = [this](TMutex&) { TransferStep(); };
  const auto size = static_cast<std::int32_t>(RecordSize(recordName_));
  if (master) {
    // Creation order: the mutex, then the section.
    base::Status mst = mutex_.Open(log_);
    if (!mst.ok()) (void)Report(mst);
    base::Status sst = Create(section, 1, size, log_);
    openStatus_ = !sst.ok() ? sst : mst;
    return;
  }
  // A slave whose section does not exist leaves no mutex object behind either.
  base::Status sst = Create(section, 0, size, log_);
  if (!sst.ok()) {
    openStatus_ = sst;
    return;
  }
  // The server's mutex object may belong to another user of the group.
  openStatus_ = mutex_.Open(log_, SharedSection::Owner::kAnyone);
  if (!openStatus_.ok()) (void)Report(openStatus_);
}

TOrvoSharedData::~TOrvoSharedData() {
  // Freeing closes the mutex first; the base then unmaps the section.
  mutex_.Close();
}

base::Status TOrvoSharedData::Report(base::Status st) {
  if (st.ok() || !log_) return st;
  const auto now = std::chrono::steady_clock::now();
  if (lastLog_ != std::chrono::steady_clock::time_point{} &&
      now - lastLog_ < std::chrono::seconds(1)) {
    ++suppressed_;
    return st;
  }
  std::string line = recordName_ + ": " + st.message();
  if (suppressed_ > 0)
    line += " (" + std::to_string(suppressed_) + " more failures since the last report)";
  suppressed_ = 0;
  lastLog_ = now;
  try {
    log_(line);
  } catch (...) {
    // A sink that throws must not turn a skipped access into a crash.
  }
  return st;
}

base::Status TOrvoSharedData::Transfer(std::uint8_t code, std::int32_t index, std::uint8_t* data,
                                       std::int32_t count, bool write, ValueType type) {
  if (RecordNumberOfCode(code) != kindNumber_) {
    return Report(base::Status::OutOfRange("field code " + std::to_string(code) +
                                           " does not belong to " + recordName_));
  }
  const auto slot = TSeekPosition::Slot(code, index);
  if (!slot) {
    return Report(base::Status::OutOfRange("field code " + std::to_string(code) + " index " +
                                           std::to_string(index) + " is outside its area"));
  }
  // A typed access moves exactly one element of the field's table width; only blocks may span
  // several fields.
  if (type != ValueType::kBlock && (slot->type == ValueType::kBlock || slot->width != count)) {
    return Report(base::Status::OutOfRange(
        "field code " + std::to_string(code) + " index " + std::to_string(index) + " is " +
        (slot->type == ValueType::kBlock ? std::string("a block")
                                         : std::to_string(slot->width) + " bytes wide") +
        ", not a " + std::to_string(count) + "-byte value"));
  }
  if (!HasView()) {
    return Report(base::Status::Unavailable("no shared section (" + openStatus_.message() + ")"));
  }
  const std::size_t avail = Memory().size();
  const std::size_t off = slot->offset;
  if (count < 0 || off > avail || static_cast<std::size_t>(count) > avail - off) {
    return Report(base::Status::OutOfRange("field code " + std::to_string(code) + " index " +
                                           std::to_string(index) + ": " + std::to_string(count) +
                                           " bytes at offset " + std::to_string(off) +
                                           " pass the end of " + std::to_string(avail) + " bytes"));
  }
  pending_ = PendingAccess{static_cast<std::int32_t>(off), count, write, data, -1};
  // The mutex's OnExecute is this same step; Run calls it without the callback indirection.
  base::Status st = mutex_.Run([this] { TransferStep(); });
  if (!st.ok()) return Report(st);
  if (pending_.transferred != count) {
    return Report(base::Status::Truncated(
        "field code " + std::to_string(code) + " index " + std::to_string(index) + ": moved " +
        std::to_string(pending_.transferred) + " of " + std::to_string(count) + " bytes"));
  }
  return base::Status::Ok();
}

void TOrvoSharedData::TransferStep() {
  Seek(pending_.offset, kFromBeginning);
  pending_.transferred =
      pending_.write ? Write(pending_.data, pending_.count) : Read(pending_.data, pending_.count);
}

base::Status TOrvoSharedData::WriteValue(std::uint8_t code, std::int32_t index, const void* value,
                                         ValueType type) {
  const std::size_t n = ValueTypeSize(type);
  if (n == 0) return Report(base::Status::InvalidArgument("WriteValue needs a type 0..5"));
  std::memcpy(inline_.data(), value, n);
  return Transfer(code, index, inline_.data(), static_cast<std::int32_t>(n), true, type);
}

base::Status TOrvoSharedData::ReadValue(std::uint8_t code, std::int32_t index, ValueType type,
                                        void* out) {
  const std::size_t n = ValueTypeSize(type);
  if (n == 0) return Report(base::Status::InvalidArgument("ReadValue needs a type 0..5"));
  // Straight into the inline buffer: a failed transfer copies nothing (Transfer checks the
  // whole range first), so the buffer keeps the last value and `out` is untouched.
  base::Status st =
      Transfer(code, index, inline_.data(), static_cast<std::int32_t>(n), false, type);
  if (st.ok()) std::memcpy(out, inline_.data(), n);
  return st;
}

base::Status TOrvoSharedData::WriteBlock(std::uint8_t code, std::int32_t index,
                                         std::span<const std::uint8_t> bytes) {
  // Checked before anything is copied: a count no section can hold must not become a
  // negative 32-bit one. The transfer reads straight from the caller's bytes (the step only
  // reads them, so the cast away from const is safe).
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return Report(TooLong(bytes.size()));
  return Transfer(code, index, const_cast<std::uint8_t*>(bytes.data()),
                  static_cast<std::int32_t>(bytes.size()), true, ValueType::kBlock);
}

base::Status TOrvoSharedData::ReadBlock(std::uint8_t code, std::int32_t index,
                                        std::span<std::uint8_t> out) {
  if (out.size() > static_cast<std::size_t>(INT32_MAX)) return Report(TooLong(out.size()));
  // Transfer checks the whole range against the section before the mutex is taken, so the copy
  // into `out` is all or nothing.
  return Transfer(code, index, out.data(), static_cast<std::int32_t>(out.size()), false,
                  ValueType::kBlock);
}

base::Status TOrvoSharedData::WriteByte(std::uint8_t code, std::int32_t index, std::uint8_t v) {
  return WriteValue(code, index, &v, ValueType::kByte);
}
base::Status TOrvoSharedData::WriteI16(std::uint8_t code, std::int32_t index, std::int16_t v) {
  return WriteValue(code, index, &v, ValueType::kInt16);
}
base::Status TOrvoSharedData::WriteI32(std::uint8_t code, std::int32_t index, std::int32_t v) {
  return WriteValue(code, index, &v, ValueType::kInt32);
}
base::Status TOrvoSharedData::WriteDouble(std::uint8_t code, std::int32_t index, double v) {
  return WriteValue(code, index, &v, ValueType::kDouble);
}
base::Status TOrvoSharedData::WriteExtended(std::uint8_t code, std::int32_t index, double v) {
  const ExtendedBytes b = EncodeExtended(v);
  return WriteValue(code, index, b.data(), ValueType::kExtended);
}

base::Result<std::uint8_t> TOrvoSharedData::ReadByte(std::uint8_t code, std::int32_t index) {
  return ReadAs<std::uint8_t>(*this, code, index, ValueType::kByte);
}
base::Result<std::int16_t> TOrvoSharedData::ReadI16(std::uint8_t code, std::int32_t index) {
  return ReadAs<std::int16_t>(*this, code, index, ValueType::kInt16);
}
base::Result<std::int32_t> TOrvoSharedData::ReadI32(std::uint8_t code, std::int32_t index) {
  return ReadAs<std::int32_t>(*this, code, index, ValueType::kInt32);
}
base::Result<double> TOrvoSharedData::ReadDouble(std::uint8_t code, std::int32_t index) {
  return ReadAs<double>(*this, code, index, ValueType::kDouble);
}
base::Result<double> TOrvoSharedData::ReadExtended(std::uint8_t code, std::int32_t index) {
  ExtendedBytes b{};
  base::Status st = ReadValue(code, index, ValueType::kExtended, b.data());
  if (!st.ok()) return st;
  return DecodeExtended(b);
}

base::Status TOrvoSharedData::Locked(const std::function<bool(HeldRecord&)>& body) {
  if (!HasView()) {
    return Report(base::Status::Unavailable("no shared section (" + openStatus_.message() + ")"));
  }
  bool fits = true;
  base::Status st = mutex_.Execute([&] {
    HeldRecord held(Memory(), kind_);
    fits = body(held);
  });
  if (!st.ok()) return Report(st);
  if (!fits)
    return Report(base::Status::OutOfRange("a field of " + recordName_ +
                                           " lies past the end of its section"));
  return st;
}

}  // namespace tarvel::shm
