// The C entry points of IBEScript.dll. Nothing may cross them as an
// exception: every failure goes to the caller's callbacks. The engine's
// state (the connect parameters and the attachment) lives from Connect
// until the library is unloaded; each script run detaches at its end.
#include <memory>
#include <optional>
#include <string>

#include "fbclient/ibescript_api.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "scriptengine/connect_string.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/errors.h"
#include "scriptengine/fb_database.h"
#include "scriptengine/load_meter.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/script_executor.h"
#include "scriptengine/script_splitter.h"
#include "scriptengine/text_bytes.h"

namespace updater::scriptengine {
namespace {

struct EngineState {
  std::optional<ConnectParams> params;
  std::unique_ptr<FbDatabase> database;
  LoadProgressCallback on_progress = nullptr;
};

EngineState& State() {
  static EngineState state;
  return state;
}

class CallbackReporter final : public ScriptReporter {
 public:
  CallbackReporter(StatementErrorCallback on_error, StatementTextCallback on_text,
                   StatementResultCallback on_result)
      : on_error_(on_error), on_text_(on_text), on_result_(on_result) {}

  void StatementText(int32_t number, std::string_view text) override {
    if (on_text_ != nullptr) on_text_(number, ToAnsi(text).c_str());
  }
  void StatementError(std::string_view statement, std::string_view error) override {
    if (on_error_ != nullptr) on_error_(ToAnsi(statement).c_str(), ToAnsi(error).c_str());
  }
  void StatementDone(int32_t number, bool succeeded) override {
    if (on_result_ != nullptr) on_result_(number, succeeded ? 1 : 0);
  }

 private:
  StatementErrorCallback on_error_;
  StatementTextCallback on_text_;
  StatementResultCallback on_result_;
};

// The tables the data script `path` holds, by the manifest beside it; none
// when there is no manifest. A manifest that cannot be read gives none
// either: the progress is only shown, and the check after the load is what
// reports a bad manifest.
std::vector<TableFigures> ExpectedTables(const std::string& path) {
  platform::FileSystem& files = platform::SystemPlatform().files;
  const std::string manifest = ManifestPathFor(path);
  if (!files.FileExists(manifest)) return {};
  try {
    return ReadManifest(files, manifest);
  } catch (const std::exception&) {
    return {};
  }
}

// A meter of the data loaded by script file `path` that reports to the
// callback SetProgressCallback set, or none when it set none.
std::unique_ptr<LoadMeter> ProgressMeter(const std::string& path) {
  const LoadProgressCallback on_progress = State().on_progress;
  if (on_progress == nullptr) return nullptr;
  return std::make_unique<LoadMeter>(ExpectedTables(path), platform::SystemPlatform().clock,
                                     [on_progress](int32_t tables_done, int32_t tables_total,
                                                   int64_t rows_done, int64_t rows_total) {
                                       on_progress(tables_done, tables_total, rows_done,
                                                   rows_total);
                                     });
}

// Runs a script from `source`; attaches first when the last run detached.
// Data blocks loaded are counted on `meter` when given.
int32_t Run(ByteSource& source, const std::string& folder, CallbackReporter& reporter,
            LoadMeter* meter = nullptr) {
  EngineState& state = State();
  if (!state.database) {
    if (!state.params) {
      reporter.StatementError("", "the engine is not connected: Connect must succeed first");
      return 1;
    }
    try {
      state.database =
          std::make_unique<FbDatabase>(platform::SystemPlatform().libraries, *state.params);
    } catch (const std::exception& e) {
      reporter.StatementError("", e.what());
      return 1;
    }
  }
  ScriptExecutor executor(*state.database, platform::SystemPlatform().files, reporter, folder);
  executor.CountLoadOn(meter);
  int failures = executor.Run(source);
  if (meter != nullptr) meter->Finish();
  try {
    state.database->Close();
  } catch (const std::exception& e) {
    reporter.StatementError("", e.what());
    ++failures;
  }
  state.database.reset();
  return failures;
}

// False, after reporting why, when script file `path` is marked as UTF-8
// and cannot be read whole in `charset`.
bool CanReadWhole(const std::string& path, const std::string& charset, ScriptReporter& reporter) {
  auto opened = platform::SystemPlatform().files.OpenInputFile(path);
  if (!opened.ok()) return true;  // the run itself reports it
  try {
    FileSource file(std::move(opened).value(), path);
    MarkedScriptSource source(file, charset);
    char buffer[64 * 1024];
    while (source.Read(buffer, sizeof buffer) > 0) {
      if (!source.Marked()) return true;
    }
  } catch (const std::exception& e) {
    reporter.StatementError("", e.what());
    return false;
  }
  return true;
}

// Runs `action`, reporting anything it throws as a failure of the run: no
// exception may leave the library.
template <typename Action>
int32_t Guarded(CallbackReporter& reporter, Action action) {
  try {
    return action();
  } catch (const std::exception& e) {
    reporter.StatementError("", std::string("internal error: ") + e.what());
  } catch (...) {
    reporter.StatementError("", "internal error");
  }
  return 1;
}

}  // namespace
}  // namespace updater::scriptengine

using updater::scriptengine::CallbackReporter;
using updater::scriptengine::State;

extern "C" {

UPDATER_EXPORT int32_t UPDATER_STDCALL Connect(const char* connect_string,
                                               ConnectErrorCallback on_error) {
  namespace se = updater::scriptengine;
  auto fail = [&](const std::string& text) {
    if (on_error != nullptr) on_error(se::ToAnsi(text).c_str());
    return 1;
  };
  try {
    se::EngineState& state = State();
    state.database.reset();
    state.params.reset();
    if (connect_string == nullptr) return fail("no connect string");
    const se::ConnectParams params = se::ParseConnectString(connect_string);
    state.database =
        std::make_unique<se::FbDatabase>(updater::platform::SystemPlatform().libraries, params);
    state.params = params;
    return 0;
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("internal error");
  }
}

UPDATER_EXPORT int32_t UPDATER_STDCALL ExecScriptFile(const char* path,
                                                      StatementErrorCallback on_error,
                                                      StatementTextCallback on_text,
                                                      StatementResultCallback on_result) {
  namespace se = updater::scriptengine;
  CallbackReporter reporter(on_error, on_text, on_result);
  return se::Guarded(reporter, [&]() -> int32_t {
    if (path == nullptr || *path == '\0') {
      reporter.StatementError("", "no script file named");
      return 1;
    }
    const std::string file = updater::platform::AnsiToUtf8(path);
    auto opened = updater::platform::SystemPlatform().files.OpenInputFile(file);
    if (!opened.ok()) {
      reporter.StatementError("", "the script file cannot be opened: " + opened.error().Describe());
      return 1;
    }
    se::FileSource source(std::move(opened).value(), file);
    // A script marked as UTF-8 (one a block wrote) is read in the
    // connection's character set; one that cannot be is refused before any
    // of its statements runs.
    const std::string charset = State().params ? State().params->charset : std::string();
    if (!se::CanReadWhole(file, charset, reporter)) return 1;
    se::MarkedScriptSource marked(source, charset);
    const std::unique_ptr<se::LoadMeter> meter = se::ProgressMeter(file);
    return se::Run(
        marked, updater::platform::SplitPath(file, updater::platform::Delimiters::kEither).folder,
        reporter, meter.get());
  });
}

UPDATER_EXPORT int32_t UPDATER_STDCALL ExecScriptText(const char* text,
                                                      StatementErrorCallback on_error,
                                                      StatementTextCallback on_text,
                                                      StatementResultCallback on_result) {
  namespace se = updater::scriptengine;
  CallbackReporter reporter(on_error, on_text, on_result);
  return se::Guarded(reporter, [&]() -> int32_t {
    se::TextSource source(text != nullptr ? std::string_view(text) : std::string_view());
    return se::Run(source, "", reporter);
  });
}

// The progress of the data loads of the following ExecScriptFile runs goes
// to `on_progress` (none: nullptr).
UPDATER_EXPORT int32_t UPDATER_STDCALL SetProgressCallback(LoadProgressCallback on_progress) {
  State().on_progress = on_progress;
  return 0;
}

// Commits and detaches what is still attached, and forgets the connect
// parameters. The script runner does not call it (unloading does the same);
// other hosts may.
UPDATER_EXPORT int32_t UPDATER_STDCALL Disconnect() {
  try {
    updater::scriptengine::EngineState& state = State();
    if (state.database) state.database->Close();
    state.database.reset();
    state.params.reset();
    return 0;
  } catch (...) {
    State().database.reset();
    State().params.reset();
    return 1;
  }
}

}  // extern "C"
