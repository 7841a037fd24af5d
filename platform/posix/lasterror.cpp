// The per-thread last error and thread identity of the emulated Win32 API: one thread-local value
// per thread, shared by every platform object of the process (the native one and a simulated
// machine alike), as the Windows build shares the system's own.
#include <atomic>

#include "platform/platform.h"

namespace plat {

namespace {
thread_local DWORD t_lastError = 0;
std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;
}  // namespace

DWORD KernelApi::GetLastError() { return t_lastError; }
void KernelApi::SetLastError(DWORD code) { t_lastError = code; }

DWORD KernelApi::GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(1);
  return t_threadId;
}

}  // namespace plat
