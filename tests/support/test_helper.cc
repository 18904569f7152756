// updater-test-helper: the "other process" of the tests. Modes:
//   exit N                      report, then end with exit code N
//   hold FILE READY RELEASE     hold FILE open exclusively (Windows: no
//                               sharing), create READY, end when RELEASE exists
//   cwd FOLDER READY RELEASE    work in FOLDER, create READY, end when RELEASE exists
//   wait READY RELEASE          create READY, end when RELEASE exists
//   listen READY                listen on a TCP port of 127.0.0.1, create
//                               READY, run until ended (Linux services)
//   ignore-term READY           as listen, ignoring SIGTERM (Linux)
//   service                     run as a Windows service (Windows)
// Every mode first writes "<own executable>.report" (the path it was started
// under): its arguments one per
// line, then "cwd=<current folder>" and "env=<UPDATER_TEST_VALUE>". A wait
// ends on its own after 60 seconds; one that ends on its own leaves
// "<RELEASE>.ended".
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path OwnExecutable() {
#ifdef _WIN32
  wchar_t path[4096];
  GetModuleFileNameW(nullptr, path, 4096);
  return fs::path(path);
#else
  // The path it was started under, a link not resolved.
  return fs::path(reinterpret_cast<const char*>(getauxval(AT_EXECFN)));
#endif
}

void Touch(const fs::path& path) { std::ofstream(path) << "ready\n"; }

// Waits for RELEASE, then leaves "<RELEASE>.ended" to show that it ended
// on its own.
void WaitFor(const fs::path& release) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(release) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  fs::path ended = release;
  ended += ".ended";
  Touch(ended);
}

void Report(int argc, char** argv) {
  fs::path report = OwnExecutable();
  report += ".report";
  std::ofstream out(report, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < argc; ++i) out << argv[i] << "\n";
  out << "cwd=" << fs::current_path().string() << "\n";
  const char* value = std::getenv("UPDATER_TEST_VALUE");
  out << "env=" << (value != nullptr ? value : "") << "\n";
}

#ifdef _WIN32
SERVICE_STATUS_HANDLE service_handle = nullptr;
HANDLE stop_event = nullptr;

void SetState(DWORD state, DWORD check_point, DWORD wait_hint) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwCheckPoint = check_point;
  status.dwWaitHint = wait_hint;
  SetServiceStatus(service_handle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    SetState(SERVICE_STOP_PENDING, 1, 500);
    SetEvent(stop_event);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  service_handle = RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
  stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetState(SERVICE_START_PENDING, 1, 300);
  Sleep(200);
  SetState(SERVICE_RUNNING, 0, 0);
  WaitForSingleObject(stop_event, INFINITE);
  Sleep(100);
  SetState(SERVICE_STOPPED, 0, 0);
}
#else
int Listen() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 1) != 0) {
    return -1;
  }
  return fd;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  Report(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
  if (mode == "hold" && argc == 5) {
#ifdef _WIN32
    HANDLE file = CreateFileW(fs::path(argv[2]).wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
#else
    const int file = open(argv[2], O_RDWR);
    if (file < 0) return 3;
#endif
    Touch(argv[3]);
    WaitFor(argv[4]);
    return 0;
  }
  if (mode == "cwd" && argc == 5) {
    fs::current_path(argv[2]);
    Touch(argv[3]);
    WaitFor(argv[4]);
    return 0;
  }
  if (mode == "wait" && argc == 4) {
    Touch(argv[2]);
    WaitFor(argv[3]);
    return 0;
  }
#ifdef _WIN32
  if (mode == "service") {
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 4;
  }
#else
  if ((mode == "listen" || mode == "ignore-term") && argc == 3) {
    if (mode == "ignore-term") signal(SIGTERM, SIG_IGN);
    if (Listen() < 0) return 5;
    Touch(argv[2]);
    for (;;) pause();
  }
#endif
  return 2;
}
