#include "engine/startup.h"

#include "common/failures.h"
#include "engine/failure_handler.h"
#include "platform/paths.h"

namespace updater {

ProgramLocation LocateProgram(const std::string& executable_path) {
  const size_t delimiter = executable_path.find_last_of(platform::PathDelimiter());
  const std::string file =
      delimiter == std::string::npos ? executable_path : executable_path.substr(delimiter + 1);
  const size_t extension = file.rfind('.');
  return ProgramLocation{delimiter == std::string::npos ? "" : executable_path.substr(0, delimiter),
                         extension == std::string::npos ? file : file.substr(0, extension)};
}

std::string WithDetectionAdvice(const std::string& message) {
  return message +
         "\rВозможно, сервер Firebird не отвечает, поврежден или установлен"
         "\rсторонним разработчиком. Закройте Updater, перезагрузите"
         "\rкомпьютер и повторите запуск программы."
         "\r\rЕсли ошибка повторится - обратитесь к разработчику.";
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
