// Stop requests on Windows: the console's control handler, which the system calls on a thread
// of its own. For a closing console, logoff or shutdown the process is ended as soon as the
// handler returns, so the handler gives the program a few seconds to end itself first.
#include "platform/process.h"

#include <windows.h>

#include <utility>

#include "platform/win32/stopevents.h"

namespace plat {

namespace {

std::function<void(StopRequest)>& Handler() {
  static std::function<void(StopRequest)> handler;
  return handler;
}

// How long a closing console waits for the program to close its port and end.
constexpr DWORD kCloseGraceMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      Handler()(StopRequest::Interrupt);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      Handler()(StopRequest::Terminate);
      Sleep(kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

// A parent that started this process as a child of its own (ChildProcess) asks it to stop
// through two events named for its process id; a signalled one counts as the console's request.
DWORD WINAPI WatchStopEvents(void* parameter) {
  HANDLE* events = static_cast<HANDLE*>(parameter);
  for (;;) {
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0) {
      Handler()(StopRequest::Interrupt);
    } else if (which == WAIT_OBJECT_0 + 1) {
      Handler()(StopRequest::Terminate);
    } else {
      return 0;
    }
  }
}

void WatchParentStopEvents() {
  const DWORD id = GetCurrentProcessId();
  HANDLE interrupt = OpenEventW(
      SYNCHRONIZE, FALSE, win32::StopEventName(id, win32::StopEventKind::Interrupt).c_str());
  HANDLE terminate = OpenEventW(
      SYNCHRONIZE, FALSE, win32::StopEventName(id, win32::StopEventKind::Terminate).c_str());
  if (interrupt == nullptr || terminate == nullptr) {
    if (interrupt != nullptr) CloseHandle(interrupt);
    if (terminate != nullptr) CloseHandle(terminate);
    return;
  }
  // Kept for the life of the process, as the watcher.
  static HANDLE events[2];
  events[0] = interrupt;
  events[1] = terminate;
  HANDLE thread = CreateThread(nullptr, 64 * 1024, &WatchStopEvents, events,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

}  // namespace

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

std::string DeviceFolder() { return {}; }

bool WatchStopRequests(std::function<void(StopRequest request)> onRequest) {
  Handler() = std::move(onRequest);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  WatchParentStopEvents();
  return true;
}

void KeepRunningOnBrokenPipe() {}

}  // namespace plat
