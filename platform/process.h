// The process and the world around it: where device files live, requests from outside to stop
// the program (Ctrl+C, a termination request, a closed terminal), and output that nobody reads
// any more.
#pragma once

#include <functional>
#include <string>

namespace plat {

// This process's id, as the system's tools show it.
long ProcessId();

// The folder device files live in, with its trailing separator ("/dev/" on POSIX); empty where
// devices are not files in a folder (Windows names them "\\.\NAME").
std::string DeviceFolder();

enum class StopRequest {
  Interrupt,  // Ctrl+C (SIGINT; on Windows also Ctrl+Break)
  Terminate,  // SIGTERM; on Windows the console window closing, logoff, shutdown
  HangUp,     // SIGHUP: the terminal was closed, the remote session dropped (POSIX only)
  Quit,       // SIGQUIT (Ctrl+\ on POSIX only)
};

// From now on a stop request no longer ends the process by itself: each one is handed to
// onRequest, on a thread of the platform's own (never the main thread), and the program ends
// itself. Call once, first thing in the program entry, before any other thread starts (on
// POSIX the signals are blocked in the calling thread, and every thread started later
// inherits that). Where the system ends the process when the handler returns (a Windows
// console closing), the handler thread waits a few seconds for the program to end first.
// False when the platform had no thread to watch with (a process or memory limit): then
// nothing was changed.
bool WatchStopRequests(std::function<void(StopRequest request)> onRequest);

// Writing to a pipe whose reader has gone fails with an error instead of ending the process
// (POSIX: SIGPIPE is ignored). Nothing to do on Windows.
void KeepRunningOnBrokenPipe();

}  // namespace plat
