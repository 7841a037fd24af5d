// On Windows the last error and the thread identity are the system's own, so a code set by a
// system call, by the simulated machine or by the component reads back the same everywhere.
#include "platform/platform.h"

namespace plat {

DWORD KernelApi::GetLastError() { return ::GetLastError(); }
void KernelApi::SetLastError(DWORD code) { ::SetLastError(code); }
DWORD KernelApi::GetCurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace plat
