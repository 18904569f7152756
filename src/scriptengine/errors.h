// The two kinds of failure inside the script engine. Both carry a text in
// the script's own bytes (the connection's character set); the engine
// reports them through the error callback and goes on with the next
// statement.
#pragma once

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "fbclient/status.h"

namespace updater::scriptengine {

// The database refused something: the server's or the client library's text,
// and the status it came with, for decisions by error code (empty when the
// failure did not come from the client).
class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& message, fbclient::FbStatus status = {})
      : std::runtime_error(message), status_(std::move(status)) {}

  const fbclient::FbStatus& Status() const { return status_; }

  // The line of a failed EXECUTE BLOCK's text that the server names ("At
  // block line: 3, col: 1"), counted from 1; 0 when it names none.
  size_t BlockLine() const {
    const fbclient::FbError* trace = status_.Find(isc_stack_trace);
    if (trace == nullptr) return 0;
    for (const std::string& text : trace->arguments) {
      const size_t at = text.find("line: ");
      if (at != std::string::npos) return std::strtoul(text.c_str() + at + 6, nullptr, 10);
    }
    return 0;
  }

  // For rows of a data block that the server refused: the index of the
  // row in the block and the column, when known.
  std::optional<size_t> block_row;
  std::string block_column;

 private:
  fbclient::FbStatus status_;
};

// The script itself is wrong or cannot be carried out: a bad command, a
// missing blob file, an error in a block.
class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace updater::scriptengine
