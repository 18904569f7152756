// The start-up steps that every front end shares: where the program is and
// what it is called, the update log opened next to it, and the installed
// Firebird server looked for.
#pragma once

#include <string>

#include "engine/operator_prompt.h"
#include "engine/update_log.h"
#include "firebird/uFbService.h"
#include "platform/platform.h"

namespace updater {

// The running program as start-up names it.
struct ProgramLocation {
  std::string folder;  // the executable's folder, without a trailing delimiter
  std::string title;   // the application title: the file name without its extension
};

// `executable_path` (a full path with the platform's delimiter) split into
// the program folder and the application title ("Updater_Marlix" for
// ".../Updater_Marlix.exe" and for ".../Updater_Marlix").
ProgramLocation LocateProgram(const std::string& executable_path);

// `message` of a failed server detection with start-up's advice appended:
// CR, "Возможно, сервер Firebird не отвечает, поврежден или установлен", CR,
// "сторонним разработчиком. Закройте Updater, перезагрузите", CR,
// "компьютер и повторите запуск программы.", CR CR, "Если ошибка
// повторится - обратитесь к разработчику.".
std::string WithDetectionAdvice(const std::string& message);

// Start-up's last creation steps: opens the update log in
// `program_folder` (its "Logs" folder and the log file named from the
// time), then detects the installed Firebird server, also when the log could
// not be opened. Each failure goes to the application-wide failure handler
// (AEException) with `log` and `prompt`, a detection failure with
// WithDetectionAdvice; start-up then goes on. Returns the detected server, or
// the empty record after a failure or when no server is installed.
TFBServParams OpenLogAndDetectServer(const std::string& program_folder,
                                     platform::Platform& platform, UpdateLog& log,
                                     OperatorPrompt& prompt);

}  // namespace updater
