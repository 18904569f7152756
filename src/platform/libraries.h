// Dynamic libraries loaded by file name at run time (the Firebird client
// library and the script engine library).
#pragma once

#include <memory>
#include <string>

#include "platform/result.h"

namespace updater::platform {

// One loaded library; unloaded when destroyed.
class Library {
 public:
  virtual ~Library() = default;

  // The address of the exported symbol `name`, or nullptr when it is missing.
  virtual void* FindSymbol(const std::string& name) = 0;
};

class Libraries {
 public:
  virtual ~Libraries() = default;

  // Loads a library by file name, looked up as Windows looks up a bare name:
  // the folder of the running executable first. On Linux, a name with no file
  // of that name next to the executable resolves to the system library that
  // stands in for it (the Firebird client for "fbclient.dll").
  virtual Result<std::unique_ptr<Library>> Load(const std::string& file_name) = 0;
};

}  // namespace updater::platform
