// SharedSection: a named POSIX shared-memory object mapped read/write (the platform adaptor
// behind TSharedMemory).
//
// Section "Name" is the object "/Name" (/dev/shm/Name), created with mode 0660. Creating a name
// that exists opens the existing object. An object that exists already is checked before it is
// adopted, since anyone with access to /dev/shm can make one first: its mode must be 0660 (with
// Owner::kAnyone at most 0660, so never open to other users), its size at least `size` (an object
// still of size 0, whose creator has not sized it yet, is sized by the caller), and with
// Owner::kSelf its owner must be this process's user. A mismatch is a Corrupt status naming the
// object and what differs, and nothing is written into it. An opener maps the object at its real
// size, which may be larger than asked: users bound every transfer by bytes().size().
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
  // Who may own an existing object: the server adopts only its own user's objects; a client
  // opens the server's, which another user of the group may own.
  enum class Owner { kSelf, kAnyone };

  // `objectName` is the POSIX name with its leading "/". kCreate creates the object with `size`
  // bytes or opens an existing one; kOpen opens an existing object only. Either way an existing
  // object is checked as above and mapped at its real size.
  static base::Result<std::unique_ptr<SharedSection>> Open(const std::string& objectName, Mode mode,
                                                           std::size_t size, LogSink log = {},
                                                           Owner owner = Owner::kSelf);

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
