// How a parent asks a child of its own to stop on Windows, where a console's Ctrl+C cannot
// reach it: a window program has no console, and one started without a window gets a console
// of its own. The parent (ChildProcess) creates two events named for the child's process id
// before the child runs; the child's stop watcher (WatchStopRequests) opens them by its own id
// and takes a signalled one as the request the console would have brought: Ctrl+C, or a
// termination request. A process that nobody started this way finds no events and watches only
// its console.
#pragma once

#include <string>

namespace plat::win32 {

enum class StopEventKind { Interrupt, Terminate };

// "Local\lcdwrite-stop-<id>-interrupt" / "...-terminate": in the session's own namespace.
inline std::wstring StopEventName(unsigned long processId, StopEventKind kind) {
  return L"Local\\lcdwrite-stop-" + std::to_wstring(processId) +
         (kind == StopEventKind::Interrupt ? L"-interrupt" : L"-terminate");
}

}  // namespace plat::win32
