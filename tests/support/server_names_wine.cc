// The Windows build's tests under Wine: the native test server's folders
// are seen through drive letters (Wine's own mapping), and every database
// the tests reach under its Windows name gets an alias on the server.
#include <process.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/server_names.h"
#include "support/temp_folder.h"

namespace updater::testing {
namespace {

// A function of Wine's own kernel32; absent on Windows.
template <typename Function>
Function WineFunction(const char* name) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
  if (found == nullptr) {
    throw std::runtime_error(std::string("the Firebird tests of the Windows build run under Wine "
                                         "only: kernel32 has no ") +
                             name);
  }
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace

std::string ProgramPath(const std::string& server_path) {
  using ToDos = WCHAR*(CDECL*)(const char*);
  WCHAR* dos = WineFunction<ToDos>("wine_get_dos_file_name")(server_path.c_str());
  if (dos == nullptr) throw std::runtime_error("Wine has no Windows name for " + server_path);
  const std::string program_path = Utf8(std::filesystem::path(dos));
  HeapFree(GetProcessHeap(), 0, dos);
  return program_path;
}

void LetTheServerOpen(const std::string& program_path, const std::string& server_path,
                      const std::string& program_root) {
  const std::filesystem::path aliases = FsPath(program_root) / "databases.conf";
  const std::string line = program_path + " = " + server_path;
  std::stringstream known;
  known << std::ifstream(aliases, std::ios::binary).rdbuf();
  if (("\n" + known.str()).find("\n" + line + "\n") != std::string::npos) return;

  const auto before = std::filesystem::last_write_time(aliases);
  std::ofstream out(aliases, std::ios::binary | std::ios::app);
  out << line << "\n";
  out.close();
  if (!out) throw std::runtime_error("cannot add an alias to " + Utf8(aliases));
  // The server reads databases.conf again when its modification time has
  // changed, to the second: two aliases written within one second would
  // leave the second one unknown.
  const auto later =
      std::max(std::filesystem::file_time_type::clock::now(), before + std::chrono::seconds(1));
  std::error_code error;
  std::filesystem::last_write_time(aliases, later, error);
  if (error) {
    throw std::runtime_error("cannot give " + Utf8(aliases) + " a new time: " + error.message());
  }
}

uint32_t TestProcessId() { return static_cast<uint32_t>(_getpid()); }

}  // namespace updater::testing
