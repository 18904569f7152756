// Results of platform calls. Nothing in the platform layer throws: a call
// returns its value or a SystemError that names the call, the path it was
// about, the native error code and the system's own text. The layers above
// decide what is fatal and raise the operator's message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace updater::platform {

struct SystemError {
  std::string call;  // the native call that failed, e.g. "CreateDirectoryW", "mkdir"
  std::string path;  // what the call was about; may be empty
  int64_t code = 0;  // GetLastError() or errno
  std::string text;  // the system's description, UTF-8

  // "call(path): text (code)", for logs and for messages that have no
  // specified text of their own.
  std::string Describe() const;
};

// A value or the SystemError that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(SystemError error) : error_(std::move(error)) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  // By value: a reference into a temporary Result would dangle (as in
  // `for (auto& entry : files.ListFolder(folder).value())`).
  T value() && { return std::move(*value_); }
  const T& operator*() const& { return *value_; }
  const T* operator->() const { return &*value_; }

  // Only meaningful when !ok().
  const SystemError& error() const { return error_; }

 private:
  std::optional<T> value_;
  SystemError error_;
};

// Success, or the SystemError of a call that returns no value.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(SystemError error) : error_(std::move(error)) {}  // NOLINT: implicit by design

  static Status Ok() { return Status(); }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const SystemError& error() const { return *error_; }

 private:
  std::optional<SystemError> error_;
};

}  // namespace updater::platform
