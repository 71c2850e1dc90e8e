// Errors as values: what failed, on which path, and the operating system's
// own words for it. Library code returns these; only the programs decide
// what to print, show or exit with.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace zelbo {

enum class ErrorKind {
  kOpen,          // an existing file could not be opened
  kCreate,        // an output file could not be created or truncated
  kSameAsSource,  // the output would be the source itself (same file, link)
  kRead,
  kWrite,     // includes a short write: disk full, an I/O error, a failed flush
  kTooLarge,  // a write past the largest file the medium or the process allows
  kClose,
  kSize,  // the size of a file could not be found out
  kSeek,
  kUnsupported,  // the system cannot do this here (e.g. share a file's storage)
};

struct Error {
  ErrorKind kind;
  std::string path;
  std::string call;     // the system call that failed, e.g. "write"
  std::string os_text;  // the system's description, e.g. "No space left on device"

  // "write big.002: No space left on device" - for logs and tests.
  std::string Describe() const { return call + " " + path + ": " + os_text; }
};

// Either a value or an Error. Kept deliberately small: check ok(), then take
// value() or error().
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::move(value)) {}          // NOLINT: implicit by design
  Result(Error error) : data_(std::move(error)) {}      // NOLINT: implicit by design

  bool ok() const { return data_.index() == 0; }
  T& value() { return std::get<0>(data_); }
  const T& value() const { return std::get<0>(data_); }
  const Error& error() const { return std::get<1>(data_); }

 private:
  std::variant<T, Error> data_;
};

// Success, or an Error.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit by design

  bool ok() const { return !failed_; }
  const Error& error() const { return error_; }

 private:
  Error error_{};
  bool failed_ = false;
};

}  // namespace zelbo
