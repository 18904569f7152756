#include "engine/startup.h"

#include "common/failures.h"
#include "engine/failure_handler.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"

namespace updater {

ProgramLocation LocateProgram(const std::string& executable_path) {
  const platform::PathParts parts = platform::SplitPath(executable_path);
  const size_t extension = parts.name.rfind('.');
  return ProgramLocation{
      parts.folder, extension == std::string::npos ? parts.name : parts.name.substr(0, extension)};
}

std::string WithDetectionAdvice(const std::string& message) {
  return message +
         "\rВозможно, сервер Firebird не отвечает, поврежден или установлен"
         "\rсторонним разработчиком. Закройте Updater, перезагрузите"
         "\rкомпьютер и повторите запуск программы."
         "\r\rЕсли ошибка повторится - обратитесь к разработчику.";
}

bool WriteOutLibraryWhenMissing(platform::Platform& platform, const std::string& program_folder,
                                const EmbeddedLibrary& library) {
  const std::string target = platform::JoinPath(program_folder, library.file_name);
  if (platform.files.FileExists(target)) return false;
  try {
    ExtractResource(platform, "DLL", library.resource_name, target);
  } catch (const UpdateFailure&) {
    if (platform.files.FileExists(target)) {
      // The failure being raised already tells the operator what went wrong;
      // a removal that fails too leaves nothing more useful to say.
      (void)platform.files.RemoveFile(target);
    }
    throw;
  }
  return true;
}

TFBServParams OpenLogAndDetectServer(const std::string& program_folder,
                                     platform::Platform& platform, UpdateLog& log,
                                     OperatorPrompt& prompt) {
  // A log that cannot be opened is reported by itself: the server is still
  // looked for, or the service commands would find none for the whole run.
  RunOperatorCommand([&] { log.Open(program_folder); }, log, prompt);
  TFBServParams detected;
  RunOperatorCommand(
      [&] {
        try {
          detected = DetectFirebirdServer(platform);
        } catch (const UpdateFailure& failure) {
          throw UpdateFailure(WithDetectionAdvice(failure.Message()));
        }
      },
      log, prompt);
  return detected;
}

}  // namespace updater
