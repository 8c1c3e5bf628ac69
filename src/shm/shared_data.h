// TOrvoSharedData: one shared record, a named section with its named mutex.
//
// The five record classes derive from it and add only operations. Every access is one transfer
// under the record's mutex: WriteValue/ReadValue for the value types 0..5, WriteBlock/ReadBlock
// for n bytes, and Locked for several fields in one hold. A field is (code, index), turned into
// an offset by TSeekPosition.
//
// Failures come back as values and are logged (at most one line a second per record, with a
// count of the ones left out); nothing is shown in a message box:
//  - a refused index, a code of another record, a typed access whose width is not the field's
//    (record_fields.h), or a field past the end of the mapping: OutOfRange, nothing transferred;
//  - no section: Unavailable (or NotFound for a slave whose section does not exist);
//  - the mutex not obtained within 100 ms, or the wait failed: Timeout or IOError, the access is
//    skipped. A failed read never hands back a value: the caller keeps its own last one.
//
// Names: the section is the record name followed by RecordOptions::nameSuffix (empty in
// production; tests use "_test<pid>"), the mutex that name followed by "_MUT". The size comes
// from the record name without the suffix.
//
// Owns the section and the mutex; copying is deleted. Main thread only. Destruction closes the
// mutex, then unmaps the section; nothing is unlinked and nothing throws.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/status.h"
#include "shm/held_record.h"
#include "shm/mutex.h"
#include "shm/record_layout.h"
#include "shm/shared_memory.h"

namespace tarvel::shm {

// The suffix from $TARVEL_SHM_SUFFIX, empty when unset. Lets a test run a whole server (or the
// tools) on private sections without changing any production name.
std::string SuffixFromEnvironment();

// Where record-layer failures go when RecordOptions::log is empty: every record constructed
// afterwards sends its failures (open failures, skipped accesses, mutex take-overs and
// re-initialisations, bad values in its files, hardware-log write failures) to this sink, each
// line naming the record or its object. stderr until set; the server sets it to its log and memo
// before it constructs the records. Main thread only; the sink must not block.
void SetDefaultRecordLog(LogSink sink);
// The current default (never empty).
LogSink DefaultRecordLog();

struct RecordOptions {
  std::string nameSuffix = SuffixFromEnvironment();
  LogSink log;  // empty: DefaultRecordLog() at construction
};

class TOrvoSharedData : public TSharedMemory {
 public:
  // Create (name, master): size by name; the master opens the mutex, then creates the section;
  // a slave opens the section, then (only if it exists) the mutex. Construction never fails;
  // OpenStatus() tells what went wrong.
  TOrvoSharedData(std::string recordName, bool master, RecordOptions options = {});
  ~TOrvoSharedData() override;

  const std::string& RecordName() const { return recordName_; }
  const std::string& SectionName() const { return Name(); }
  std::string MutexName() const { return mutex_.Name(); }
  bool IsMaster() const { return master_; }
  // Ok when both the section and the mutex are open.
  const base::Status& OpenStatus() const { return openStatus_; }
  bool IsOpen() const { return openStatus_.ok(); }
  // The record whose codes this object accepts (kMonitorRecord for unknown names).
  std::string_view Kind() const { return kind_; }
  TMutex& Mutex() { return mutex_; }

  // Types 0..5: copies the type's byte count from `value` to the field.
  base::Status WriteValue(std::uint8_t code, std::int32_t index, const void* value, ValueType type);
  // Types 0..5: on success copies the type's byte count to `out`; on failure `out` is untouched.
  base::Status ReadValue(std::uint8_t code, std::int32_t index, ValueType type, void* out);

  base::Status WriteBlock(std::uint8_t code, std::int32_t index,
                          std::span<const std::uint8_t> bytes);
  // On failure `out` is untouched (also for a transfer cut short by the end of the section).
  base::Status ReadBlock(std::uint8_t code, std::int32_t index, std::span<std::uint8_t> out);

  base::Status WriteByte(std::uint8_t code, std::int32_t index, std::uint8_t v);
  base::Status WriteI16(std::uint8_t code, std::int32_t index, std::int16_t v);
  base::Status WriteI32(std::uint8_t code, std::int32_t index, std::int32_t v);
  base::Status WriteDouble(std::uint8_t code, std::int32_t index, double v);
  base::Status WriteExtended(std::uint8_t code, std::int32_t index, double v);
  base::Result<std::uint8_t> ReadByte(std::uint8_t code, std::int32_t index);
  base::Result<std::int16_t> ReadI16(std::uint8_t code, std::int32_t index);
  base::Result<std::int32_t> ReadI32(std::uint8_t code, std::int32_t index);
  base::Result<double> ReadDouble(std::uint8_t code, std::int32_t index);
  base::Result<double> ReadExtended(std::uint8_t code, std::int32_t index);
  // The same for a field named in code (Named("ApertureMoving")): its code and index are the
  // field table's.
  base::Status WriteBlock(FieldId f, std::span<const std::uint8_t> bytes) {
    return WriteBlock(f.code, f.index, bytes);
  }
  base::Status WriteI16(FieldId f, std::int16_t v) { return WriteI16(f.code, f.index, v); }
  base::Status WriteI32(FieldId f, std::int32_t v) { return WriteI32(f.code, f.index, v); }
  base::Status WriteDouble(FieldId f, double v) { return WriteDouble(f.code, f.index, v); }
  base::Status WriteExtended(FieldId f, double v) { return WriteExtended(f.code, f.index, v); }
  base::Result<std::int16_t> ReadI16(FieldId f) { return ReadI16(f.code, f.index); }
  base::Result<std::int32_t> ReadI32(FieldId f) { return ReadI32(f.code, f.index); }
  base::Result<double> ReadDouble(FieldId f) { return ReadDouble(f.code, f.index); }
  base::Result<double> ReadExtended(FieldId f) { return ReadExtended(f.code, f.index); }

  // Runs `body` with the record's bytes while the mutex is held (one hold for several fields).
  // `body` returns false to report that a field it needed was out of bounds.
  base::Status Locked(const std::function<bool(HeldRecord&)>& body);

 protected:
  // Logs a failure (rate-limited) and hands it back.
  base::Status Report(base::Status st);
  const LogSink& Log() const { return log_; }

 private:
  // The pending-access descriptor, consumed by the transfer step.
  struct PendingAccess {
    std::int32_t offset = 0;  // of the field, checked against the section
    std::int32_t count = 0;
    bool write = false;
    std::uint8_t* data = nullptr;
    std::int32_t transferred = -1;  // what the stream's Read or Write returned
  };

  // Checks the field, prepares the descriptor and runs the mutex; the transfer step is
  // TransferStep.
  base::Status Transfer(std::uint8_t code, std::int32_t index, std::uint8_t* data,
                        std::int32_t count, bool write, ValueType type);
  void TransferStep();

  const std::string recordName_;
  const std::string_view kind_;  // one of the record-name constants of record_layout.h
  const int kindNumber_;         // its position in kRecordNames
  const bool master_;
  LogSink log_;
  TMutex mutex_;
  base::Status openStatus_;
  PendingAccess pending_;
  std::array<std::uint8_t, 10> inline_{};  // the inline value buffer
  // Rate limit of Report: monotonic time of the last line and failures left out since.
  std::chrono::steady_clock::time_point lastLog_{};
  int suppressed_ = 0;
};

}  // namespace tarvel::shm
