#include "fsutil/uWexrRout.h"

#include <memory>
#include <vector>

#include "common/failures.h"
#include "platform/paths.h"

namespace updater {
namespace {

constexpr char kCannotStartProgram[] = "Невозможно запустить внешнюю программу!";

// Characters of a UTF-8 text, as the Windows-1251 text it stands for counts
// them: one per character, whatever its byte length here.
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string QuotedWhereBlank(const std::string& path) {
  if (path.find_first_of(" \t") == std::string::npos) return path;
  return "\"" + path + "\"";
}

}  // namespace

std::string TwoDigitText(unsigned n) {
  const std::string digits = std::to_string(n);
  if (digits.size() == 1) return "0" + digits;
  return digits.substr(digits.size() - 2);
}

std::string AppendErrorText(const std::string& accumulated, const std::string& message) {
  const std::string entry = "Exception Message: " + message;
  return accumulated.empty() ? entry : accumulated + "\r" + entry;
}

namespace {

[[noreturn]] void FailWithResource(const std::string& name, const std::string& cause) {
  throw UpdateFailure("Ошибка работы с ресурсом \"" + name + "\"!\r" + cause);
}

std::unique_ptr<platform::ResourceStream> OpenResource(platform::Platform& platform,
                                                       const std::string& type,
                                                       const std::string& name) {
  auto opened = platform.resources.Open(type, name);
  if (!opened) {
    const int64_t code = opened.error().code;
    if (code == platform::kErrorResourceNameNotFound ||
        code == platform::kErrorResourceTypeNotFound) {
      FailWithResource(name, "Resource " + name + " not found");
    }
    FailWithResource(name, opened.error().Describe());
  }
  return std::move(opened).value();
}

}  // namespace

void ExtractResource(platform::Platform& platform, const std::string& type, const std::string& name,
                     const std::string& target) {
  auto full = platform.files.FullPath(target);
  if (!full) FailWithResource(name, "Cannot create file " + target);
  const std::unique_ptr<platform::ResourceStream> stream = OpenResource(platform, type, name);
  if (!platform.files.WriteFile(*full, "")) FailWithResource(name, "Cannot create file " + *full);
  // Written in pieces: the payload is many megabytes.
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    auto read = stream->Read(buffer.data(), buffer.size());
    if (!read) FailWithResource(name, read.error().Describe());
    if (*read == 0) break;
    if (!platform.files.AppendToFile(*full, std::string(buffer.data(), *read))) {
      FailWithResource(name, "Stream write error");
    }
  }
}

std::string ReadResource(platform::Platform& platform, const std::string& type,
                         const std::string& name) {
  const std::unique_ptr<platform::ResourceStream> stream = OpenResource(platform, type, name);
  std::string bytes(stream->Size(), '\0');
  size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() + 4096);
    auto read = stream->Read(bytes.data() + filled, bytes.size() - filled);
    if (!read) FailWithResource(name, read.error().Describe());
    if (*read == 0) break;
    filled += *read;
  }
  bytes.resize(filled);
  return bytes;
}

void ExtractPayloadResource(platform::Platform& platform, const std::string& target,
                            const std::string& name) {
  ExtractResource(platform, "EXEFILE", name.empty() ? "files" : name, target);
}

uint32_t RunProgramAndWait(platform::Platform& platform, MessagePump& pump,
                           const std::string& program, const std::optional<std::string>& parameters,
                           int show) {
  auto full = platform.files.FullPath(program);
  if (!full) throw UpdateFailure(kCannotStartProgram);
  platform::ProcessLaunch launch;
  launch.application = *full;
  launch.command_line = QuotedWhereBlank(*full) + parameters.value_or("");
  launch.working_folder = platform::SplitPath(*full).folder;
  launch.show_command = show;
  if (CharacterCount(launch.command_line) > kMaxCommandLineChars) {
    throw UpdateFailure(std::string(kCannotStartProgram) +
                        "\rКомандная строка длиннее 255 символов: " + launch.command_line);
  }
  if (CharacterCount(launch.working_folder) > kMaxCommandLineChars) {
    throw UpdateFailure(std::string(kCannotStartProgram) +
                        "\rПуть к рабочей папке длиннее 255 символов: " + launch.working_folder);
  }
  auto started = platform.processes.Start(launch);
  if (!started) throw UpdateFailure(kCannotStartProgram);
  pump.ProcessMessages();
  auto exit_code = started.value()->WaitForExit();
  pump.ProcessMessages();
  if (!exit_code) {
    throw UpdateFailure("Не удалось дождаться завершения внешней программы!\r" +
                        exit_code.error().Describe());
  }
  return *exit_code;
}

int32_t FileSizeInUnits(platform::Platform& platform, const std::string& path, uint8_t shift) {
  auto size = platform.files.ExclusiveFileSize(path);
  if (!size) return -1;
  const uint64_t units = shift >= 64 ? 0 : *size >> shift;
  return static_cast<int32_t>(static_cast<uint32_t>(units));
}

void CheckFreeSize(platform::Platform& platform, MessagePump& pump, const std::string& file,
                   const std::string& drive, uint8_t factor) {
  pump.ProcessMessages();
  // The size as FileSizeInUnits gives it, kept in 64 bits so that neither
  // a database of 2 TiB nor the product with the factor can wrap.
  auto size = platform.files.ExclusiveFileSize(file);
  // The database is held by someone or cannot be read: the caller has its
  // own words for that.
  if (!size) throw UpdateFailure("");
  const int64_t need = static_cast<int64_t>(*size >> 20) * factor;
  auto free_bytes = platform.volumes.FreeBytes(drive);
  if (!free_bytes) {
    throw UpdateFailure("Невозможно определить свободное место на диске \"" + drive + "\"!\r" +
                        free_bytes.error().Describe());
  }
  const int64_t free = static_cast<int64_t>(*free_bytes >> 20);
  if (free < need) {
    throw UpdateFailure("Для записи файла на диск \"" + drive + "\"требуется не менее " +
                        std::to_string(need) + " МБ свободного места!");
  }
}

std::string SystemFolderPath(platform::Platform& platform) {
  auto folder = platform.volumes.SystemFolder();
  if (!folder || folder->empty()) {
    throw UpdateFailure("Невозможно определить путь к системной папке!");
  }
  return platform::IncludeTrailingDelimiter(*folder);
}

}  // namespace updater
