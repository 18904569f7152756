// Resources carried inside the running executable: PE resources on Windows,
// resources appended to the executable's file with a trailing index on Linux.
// Types and names match without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/result.h"

namespace updater::platform {

// The "not found" errors of Open, with their Windows numbers.
inline constexpr int64_t kErrorResourceTypeNotFound = 1813;
inline constexpr int64_t kErrorResourceNameNotFound = 1814;

// One resource, read from its start to its end.
class ResourceStream {
 public:
  virtual ~ResourceStream() = default;

  // The resource's size in bytes.
  virtual uint64_t Size() const = 0;

  // Copies up to `capacity` further bytes into `buffer` and returns how many;
  // 0 at the end.
  virtual Result<size_t> Read(void* buffer, size_t capacity) = 0;
};

class Resources {
 public:
  virtual ~Resources() = default;

  // The resource of type `type` named `name`; fails with
  // kErrorResourceTypeNotFound or kErrorResourceNameNotFound when there is
  // none.
  virtual Result<std::unique_ptr<ResourceStream>> Open(const std::string& type,
                                                       const std::string& name) = 0;
};

}  // namespace updater::platform
