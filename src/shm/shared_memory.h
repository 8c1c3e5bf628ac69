// TSharedMemory: a byte stream over a named shared section.
//
// Master (master == 1) creates the section "/Name" or opens it when it exists; any other value
// opens an existing one. Read, Write and Seek follow the published stream rules exactly (return -1
// without a view, no partial write, Seek does not clamp), with two mendings: an existing section is
// adopted only when it is fit (mode 0660, at least the size asked for, a master's own; see
// SharedSection), and every transfer is bounded by Size() and by the real size of the mapping.
// Memory() gives the same bounded view for callers that copy a whole section.
//
// Owns the mapping (through SharedSection); copying is deleted. Main thread only. Failures are
// logged through the sink given to Create and returned, never shown in a message box, and the
// destructor never throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/status.h"
#include "shm/shared_section.h"

namespace tarvel::shm {

// Writes one line to stderr; the default sink of every shared-memory object.
void LogToStderr(const std::string& message);

class TSharedMemory {
 public:
  enum Origin { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };

  TSharedMemory() = default;
  virtual ~TSharedMemory();
  TSharedMemory(const TSharedMemory&) = delete;
  TSharedMemory& operator=(const TSharedMemory&) = delete;

  // Creates (master == 1) or opens the section named `name` (no leading "/"). On failure the
  // object has no view. Opening a name nobody created is NotFound and is not logged.
  base::Status Create(const std::string& name, int master, std::int32_t size, LogSink log = {});

  // -1 without a view; 0 for a negative position or count or at/after the end;
  // otherwise copies min(count, available) bytes and advances.
  std::int32_t Read(void* buffer, std::int32_t count);
  // -1 without a view or when position + count passes the end (nothing written); 0 for a
  // negative position or count; otherwise copies count bytes and advances.
  std::int32_t Write(const void* buffer, std::int32_t count);
  // origin 0: offset; 1: position + offset; 2: size + offset; other origins leave it.
  std::int32_t Seek(std::int32_t offset, int origin);
  // Inherited from the stream and does nothing: the size is fixed at construction.
  void SetSize(std::int64_t) {}

  bool HasView() const { return section_ != nullptr; }
  // The section's bytes, at most Size() long; empty without a view. Valid while this lives.
  std::span<std::uint8_t> Memory() const {
    if (!section_) return {};
    const auto bytes = section_->bytes();
    return bytes.size() < static_cast<std::size_t>(size_)
               ? bytes
               : bytes.first(static_cast<std::size_t>(size_));
  }
  std::int32_t Size() const { return size_; }
  std::int32_t Position() const { return position_; }
  const std::string& Name() const { return name_; }

 private:
  std::unique_ptr<SharedSection> section_;
  std::int32_t size_ = 0;      // as asked at construction
  std::int32_t position_ = 0;  // may lie outside 0..size
  std::string name_;
};

}  // namespace tarvel::shm
