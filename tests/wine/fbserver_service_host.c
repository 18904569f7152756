/* The Firebird server of the Windows build's tests under Wine, as Wine's
   service manager sees it: a Windows service program that runs the native
   Firebird 3 server of the test run and takes it down with it.

   Installed as <server root>\bin\fbsrvmrlx.exe (the maker's SuperServer
   name, which the updater detects and ends by name) and registered as the
   service BrenvikFireXBirdServer with the image path
   "<server root>\bin\fbsrvmrlx.exe -a -p <port>". A Winelib program (built
   with winegcc), so that it can be a Windows service and start a Linux
   process:

   - started by the service manager: it reports start pending, starts the
     native server, and reports running once the server listens on the port
     of its "-p" option (3051 without one); a stop control ends the server
     (SIGTERM, and SIGKILL when it has not ended within a second) and
     reports stopped; a server that ends on its own reports stopped too;
   - started as a plain program (the server run by hand, outside its
     service): it starts the native server and runs until it is ended.

   The native server is started with the parent-death signal SIGKILL, so
   that it ends with this program however this program ends: a stopped
   service, or TerminateProcess of the updater's termination by name. The
   server's folders follow scripts/fbserver's home: the root is the folder
   above bin\ (FIREBIRD), its lock folder is "lock" beside the root
   (FIREBIRD_LOCK). The server's output and this program's own lines go to
   "service-host.log" beside the root. */
#define _GNU_SOURCE /* close_range */

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

extern char* CDECL wine_get_unix_file_name(const WCHAR* dos_name);

static const char kServerBinary[] = "/usr/sbin/firebird";
/* How long a start may take before the server counts as failed, and how
   long a stop waits after SIGTERM before it kills: Firebird 3 ends within a
   fraction of a second on SIGTERM, or ignores it altogether (seen here in
   about three stops of four). */
enum { kStartLimitMs = 30000, kTermGraceMs = 1000, kPollMs = 100 };

static char home[PATH_MAX];
static char root[PATH_MAX];
static int port = 3051;
static pid_t server = -1;

static SERVICE_STATUS_HANDLE status_handle;
static SERVICE_STATUS status;
static CRITICAL_SECTION status_lock;
static HANDLE stop_requested;

static void Note(const char* format, ...) {
  char path[PATH_MAX + 32];
  FILE* log;
  va_list arguments;
  snprintf(path, sizeof path, "%s/service-host.log", home);
  log = fopen(path, "a");
  if (log == NULL) return;
  fprintf(log, "[%ld pid %d] ", (long)time(NULL), (int)getpid());
  va_start(arguments, format);
  vfprintf(log, format, arguments);
  va_end(arguments);
  fputc('\n', log);
  fclose(log);
}

/* The server's root and home from this program's own path:
   <home>/root/bin/<this program>. */
static BOOL FindFolders(void) {
  WCHAR own[MAX_PATH];
  char* unix_path;
  char resolved[PATH_MAX];
  char* slash;
  if (GetModuleFileNameW(NULL, own, MAX_PATH) == 0) return FALSE;
  unix_path = wine_get_unix_file_name(own);
  if (unix_path == NULL) return FALSE;
  if (realpath(unix_path, resolved) == NULL) {
    HeapFree(GetProcessHeap(), 0, unix_path);
    return FALSE;
  }
  HeapFree(GetProcessHeap(), 0, unix_path);
  slash = strrchr(resolved, '/'); /* <root>/bin */
  if (slash == NULL) return FALSE;
  *slash = '\0';
  slash = strrchr(resolved, '/'); /* <root> */
  if (slash == NULL) return FALSE;
  *slash = '\0';
  snprintf(root, sizeof root, "%s", resolved);
  slash = strrchr(resolved, '/'); /* <home> */
  if (slash == NULL) return FALSE;
  *slash = '\0';
  snprintf(home, sizeof home, "%s", resolved);
  return TRUE;
}

/* The port after "-p" among the arguments, as the image path gives it. */
static void ReadPort(int argc, char** argv) {
  int i;
  for (i = 1; i + 1 < argc; ++i) {
    if (strcmp(argv[i], "-p") == 0) port = atoi(argv[i + 1]);
  }
}

/* True while a TCP socket listens on `port` (the kernel's tables, in the
   network namespace of the test run). */
static BOOL Listening(void) {
  static const char* const tables[] = {"/proc/net/tcp", "/proc/net/tcp6"};
  char wanted[8];
  char line[512];
  size_t t;
  snprintf(wanted, sizeof wanted, ":%04X", port);
  for (t = 0; t < sizeof tables / sizeof tables[0]; ++t) {
    FILE* table = fopen(tables[t], "r");
    if (table == NULL) continue;
    while (fgets(line, sizeof line, table) != NULL) {
      char local[128];
      char remote[128];
      char state[8];
      if (sscanf(line, "%*s %127s %127s %7s", local, remote, state) != 3) continue;
      if (strlen(local) >= 5 && strcmp(local + strlen(local) - 5, wanted) == 0 &&
          strcmp(state, "0A") == 0) {
        fclose(table);
        return TRUE;
      }
    }
    fclose(table);
  }
  return FALSE;
}

/* Starts the native server; its process id goes to `server`. */
static BOOL StartServer(void) {
  char firebird[PATH_MAX + 16];
  char lock[PATH_MAX + 32];
  char log_path[PATH_MAX + 32];
  char* const arguments[] = {(char*)kServerBinary, NULL};
  /* The server takes file names in its locale's character set: UTF-8, as
     the native client sends them. */
  char* const environment[] = {firebird, lock, (char*)"PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                               (char*)"LC_ALL=C.UTF-8", NULL};
  const pid_t parent = getpid();
  int output;
  int null_input;
  snprintf(firebird, sizeof firebird, "FIREBIRD=%s", root);
  snprintf(lock, sizeof lock, "FIREBIRD_LOCK=%s/lock", home);
  snprintf(log_path, sizeof log_path, "%s/service-host.log", home);
  output = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (output < 0 || null_input < 0) {
    Note("cannot open %s or /dev/null: %s", log_path, strerror(errno));
    return FALSE;
  }
  server = fork();
  if (server == 0) {
    /* The child of a Wine process: only calls that are safe after fork
       until the server replaces it. It ends with the thread that started
       it (the service's main thread lives as long as the service runs),
       and inherits none of Wine's descriptors, signal dispositions or
       blocked signals: the server must react to SIGTERM. */
    sigset_t none;
    struct sigaction default_action;
    int signal_number;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(120);
    dup2(null_input, 0);
    dup2(output, 1);
    dup2(output, 2);
    close_range(3, ~0U, 0);
    memset(&default_action, 0, sizeof default_action);
    default_action.sa_handler = SIG_DFL;
    for (signal_number = 1; signal_number < NSIG; ++signal_number) {
      if (signal_number != SIGKILL && signal_number != SIGSTOP) {
        sigaction(signal_number, &default_action, NULL);
      }
    }
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, NULL);
    execve(kServerBinary, arguments, environment);
    _exit(127);
  }
  close(output);
  close(null_input);
  if (server < 0) {
    Note("fork failed: %s", strerror(errno));
    return FALSE;
  }
  Note("started %s, process %d, root %s, port %d", kServerBinary, (int)server, root, port);
  return TRUE;
}

/* True while the server process runs. Wine may reap children itself: a
   process that cannot be waited for is looked up in /proc. */
static BOOL ServerRuns(void) {
  char path[64];
  char stat_line[512];
  FILE* stat_file;
  char* state;
  int wait_status;
  const pid_t waited = waitpid(server, &wait_status, WNOHANG);
  if (waited == server) {
    Note("the server ended with status %d", wait_status);
    return FALSE;
  }
  if (waited == 0) return TRUE;
  snprintf(path, sizeof path, "/proc/%d/stat", (int)server);
  stat_file = fopen(path, "r");
  if (stat_file == NULL) return FALSE;
  state = fgets(stat_line, sizeof stat_line, stat_file);
  fclose(stat_file);
  if (state == NULL) return FALSE;
  state = strrchr(stat_line, ')');
  return state != NULL && state[1] == ' ' && state[2] != 'Z' && state[2] != 'X';
}

static void Report(DWORD state, DWORD exit_code) {
  EnterCriticalSection(&status_lock);
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exit_code;
  status.dwServiceSpecificExitCode = 0;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    ++status.dwCheckPoint;
    status.dwWaitHint = 2 * kPollMs;
  } else {
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
  }
  if (status_handle != NULL) SetServiceStatus(status_handle, &status);
  LeaveCriticalSection(&status_lock);
}

/* Ends the server: SIGTERM, then SIGKILL after the grace time; reports
   progress while it waits. */
static void EndServer(BOOL report) {
  int waited_ms = 0;
  if (server <= 0) return;
  kill(server, SIGTERM);
  while (ServerRuns()) {
    if (waited_ms == kTermGraceMs) {
      Note("the server ignored SIGTERM; killing it");
      kill(server, SIGKILL);
    }
    if (report) Report(SERVICE_STOP_PENDING, NO_ERROR);
    Sleep(kPollMs);
    waited_ms += kPollMs;
  }
  Note("the server has ended");
  server = -1;
}

static DWORD WINAPI Control(DWORD control, DWORD event_type, void* event_data, void* context) {
  (void)event_type;
  (void)event_data;
  (void)context;
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Note("stop requested (control %lu)", (unsigned long)control);
      Report(SERVICE_STOP_PENDING, NO_ERROR);
      SetEvent(stop_requested);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

/* Runs on the thread the service manager gives the service, which lives
   until the service stops: the server's parent-death signal is tied to it. */
static void WINAPI ServiceMain(DWORD argc, WCHAR** argv) {
  int waited_ms = 0;
  (void)argc;
  (void)argv;
  status_handle = RegisterServiceCtrlHandlerExW(L"BrenvikFireXBirdServer", Control, NULL);
  if (status_handle == NULL) {
    Note("RegisterServiceCtrlHandlerExW failed: %lu", (unsigned long)GetLastError());
    return;
  }
  Report(SERVICE_START_PENDING, NO_ERROR);
  if (!StartServer()) {
    Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
    return;
  }
  while (!Listening()) {
    if (!ServerRuns() || waited_ms >= kStartLimitMs ||
        WaitForSingleObject(stop_requested, 0) == WAIT_OBJECT_0) {
      Note("the server did not come up");
      EndServer(FALSE);
      Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
      return;
    }
    Report(SERVICE_START_PENDING, NO_ERROR);
    Sleep(kPollMs);
    waited_ms += kPollMs;
  }
  Report(SERVICE_RUNNING, NO_ERROR);
  Note("running");
  while (WaitForSingleObject(stop_requested, kPollMs) == WAIT_TIMEOUT) {
    if (!ServerRuns()) {
      Note("the server ended by itself");
      server = -1;
      Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
      return;
    }
  }
  EndServer(TRUE);
  Report(SERVICE_STOPPED, NO_ERROR);
  Note("stopped");
}

int main(int argc, char** argv) {
  SERVICE_TABLE_ENTRYW services[] = {{(WCHAR*)L"BrenvikFireXBirdServer", ServiceMain},
                                     {NULL, NULL}};
  if (!FindFolders()) {
    fprintf(stderr, "fbsrvmrlx.exe: cannot find the server's folders from its own path\n");
    return 2;
  }
  ReadPort(argc, argv);
  InitializeCriticalSection(&status_lock);
  stop_requested = CreateEventW(NULL, TRUE, FALSE, NULL);
  if (StartServiceCtrlDispatcherW(services)) return 0;
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
    Note("StartServiceCtrlDispatcherW failed: %lu", (unsigned long)GetLastError());
    return 1;
  }
  /* Run by hand: the server runs as long as this program does. */
  Note("running as a program");
  if (!StartServer()) return 1;
  while (ServerRuns()) Sleep(kPollMs);
  return 1;
}
