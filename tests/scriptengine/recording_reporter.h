// A ScriptReporter that keeps what the engine reported, in order.
#pragma once

#include <string>
#include <vector>

#include "scriptengine/script_executor.h"

namespace updater::scriptengine::testing {

class RecordingReporter final : public ScriptReporter {
 public:
  // "text <n>: <text>", "error: <statement> | <error>", "done <n>: <0|1>".
  std::vector<std::string> events;
  std::vector<std::string> errors;  // the error texts alone

  void StatementText(int32_t number, std::string_view text) override {
    events.push_back("text " + std::to_string(number) + ": " + std::string(text));
  }
  void StatementError(std::string_view statement, std::string_view error) override {
    events.push_back("error: " + std::string(statement) + " | " + std::string(error));
    errors.emplace_back(error);
  }
  void StatementDone(int32_t number, bool succeeded) override {
    events.push_back("done " + std::to_string(number) + ": " + (succeeded ? "1" : "0"));
  }
};

}  // namespace updater::scriptengine::testing
