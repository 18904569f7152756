// One owner type for each kind of operating-system handle: it closes the
// handle when it goes, can be moved but not copied, and gives the handle up
// without closing it (Release). Its destructor never throws and cannot
// report a failed close; a caller for whom the close matters (the last
// chance for a write error to show) calls Close and gets the system's error.
//
// `Traits` describes one kind (platform/posix/handles.h,
// platform/win32/handles.h):
//   using Handle = ...;
//   static Handle Invalid();
//   static bool Valid(Handle handle);
//   // Closes `handle`; on failure stores the error about `path` in `*error`
//   // when `error` is not null, and returns false.
//   static bool Close(Handle handle, SystemError* error, std::string_view path);
#pragma once

#include <string_view>

#include "platform/result.h"

namespace updater::platform {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  bool valid() const { return Traits::Valid(handle_); }
  explicit operator bool() const { return valid(); }
  Handle get() const { return handle_; }

  // Gives the handle up without closing it; the owner is empty afterwards.
  [[nodiscard]] Handle Release() {
    const Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // Closes the handle now and says how the close went; `path` names what it
  // was open for in the error. The owner is empty afterwards also when the
  // close failed: the handle is gone either way. An empty owner closes
  // nothing and succeeds.
  Status Close(std::string_view path) {
    if (!valid()) return Status::Ok();
    SystemError error;
    if (Traits::Close(Release(), &error, path)) return Status::Ok();
    return error;
  }

  // Closes the handle held (a failure is not reported: callers who care call
  // Close first) and takes `handle` in its place.
  void Reset(Handle handle = Traits::Invalid()) noexcept {
    if (valid()) Traits::Close(handle_, nullptr, {});
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

}  // namespace updater::platform
