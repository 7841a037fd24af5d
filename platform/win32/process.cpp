// Stop requests on Windows: the console's control handler, which the system calls on a thread
// of its own. For a closing console, logoff or shutdown the process is ended as soon as the
// handler returns, so the handler gives the program a few seconds to end itself first.
#include "platform/process.h"

#include <windows.h>

#include <utility>

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

}  // namespace

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

std::string DeviceFolder() { return {}; }

bool WatchStopRequests(std::function<void(StopRequest request)> onRequest) {
  Handler() = std::move(onRequest);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  return true;
}

void KeepRunningOnBrokenPipe() {}

}  // namespace plat
