// Status and Result<T>: errors as values.
//
// A Status is either ok() or carries a code and a message that names what failed
// ("payload length 70000 exceeds 65536"). Nothing in the server throws through the event
// loop; a function that can fail returns one of these and the caller decides what to show.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tarvel::base {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk,
    kInvalidArgument,
    kOutOfRange,
    kTruncated,
    kIOError,
    kNotFound,
    kTimeout,
    kBusy,
    kUnavailable,
    kCorrupt
  };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status InvalidArgument(std::string msg) {
    return {Code::kInvalidArgument, std::move(msg)};
  }
  static Status OutOfRange(std::string msg) { return {Code::kOutOfRange, std::move(msg)}; }
  static Status Truncated(std::string msg) { return {Code::kTruncated, std::move(msg)}; }
  static Status IOError(std::string msg) { return {Code::kIOError, std::move(msg)}; }
  static Status NotFound(std::string msg) { return {Code::kNotFound, std::move(msg)}; }
  static Status Timeout(std::string msg) { return {Code::kTimeout, std::move(msg)}; }
  static Status Busy(std::string msg) { return {Code::kBusy, std::move(msg)}; }
  static Status Unavailable(std::string msg) { return {Code::kUnavailable, std::move(msg)}; }
  static Status Corrupt(std::string msg) { return {Code::kCorrupt, std::move(msg)}; }
  // An operating-system failure: "<context>: <strerror(err)>".
  static Status FromErrno(const std::string& context, int err);

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  std::string ToString() const { return ok() ? "OK" : message_; }

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

// A value or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}          // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace tarvel::base
