// SharedSection: a named POSIX shared-memory object mapped read/write (the platform adaptor
// behind TSharedMemory).
//
// Section "Name" is the object "/Name" (/dev/shm/Name), created with mode 0660. Creating a name
// that exists opens the existing object; a creator grows an existing object that is smaller than
// asked (never shrinks one, which would fault other processes' mappings). An opener maps the
// object at its real size, which may differ from what the caller expects: users bound every
// transfer by bytes().size().
//
// Owns the mapping; moving transfers it, copying is deleted. Nothing is unlinked on destruction:
// the object and its contents outlive this process, as the platform contract requires. The
// destructor never throws; an unmapping failure is reported to the logger given at open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/status.h"

namespace tarvel::shm {

// Receives failure messages that cannot be returned (destructors); never blocks.
using LogSink = std::function<void(const std::string&)>;

class SharedSection {
 public:
  enum class Mode { kCreate, kOpen };

  // `objectName` is the POSIX name with its leading "/". kCreate creates the object with at
  // least `size` bytes (or opens and, if needed, grows an existing one); kOpen opens an existing
  // object and maps its real size (`size` is ignored).
  static base::Result<std::unique_ptr<SharedSection>> Open(const std::string& objectName, Mode mode,
                                                           std::size_t size, LogSink log = {});

  // Removes the name (tests and tools only; the server never unlinks). A missing name is fine.
  static base::Status Unlink(const std::string& objectName);

  ~SharedSection();
  SharedSection(const SharedSection&) = delete;
  SharedSection& operator=(const SharedSection&) = delete;

  const std::string& objectName() const { return name_; }
  // The mapped bytes: valid until this object is destroyed.
  std::span<std::uint8_t> bytes() const { return {base_, size_}; }
  // True when this call created the object (as opposed to finding it).
  bool created() const { return created_; }

 private:
  SharedSection(std::string name, std::uint8_t* base, std::size_t size, bool created, LogSink log)
      : name_(std::move(name)), base_(base), size_(size), created_(created), log_(std::move(log)) {}

  const std::string name_;
  std::uint8_t* const base_;  // start of the mapping
  const std::size_t size_;    // mapped length: the object's size when it was mapped
  const bool created_;
  LogSink log_;
};

}  // namespace tarvel::shm
