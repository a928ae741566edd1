// Error values shared by the readers and the run. Readers never throw across
// their interface and never crash on bad input: they return an Error that
// says what kind of failure it is and, in words a user can read, why
// ("not a workbook", "damaged zip archive (the file ends too early)").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace dialsift {

// What kind of failure an Error is. Callers that act on failures (tests,
// budgets, the command line's summary) look at the kind; the reason is for
// people.
enum class ErrorKind : std::uint8_t {
  kNotWorkbook,        // the file is of another kind (or a folder, or empty)
  kUnsupportedFormat,  // a workbook format, or a feature of one, that is not read
  kPasswordProtected,  // the workbook is encrypted
  kDamagedContainer,   // the zip or OLE2 container is broken
  kDamagedXml,         // an XML part is not well formed, or is refused
  kDamagedWorkbook,    // records, cells or parts hold what no workbook holds
  kMissingPart,        // a part, stream or sheet that the workbook names is absent
  kTooLarge,           // a size or count beyond what is read
  kIo,                 // the file cannot be read or written
};

// Why an operation failed: its kind, and in plain words the reason, without
// the file name (the caller knows the file and puts the two together).
struct Error {
  ErrorKind kind;
  std::string reason;
};

// The reason of every encrypted workbook, whatever its format.
inline constexpr std::string_view kPasswordProtectedReason = "password-protected workbook";

inline Error PasswordProtected() {
  return {ErrorKind::kPasswordProtected, std::string(kPasswordProtectedReason)};
}

// The file cannot be read; `detail` says why, in the system's words, when
// it told.
inline Error CannotReadFile(std::string_view detail = {}) {
  std::string reason = "cannot read the file";
  if (!detail.empty()) reason += " (" + std::string(detail) + ")";
  return {ErrorKind::kIo, std::move(reason)};
}

inline Error FileNotFound() {
  return {ErrorKind::kIo, "file not found"};
}

// The file is of another kind; `detail` says what it is, when known.
inline Error NotAWorkbook(std::string_view detail = {}) {
  std::string reason = "not a workbook";
  if (!detail.empty()) reason += " (" + std::string(detail) + ")";
  return {ErrorKind::kNotWorkbook, std::move(reason)};
}

// A value or an Error. Usable as a bool: true when it holds a value.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : v_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T& operator*() & { return value(); }

  const Error& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// Success or an Error, for operations without a value.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT

  static Status Ok() { return {}; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }

 private:
  Error error_{ErrorKind::kIo, {}};
  bool failed_ = false;
};

}  // namespace dialsift
